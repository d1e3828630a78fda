#include "KeyIndex.h"

#include <cstring>

namespace keyfile {

namespace {

// Offsets are 16-bit, so neither text nor edits may reach past this.
constexpr uint32_t kLastByte = kMaxKeyBytes - 1;

unsigned char Lower(char c)
{
    unsigned char u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u + ('a' - 'A')) : u;
}

int Count(const KeyDataBlock* block)
{
    int count = block->count;
    if (count < 0)
        return 0;
    return count > kMaxIndexedLines ? kMaxIndexedLines : count;
}

// First occurrence of c in [from, to) of the block, or to.
uint32_t FindByte(const KeyDataBlock* block, uint32_t from, uint32_t to, char c)
{
    for (uint32_t i = from; i < to; ++i) {
        if (*block->at(i) == c)
            return i;
    }
    return to;
}

// First CR LF (both bytes) within [from, to), or to.
uint32_t FindCrLf(const KeyDataBlock* block, uint32_t from, uint32_t to)
{
    for (uint32_t i = from; i + 1 < to; ++i) {
        if (*block->at(i) == '\r' && *block->at(i + 1) == '\n')
            return i;
    }
    return to;
}

// Whether any of the four bytes at p is a double quote. String values are
// the longest stretches a read scans, and most of their bytes are not quotes:
// four at a time, such a stretch costs a quarter of the steps.
bool QuoteAmongFour(const char* p)
{
    uint32_t word;
    std::memcpy(&word, p, sizeof word);
    uint32_t quotes = word ^ 0x22222222u;   // a zero byte where a quote was
    return ((quotes - 0x01010101u) & ~quotes & 0x80808080u) != 0;
}

// First '"' CR LF within [from, to), or to.
uint32_t FindStringEnd(const KeyDataBlock* block, uint32_t from, uint32_t to)
{
    uint32_t i = from;
    while (i + 2 < to) {
        if (i + 4 <= to && !QuoteAmongFour(block->at(i))) {
            i += 4;
            continue;
        }
        if (*block->at(i) == '"' && *block->at(i + 1) == '\r' && *block->at(i + 2) == '\n')
            return i;
        ++i;
    }
    return to;
}

// The first colon behind a name's closing quote. A line the store wrote has
// its type word right there, which places the colon without a scan (no type
// word holds a colon before its last byte).
uint32_t ColonAfter(const KeyDataBlock* block, uint32_t quote, uint32_t end)
{
    const char* after = block->at(quote + 1);
    if (quote + 7 < end && std::memcmp(after, "=dword:", 7) == 0)
        return quote + 7;
    if (quote + 8 < end && std::memcmp(after, "=string:", 8) == 0)
        return quote + 8;
    if (quote + 6 < end && std::memcmp(after, "=bool:", 6) == 0)
        return quote + 6;
    return FindByte(block, quote + 1, end, ':');
}

// End of indexed line `index`: the next line's opening quote, or the end entry.
// Clamped so that a scan of the line never leaves [name, total].
uint32_t LineEnd(const KeyDataBlock* block, int index, int count, uint32_t total)
{
    uint32_t name = block->offsets[index];
    uint32_t end = index + 1 < count ? uint32_t(block->offsets[index + 1]) - 1 : block->offsets[count];
    if (block->offsets[index + 1] == 0 || end < name)
        end = name;
    return end > total ? total : end;
}

// The name against the line's bytes as if both ended in the closing quote:
// 0 only for the same name, and the sign orders names the way the sorted flag
// does. A NUL on the line side (the end of the text), or the end of the
// `available` bytes, ends the comparison, so the scan never passes the text.
int CompareName(const char* name, size_t nameLen, const char* line, size_t available)
{
    for (size_t k = 0; k < nameLen; ++k) {
        char l = k < available ? line[k] : '\0';
        if (name[k] == l)
            continue;   // the name holds no NUL, so neither does the line here
        int a = Lower(name[k]);
        int c = Lower(l);
        if (c == 0)
            return a ? a : 1;
        if (a != c)
            return a - c;
    }
    unsigned char after = static_cast<unsigned char>(nameLen < available ? line[nameLen] : '\0');
    if (after == '"')
        return 0;
    return int('"') - int(Lower(static_cast<char>(after)));
}

// Compares with line `index`, whose offset must lie inside the text: one
// outside it (a block another process damaged) is reported instead.
bool Matches(const KeyDataBlock* block, uint32_t total, int index, const char* name, size_t nameLen, int* order,
             bool* damaged)
{
    const uint32_t offset = block->offsets[index];   // read once: the block may be changing under a rogue writer
    if (offset <= kIndexBytes || offset > total) {
        *damaged = true;
        *order = 0;
        return false;
    }
    *order = CompareName(name, nameLen, block->at(offset), total - offset);
    return *order == 0;
}

} // namespace

