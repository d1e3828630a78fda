// The driver of the runs that are killed (tools/kill-test.sh): starts the
// program that runs the flows on the unit it runs in, ends it abruptly
// (TerminateProcess) at a given moment, and then checks the unit's key file
// pairs: each must be valid and load through the store, whose recovery may
// repair one file of a pair.
//
//   kill_run time TRANSCRIPT PROGRAM [ARGS]
//       run it to its end with its output in TRANSCRIPT; print its time and
//       when each line of its output appeared
//   kill_run kill [--after TEXT] MS TRANSCRIPT PROGRAM [ARGS]
//       kill it MS milliseconds after its start, or after TEXT first appears
//       in its output; then check the key file pairs
//   kill_run check
//       only the check of the key file pairs
//
// Output lines: "ran MS exit N" and "line at MS: TEXT"; "killed at MS" or
// "ended before the kill at MS exit N"; then "pairs N repaired R broken B" and
// one line per pair that was repaired ("repaired KEY: why") or is broken
// ("broken KEY: why"). Exit code: the program's for time; for kill and check
// 0 when every pair is valid and loads, 1 otherwise; 2 on bad use.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "KeyFileFormat.h"
#include "Retenta.h"
#include "FindHandle.h"
#include "RunMaint.h"
#include "Win32Handle.h"

namespace {

const int kStoreTimeout = 1000;
const UINT kKilledExitCode = 99;

// One argument as the C runtime reads it back: backslashes are doubled only
// before a quote (and before the closing one).
std::string Quote(const std::string& arg)
{
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
        } else {
            if (c == '"') quoted.append(backslashes + 1, '\\');
            backslashes = 0;
        }
        quoted += c;
    }
    return quoted.append(backslashes, '\\') + "\"";
}

std::string CommandLine(int argc, char** argv)
{
    std::string line;
    for (int i = 0; i < argc; ++i) line += (i ? " " : "") + Quote(argv[i]);
    return line;
}

// Starts the program with its output in the given file (none: inherited).
bool Start(const std::string& commandLine, const char* transcript, PROCESS_INFORMATION* process)
{
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    UniqueHandle output;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    if (transcript) {
        output.reset(CreateFileA(transcript, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!output) return false;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = output.get();
        startup.hStdError = output.get();
    }
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    return CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, process) != 0;
}

bool ReadWhole(const std::string& path, std::string* bytes)
{
    UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    bytes->clear();
    char block[65536];
    DWORD read = 0;
    while (ReadFile(file.get(), block, sizeof(block), &read, nullptr) && read > 0) bytes->append(block, read);
    return true;
}

// "missing", "invalid" or "" (valid), with the file's bytes.
std::string FileState(const std::string& path, std::string* bytes)
{
    if (!ReadWhole(path, bytes)) return "missing";
    size_t textLength = 0;
    return keyfile::ValidateKeyFile(bytes->data(), bytes->size(), &textLength) ? "" : "invalid";
}

struct KeyPair {
    std::string subdir;   // below the persist root, without trailing backslash
    std::string key;
};

void FindKeys(const std::string& root, const std::string& subdir, std::vector<KeyPair>& keys)
{
    WIN32_FIND_DATAA entry;
    UniqueFind find;
    if (!find.First((root + subdir + (subdir.empty() ? "" : "\\") + "*").c_str(), &entry)) return;
    do {
        std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            FindKeys(root, subdir.empty() ? name : subdir + "\\" + name, keys);
            continue;
        }
        size_t dot = name.rfind('.');
        if (subdir.empty() || dot == std::string::npos) continue;
        std::string extension = name.substr(dot);
        if (_stricmp(extension.c_str(), ".pri") != 0 && _stricmp(extension.c_str(), ".sec") != 0) continue;
        KeyPair pair = {subdir, name.substr(0, dot)};
        bool known = false;
        for (const KeyPair& k : keys) known = known || (_stricmp(k.subdir.c_str(), pair.subdir.c_str()) == 0 &&
                                                        _stricmp(k.key.c_str(), pair.key.c_str()) == 0);
        if (!known) keys.push_back(pair);
    } while (find.Next(&entry));
}

std::string SecondaryPath(const std::string& primary, char backupDrive)
{
    std::string path = primary.substr(0, primary.size() - 4) + ".sec";
    if (backupDrive && path.size() > 1 && path[1] == ':') path[0] = backupDrive;
    return path;
}

char BackupDrive()
{
    UniqueRegKey key;
    char drive = 0;
    if (key.Open(HKEY_CURRENT_USER, "Software\\Corvane", KEY_READ) == ERROR_SUCCESS) {
        char value[8] = {};
        DWORD size = sizeof(value) - 1;
        if (RegQueryValueExA(key.get(), "PersistBkupDrive", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) ==
            ERROR_SUCCESS)
            drive = value[0];
    }
    return drive;
}

