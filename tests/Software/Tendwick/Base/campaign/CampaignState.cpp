#include "CampaignState.h"

#include <algorithm>
#include <functional>

#include "FindHandle.h"
#include "RegistryKey.h"
#include "Win32Handle.h"

const std::vector<std::string> kUnitRoots = {"C:\\Zelsys", "C:\\CopyOfCorvaneUserReg.reg", "D:\\Data",
                                             "D:\\ZelData", "D:\\FerroxTrace.txt"};
const std::vector<std::string> kMediaRoots = {"E:\\ZelConfig",   "E:\\ZIPPATH",      "E:\\ZelData",
                                              "E:\\VevezaDE1.DAT", "E:\\VevezaDE2.DAT", "E:\\ZelUtil.DAT",
                                              "E:\\dontDisable.dat"};

namespace {

const char kCorvane[] = "Software\\Corvane";
const char kComputerName[] = "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName";
const char kWinlogon[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";

bool ReadWhole(const std::string& path, std::string* bytes)
{
    UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    bytes->clear();
    char block[65536];
    DWORD got = 0;
    while (ReadFile(file.get(), block, sizeof block, &got, nullptr) && got) bytes->append(block, got);
    return true;
}

bool WriteWhole(const std::string& path, const std::string& bytes)
{
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    UniqueHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    DWORD wrote = 0;
    return file && WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr) &&
           wrote == bytes.size();
}

void Walk(const std::string& path, powercut::Image* image)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        std::string bytes;
        if (ReadWhole(path, &bytes)) (*image)[path] = bytes;
        return;
    }
    (*image)[path + "\\"] = std::string();
    WIN32_FIND_DATAA entry;
    UniqueFind find;
    if (!find.First((path + "\\*").c_str(), &entry)) return;
    do {
        std::string name = entry.cFileName;
        if (name != "." && name != "..") Walk(path + "\\" + name, image);
    } while (find.Next(&entry));
}

bool IsFolder(const std::string& name)
{
    return !name.empty() && name.back() == '\\';
}

void DeleteKeyTree(HKEY root, const std::string& path)
{
    {
        UniqueRegKey key;
        if (key.Open(root, path.c_str(), KEY_ALL_ACCESS) != ERROR_SUCCESS) return;
        for (;;) {
            char name[256];
            DWORD nameSize = sizeof name;
            if (RegEnumKeyExA(key.get(), 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            const std::string sub = path + "\\" + name;
            DeleteKeyTree(root, sub);
            if (RegDeleteKeyA(root, sub.c_str()) != ERROR_SUCCESS) break;
        }
    }
    RegDeleteKeyA(root, path.c_str());
}

void TakeKey(HKEY root, const std::string& path, std::vector<RegValue>* out)
{
    UniqueRegKey key;
    if (key.Open(root, path.c_str(), KEY_READ) != ERROR_SUCCESS) return;
    // The key itself, so that an empty key comes back too.
    out->push_back({root, path, std::string(), REG_NONE, "\x01key"});
    for (DWORD i = 0;; ++i) {
        char name[16384];
        DWORD nameSize = sizeof name, type = 0, size = 0;
        if (RegEnumValueA(key.get(), i, name, &nameSize, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
        std::string data(size, '\0');
        nameSize = sizeof name;
        if (RegEnumValueA(key.get(), i, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size) !=
            ERROR_SUCCESS)
            break;
        data.resize(size);
        out->push_back({root, path, name, type, data});
    }
    std::vector<std::string> subkeys;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameSize = sizeof name;
        if (RegEnumKeyExA(key.get(), i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        subkeys.push_back(name);
    }
    for (const std::string& sub : subkeys) TakeKey(root, path + "\\" + sub, out);
}

void TakeValue(HKEY root, const char* path, const char* name, std::vector<RegValue>* out)
{
    UniqueRegKey key;
    if (key.Open(root, path, KEY_READ) != ERROR_SUCCESS) return;
    char data[1024];
    DWORD size = sizeof data, type = 0;
    if (RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) == ERROR_SUCCESS)
        out->push_back({root, path, name, type, std::string(data, size)});
}

} // namespace

powercut::Image TakeFiles(const std::vector<std::string>& roots)
{
    powercut::Image image;
    for (const std::string& root : roots) Walk(root, &image);
    return image;
}

bool PutFiles(const powercut::Image& image, const std::vector<std::string>& roots, std::string* why)
{
    const powercut::Image now = TakeFiles(roots);
    // What is there and should not be: files first, then folders, deepest first.
    for (auto it = now.rbegin(); it != now.rend(); ++it) {
        if (image.count(it->first)) continue;
        if (IsFolder(it->first)) {
            RemoveDirectoryA(it->first.substr(0, it->first.size() - 1).c_str());
        } else {
            SetFileAttributesA(it->first.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(it->first.c_str());
        }
    }
    for (const auto& entry : image) {
        if (IsFolder(entry.first)) {
            CreateDirectoryA(entry.first.substr(0, entry.first.size() - 1).c_str(), nullptr);
            continue;
        }
        auto there = now.find(entry.first);
        if (there != now.end() && there->second == entry.second) continue;
        if (!WriteWhole(entry.first, entry.second)) {
            *why = "cannot write " + entry.first + ", error " + std::to_string(GetLastError());
            return false;
        }
    }
    return true;
}

std::vector<RegValue> TakeRegistry()
{
    std::vector<RegValue> values;
    TakeKey(HKEY_CURRENT_USER, kCorvane, &values);
    TakeValue(HKEY_LOCAL_MACHINE, kComputerName, "ComputerName", &values);
    TakeValue(HKEY_LOCAL_MACHINE, kWinlogon, "Shell", &values);
    return values;
}

void PutRegistry(const std::vector<RegValue>& values)
{
    DeleteKeyTree(HKEY_CURRENT_USER, kCorvane);
    for (const RegValue& value : values) {
        UniqueRegKey key;
        if (RegCreateKeyExA(value.root, value.key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                            nullptr) != ERROR_SUCCESS)
            continue;
        if (value.type == REG_NONE && value.name.empty()) continue;
        RegSetValueExA(key.get(), value.name.c_str(), 0, value.type, reinterpret_cast<const BYTE*>(value.data.data()),
                       static_cast<DWORD>(value.data.size()));
    }
}

State Take(const std::vector<std::string>& roots, bool registry)
{
    State state;
    state.files = TakeFiles(roots);
    if (registry) state.registry = TakeRegistry();
    return state;
}

bool Put(const State& state, const std::vector<std::string>& roots, bool registry, std::string* why)
{
    if (registry) PutRegistry(state.registry);
    return PutFiles(state.files, roots, why);
}

std::vector<std::string> Differences(const powercut::Image& a, const powercut::Image& b,
                                     bool (*ignore)(const std::string& name))
{
    std::vector<std::string> names;
    auto consider = [&](const std::string& name) {
        if (ignore && ignore(name)) return;
        auto x = a.find(name), y = b.find(name);
        if (x == a.end() || y == b.end() || x->second != y->second) names.push_back(name);
    };
    for (const auto& entry : a) consider(entry.first);
    for (const auto& entry : b)
        if (!a.count(entry.first)) consider(entry.first);
    return names;
}
