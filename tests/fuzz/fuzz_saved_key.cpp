// Arbitrary bytes as a saved key file on the media: the import's walk (line
// split, parse, filter, value reading) hands each line to a visitor that
// checks what it gets and writes it into a model of the unit's key, as the
// dry run does. The first byte picks the row's filter.
#include "FuzzCheck.h"
#include "KeyFileFormat.h"
#include "KeyModel.h"
#include "SavedKeyImport.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct FilterChoice {
    const ValueFilterItem* pItems;
    uint32_t               nCount;
};

const FilterChoice kFilters[] = {
    {nullptr, 0},
    {ShellValueFilter, SHELL_FILTER_COUNT},
    {MapValueFilter, MAP_FILTER_COUNT},
    {AlertsValueFilterA, ALERTS_FILTER_COUNT},
};

bool Contains(const char* text, const char* bytes)
{
    return std::strpbrk(text, bytes) != nullptr;
}

class CCheckingImport : public CSavedKeyVisitor {
public:
    CCheckingImport(const FilterChoice& filter, const char* begin, const char* end, CKeyModel& model)
        : m_filter(filter), m_pBegin(begin), m_pEnd(end), m_model(model) {}

    void OnRefusedLine(ParseOutcome outcome, const char* line) override
    {
        FUZZ_CHECK(outcome != PARSE_OK);
        FUZZ_CHECK(line >= m_pBegin && line < m_pEnd);
        FUZZ_CHECK(line + std::strlen(line) < m_pEnd);   // ends at its own NUL inside the text
        ++m_nLines;
    }

    void OnFilteredOut(const char* name, const char* type, const char* text) override
    {
        FUZZ_CHECK(!FilterListAdmits(m_filter.pItems, m_filter.nCount, name));
        CheckItems(name, type, text);
        ++m_nLines;
    }

    void OnValue(const ImportValue& value) override
    {
        FUZZ_CHECK(FilterListAdmits(m_filter.pItems, m_filter.nCount, value.pszName));
        CheckItems(value.pszName, value.pszType, value.pszText);
        FUZZ_CHECK(value.kind == ImportKindOf(value.pszType));
        switch (value.kind) {
        case IMPORT_BOOL:
            FUZZ_CHECK(value.dwNumber == static_cast<uint32_t>(ReadSignedValue(value.pszText)));
            Written(m_model.WriteBool(value.pszName, static_cast<int>(value.dwNumber)));
            break;
        case IMPORT_DWORD:
            // The import and the store read a dword's text alike.
            FUZZ_CHECK(value.dwNumber == keyfile::ParseDword(value.pszText));
            Written(m_model.WriteDword(value.pszName, value.dwNumber));
            break;
        case IMPORT_STRING:
            Written(m_model.WriteString(value.pszName, value.pszText));
            break;
        case IMPORT_BAD_TYPE:
            FUZZ_CHECK(value.dwNumber == 0);
            break;
        }
        ++m_nLines;
    }

    size_t Lines() const { return m_nLines; }

private:
    void CheckItems(const char* name, const char* type, const char* text)
    {
        size_t nameLen = std::strlen(name), typeLen = std::strlen(type), textLen = std::strlen(text);
        FUZZ_CHECK(nameLen > 0 && nameLen < PARSE_NAME_SIZE);
        FUZZ_CHECK(typeLen > 0 && typeLen < PARSE_TYPE_SIZE);
        FUZZ_CHECK(textLen < PARSE_VALUE_SIZE);
        FUZZ_CHECK(!Contains(name, "\"="));
        FUZZ_CHECK(!Contains(type, "=:"));
        FUZZ_CHECK(!Contains(text, "\"\r"));
    }

    void Written(KeyWrite result)
    {
        FUZZ_CHECK(result != KEY_WRITE_NOT_OPEN);
    }

    FilterChoice m_filter;
    const char*  m_pBegin;
    const char*  m_pEnd;
    CKeyModel&   m_model;
    size_t       m_nLines = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const FilterChoice& filter = kFilters[data[0] % (sizeof(kFilters) / sizeof(kFilters[0]))];
    std::vector<char> text(reinterpret_cast<const char*>(data) + 1, reinterpret_cast<const char*>(data) + size);
    const size_t length = text.size();
    text.push_back('\0');

    // Each line that ends in CR LF before the CRC line is handed over once.
    size_t expected = 0;
    for (size_t at = 0; at < length;) {
        if (length - at >= 3 && std::memcmp(&text[at], "CRC", 3) == 0) break;
        const char* end = nullptr;
        for (size_t i = at; i + 1 < length; ++i)
            if (text[i] == '\r' && text[i + 1] == '\n') {
                end = &text[i];
                break;
            }
        if (!end) break;
        ++expected;
        at = static_cast<size_t>(end - &text[0]) + 2;
    }

    static CKeyModel model;
    model.LoadText("", 0);
    CCheckingImport import(filter, text.data(), text.data() + text.size(), model);
    WalkSavedKeyFile(text.data(), length, filter.pItems, filter.nCount, import);
    FUZZ_CHECK(import.Lines() == expected);

    // What the model holds is a key the store can load again, with the same lines.
    std::string saved = model.Text();
    std::string file = keyfile::BuildKeyFile(saved.data(), saved.size());
    size_t textLength = 0;
    FUZZ_CHECK(keyfile::ValidateKeyFile(file.data(), file.size(), &textLength) || saved.find("CRC:") != std::string::npos);
    CKeyModel again;
    FUZZ_CHECK(again.LoadText(saved.data(), saved.size()));
    FUZZ_CHECK(again.Values().size() == model.Values().size());
    return 0;
}
