// Arbitrary bytes as a key file: the validity rule, then the text (of a valid
// file, or the raw bytes) loaded into a full-size block, indexed, looked up and
// edited. Every step must keep the block's index consistent and stay inside it.
// The same bytes also stand for a block that another process wrote into a
// view smaller than 64 KiB: the checks and every read or edit they let
// through must stay inside that view.
#include "Crc32.h"
#include "KeyDataBlock.h"
#include "KeyFileFormat.h"
#include "KeyIndex.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#include <sanitizer/asan_interface.h>
#define FUZZ_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define FUZZ_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#endif
#endif
#ifndef FUZZ_POISON
#define FUZZ_POISON(p, n) ((void)(p), (void)(n))
#define FUZZ_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

using namespace keyfile;

namespace {

#define CHECK(cond)                                                                                \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "check failed: %s (line %d)\n", #cond, __LINE__);                 \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

struct Block {
    std::vector<uint64_t> storage = std::vector<uint64_t>(kMaxKeyBytes / 8);
    uint32_t total = 0;
    std::string model; // what the text must be after each edit

    char* bytes() { return reinterpret_cast<char*>(storage.data()); }
    KeyDataBlock* key() { return reinterpret_cast<KeyDataBlock*>(bytes()); }

    // Bytes past the NUL are off limits to every read.
    void fence() { FUZZ_POISON(bytes() + total + 1, kMaxKeyBytes - total - 1); }
    void open() { FUZZ_UNPOISON(bytes(), kMaxKeyBytes); }

