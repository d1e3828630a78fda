// The store's location: the per-process base path (an explicit directory or
// the registry's) and the per-thread backup drive of the secondary files.
#include "StoreLocation.h"

#include <windows.h>

#include <cstring>

#include "KeyFiles.h"
#include "RegistryKey.h"
#include "Retenta.h"
#include "StoreFileCalls.h"

namespace {

const char kSettingsKey[]   = "SOFTWARE\\Corvane";
const char kPersistPath[]   = "PersistPath";
const char kDataPath[]      = "DataPath";
const char kBackupDrive[]   = "PersistBkupDrive";
constexpr DWORD kPathValueBytes  = 260;
constexpr DWORD kDriveValueBytes = 8;

bool OpenSettings(UniqueRegKey* key)
{
    return RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                           key->put(), nullptr) == ERROR_SUCCESS;
}

// Reads a value into out (bufferBytes of data plus a terminator out has room
// for); a value that does not fit counts as unreadable.
bool ReadSetting(HKEY key, const char* name, char* out, DWORD bufferBytes)
{
    if (!key) return false;
    DWORD size = bufferBytes;
    if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(out), &size) != ERROR_SUCCESS)
        return false;
    out[size < bufferBytes ? size : bufferBytes] = '\0';
    return true;
}

// One base path per process, read by every opening thread while any thread
// may set it. Created on first use, so that no static initialisation order
// can reach it unready; never destroyed, as threads may open keys to the end.
struct BasePath {
    CRITICAL_SECTION lock;
    char             path[kPathChars + 1];
    BasePath() : path() { InitializeCriticalSection(&lock); }
};

BasePath& Base()
{
    static BasePath* base = new BasePath();
    return *base;
}

class BaseLock {
public:
    BaseLock() { EnterCriticalSection(&Base().lock); }
    ~BaseLock() { LeaveCriticalSection(&Base().lock); }
    BaseLock(const BaseLock&) = delete;
    BaseLock& operator=(const BaseLock&) = delete;
};

// An existing directory, as a directory search finds it. Trailing
// backslashes are left out of the search, which would otherwise find nothing
// for "D:\Test\". Wildcards are refused: a search would take them as a pattern.
bool NamesDirectory(const char* path)
{
    size_t length = std::strlen(path);
    if (length == 0 || length > kPathChars || std::strpbrk(path, "*?")) return false;
    char search[kPathChars + 1];
    std::memcpy(search, path, length + 1);
    while (length > 0 && search[length - 1] == '\\') search[--length] = '\0';
    if (length == 0) return false;
    WIN32_FIND_DATAA found;
    return StoreFindFile(search, &found) && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Whether a base path was chosen in this process, by a program or at the
// store's first use.
volatile LONG g_baseChosen = 0;

// Chooses the base path: the argument when it names a directory, else the
// registry's. With `unlessChosen`, a path chosen meanwhile (by a program on
// another thread) stands.
bool ChooseBasePath(const char* path, bool unlessChosen)
{
    char chosen[kPathChars + 1] = "";
    bool taken = false;
    // A path longer than the buffer is not taken at all: a cut one would name
    // another directory.
    if (path && NamesDirectory(path)) {
        std::memcpy(chosen, path, std::strlen(path) + 1);
        taken = true;
    } else {
        UniqueRegKey settings;
        OpenSettings(&settings);
        if (ReadSetting(settings.get(), kPersistPath, chosen, kPathValueBytes)) {
            taken = true;
        } else {
            chosen[0] = '\0';
            taken = ReadSetting(settings.get(), kDataPath, chosen, kPathValueBytes);
            OutputDebugStringA("Retenta: couldn't read PersistPath - will use cwd\n");
            if (!taken) chosen[0] = '\0';
        }
    }

    // A full 260-character path has no room for the backslash; it stays as it
    // is, and key names formed from it are refused as too long.
    size_t length = std::strlen(chosen);
    if (length > 0 && chosen[length - 1] != '\\' && length < kPathChars) {
        chosen[length] = '\\';
        chosen[length + 1] = '\0';
    }

    BaseLock lock;
    if (unlessChosen && g_baseChosen) return taken;
    std::memcpy(Base().path, chosen, sizeof chosen);
    InterlockedExchange(&g_baseChosen, 1);
    return taken;
}

} // namespace

bool SetPersistBasePath(const char* path)
{
    return ChooseBasePath(path, false);
}

void CopyBasePath(char* out, size_t outSize)
{
    if (outSize == 0) return;
    // The registry's base path is read at the store's first use, not when the
    // library is loaded: the loader lock is held then, and registry calls
    // made under it can deadlock the process.
    if (!g_baseChosen) ChooseBasePath(nullptr, true);
    BaseLock lock;
    size_t length = std::strlen(Base().path);
    if (length >= outSize) length = outSize - 1;
    std::memcpy(out, Base().path, length);
    out[length] = '\0';
}

bool BackupDirectory(const char* keyDirectory, char* driveLetter, char* out, size_t outSize)
{
    size_t length = std::strlen(keyDirectory);
    if (length >= outSize) {
        if (outSize > 0) out[0] = '\0';
        return false;
    }
    std::memcpy(out, keyDirectory, length + 1);

    // Without a drive letter (a base path relative to the current directory)
    // there is no drive to swap: the secondary stays beside the primary, and
    // the thread's letter waits for a key directory that has one.
    if (length >= 2 && keyDirectory[1] == ':') {
        if (*driveLetter == 0) {
            char letter = keyDirectory[0];
            UniqueRegKey settings;
            char drive[kDriveValueBytes + 1] = "";
            if (OpenSettings(&settings) && ReadSetting(settings.get(), kBackupDrive, drive, kDriveValueBytes)) {
                char wanted = drive[0];
                if (wanted >= 'A' && wanted <= 'Z') wanted = static_cast<char>(wanted - 'A' + 'a');
                if (wanted >= 'a' && wanted <= 'z' && (GetLogicalDrives() & (1u << (wanted - 'a'))))
                    letter = wanted;
            }
            *driveLetter = letter;
        }
        out[0] = *driveLetter;
    }

    // A directory that cannot be made leaves the secondary missing; the open
    // repairs it later.
    if (length > 0 && !IsDirectory(out)) CreateDirectoryPath(out);
    return true;
}
