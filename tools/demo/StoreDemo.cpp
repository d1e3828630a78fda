// A short walk through the store on a demo unit: write a key, show its files,
// damage the primary, and watch the next open repair it from the secondary.
#include <windows.h>

#include <cstdio>
#include <string>
#include <thread>

#include "Retenta.h"

namespace {

std::string ReadFileText(const char* path)
{
    std::string text;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "(missing)";
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got) text.append(buffer, got);
    CloseHandle(file);
    return text;
}

void Show(const char* label, const char* path)
{
    std::string text = ReadFileText(path);
    std::printf("--- %s (%s, %u bytes)\n", label, path, static_cast<unsigned>(text.size()));
    for (char ch : text) {
        if (ch == '\r') std::fputs("\\r", stdout);
        else std::putchar(ch);
    }
}

const char* ResultName(long result)
{
    return result == PERS_SUCCESS ? "PERS_SUCCESS" : result == PERS_SUCCESS_INFO ? "PERS_SUCCESS_INFO" : "PERS_FAILED";
}

void Report(const char* what, long result)
{
    DWORD detail = GetLastError();
    std::printf("%-44s %s", what, ResultName(result));
    if (result != PERS_SUCCESS) std::printf(" (detail 0x%04lX)", detail);
    std::printf("\n");
}

} // namespace

int main()
{
    CreateDirectoryA("D:\\Data", nullptr);
    std::printf("SetPersistBasePath(D:\\Data\\) -> %s\n", SetPersistBasePath("D:\\Data\\") ? "true" : "false");

    // A thread's keys stay shared in memory until the thread ends; each step
    // runs on a thread of its own so that the next one reads the files.
    std::thread([] {
    Report("OpenPersistKey(ShellPersist, ShellConfig)", OpenPersistKey("ShellPersist", "ShellConfig", 1000));
    Report("PersistString(Platform, ZR455)", PersistString("Platform", "ZR455", 1000));
    Report("PersistDW(ScreenSize, 2)", PersistDW("ScreenSize", 2, 1000));
    Report("PersistBool(ExternalVideo, 1)", PersistBool("ExternalVideo", 1, 1000));
    Report("PersistDW(KnobLevels, 4294967295)", PersistDW("KnobLevels", 4294967295UL, 1000));
    Report("PersistDW(KnobLevels, 4294967295) again", PersistDW("KnobLevels", 4294967295UL, 1000));
    Report("ClosePersistKey", ClosePersistKey(1000));
    }).join();
    Show("primary", "D:\\Data\\ShellPersist\\ShellConfig.pri");
    Show("secondary", "E:\\Data\\ShellPersist\\ShellConfig.sec");

    std::printf("\nDamaging one byte of the primary...\n");
    HANDLE file = CreateFileA("D:\\Data\\ShellPersist\\ShellConfig.pri", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD wrote = 0;
    SetFilePointer(file, 12, nullptr, FILE_BEGIN);
    WriteFile(file, "X", 1, &wrote, nullptr);
    CloseHandle(file);

    std::thread([] {
        char platform[32] = {};
        Report("GetOnePersistedString(Platform)",
               GetOnePersistedString("ShellPersist", "ShellConfig", 1000, "Platform", sizeof platform, platform, "none"));
        std::printf("Platform = %s\n", platform);
    }).join();
    Show("primary after the repair", "D:\\Data\\ShellPersist\\ShellConfig.pri");
    return 0;
}
