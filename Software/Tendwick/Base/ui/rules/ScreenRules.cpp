#include "ScreenRules.h"

#include "KeyRules.h"

#include <climits>
#include <cstdint>
#include <cstring>

namespace {

// The shell's values are text that another program writes, so they are read
// with a scanner that follows the scanf directives used for them ("%d" skips
// white space and takes a signed decimal, "%x" hexadecimal digits, any other
// character must match exactly) but never overflows: numbers too large
// saturate instead. Once a directive fails, every later one fails too.
class CFieldScanner {
public:
    explicit CFieldScanner(const char* text) : m_pszPos(text), m_bOk(text != nullptr) {}

    // A literal text such as "|" or ",0x".
    CFieldScanner& Literal(const char* literal)
    {
        for (; m_bOk && *literal; ++literal, ++m_pszPos)
            m_bOk = *m_pszPos == *literal;
        return *this;
    }

    // "%d", or "%*d" when value is null.
    CFieldScanner& Int(int* value)
    {
        if (!m_bOk)
            return *this;
        SkipSpace();
        bool bNegative = *m_pszPos == '-';
        if (*m_pszPos == '-' || *m_pszPos == '+')
            ++m_pszPos;
        int64_t nMagnitude = 0;
        const char* pszDigits = m_pszPos;
        for (; *m_pszPos >= '0' && *m_pszPos <= '9'; ++m_pszPos) {
            if (nMagnitude <= INT64_C(0x100000000))
                nMagnitude = nMagnitude * 10 + (*m_pszPos - '0');
        }
        m_bOk = m_pszPos != pszDigits;
        if (m_bOk && value) {
            int64_t nSigned = bNegative ? -nMagnitude : nMagnitude;
            *value = nSigned > INT_MAX ? INT_MAX : nSigned < INT_MIN ? INT_MIN : static_cast<int>(nSigned);
        }
        return *this;
    }

    // "%x", or "%*x" when value is null.
    CFieldScanner& Hex(uint32_t* value)
    {
        if (!m_bOk)
            return *this;
        SkipSpace();
        uint64_t nValue = 0;
        const char* pszDigits = m_pszPos;
        for (int nDigit; (nDigit = HexDigit(*m_pszPos)) >= 0; ++m_pszPos) {
            if (nValue <= UINT32_MAX)
                nValue = nValue * 16 + static_cast<uint64_t>(nDigit);
        }
        m_bOk = m_pszPos != pszDigits;
        if (m_bOk && value)
            *value = nValue > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(nValue);
        return *this;
    }

    bool Ok() const { return m_bOk; }

private:
    static int HexDigit(char ch)
    {
        if (ch >= '0' && ch <= '9')
            return ch - '0';
        if (ch >= 'a' && ch <= 'f')
            return ch - 'a' + 10;
        if (ch >= 'A' && ch <= 'F')
            return ch - 'A' + 10;
        return -1;
    }

    void SkipSpace()
    {
        while (*m_pszPos == ' ' || (*m_pszPos >= '\t' && *m_pszPos <= '\r'))
            ++m_pszPos;
    }