uint32_t IndexKeyText(KeyDataBlock* block, uint32_t textLength)
{
    char* text = block->text();
    text[textLength] = '\0';
    const uint32_t limit =
        textLength > kLastByte - kIndexBytes ? kLastByte - kIndexBytes : textLength;

    block->sorted = 1;
    std::memset(block->reserved, 0, sizeof block->reserved);
    int count = 0;
    uint32_t cursor = 0;
    uint32_t previous = 0;
    while (count < kMaxIndexedLines) {
        uint32_t lineEnd = cursor;
        while (lineEnd + 1 < limit && !(text[lineEnd] == '\r' && text[lineEnd + 1] == '\n'))
            ++lineEnd;
        if (lineEnd + 1 >= limit)
            break;

        const uint32_t name = cursor + 1;
        block->offsets[count] = static_cast<uint16_t>(kIndexBytes + name);
        if (count > 0 && block->sorted) {
            uint32_t quote = name;
            while (quote < limit && text[quote] != '"')
                ++quote;
            uint32_t n = (quote < limit ? quote + 1 : limit) - name;
            if (CompareNoCase(text + name, text + previous, n) < 0)
                block->sorted = 0;
        }
        previous = name;
        cursor = lineEnd + 2;
        ++count;
    }
    block->count = count;
    block->offsets[count] = static_cast<uint16_t>(kIndexBytes + cursor);
    return kIndexBytes + textLength;
}

int CompareNoCase(const char* a, const char* b, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        int ca = Lower(a[i]);
        int cb = Lower(b[i]);
        if (ca != cb)
            return ca - cb;
        if (ca == 0)
            break;
    }
    return 0;
}

Lookup FindValue(const KeyDataBlock* block, const char* name, size_t nameLen)
{
    return FindValue(block, kLastByte, name, nameLen);
}

Lookup FindValue(const KeyDataBlock* block, uint32_t total, const char* name, size_t nameLen)
{
    const int count = Count(block);
    if (total > kLastByte)
        total = kLastByte;
    int order = 0;
    bool damaged = false;
    if (!block->sorted) {
        for (int i = 0; i < count; ++i) {
            if (Matches(block, total, i, name, nameLen, &order, &damaged))
                return {true, i};
            if (damaged)
                return {false, count, true};
        }
        return {false, count};
    }

    int low = 0;
    int high = count - 1;
    int middle = (count - 1) / 2;
    while (low <= high) {
        if (Matches(block, total, middle, name, nameLen, &order, &damaged))
            return {true, middle};
        if (damaged)
            return {false, low, true};
        if (order < 0)
            high = middle - 1;
        else
            low = middle + 1;
        middle = high - (high - low) / 2;
    }
    return {false, low};
}

namespace {

// The frame check, giving the line count it judged: another process may
// change the shared count meanwhile, and only the value checked may be used.
bool FrameSound(const KeyDataBlock* block, uint32_t length, uint32_t viewBytes, int* checkedCount)
{
    if (viewBytes <= kIndexBytes || length < kIndexBytes || length >= viewBytes || length > kLastByte)
        return false;
    const int32_t count = block->count;
    if (count < 0 || count > kMaxIndexedLines)
        return false;
    const uint32_t end = block->offsets[count];
    *checkedCount = count;
    return end >= kIndexBytes && end <= length && *block->at(length) == '\0';
}

} // namespace

bool BlockFrameSound(const KeyDataBlock* block, uint32_t length, uint32_t viewBytes)
{
    int count = 0;
    return FrameSound(block, length, viewBytes, &count);
}

bool BlockSound(const KeyDataBlock* block, uint32_t length, uint32_t viewBytes)
{
    int count = 0;
    if (!FrameSound(block, length, viewBytes, &count))
        return false;
    uint32_t previous = kIndexBytes;
    for (int i = 0; i <= count; ++i) {
        const uint32_t offset = block->offsets[i];
        // Each line holds at least its CR LF, so offsets rise strictly; the
        // end entry may equal the text's start only when there are no lines.
        if (i < count ? offset <= previous : offset < previous)
            return false;
        if (offset > length)
            return false;
        previous = offset;
    }
    return true;
}

ValueRef ReadValue(const KeyDataBlock* block, uint32_t total, int index, size_t nameLen)
{
    const ValueRef none{ValueType::None, 0, 0};
    const int count = Count(block);
    if (index < 0 || index >= count)
        return none;
    if (total > kLastByte)
        total = kLastByte;

    const uint32_t name = block->offsets[index];
    const uint32_t end = LineEnd(block, index, count, total);
    if (name <= kIndexBytes || name >= end)
        return none;
    // A name without quotes, which the caller knows, ends at the first quote.
    const uint32_t known = name + static_cast<uint32_t>(nameLen);
    const uint32_t quote = nameLen > 0 && nameLen <= kMaxValueName && known < end && *block->at(known) == '"'
                               ? known
                               : FindByte(block, name, end, '"');
    if (quote >= end)
        return none;
    const uint32_t colon = ColonAfter(block, quote, end);
    if (colon >= end)
        return none;

    // The type word must lie wholly behind the name's closing quote.
    auto typeIs = [&](const char* word, uint32_t len) {
        return colon + 1 >= quote + 1 + len && std::memcmp(block->at(colon + 1 - len), word, len) == 0;
    };
    uint32_t value = colon + 1;
    if (value < end && *block->at(value) == '"') {
        if (!typeIs("=string:", 8))
            return none;
        ++value;
        // A string value ends at its '"' CR LF, and never beyond its own line:
        // the lines that follow keep their offsets through any rewrite.
        uint32_t stop = FindStringEnd(block, value, end);
        if (stop == end)
            stop = FindCrLf(block, value, end);
        return {ValueType::String, value, stop - value};
    }

    ValueType type;
    if (typeIs("=dword:", 7))
        type = ValueType::Dword;
    else if (typeIs("=bool:", 6))
        type = ValueType::Bool;
    else
        return none;
    return {type, value, FindCrLf(block, value, end) - value};
}

