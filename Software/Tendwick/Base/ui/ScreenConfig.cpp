#include "ScreenConfig.h"
#include "EngineFileCalls.h"

#include <string>

#include "EngineWin32.h"
#include "EngineKeys.h"
#include "Tendwick.h"

namespace {

const char kShellConfigSection[] = "ShellConfig";
const char kDefaultScreenSize[] = "0|0|640|480";
const char kDefaultButtonSize[] = "00x00";
const DWORD kPlatformBytes = 32;

// The line of the development computer's margin check, as the assertion text
// has always named it.
const int kMarginAssertLine = 265;

} // namespace

// --- a real unit -------------------------------------------------------------

CShellScreenConfig::CShellScreenConfig() : m_section(kShellPersist, kShellConfigSection) {}

void CShellScreenConfig::BuildKeyTable()
{
    CString groupL, groupR, knobL, knobR;
    bool haveL = m_section.GetString("ControlGroup_L", groupL);
    bool haveR = m_section.GetString("ControlGroup_R", groupR);
    bool haveKnobL = m_section.GetString("Knob_L", knobL);
    bool haveKnobR = m_section.GetString("Knob_R", knobR);
    BuildShellKeyTable(m_dwKeyTable, haveL ? groupL.GetString() : nullptr, haveR ? groupR.GetString() : nullptr,
                       haveKnobL ? knobL.GetString() : nullptr, haveKnobR ? knobR.GetString() : nullptr);
}

ControlGroupLayout CShellScreenConfig::RightGroupLayout()
{
    CString text;
    if (!m_section.GetString("ControlGroup_R", text)) return ControlGroupLayout{0, 0, 0};
    return ParseControlGroupLayout(text);
}

int CShellScreenConfig::GetSoftKeyTop()
{
    return RightGroupLayout().firstCentre;
}

int CShellScreenConfig::GetSoftKeyBottomMargin()
{
    RECT rect;
    GetScreenRect(rect);
    ScreenRect screen = {rect.left, rect.top, rect.right, rect.bottom};
    return ShellSoftKeyBottomMargin(screen, RightGroupLayout().lastCentre);
}

int CShellScreenConfig::GetSoftKeyCount()
{
    return RightGroupLayout().count;
}

void CShellScreenConfig::GetScreenRect(RECT& rect)
{
    CString text(kDefaultScreenSize);
    m_section.GetString("ScreenSize", text);
    ScreenRect screen = ParseScreenSize(text);
    rect = {screen.left, screen.top, screen.right, screen.bottom};
}

void CShellScreenConfig::GetSoftKeySize(SIZE& size)
{
    CString text(kDefaultButtonSize);
    m_section.GetString("BtnSize_Fixed", text);
    int width = 0, height = 0;
    ParseButtonSize(text, &width, &height);
    size.cx = width;
    size.cy = height;
}

// --- a development computer --------------------------------------------------

CPlatformScreenConfig::CPlatformScreenConfig() : m_pszRegistryPath(kCorvaneKey), m_nPlatformId(PLATFORM_UNKNOWN)
{
    std::string name;
    UniqueRegKey key;
    if (FcRegCreateKey(HKEY_CURRENT_USER, m_pszRegistryPath, KEY_ALL_ACCESS, key.put()) == ERROR_SUCCESS) {
        // A value that does not fit the 32-byte buffer reads as nothing.
        if (QueryTextValue(key.get(), "Platform", kPlatformBytes, name) != ERROR_SUCCESS) name.clear();
    }
    m_nPlatformId = PlatformIdFromName(name.c_str());
    BuildPlatformKeyTable(m_dwKeyTable);
}

int CPlatformScreenConfig::GetSoftKeyTop()
{
    return PlatformSoftKeyTop(m_nPlatformId);
}

int CPlatformScreenConfig::GetSoftKeyBottomMargin()
{
    int margin = 0;
    if (!PlatformSoftKeyBottomMargin(m_nPlatformId, &margin)) TendwickAssertFailed(kMarginAssertLine);
    return margin;
}

int CPlatformScreenConfig::GetSoftKeyCount()
{
    return PlatformSoftKeyCount(m_nPlatformId);
}

void CPlatformScreenConfig::GetScreenRect(RECT& rect)
{
    ScreenRect screen = PlatformScreenRect(m_nPlatformId);
    rect = {screen.left, screen.top, screen.right, screen.bottom};
}

void CPlatformScreenConfig::GetSoftKeySize(SIZE& size)
{
    size.cx = 0;
    size.cy = 0;
}
