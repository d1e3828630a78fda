#include "RegistryAccess.h"
#include "EngineFileCalls.h"

#include "EngineWin32.h"

#include <cstring>
#include <vector>

namespace {

struct RootName {
    const char* name;
    HKEY        root;
};

const RootName kRoots[] = {
    {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {"HKEY_USERS", HKEY_USERS},
};

} // namespace

UniqueRegKey OpenRegistryKey(HKEY root, const CString& keyPath, bool create)
{
    HKEY key = nullptr;
    LONG error = create ? FcRegCreateKey(root, keyPath, KEY_ALL_ACCESS, &key)
                        : FcRegOpenKey(root, keyPath, KEY_ALL_ACCESS, &key);
    return UniqueRegKey(error == ERROR_SUCCESS ? key : nullptr);
}

UniqueRegKey OpenRegistryPath(const CString& fullPath, bool create)
{
    int slash = fullPath.Find('\\');
    CString rootName = slash < 0 ? fullPath : fullPath.Left(slash);
    CString keyPath = slash < 0 ? CString() : fullPath.Mid(slash + 1);
    for (const RootName& entry : kRoots)
        if (std::strcmp(rootName, entry.name) == 0) return OpenRegistryKey(entry.root, keyPath, create);
    return UniqueRegKey();
}

bool QueryRegistryString(HKEY key, const CString& valueName, CString& result)
{
    DWORD type = 0;
    DWORD size = 0;
    if (FcRegQueryValue(key, valueName, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ)
        return false;
    std::vector<char> data(size ? size : 1, '\0');
    if (FcRegQueryValue(key, valueName, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    if (size > data.size()) size = static_cast<DWORD>(data.size());
    result = CString(data.data(), static_cast<int>(size));
    return true;
}

bool SetRegistryString(HKEY key, const CString& valueName, const CString& text)
{
    return FcRegSetValue(key, valueName, REG_SZ, reinterpret_cast<const BYTE*>(text.GetString()),
                          static_cast<DWORD>(text.GetLength() + 1)) == ERROR_SUCCESS;
}

bool SetRegistryDword(HKEY key, const CString& valueName, DWORD value)
{
    return FcRegSetValue(key, valueName, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value)) ==
           ERROR_SUCCESS;
}

bool WriteRegistryPathString(const CString& fullPath, const CString& valueName, const CString& text)
{
    UniqueRegKey key = OpenRegistryPath(fullPath, true);
    return key && SetRegistryString(key.get(), valueName, text);
}

bool WriteRegistryPathDword(const CString& fullPath, const CString& valueName, DWORD value)
{
    UniqueRegKey key = OpenRegistryPath(fullPath, true);
    return key && SetRegistryDword(key.get(), valueName, value);
}

bool ReadRegistryString(HKEY root, const CString& keyPath, const CString& valueName, CString& result)
{
    UniqueRegKey key = OpenRegistryKey(root, keyPath, false);
    result.Empty();
    return key && QueryRegistryString(key.get(), valueName, result);
}

bool WriteRegistryString(HKEY root, const CString& keyPath, const CString& valueName, const CString& text)
{
    UniqueRegKey key = OpenRegistryKey(root, keyPath, false);
    return key && SetRegistryString(key.get(), valueName, text);
}