uint32_t LineLength(ValueType type, size_t nameLen, size_t valueLen)
{
    const uint32_t n = static_cast<uint32_t>(nameLen + valueLen);
    switch (type) {
    case ValueType::String: return n + 14; // "name"=string:"value"\r\n
    case ValueType::Dword:  return n + 11; // "name"=dword:digits\r\n
    case ValueType::Bool:   return n + 10; // "name"=bool:d\r\n
    case ValueType::None:   break;
    }
    return 0;
}

uint32_t InsertLine(KeyDataBlock* block, uint32_t total, int p, const char* name, size_t nameLen,
                    ValueType type, const char* value, size_t valueLen)
{
    const int count = Count(block);
    if (type == ValueType::None || count != block->count || count >= kMaxIndexedLines || p < 0 ||
        p > count || nameLen > kLastByte || valueLen > kLastByte)
        return total;
    const uint32_t length = LineLength(type, nameLen, valueLen);
    if (total > kLastByte || length > kLastByte - total)
        return total;

    // A new last line goes right behind the indexed text, ahead of any lines
    // beyond the 255th, so that it is still among the indexed ones after a reload.
    const uint32_t at = p < count ? uint32_t(block->offsets[p]) - 1 : block->offsets[count];
    if (at < kIndexBytes || at > total)
        return total;

    std::memmove(block->at(at + length), block->at(at), total - at + 1);
    for (int j = count; j >= p; --j)
        block->offsets[j + 1] = static_cast<uint16_t>(block->offsets[j] + length);
    block->offsets[p] = static_cast<uint16_t>(at + 1);

    char* out = block->at(at);
    auto put = [&out](const char* bytes, size_t len) {
        std::memcpy(out, bytes, len);
        out += len;
    };
    put("\"", 1);
    put(name, nameLen);
    switch (type) {
    case ValueType::String: put("\"=string:\"", 10); put(value, valueLen); put("\"\r\n", 3); break;
    case ValueType::Dword:  put("\"=dword:", 8); put(value, valueLen); put("\r\n", 2); break;
    case ValueType::Bool:   put("\"=bool:", 7); put(value, valueLen); put("\r\n", 2); break;
    case ValueType::None:   break;
    }
    block->count = count + 1;
    return total + length;
}

uint32_t ReplaceValue(KeyDataBlock* block, uint32_t total, int index, const ValueRef& old,
                      const char* newValue, size_t newLen)
{
    const int count = Count(block);
    if (old.type == ValueType::None || index < 0 || index >= count || total > kLastByte)
        return total;
    const uint32_t oldEnd = old.offset + old.length;
    if (old.offset <= kIndexBytes || oldEnd > total || oldEnd < old.offset)
        return total;
    if (newLen > old.length && newLen - old.length > kLastByte - total)
        return total;

    const uint32_t newTotal = static_cast<uint32_t>(total - old.length + newLen);
    std::memmove(block->at(old.offset + static_cast<uint32_t>(newLen)), block->at(oldEnd), total - oldEnd + 1);
    std::memcpy(block->at(old.offset), newValue, newLen);
    const uint32_t delta = static_cast<uint32_t>(newLen - old.length); // modulo 2^32, may shrink
    for (int j = index + 1; j <= count; ++j)
        block->offsets[j] = static_cast<uint16_t>(block->offsets[j] + delta);
    return newTotal;
}

uint32_t DeleteLine(KeyDataBlock* block, uint32_t total, int index)
{
    const int count = Count(block);
    if (index < 0 || index >= count || count != block->count || total > kLastByte)
        return total;
    const uint32_t start = uint32_t(block->offsets[index]) - 1;
    const uint32_t end = index + 1 < count ? uint32_t(block->offsets[index + 1]) - 1 : block->offsets[count];
    if (block->offsets[index] <= kIndexBytes || end < start || end > total)
        return total;

    // Everything behind the line moves down, lines beyond the 255th included.
    const uint32_t removed = end - start;
    std::memmove(block->at(start), block->at(end), total - end + 1);
    for (int j = index + 1; j <= count; ++j)
        block->offsets[j - 1] = static_cast<uint16_t>(block->offsets[j] - removed);
    block->count = count - 1;
    return total - removed;
}

} // namespace keyfile
