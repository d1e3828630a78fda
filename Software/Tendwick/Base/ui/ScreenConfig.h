// The screen configuration: how large the screen is, where the soft keys sit
// beside the bezel keys, and which raw key codes stand for which bezel keys.
// A real unit answers from the display shell's own settings; a development
// computer from built-in tables chosen by its "Platform" value.
#pragma once

#include <windows.h>

#include <cstdint>

#include "PersistSection.h"
#include "ScreenRules.h"

class CScreenConfig {
public:
    // Defined here so that a window can be given a configuration of any
    // screen (a test's too) without the program's readers of it.
    CScreenConfig() = default;
    virtual ~CScreenConfig() = default;

    // The bezel meaning of a raw virtual-key code; 0 for none.
    uint32_t TranslateKey(UINT raw) const { return raw < KEY_TABLE_SIZE ? m_dwKeyTable[raw] : 0; }
    uint32_t* KeyTable() { return m_dwKeyTable; }

    virtual int GetSoftKeyTop() = 0;
    virtual int GetSoftKeyBottomMargin() = 0;
    virtual int GetSoftKeyCount() = 0;
    virtual void GetScreenRect(RECT& rect) = 0;
    virtual void GetSoftKeySize(SIZE& size) = 0;

protected:
    uint32_t m_dwKeyTable[KEY_TABLE_SIZE] = {};
};

// A real unit: "ShellPersist"/"ShellConfig" as the display's shell keeps it.
class CShellScreenConfig : public CScreenConfig {
public:
    CShellScreenConfig();

    // Fills the key table from the four key groups of the shell's settings.
    void BuildKeyTable();

    int GetSoftKeyTop() override;
    int GetSoftKeyBottomMargin() override;
    int GetSoftKeyCount() override;
    void GetScreenRect(RECT& rect) override;
    void GetSoftKeySize(SIZE& size) override;

private:
    ControlGroupLayout RightGroupLayout();

    CPersistSection m_section;
};

// A development computer: tables chosen by the "Platform" registry value.
class CPlatformScreenConfig : public CScreenConfig {
public:
    CPlatformScreenConfig();

    int GetPlatformId() const { return m_nPlatformId; }

    int GetSoftKeyTop() override;
    int GetSoftKeyBottomMargin() override;
    int GetSoftKeyCount() override;
    void GetScreenRect(RECT& rect) override;
    void GetSoftKeySize(SIZE& size) override;

private:
    const char* m_pszRegistryPath;
    int m_nPlatformId;
};