    const char* m_pszPos;
    bool m_bOk;
};

int Clamp(int64_t value)
{
    return value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : static_cast<int>(value);
}

int64_t Height(const ScreenRect& screen)
{
    return static_cast<int64_t>(screen.bottom) - screen.top;
}

char LowerAscii(char ch)
{
    return (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch;
}

bool EqualNoCase(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b) {
        if (LowerAscii(*a) != LowerAscii(*b))
            return false;
    }
    return *a == *b;
}

bool StartsWithNoCase(const char* text, const char* prefix)
{
    for (; *prefix; ++text, ++prefix) {
        if (!*text || LowerAscii(*text) != LowerAscii(*prefix))
            return false;
    }
    return true;
}

// word must be given in lower case.
bool ContainsNoCase(const char* text, const char* word)
{
    for (; *text; ++text) {
        if (StartsWithNoCase(text, word))
            return true;
    }
    return false;
}

struct PlatformRow {
    int nSoftKeyCount;
    int nSoftKeyTop;
    int nFixedMargin;   // -1: computed from the pitch
};

// Indexed by platform id; an id outside the table is treated as unknown.
const PlatformRow PLATFORM_ROWS[] = {
    {6, 0, 30},    // 4KT
    {9, 0, -1},    // Oxbrel
    {6, 0, -1},    // VGA
    {6, 0, -1},    // VGA-PORTRAIT
    {5, 285, 48},  // SVGA
    {5, 488, 48},  // SVGA-PORTRAIT
    {6, 27, 27},   // QMV
    {5, 285, 48},  // TVPRO-LANDSCAPE
    {5, 488, 48},  // TVPRO-PORTRAIT
    {5, 80, 46},   // ZR455
    {6, 0, -1},    // Desktop
    {6, 0, -1},    // no name matched
};

const PlatformRow& RowOf(int id)
{
    const int nRows = static_cast<int>(sizeof(PLATFORM_ROWS) / sizeof(PLATFORM_ROWS[0]));
    return PLATFORM_ROWS[(id >= 0 && id < nRows) ? id : PLATFORM_UNKNOWN];
}

const ScreenRect PLATFORM_RECTS[] = {
    {0, 0, 320, 234}, {0, 0, 480, 640}, {0, 0, 640, 480}, {0, 0, 480, 640}, {0, 0, 800, 600},
    {0, 0, 600, 800}, {0, 0, 640, 480}, {0, 0, 800, 600}, {0, 0, 600, 800},
};
const ScreenRect DEFAULT_PLATFORM_RECT = {17, 0, 625, 350};

// Matched in this order; the first whole-string match wins.
const struct {
    const char* pszName;
    int nId;
} PLATFORM_NAMES[] = {
    {"4KT", PLATFORM_4KT},
    {"VGA", PLATFORM_VGA},
    {"VGA-PORTRAIT", PLATFORM_VGA_PORTRAIT},
    {"SVGA", PLATFORM_SVGA},
    {"SVGA-PORTRAIT", PLATFORM_SVGA_PORTRAIT},
    {"Oxbrel", PLATFORM_OXBREL},
    {"QMV", PLATFORM_QMV},
    {"TVPRO-LANDSCAPE", PLATFORM_TVPRO_LANDSCAPE},
    {"TVPRO-PORTRAIT", PLATFORM_TVPRO_PORTRAIT},
    {"ZR455", PLATFORM_ZR455},
    {"Desktop", PLATFORM_DESKTOP},
};

const uint32_t KEY_DIGIT_1 = 0x31;

void MapKey(uint32_t table[KEY_TABLE_SIZE], uint32_t code, uint32_t meaning)
{
    if (code < KEY_TABLE_SIZE)
        table[code] = meaning;
}

// "%*d|%*d|%*d,%*d,0x%x|..." up to key i (0..4); the codes read go to codes.
CFieldScanner& ScanGroupKeys(CFieldScanner& scan, int keys, uint32_t* codes)
{
    scan.Int(nullptr).Literal("|").Int(nullptr);
    for (int i = 0; i < keys; ++i)
        scan.Literal("|").Int(nullptr).Literal(",").Int(nullptr).Literal(",0x").Hex(codes ? &codes[i] : nullptr);
    return scan;
}

}  // namespace

int PlatformIdFromName(const char* name)
{
    if (!name)
        return PLATFORM_UNKNOWN;
    if (StartsWithNoCase(name, "DEMO-"))
        name += 5;
    for (const auto& entry : PLATFORM_NAMES) {
        if (EqualNoCase(name, entry.pszName))
            return entry.nId;
    }
    return PLATFORM_UNKNOWN;
}

ScreenRect PlatformScreenRect(int id)
{
    const int nRects = static_cast<int>(sizeof(PLATFORM_RECTS) / sizeof(PLATFORM_RECTS[0]));
    return (id >= 0 && id < nRects) ? PLATFORM_RECTS[id] : DEFAULT_PLATFORM_RECT;
}

int PlatformSoftKeyCount(int id)
{
    return RowOf(id).nSoftKeyCount;
}

int PlatformSoftKeyTop(int id)
{
    return RowOf(id).nSoftKeyTop;
}

bool PlatformSoftKeyBottomMargin(int id, int* margin)
{
    // Only ids of the table have a fixed margin; any other id is computed.
    const int nRows = static_cast<int>(sizeof(PLATFORM_ROWS) / sizeof(PLATFORM_ROWS[0]));
    if (id >= 0 && id < nRows && PLATFORM_ROWS[id].nFixedMargin >= 0) {
        if (margin)
            *margin = PLATFORM_ROWS[id].nFixedMargin;
        return true;
    }
    return ComputeBottomMargin(PlatformScreenRect(id), PlatformSoftKeyCount(id), margin);
}

bool ComputeBottomMargin(const ScreenRect& screen, int count, int* margin)
{
    for (int nPitch = 64; nPitch >= 34; nPitch -= 2) {
        int64_t nMargin = Height(screen) - static_cast<int64_t>(count) * nPitch;
        if (nMargin >= 28) {
            if (margin)
                *margin = Clamp(nMargin);
            return true;
        }
    }
    return false;
}

int SoftKeyPitch(const ScreenRect& screen, int bottomMargin, int firstCentre, int count)
{
    if (count < 2)
        return 0;
    // 64-bit: margin and first centre may come from any text the shell wrote.
    int64_t nSpan = Height(screen) - bottomMargin - firstCentre;
    return Clamp(nSpan / (static_cast<int64_t>(count) - 1));
}

int ShellSoftKeyBottomMargin(const ScreenRect& screen, int lastCentre)
{
    return Clamp(Height(screen) - lastCentre);
}

