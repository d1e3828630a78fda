#include "TestFiles.h"
#include "FindHandle.h"

#include <windows.h>

#include "ChildProcess.h"

namespace {

DWORD Attributes(const std::string& path)
{
    return GetFileAttributesA(path.c_str());
}

} // namespace

bool FileOrFolderExists(const std::string& path)
{
    return Attributes(path) != INVALID_FILE_ATTRIBUTES;
}

bool FileExists(const std::string& path)
{
    DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string& path)
{
    DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ReadFileBytes(const std::string& path)
{
    std::string bytes;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    char buffer[8192];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

testing::AssertionResult WriteFileBytes(const std::string& path, const std::string& bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return testing::AssertionFailure() << "cannot create " << path << ": error " << GetLastError();
    DWORD written = 0;
    bool ok = bytes.empty() ||
              (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
               written == bytes.size());
    DWORD error = GetLastError();
    CloseHandle(file);
    if (!ok)
        return testing::AssertionFailure() << "wrote " << written << " of " << bytes.size() << " bytes to " << path
                                           << ": error " << error;
    return testing::AssertionSuccess();
}

testing::AssertionResult WriteFileMakingFolders(const std::string& path, const std::string& bytes)
{
    // From the first folder below the drive's root on.
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
        CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    return WriteFileBytes(path, bytes);
}

void RemoveTree(const std::string& path)
{
    WIN32_FIND_DATAA found;
    UniqueFind find;
    if (find.First((path + "\\*").c_str(), &found)) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            std::string child = path + "\\" + name;
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileA(child.c_str());
        } while (find.Next(&found));
    }
    if (FolderExists(path)) SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA(path.c_str());
}

std::string MakeTempFolder(const std::string& prefix)
{
    char temp[MAX_PATH];
    DWORD n = GetTempPathA(sizeof temp, temp);
    std::string base(temp, n);
    if (!base.empty() && base.back() == '\\') base.pop_back();
    std::string folder = base + "\\" + UniqueName(prefix);
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}
