#include "UnitLayout.h"

#include <cstdio>
#include <cstring>

#include "GdiOwners.h"
#include "RegistryKey.h"
#include "Retenta.h"
#include "Win32Handle.h"
#include "SavedFileCatalogue.h"

namespace unitlayout {

std::string KeyNameOf(const char* file)
{
    const char* dot = std::strchr(file, '.');
    return dot ? std::string(file, dot) : std::string(file);
}

std::string WithBackslash(std::string path)
{
    if (path.empty() || path.back() != '\\') path += '\\';
    return path;
}

bool IsKnobDual(const Options& o) { return o.variant == "dc"; }

std::string EffectiveComputerName(const Options& o)
{
    if (!o.computerName.empty()) return o.computerName;
    return o.serialSource == "name" ? o.serial : std::string("TARNVELLO");
}

// --- what a unit holds -------------------------------------------------------

void AddString(std::vector<StoreValue>& v, const std::string& subdir, const std::string& key,
               const char* name, const std::string& text)
{
    v.push_back({subdir, key, name, KIND_STRING, text, 0});
}

void AddDw(std::vector<StoreValue>& v, const std::string& subdir, const std::string& key,
           const char* name, unsigned long number)
{
    v.push_back({subdir, key, name, KIND_DW, std::string(), number});
}

void AddBool(std::vector<StoreValue>& v, const std::string& subdir, const std::string& key,
             const char* name, bool flag)
{
    v.push_back({subdir, key, name, KIND_BOOL, std::string(), flag ? 1ul : 0ul});
}

// The shell's own configuration key, row 43 of the catalogue.
void AddShellConfig(std::vector<StoreValue>& v, const Options& o)
{
    const bool dual = IsKnobDual(o);
    const std::string s = "ShellPersist", k = "ShellConfig";
    // The screen and the bezel as the display's shell describes them: five keys
    // down each side (the right ones send F1..F5, the left ones 1..5) and the
    // two knobs sending the arrow keys. The dual-concentric unit has the
    // 800x600 display, the single-knob unit the 640x480 one.
    AddString(v, s, k, "ScreenSize", dual ? "0|0|800|600" : "0|0|640|480");
    AddString(v, s, k, "ControlGroup_R",
              dual ? "1|5|770,60,0x70|770,180,0x71|770,300,0x72|770,420,0x73|770,540,0x74"
                   : "1|5|610,48,0x70|610,144,0x71|610,240,0x72|610,336,0x73|610,432,0x74");
    AddString(v, s, k, "ControlGroup_L",
              dual ? "2|5|30,60,0x31|30,180,0x32|30,300,0x33|30,420,0x34|30,540,0x35"
                   : "2|5|30,48,0x31|30,144,0x32|30,240,0x33|30,336,0x34|30,432,0x35");
    AddString(v, s, k, "Knob_L", "3|0,0|0x27,0x25,0x00,0x00");
    AddString(v, s, k, "Knob_R", "4|0,0|0x26,0x28,0x00,0x00");
    AddString(v, s, k, "BtnSize_Fixed", "00x00");
    AddString(v, s, k, "Platform", o.platform);
    AddDw(v, s, k, "KnobLevels", dual ? 2 : 1);
    AddBool(v, s, k, "ExternalVideo", o.tag != "B");
    AddDw(v, s, k, "NumStartupApps", 1);
    AddString(v, s, k, "StartupApp1", "c:\\zelsys\\system.exe|Normal");
    AddString(v, s, k, "SplashNoticeBitmap", "C:\\Zelsys\\Splash.bmp");
    AddString(v, s, k, "PageKnob", dual ? "R|O" : "L|O");
    AddString(v, s, k, "Owner", "Unit " + o.tag);
}

// The knob assignments of the unit's own layout, as the knob restore writes them.
void AddKnobAssignments(std::vector<StoreValue>& v, const Options& o)
{
    const bool dual = IsKnobDual(o);
    const std::string s = "ShellPersist";
    AddString(v, s, "UI_Brightness", "pos_Coarse", dual ? "Brightness,RO" : "Brightness,LO");
    AddString(v, s, "UI_Brightness", "pos_Fine", dual ? "Brightness,RI" : "Brightness,RO");
    AddString(v, s, "UI_Map", "pos_Change", dual ? "MapSetup,RI" : "MapSetup,RO");
    AddString(v, s, "UI_Map", "pos_Field", dual ? "MapSetup,RO" : "MapSetup,LO");
    AddString(v, s, "UI_Map", "pos_Range", dual ? "Map,RI/TrafficMode,RI" : "Map,RO/TrafficMode,RO");
    AddString(v, s, "UI_Map", "pos_Select", dual ? "Trip,RI/Nrst,RI/Setup,RI" : "Trip,RO/Nrst,RO/Setup,RO");
    AddString(v, s, "UI_Standard", "pos_Select", "Dialog,RO");
    AddString(v, s, "UI_Standard", "pos_Change", dual ? "Dialog,RI" : "Dialog,LO");
}

const char* const KNOB_PAGES[3] = {"UI_Taws", "UI_KTX", "UI_Map"};

// Page files: the unit's own page keys and both templates beside each. A
// template's content names its layout, so a copy shows which one went in;
// the map page's templates carry that layout's map assignments too, since
// the knob restore copies the template over the assignments it just wrote.
void AddKnobPages(std::vector<StoreValue>& v, const Options& o)
{
    const std::string s = "ShellPersist";
    const char* own = IsKnobDual(o) ? "4Knobs" : "2Knobs";
    for (const char* page : KNOB_PAGES) {
        AddString(v, s, page, "PageLayout", own);
        AddString(v, s, page, "Softkeys", std::string(page) + " " + own + " softkeys");
        for (const char* layout : {"4Knobs", "2Knobs"}) {
            const bool dual = std::strcmp(layout, "4Knobs") == 0;
            std::string key = std::string(page) + layout;
            AddString(v, s, key, "PageLayout", layout);
            AddString(v, s, key, "Softkeys", std::string(page) + " " + layout + " softkeys");
            if (std::strcmp(page, "UI_Map") != 0) continue;
            AddString(v, s, key, "pos_Change", dual ? "MapSetup,RI" : "MapSetup,RO");
            AddString(v, s, key, "pos_Field", dual ? "MapSetup,RO" : "MapSetup,LO");
            AddString(v, s, key, "pos_Range", dual ? "Map,RI/TrafficMode,RI" : "Map,RO/TrafficMode,RO");
            AddString(v, s, key, "pos_Select", dual ? "Trip,RI/Nrst,RI/Setup,RI" : "Trip,RO/Nrst,RO/Setup,RO");
        }
    }
}

void AddCatalogueRow(std::vector<StoreValue>& v, const Options& o, size_t row)
{
    const SavedFileEntry& entry = SavedFileCatalogue[row];
    const std::string s = entry.pszDirectory, k = KeyNameOf(entry.pszFile);
    if (k == "ShellConfig" && s == "ShellPersist") {
        AddShellConfig(v, o);
        return;
    }
    AddString(v, s, k, "UnitTag", "Unit " + o.tag + " " + k);
    AddDw(v, s, k, "Revision", static_cast<unsigned long>(row + 1 + (o.tag == "B" ? 500 : 0)));
    AddBool(v, s, k, "Enabled", (row % 2) == (o.tag == "B" ? 1u : 0u));
    if (entry.bOpenTolerant) {
        AddString(v, s, k, "CI_FACTORY_CONFIGURED", "1");
        AddString(v, s, k, "CI_OPTION_LEVEL", o.tag == "B" ? "2" : "3");
    }
    // Filtered rows: every filtered name, and one that a restore must leave alone.
    for (uint32_t i = 0; i < entry.dwFilterCount; ++i)
        AddString(v, s, k, entry.pFilter[i].pszName, o.tag + "-" + entry.pFilter[i].pszName);
    if (entry.dwFilterCount) AddString(v, s, k, "LocalOnly", "kept by Unit " + o.tag);
}

std::vector<StoreValue> UnitStoreValues(const Options& o)
{
    std::vector<StoreValue> v;
    for (size_t row = 0; row < SAVED_FILE_COUNT; ++row) AddCatalogueRow(v, o, row);
    AddKnobAssignments(v, o);
    AddKnobPages(v, o);
    AddString(v, "ShellPersist", "SystemData", "SoftwarePartNum", o.part + " Rev " + std::to_string(o.revision));
    if (o.serialSource == "store") AddString(v, "ShellPersist", "SystemData", "SerialNumber", o.serial);
    return v;
}

const char CORVANE[] = "Software\\Corvane";
const char WINLOGON[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const char COMPUTER_NAME[] = "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName";
const char UNIT_SHELL[] = "C:\\Zelsys\\ZelShell.exe";

std::vector<RegistryValue> UnitRegistryValues(const Options& o)
{
    const std::string corvane = CORVANE;
    std::vector<RegistryValue> v = {
        {HKEY_CURRENT_USER, corvane, "CDROM", o.mediaRoot},
        {HKEY_CURRENT_USER, corvane, "PersistPath", o.persistRoot},
        {HKEY_CURRENT_USER, corvane, "DataPath", o.persistRoot},
        {HKEY_CURRENT_USER, corvane, "PersistBkupDrive", o.backupDrive},
        {HKEY_CURRENT_USER, corvane, "shell", UNIT_SHELL},
        {HKEY_CURRENT_USER, corvane + "\\SysSetup", "oemlogo", "C:\\Zelsys\\Splash.bmp"},
        {HKEY_CURRENT_USER, corvane + "\\ZelMenu\\Apps", "Map", "C:\\Zelsys\\Map.exe,C:\\Zelsys,0"},
        {HKEY_LOCAL_MACHINE, WINLOGON, "Shell", UNIT_SHELL},
        {HKEY_LOCAL_MACHINE, COMPUTER_NAME, "ComputerName", EffectiveComputerName(o)},
    };
    if (o.serialSource == "reg") v.push_back({HKEY_CURRENT_USER, corvane + "\\SysSetup", "SerialNumber", o.serial});
    return v;
}

std::string AddressBookPath(const Options& o)
{
    return o.persistRoot.substr(0, 3) + "ZelData\\DatalinkData\\AddressBook.txt";
}

std::string AddressBookText(const Options& o)
{
    return "; datalink address book of Unit " + o.tag + "\r\n"
           "OPS,ops-" + o.tag + "@fleet.example,1\r\n"
           "MAINT,maint-" + o.tag + "@fleet.example,1\r\n"
           "WX,wx@fleet.example,0\r\n";
}

// --- file helpers ----------------------------------------------------------

bool WriteWholeFile(const std::string& path, const void* data, size_t size)
{
    UniqueHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD wrote = 0;
    return file && WriteFile(file.get(), data, static_cast<DWORD>(size), &wrote, nullptr) && wrote == size;
}


// Creates every folder of the path's directory part.
void CreateFolders(const std::string& path)
{
    for (size_t i = 3; i < path.size(); ++i)
        if (path[i] == '\\') CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
}

// A 24-bit picture with a centred caption, drawn with GDI into a DIB section.
bool WriteCaptionBitmap(const std::string& path, const char* caption, COLORREF back, COLORREF fore)
{
    const int width = 320, height = 240;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    const DWORD stride = (width * 3 + 3) & ~3u;
    info.bmiHeader.biSizeImage = stride * height;

    OwnedMemoryDc dc(CreateCompatibleDC(nullptr));
    void* bits = nullptr;
    UniqueBitmap bitmap(CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!dc || !bitmap || !bits) return false;
    {
        SelectScope bitmapIn(dc.get(), bitmap.get());
        UniqueBrush brush(CreateSolidBrush(back));
        RECT all = {0, 0, width, height};
        FillRect(dc.get(), &all, brush.get());
        UniqueFont font(CreateFontA(36, 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Arial"));
        SelectScope fontIn(dc.get(), font.get());
        SetBkMode(dc.get(), TRANSPARENT);
        SetTextColor(dc.get(), fore);
        DrawTextA(dc.get(), caption, -1, &all, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        GdiFlush();
    }

    BITMAPFILEHEADER header = {};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof header + sizeof info.bmiHeader;
    header.bfSize = header.bfOffBits + info.bmiHeader.biSizeImage;
    std::string file(reinterpret_cast<const char*>(&header), sizeof header);
    file.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
    file.append(static_cast<const char*>(bits), info.bmiHeader.biSizeImage);
    return WriteWholeFile(path, file.data(), file.size());
}

// --- lay -----------------------------------------------------------------

bool SetRegistryString(const RegistryValue& value)
{
    UniqueRegKey key;
    LONG rc = RegCreateKeyExA(value.root, value.path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
    if (rc == ERROR_SUCCESS)
        rc = RegSetValueExA(key.get(), value.name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.text.c_str()),
                            static_cast<DWORD>(value.text.size() + 1));
    if (rc != ERROR_SUCCESS) std::printf("unit_image: registry %s\\%s: error %ld\n", value.path.c_str(), value.name.c_str(), rc);
    return rc == ERROR_SUCCESS;
}

bool WriteStoreValue(const StoreValue& value)
{
    switch (value.kind) {
    case KIND_STRING: return PersistString(value.name.c_str(), value.text.c_str(), STORE_TIMEOUT) != PERS_FAILED;
    case KIND_DW: return PersistDW(value.name.c_str(), value.number, STORE_TIMEOUT) != PERS_FAILED;
    case KIND_BOOL: return PersistBool(value.name.c_str(), static_cast<int>(value.number), STORE_TIMEOUT) != PERS_FAILED;
    }
    return false;
}

// Writes the values key by key; the table keeps each key's values together.
int WriteStore(const std::vector<StoreValue>& values)
{
    int failures = 0;
    for (size_t i = 0; i < values.size();) {
        const StoreValue& first = values[i];
        long open = OpenPersistKey(first.subdir.c_str(), first.key.c_str(), STORE_TIMEOUT);
        if (open == PERS_FAILED) {
            std::printf("unit_image: OpenPersistKey(%s, %s) failed, detail 0x%04lX\n", first.subdir.c_str(),
                        first.key.c_str(), GetLastError());
            ++failures;
        }
        size_t end = i;
        for (; end < values.size() && values[end].subdir == first.subdir && values[end].key == first.key; ++end) {
            if (open != PERS_FAILED && !WriteStoreValue(values[end])) {
                std::printf("unit_image: %s\\%s %s: write failed, detail 0x%04lX\n", first.subdir.c_str(),
                            first.key.c_str(), values[end].name.c_str(), GetLastError());
                ++failures;
            }
        }
        if (open != PERS_FAILED && ClosePersistKey(STORE_TIMEOUT) == PERS_FAILED) {
            std::printf("unit_image: ClosePersistKey(%s\\%s) failed, detail 0x%04lX\n", first.subdir.c_str(),
                        first.key.c_str(), GetLastError());
            ++failures;
        }
        i = end;
    }
    return failures;
}

int Lay(const Options& o)
{
    int failures = 0;
    for (const RegistryValue& value : UnitRegistryValues(o)) failures += SetRegistryString(value) ? 0 : 1;
    RegFlushKey(HKEY_CURRENT_USER);

    CreateFolders(o.persistRoot);
    if (!SetPersistBasePath(o.persistRoot.c_str())) {
        std::printf("unit_image: persist root %s not usable\n", o.persistRoot.c_str());
        return 1;
    }
    std::vector<StoreValue> values = UnitStoreValues(o);
    failures += WriteStore(values);

    const std::string book = AddressBookPath(o), bookText = AddressBookText(o);
    CreateFolders(book);
    if (!WriteWholeFile(book, bookText.data(), bookText.size())) {
        std::printf("unit_image: cannot write %s (error %lu)\n", book.c_str(), GetLastError());
        ++failures;
    }
    CreateFolders("C:\\Zelsys\\x");
    if (!WriteCaptionBitmap("C:\\Zelsys\\Splash.bmp", ("UNIT " + o.tag).c_str(), RGB(0, 40, 90), RGB(255, 255, 255))) {
        std::printf("unit_image: cannot write the splash picture\n");
        ++failures;
    }
    std::printf("unit_image: laid out unit %s: serial %s (%s), %s Rev %d, platform %s, %s knobs, "
                "%u store values, persist root %s\n",
                o.tag.c_str(), o.serial.c_str(), o.serialSource.c_str(), o.part.c_str(), o.revision,
                o.platform.c_str(), IsKnobDual(o) ? "dual-concentric" : "single", static_cast<unsigned>(values.size()),
                o.persistRoot.c_str());
    return failures ? 1 : 0;
}

int Media(const Options& o)
{
    std::string path = WithBackslash(o.mediaRoot) + "VevezaDE2.DAT";
    if (!WriteCaptionBitmap(path, "UNIT DISABLED", RGB(160, 0, 0), RGB(255, 255, 255))) {
        std::printf("unit_image: cannot write %s (error %lu)\n", path.c_str(), GetLastError());
        return 1;
    }
    std::printf("unit_image: wrote %s\n", path.c_str());
    return 0;
}

} // namespace unitlayout