bool ParseControlGroupCodes(const char* text, uint32_t codes[5])
{
    // "%*d|%*d|%*d,%*d,0x%x|%*d,%*d,0x%x|%*d,%*d,0x%x|%*d,%*d,0x%x|%*d,%*d,0x%x"
    uint32_t read[5] = {};
    CFieldScanner scan(text);
    if (!codes || !ScanGroupKeys(scan, 5, read).Ok())
        return false;
    std::memcpy(codes, read, sizeof(read));
    return true;
}

ControlGroupLayout ParseControlGroupLayout(const char* text)
{
    ControlGroupLayout layout = {0, 0, 0};
    // "%*d|%d"
    CFieldScanner(text).Int(nullptr).Literal("|").Int(&layout.count);
    // "%*d|%*d|%*d,%d"
    CFieldScanner(text).Int(nullptr).Literal("|").Int(nullptr).Literal("|").Int(nullptr).Literal(",").Int(
        &layout.firstCentre);
    // "%*d|%*d|%*d,%*d,0x%*x|%*d,%*d,0x%*x|%*d,%*d,0x%*x|%*d,%*d,0x%*x|%*d,%d"
    CFieldScanner scan(text);
    ScanGroupKeys(scan, 4, nullptr).Literal("|").Int(nullptr).Literal(",").Int(&layout.lastCentre);
    return layout;
}

bool ParseKnobCodes(const char* text, uint32_t* turnOne, uint32_t* turnOther)
{
    // "%*d|%*d,%*d|0x%x,0x%x,0x%x,0x%x"
    uint32_t read[4] = {};
    CFieldScanner scan(text);
    scan.Int(nullptr).Literal("|").Int(nullptr).Literal(",").Int(nullptr).Literal("|0x").Hex(&read[0]);
    for (int i = 1; i < 4; ++i)
        scan.Literal(",0x").Hex(&read[i]);
    if (!scan.Ok() || !turnOne || !turnOther)
        return false;
    *turnOne = read[0];
    *turnOther = read[1];
    return true;
}

ScreenRect ParseScreenSize(const char* text)
{
    // "%d|%d|%d|%d"
    ScreenRect rect = {0, 0, 0, 0};
    CFieldScanner(text).Int(&rect.left).Literal("|").Int(&rect.top).Literal("|").Int(&rect.right).Literal("|").Int(
        &rect.bottom);
    return rect;
}

void ParseButtonSize(const char* text, int* width, int* height)
{
    // "%dx%d"
    int nWidth = 0, nHeight = 0;
    CFieldScanner(text).Int(&nWidth).Literal("x").Int(&nHeight);
    if (width)
        *width = nWidth;
    if (height)
        *height = nHeight;
}

void BuildShellKeyTable(uint32_t table[KEY_TABLE_SIZE], const char* groupL, const char* groupR, const char* knobL,
                        const char* knobR)
{
    for (size_t i = 0; i < KEY_TABLE_SIZE; ++i)
        table[i] = 0;

    uint32_t codes[5];
    if (ParseControlGroupCodes(groupL, codes)) {
        for (uint32_t i = 0; i < 5; ++i)
            MapKey(table, codes[i], KEY_DIGIT_1 + i);
    }
    if (ParseControlGroupCodes(groupR, codes)) {
        for (uint32_t i = 0; i < 5; ++i)
            MapKey(table, codes[i], KEY_F1 + i);
    }
    uint32_t nTurnOne, nTurnOther;
    if (ParseKnobCodes(knobL, &nTurnOne, &nTurnOther)) {
        MapKey(table, nTurnOne, KEY_RIGHT);
        MapKey(table, nTurnOther, KEY_LEFT);
    }
    if (ParseKnobCodes(knobR, &nTurnOne, &nTurnOther)) {
        MapKey(table, nTurnOne, KEY_UP);
        MapKey(table, nTurnOther, KEY_DOWN);
    }
    table[0xDB] = 0xDB;
    table[0xDD] = 0xDD;
}

void BuildPlatformKeyTable(uint32_t table[KEY_TABLE_SIZE])
{
    for (size_t i = 0; i < KEY_TABLE_SIZE; ++i)
        table[i] = 0;
    for (uint32_t key = KEY_F1; key < KEY_F1 + 5; ++key)
        table[key] = key;
}

bool IsUnitShell(const char* logonShell, const char* savedShell, bool* saveShell)
{
    const char* pszLogon = logonShell ? logonShell : "";
    bool bHasShell = ContainsNoCase(pszLogon, "shell");
    bool bKnownShell = bHasShell || ContainsNoCase(pszLogon, "system");
    if (saveShell)
        *saveShell = bKnownShell;
    if (bKnownShell)
        return bHasShell;
    return savedShell && ContainsNoCase(savedShell, "shell");
}
