// Lays out a realistic unit inside the Wine prefix it runs in, and reads one
// back: the registry values the maintenance program reads, store keys for
// every catalogue file (written through the store itself, so the files carry
// the real format), the knob templates, the address book, and the media files.
//
//   unit_image lay   [options]   write the unit
//   unit_image check [options]   read everything back; exit 1 on a difference
//   unit_image media [options]   write the disabled-unit picture on the media
//
// Options: --part P --rev N --serial S --serial-source reg|store|name
//          --platform X --variant dc|single --tag T --persist D:\Data --media E:
//          --backup-drive L --computer-name NAME
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "RegistryKey.h"
#include "Retenta.h"
#include "Win32Handle.h"
#include "SavedFileCatalogue.h"
#include "UnitLayout.h"

using namespace unitlayout;

namespace {

bool ReadWholeFile(const std::string& path, std::string& text)
{
    UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    text.clear();
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got) text.append(buffer, got);
    return true;
}

// --- check ---------------------------------------------------------------

int g_checkFailures = 0;

void Mismatch(const std::string& what, const std::string& expected, const std::string& actual)
{
    ++g_checkFailures;
    std::printf("unit_image: check: %s: expected \"%s\", got \"%s\"\n", what.c_str(), expected.c_str(), actual.c_str());
}

void CheckStoreValue(const StoreValue& value)
{
    const std::string what = value.subdir + "\\" + value.key + " " + value.name;
    char text[512] = {};
    unsigned long number = 0;
    int flag = 0;
    long rc = PERS_FAILED;
    std::string expected, actual;
    switch (value.kind) {
    case KIND_STRING:
        rc = GetOnePersistedString(value.subdir.c_str(), value.key.c_str(), STORE_TIMEOUT, value.name.c_str(),
                                   sizeof text, text, nullptr);
        expected = value.text;
        actual = text;
        break;
    case KIND_DW:
        rc = GetOnePersistedDW(value.subdir.c_str(), value.key.c_str(), STORE_TIMEOUT, value.name.c_str(), &number);
        expected = std::to_string(value.number);
        actual = std::to_string(number);
        break;
    case KIND_BOOL:
        rc = GetOnePersistedBool(value.subdir.c_str(), value.key.c_str(), STORE_TIMEOUT, value.name.c_str(), &flag);
        expected = std::to_string(value.number);
        actual = std::to_string(flag);
        break;
    }
    if (rc != PERS_SUCCESS) {
        char detail[64];
        std::snprintf(detail, sizeof detail, "(store result 0x%04lX, detail 0x%04lX)", rc, GetLastError());
        Mismatch(what, expected, detail);
    } else if (expected != actual) {
        Mismatch(what, expected, actual);
    }
}

void CheckRegistryValue(const RegistryValue& value)
{
    const std::string what = (value.root == HKEY_LOCAL_MACHINE ? "HKLM\\" : "HKCU\\") + value.path + " " + value.name;
    UniqueRegKey key;
    char text[512] = {};
    DWORD size = sizeof text - 1, type = 0;
    LONG rc = RegOpenKeyExA(value.root, value.path.c_str(), 0, KEY_READ, key.put());
    if (rc == ERROR_SUCCESS)
        rc = RegQueryValueExA(key.get(), value.name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
    if (rc != ERROR_SUCCESS) Mismatch(what, value.text, "(error " + std::to_string(rc) + ")");
    else if (type != REG_SZ || value.text != text) Mismatch(what, value.text, text);
}

void CheckFile(const std::string& path, const char* what)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        Mismatch(std::string(what) + " " + path, "a file", "missing");
}

void CheckBitmap(const std::string& path)
{
    std::string bytes;
    if (!ReadWholeFile(path, bytes)) return Mismatch(path, "a bitmap", "unreadable");
    BITMAPFILEHEADER header = {};
    if (bytes.size() >= sizeof header) std::memcpy(&header, bytes.data(), sizeof header);
    if (header.bfType != 0x4D42 || header.bfSize != bytes.size())
        Mismatch(path, "BM header, size " + std::to_string(bytes.size()),
                 "type " + std::to_string(header.bfType) + ", size " + std::to_string(header.bfSize));
}

