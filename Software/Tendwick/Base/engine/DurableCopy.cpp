#include "DurableCopy.h"

#include "Win32Handle.h"

#include <memory>
#include <new>

namespace {

const DWORD kBlockBytes = 65536;

bool Fail(DWORD error)
{
    SetLastError(error);
    return false;
}

} // namespace

bool CopyFileFlushed(const std::string& source, const std::string& target, bool* targetTouched)
{
    if (targetTouched) *targetTouched = false;
    UniqueHandle input(CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!input) return Fail(GetLastError());
    std::unique_ptr<char[]> block(new (std::nothrow) char[kBlockBytes]);
    if (!block) return Fail(ERROR_NOT_ENOUGH_MEMORY);

    UniqueHandle output(CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
    if (!output) return Fail(GetLastError());
    if (targetTouched) *targetTouched = true;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(input.get(), block.get(), kBlockBytes, &read, nullptr)) return Fail(GetLastError());
        if (read == 0) break;
        DWORD written = 0;
        if (!WriteFile(output.get(), block.get(), read, &written, nullptr)) return Fail(GetLastError());
        if (written != read) return Fail(ERROR_HANDLE_DISK_FULL);
    }
    if (!FlushFileBuffers(output.get())) return Fail(GetLastError());
    return true;
}

std::string ReplacementName(const std::string& target)
{
    return target + ".new";
}

bool ReplaceFileFlushed(const std::string& source, const std::string& target, bool* replaced)
{
    if (replaced) *replaced = false;
    const std::string copy = ReplacementName(target);
    SetFileAttributesA(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!CopyFileFlushed(source, copy)) {
        DWORD error = GetLastError();
        DeleteFileA(copy.c_str());
        return Fail(error);
    }
    // A read-only target (an older copy kept its source's bit) would refuse the move.
    const DWORD attributes = GetFileAttributesA(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!MoveFileExA(copy.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DWORD error = GetLastError();
        DeleteFileA(copy.c_str());
        return Fail(error);
    }
    if (replaced) *replaced = attributes != INVALID_FILE_ATTRIBUTES;
    return true;
}
