#include "DurableCopy.h"

#include "EngineFileCalls.h"

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
    CEngineFile input;
    if (!input.Open(source.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING)) return false;
    std::unique_ptr<char[]> block(new (std::nothrow) char[kBlockBytes]);
    if (!block) return Fail(ERROR_NOT_ENOUGH_MEMORY);

    CEngineFile output;
    if (!output.Open(target.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS)) return false;
    if (targetTouched) *targetTouched = true;
    for (;;) {
        DWORD read = 0;
        if (!input.Read(block.get(), kBlockBytes, &read)) return false;
        if (read == 0) break;
        if (!output.WriteAll(block.get(), read)) return false;
    }
    return output.Flush() && output.Close();
}

bool WriteFileReplacing(const std::string& target, const std::string& bytes)
{
    const std::string fresh = ReplacementName(target);
    // A read-only leftover would refuse the create, which is checked.
    FcSetFileAttributes(fresh.c_str(), FILE_ATTRIBUTE_NORMAL);
    CEngineFile file;
    return file.Open(fresh.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS) &&
           file.WriteAll(bytes.data(), static_cast<DWORD>(bytes.size())) && file.Flush() && file.Close() &&
           FcMoveFile(fresh.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

std::string ReplacementName(const std::string& target)
{
    return target + ".new";
}

bool ReplaceFileFlushed(const std::string& source, const std::string& target, bool* replaced)
{
    if (replaced) *replaced = false;
    const std::string copy = ReplacementName(target);
    // A read-only leftover of an earlier copy would refuse the new one; a
    // missing one is what is expected.
    FcSetFileAttributes(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!CopyFileFlushed(source, copy)) {
        DWORD error = GetLastError();
        // A part copy left behind is harmless: the next copy truncates it.
        FcDeleteFile(copy.c_str());
        return Fail(error);
    }
    // A read-only target (an older copy kept its source's bit) would refuse the move.
    const DWORD attributes = FcGetFileAttributes(target.c_str());
    // Should the bit stay, the move below fails and says so.
    if (attributes != INVALID_FILE_ATTRIBUTES) FcSetFileAttributes(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!FcMoveFile(copy.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DWORD error = GetLastError();
        // As above: a leftover copy is truncated by the next attempt.
        FcDeleteFile(copy.c_str());
        return Fail(error);
    }
    if (replaced) *replaced = attributes != INVALID_FILE_ATTRIBUTES;
    return true;
}