int Check(const Options& o)
{
    std::vector<RegistryValue> registry = UnitRegistryValues(o);
    for (const RegistryValue& value : registry) CheckRegistryValue(value);

    unsigned files = 0;
    for (size_t row = 0; row < SAVED_FILE_COUNT; ++row, ++files)
        CheckFile(o.persistRoot + SavedFileCatalogue[row].pszDirectory + "\\" + SavedFileCatalogue[row].pszFile,
                  "catalogue file");
    for (const char* page : KNOB_PAGES)
        for (const char* suffix : {".pri", "4Knobs.pri", "2Knobs.pri"}) {
            CheckFile(o.persistRoot + "ShellPersist\\" + page + suffix, "page file");
            ++files;
        }

    std::string book;
    if (!ReadWholeFile(AddressBookPath(o), book)) Mismatch(AddressBookPath(o), "the address book", "unreadable");
    else if (book != AddressBookText(o)) Mismatch(AddressBookPath(o), AddressBookText(o), book);
    CheckBitmap("C:\\Zelsys\\Splash.bmp");
    files += 2;

    const std::string media = WithBackslash(o.mediaRoot);
    CheckFile(media + "VevezaDE1.DAT", "media file");
    CheckBitmap(media + "VevezaDE2.DAT");
    CheckFile(media + "ZelUtil.DAT", "media file");
    files += 3;

    // Last: opening a key whose files are missing makes the store create them.
    SetPersistBasePath(o.persistRoot.c_str());
    std::vector<StoreValue> values = UnitStoreValues(o);
    for (const StoreValue& value : values) CheckStoreValue(value);

    if (g_checkFailures) {
        std::printf("unit_image: check of unit %s FAILED: %d differences\n", o.tag.c_str(), g_checkFailures);
        return 1;
    }
    std::printf("unit_image: check of unit %s passed: %u registry values, %u store values, %u files\n", o.tag.c_str(),
                static_cast<unsigned>(registry.size()), static_cast<unsigned>(values.size()), files);
    return 0;
}

bool ParseOptions(int argc, char** argv, Options& o)
{
    for (int i = 2; i < argc; ++i) {
        std::string flag = argv[i];
        if (i + 1 >= argc) {
            std::printf("unit_image: %s needs a value\n", flag.c_str());
            return false;
        }
        std::string value = argv[++i];
        if (flag == "--part") o.part = value;
        else if (flag == "--rev") o.revision = std::atoi(value.c_str());
        else if (flag == "--serial") o.serial = value;
        else if (flag == "--serial-source") o.serialSource = value;
        else if (flag == "--platform") o.platform = value;
        else if (flag == "--variant") o.variant = value;
        else if (flag == "--tag") o.tag = value;
        else if (flag == "--persist") o.persistRoot = WithBackslash(value);
        else if (flag == "--media") o.mediaRoot = WithBackslash(value);
        else if (flag == "--backup-drive") o.backupDrive = value;
        else if (flag == "--computer-name") o.computerName = value;
        else {
            std::printf("unit_image: unknown option %s\n", flag.c_str());
            return false;
        }
    }
    if (o.serialSource != "reg" && o.serialSource != "store" && o.serialSource != "name") {
        std::printf("unit_image: --serial-source is reg, store or name\n");
        return false;
    }
    if (o.variant != "dc" && o.variant != "single") {
        std::printf("unit_image: --variant is dc or single\n");
        return false;
    }
    if (o.persistRoot.size() < 3 || o.persistRoot[1] != ':') {
        std::printf("unit_image: --persist must start with a drive, e.g. D:\\Data\\\n");
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    std::string command = argc > 1 ? argv[1] : "";
    if ((command != "lay" && command != "check" && command != "media") || !ParseOptions(argc, argv, options)) {
        std::printf("usage: unit_image lay|check|media [--part P] [--rev N] [--serial S] [--serial-source reg|store|name]\n"
                    "       [--platform X] [--variant dc|single] [--tag T] [--persist D:\\Data\\] [--media E:\\]\n"
                    "       [--backup-drive D] [--computer-name NAME]\n");
        return 2;
    }
    if (command == "lay") return Lay(options);
    if (command == "media") return Media(options);
    return Check(options);
}