    void checkInvariants()
    {
        KeyDataBlock* k = key();
        CHECK(k->count >= 0 && k->count <= kMaxIndexedLines);
        CHECK(total >= kIndexBytes && total < kMaxKeyBytes);
        CHECK(bytes()[total] == '\0');
        CHECK(k->offsets[0] >= kIndexBytes);
        for (int i = 0; i < k->count; ++i) {
            CHECK(k->offsets[i] > kIndexBytes);
            CHECK(k->offsets[i] < k->offsets[i + 1]);
        }
        CHECK(k->offsets[k->count] <= total);
        CHECK(model.size() == total - kIndexBytes);
        CHECK(std::memcmp(k->text(), model.data(), model.size()) == 0);
    }
};

// Every indexed line is `"name"` with a clean name: then lookups must find
// what was inserted even in a sorted key.
bool NamesAreClean(KeyDataBlock* k, uint32_t total)
{
    for (int i = 0; i < k->count; ++i) {
        uint32_t name = k->offsets[i];
        uint32_t end = i + 1 < k->count ? k->offsets[i + 1] - 1u : k->offsets[k->count];
        if (*k->at(name - 1) != '"')
            return false;
        uint32_t q = name;
        while (q < end && *k->at(q) != '"' && *k->at(q) != '\0')
            ++q;
        if (q >= end || *k->at(q) != '"')
            return false;
    }
    (void)total;
    return true;
}

std::string LineName(KeyDataBlock* k, int i, uint32_t total)
{
    uint32_t name = k->offsets[i];
    uint32_t q = name;
    while (q < total && q - name < kMaxValueName && *k->at(q) != '"' && *k->at(q) != '\0')
        ++q;
    return std::string(k->at(name), q - name);
}

void Exercise(const uint8_t* data, size_t size, const char* text, size_t textLength)
{
    static Block b; // one 64 KB block, reused
    if (kIndexBytes + textLength + 1 > kMaxKeyBytes)
        return;
    b.open();
    std::memset(b.bytes(), 0xA5, kIndexBytes);
    std::memcpy(b.key()->text(), text, textLength);
    b.key()->text()[textLength] = '\0';
    b.total = IndexKeyText(b.key(), static_cast<uint32_t>(textLength));
    CHECK(b.total == kIndexBytes + textLength);
    CHECK(b.key()->sorted == 0 || b.key()->sorted == 1);
    b.model.assign(text, textLength);
    b.checkInvariants();

    // Names to try: those of the indexed lines and slices of the input.
    std::vector<std::string> names;
    for (int i = 0; i < b.key()->count && names.size() < 8; i += 1 + b.key()->count / 8)
        names.push_back(LineName(b.key(), i, b.total));
    for (size_t at = 0; at + 2 < size && names.size() < 12; at += 1 + size / 4) {
        size_t len = 1 + data[at] % 24;
        if (at + 1 + len <= size)
            names.emplace_back(reinterpret_cast<const char*>(data) + at + 1, len);
    }

    uint8_t steer = size ? data[size - 1] : 0;
    for (const std::string& name : names) {
        if (name.empty() || name.size() > kMaxValueName || std::memchr(name.data(), 0, name.size()))
            continue;
        b.fence();
        Lookup l = FindValue(b.key(), name.data(), name.size());
        CHECK(l.index >= 0 && l.index <= b.key()->count);
        ValueRef v{ValueType::None, 0, 0};
        if (l.found) {
            v = ReadValue(b.key(), b.total, l.index);
            if (NameIsWritable(name.data(), name.size())) {
                // A reader that found the line by its name skips the search for its quote.
                ValueRef known = ReadValue(b.key(), b.total, l.index, name.size());
                CHECK(known.type == v.type && known.offset == v.offset && known.length == v.length);
            }
            if (v.type != ValueType::None) {
                CHECK(v.offset > kIndexBytes && v.offset + v.length <= b.total);
                (void)ParseDword(b.key()->at(v.offset), v.length);
            }
        }
        b.open();

        char value[64];
        size_t valueLen = (steer + name.size()) % sizeof value;
        for (size_t i = 0; i < valueLen; ++i)
            value[i] = name[i % name.size()];
        steer = static_cast<uint8_t>(steer * 31 + 7);

        if (l.found && v.type != ValueType::None && (steer & 3) != 0) {
            if (b.total + valueLen + 1 > kMaxKeyBytes)
                continue;
            uint32_t before = b.total;
            b.total = ReplaceValue(b.key(), b.total, l.index, v, value, valueLen);
            CHECK(b.total == before - v.length + valueLen);
            b.model.replace(v.offset - kIndexBytes, v.length, value, valueLen);
        } else if (l.found) {
            KeyDataBlock* k = b.key();
            uint32_t start = k->offsets[l.index] - 1u;
            uint32_t end = l.index + 1 < k->count ? k->offsets[l.index + 1] - 1u : k->offsets[k->count];
            b.total = DeleteLine(k, b.total, l.index);
            b.model.erase(start - kIndexBytes, end - start);
        } else if (NameIsWritable(name.data(), name.size())) {
            ValueType type = static_cast<ValueType>(1 + steer % 3);
            if (type == ValueType::Bool)
                valueLen = 1;
            if (type != ValueType::String) {
                for (size_t i = 0; i < valueLen; ++i)
                    value[i] = static_cast<char>('0' + (steer + i) % 10);
            }
            uint32_t length = LineLength(type, name.size(), valueLen);
            KeyDataBlock* k = b.key();
            bool clean = !k->sorted || NamesAreClean(k, b.total);
            int countBefore = k->count;
            uint32_t at = l.index < k->count ? k->offsets[l.index] - 1u : k->offsets[k->count];
            uint32_t before = b.total;
            b.total = InsertLine(k, b.total, l.index, name.data(), name.size(), type, value, valueLen);
            if (countBefore >= kMaxIndexedLines || before + length + 1 > kMaxKeyBytes) {
                CHECK(b.total == before);
                continue;
            }
            CHECK(b.total == before + length);
            CHECK(k->count == countBefore + 1);
            std::string line = "\"" + name;
            line += type == ValueType::String ? "\"=string:\"" : type == ValueType::Dword ? "\"=dword:" : "\"=bool:";
            line.append(value, valueLen);
            line += type == ValueType::String ? "\"\r\n" : "\r\n";
            CHECK(line.size() == length);
            b.model.insert(at - kIndexBytes, line);
            b.checkInvariants();
            if (clean) {
                b.fence();
                Lookup again = FindValue(k, name.data(), name.size());
                CHECK(again.found && again.index == l.index);
                if (type == ValueType::String && StringIsWritable(value, valueLen)) {
                    ValueRef r = ReadValue(k, b.total, again.index);
                    CHECK(r.type == type && r.length == valueLen);
                }
                b.open();
            }
        }
        b.checkInvariants();
    }
}

// The input as another process's block: its first byte picks the view (1 to
// 15 pages), the next four the length that process stored (or, with the
// sixth byte odd, a length inside the view), the rest the block's bytes. The
// view is a heap buffer of exactly its size, so that a read past it is found.
void ExerciseForeignBlock(const uint8_t* data, size_t size)
{
    if (size < 6)
        return;
    const uint32_t view = (1u + data[0] % 15u) * 4096u;
    uint32_t length = 0;
    std::memcpy(&length, data + 1, sizeof length);
    if (data[5] & 1)
        length = kIndexBytes + length % (view - kIndexBytes);
    std::vector<char> bytes(view, '\0');
    std::memcpy(bytes.data(), data + 6, std::min<size_t>(size - 6, view));
    auto* block = reinterpret_cast<KeyDataBlock*>(bytes.data());

    const bool frame = BlockFrameSound(block, length, view);
    const bool sound = BlockSound(block, length, view);
    CHECK(!sound || frame);
    if (!frame)
        return;
    CHECK(length >= kIndexBytes && length < view);

    for (size_t at = 6; at + 2 < size && at < 6 + 64; at += 7) {
        size_t nameLen = 1 + data[at] % 16;
        if (at + 1 + nameLen > size)
            break;
        const char* name = reinterpret_cast<const char*>(data) + at + 1;
        if (std::memchr(name, 0, nameLen))
            continue;
        Lookup found = FindValue(block, length, name, nameLen);
        CHECK(found.index >= 0 && found.index <= kMaxIndexedLines);
        if (found.damaged)
            continue;
        if (found.found) {
            ValueRef value = ReadValue(block, length, found.index, nameLen);
            if (value.type != ValueType::None)
                CHECK(value.offset > kIndexBytes && value.offset + value.length <= length);
        }
        if (!sound || !NameIsWritable(name, nameLen))
            continue;
        // A change, given the room a grown block would have.
        uint32_t line = LineLength(ValueType::Dword, nameLen, 3);
        if (length + line + 1 >= view)
            continue;
        if (found.found) {
            ValueRef value = ReadValue(block, length, found.index, nameLen);
            if (value.type != ValueType::None && value.length >= 3)
                length = ReplaceValue(block, length, found.index, value, "123", 3);
            else
                length = DeleteLine(block, length, found.index);
        } else {
            length = InsertLine(block, length, found.index, name, nameLen, ValueType::Dword, "123", 3);
        }
        CHECK(length < view);
        CHECK(BlockSound(block, length, view));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ExerciseForeignBlock(data, size);
    const char* bytes = reinterpret_cast<const char*>(data);
    CHECK(Crc32(bytes, size) == Crc32Bytewise(bytes, size));
    size_t textLength = 0;
    bool valid = ValidateKeyFile(bytes, size, &textLength);
    if (valid) {
        CHECK(textLength <= size);
        CHECK(BuildKeyFile(bytes, textLength) == std::string(bytes, size));
        Exercise(data, size, bytes, textLength);
    } else {
        // The raw bytes as a text: building its file must validate unless a
        // "CRC:" of the text itself lies in the last 20 bytes of that file.
        std::string file = BuildKeyFile(bytes, size);
        size_t from = file.size() < 20 ? 0 : file.size() - 20;
        bool tagInWindow = false;
        for (size_t i = from; i + 4 <= size; ++i)
            tagInWindow = tagInWindow || std::memcmp(bytes + i, "CRC:", 4) == 0;
        size_t rebuilt = 0;
        CHECK(ValidateKeyFile(file.data(), file.size(), &rebuilt) == !tagInWindow);
        if (!tagInWindow)
            CHECK(rebuilt == size);
        Exercise(data, size, bytes, size);
    }
    return 0;
}