// Every key pair below the persist root: valid and equal, or repaired by the
// store when it loads the key; never lost.
int CheckPairs()
{
    CRunMaint engine(nullptr);
    char media[MAINT_ROOT_SIZE] = {}, persist[MAINT_ROOT_SIZE] = {};
    try {
        engine.GetUpdatePath(media, sizeof media, persist, sizeof persist);
    } catch (const CFileException& e) {
        std::printf("broken paths: file exception %ld\n", e.m_lOsError);
        return 1;
    }
    SetPersistBasePath(persist);
    const char backup = BackupDrive();

    std::vector<KeyPair> keys;
    FindKeys(persist, "", keys);
    unsigned repaired = 0, broken = 0;
    std::vector<std::string> notes;
    for (const KeyPair& pair : keys) {
        const std::string name = pair.subdir + "\\" + pair.key;
        const std::string primary = std::string(persist) + name + ".pri";
        const std::string secondary = SecondaryPath(primary, backup);
        std::string priBytes, secBytes;
        std::string priState = FileState(primary, &priBytes);
        std::string secState = FileState(secondary, &secBytes);
        std::string why;
        if (!priState.empty()) why = "primary " + priState;
        else if (!secState.empty()) why = "secondary " + secState;
        else if (priBytes != secBytes) why = "secondary differs";

        long opened = OpenPersistKey(pair.subdir.c_str(), pair.key.c_str(), kStoreTimeout);
        DWORD detail = GetLastError();
        ClosePersistKey(kStoreTimeout);
        priState = FileState(primary, &priBytes);
        secState = FileState(secondary, &secBytes);
        bool loads = opened == PERS_SUCCESS || (opened == PERS_SUCCESS_INFO && detail != PERS_KEY_CREATED_NEW);
        if (!loads || !priState.empty() || !secState.empty() || priBytes != secBytes) {
            ++broken;
            char text[200];
            std::snprintf(text, sizeof text, "broken %s: %s; open 0x%lx detail 0x%lx, then primary %s, secondary %s",
                          name.c_str(), why.empty() ? "was valid" : why.c_str(), static_cast<unsigned long>(opened),
                          static_cast<unsigned long>(detail), priState.empty() ? "valid" : priState.c_str(),
                          secState.empty() ? "valid" : secState.c_str());
            notes.push_back(text);
        } else if (!why.empty()) {
            ++repaired;
            notes.push_back("repaired " + name + ": " + why);
        }
    }
    std::printf("pairs %u repaired %u broken %u\n", static_cast<unsigned>(keys.size()), repaired, broken);
    for (const std::string& note : notes) std::printf("%s\n", note.c_str());
    return broken == 0 && !keys.empty() ? 0 : 1;
}

// The program's output so far (it writes it unbuffered).
std::string Transcript(const char* path)
{
    std::string text;
    UniqueHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return text;
    char block[4096];
    DWORD read = 0;
    while (ReadFile(file.get(), block, sizeof(block), &read, nullptr) && read > 0) text.append(block, read);
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "check") return CheckPairs();

    const bool kill = command == "kill";
    int next = 2;
    const char* after = nullptr;
    if (kill && argc > next + 1 && std::strcmp(argv[next], "--after") == 0) {
        after = argv[next + 1];
        next += 2;
    }
    const DWORD delay = kill && argc > next ? static_cast<DWORD>(std::strtoul(argv[next++], nullptr, 10)) : 0;
    const char* transcript = argc > next ? argv[next++] : nullptr;
    if ((command != "time" && !kill) || argc <= next) {
        std::printf("usage: kill_run time TRANSCRIPT PROGRAM [ARGS] | kill [--after TEXT] MS TRANSCRIPT PROGRAM [ARGS]"
                    " | check\n");
        return 2;
    }

    PROCESS_INFORMATION process = {};
    const DWORD started = GetTickCount();
    if (!Start(CommandLine(argc - next, argv + next), transcript, &process)) {
        std::printf("cannot start %s: error %lu\n", argv[next], GetLastError());
        return 2;
    }
    UniqueHandle processHandle(process.hProcess), threadHandle(process.hThread);

    // Watch the output: when each line appears, and when the text to kill
    // after does.
    std::vector<std::pair<DWORD, std::string>> lines;
    size_t seen = 0;
    DWORD deadline = after ? INFINITE : started + delay;
    bool ended = false;
    for (;;) {
        ended = WaitForSingleObject(process.hProcess, 1) != WAIT_TIMEOUT;
        const DWORD now = GetTickCount();
        std::string text = Transcript(transcript);
        for (size_t end; (end = text.find('\n', seen)) != std::string::npos; seen = end + 1) {
            std::string line = text.substr(seen, end - seen);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back({now - started, line});
        }
        if (after && deadline == INFINITE && text.find(after) != std::string::npos) deadline = now + delay;
        if (ended || (kill && deadline != INFINITE && static_cast<LONG>(now - deadline) >= 0)) break;
    }
    const DWORD elapsed = GetTickCount() - started;
    DWORD exitCode = 0;
    if (!ended) {
        TerminateProcess(process.hProcess, kKilledExitCode);
        WaitForSingleObject(process.hProcess, INFINITE);
        std::printf("killed at %lu\n", elapsed);
    } else {
        GetExitCodeProcess(process.hProcess, &exitCode);
        std::printf(kill ? "ended before the kill at %lu exit %lu\n" : "ran %lu exit %lu\n", elapsed, exitCode);
    }
    if (!kill) {
        for (const auto& line : lines) std::printf("line at %lu: %s\n", line.first, line.second.c_str());
        return static_cast<int>(exitCode);
    }
    return CheckPairs();
}
