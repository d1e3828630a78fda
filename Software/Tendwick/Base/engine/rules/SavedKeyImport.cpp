#include "SavedKeyImport.h"

#include "IdentityRules.h"
#include "TextFields.h"

#include <cstdio>
#include <cstring>
#include <new>

SavedFileRead ReadSavedFileText(const char* path, SavedFileText* text, long* sizeOut)
{
    long ignored = 0;
    long& size = sizeOut ? *sizeOut : ignored;
    size = -1;
    FILE* file = path ? std::fopen(path, "rb") : nullptr;
    if (!file) return SAVED_READ_NO_FILE;
    if (std::fseek(file, 0, SEEK_END) == 0) size = std::ftell(file);
    std::fseek(file, 0, SEEK_SET);
    if (size < 0) {
        std::fclose(file);
        return SAVED_READ_NO_FILE;
    }
    if (static_cast<unsigned long>(size) > SAVED_FILE_MAX_BYTES) {
        std::fclose(file);
        return SAVED_READ_TOO_LARGE;
    }
    text->pBytes.reset(new (std::nothrow) char[static_cast<size_t>(size) + 1]);
    if (!text->pBytes) {
        std::fclose(file);
        return SAVED_READ_NO_MEMORY;
    }
    text->nLength = std::fread(text->pBytes.get(), 1, static_cast<size_t>(size), file);
    text->pBytes[text->nLength] = '\0';
    bool failed = std::ferror(file) != 0 || text->nLength != static_cast<size_t>(size);
    std::fclose(file);
    return failed ? SAVED_READ_SHORT : SAVED_READ_OK;
}

ImportKind ImportKindOf(const char* type)
{
    if (std::strcmp(type, "bool") == 0) return IMPORT_BOOL;
    if (std::strcmp(type, "dword") == 0) return IMPORT_DWORD;
    if (std::strcmp(type, "string") == 0) return IMPORT_STRING;
    return IMPORT_BAD_TYPE;
}

void WalkSavedKeyFile(char* text, size_t length, const ValueFilterItem* filter, uint32_t filterCount,
                      CSavedKeyVisitor& visitor)
{
    char name[PARSE_NAME_SIZE];
    char type[PARSE_TYPE_SIZE];
    char value[PARSE_VALUE_SIZE];
    SavedLineWalker lines(text, length);
    while (!visitor.Done()) {
        const char* line = lines.Next();
        if (!line) break;
        ParseOutcome outcome = ParseValueLine(line, name, type, value);
        if (outcome != PARSE_OK) {
            visitor.OnRefusedLine(outcome, line);
            continue;
        }
        if (!FilterListAdmits(filter, filterCount, name)) {
            visitor.OnFilteredOut(name, type, value);
            continue;
        }
        ImportValue item{name, type, value, ImportKindOf(type), 0};
        if (item.kind == IMPORT_BOOL) item.dwNumber = static_cast<uint32_t>(ReadSignedValue(value));
        if (item.kind == IMPORT_DWORD) item.dwNumber = ReadDwordValue(value);
        visitor.OnValue(item);
    }
}

bool SavedKeyName(const char* file, char* key, size_t size)
{
    if (!key || size == 0) return false;
    key[0] = '\0';
    if (!file) return false;
    const char* period = std::strchr(file, '.');
    // Only a period among the first size - 1 characters counts: the name is
    // taken into a buffer of that size before the period is looked for.
    if (!period || static_cast<size_t>(period - file) >= size - 1) return false;
    CopyText(key, size, TextPrefix(file, static_cast<size_t>(period - file)).c_str());
    return true;
}

std::vector<RestoreStep> RestoreSteps(const SavedFileEntry* rows, size_t count)
{
    std::vector<RestoreStep> steps;
    bool first = true;
    for (size_t i = 0; i < count; ++i) {
        if (rows[i].bOpenTolerant != 1) continue;
        steps.push_back(RestoreStep{&rows[i], true, first});
        first = false;
    }
    for (size_t i = 0; i < count; ++i) steps.push_back(RestoreStep{&rows[i], false, true});
    return steps;
}

bool NeedsDatalinkFixUp(const char* subdir, const char* key, const char* savedPart)
{
    return PrefixMatch(subdir, DATALINK_SUBDIR) && PrefixMatch(key, DATALINK_KEY) && IsLegacyShellPart(savedPart);
}
