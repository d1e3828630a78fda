// The checksum of one whole file, computed block by block so that the window
// keeps handling its messages in between.
#include "RunMaint.h"

#include "Crc32.h"
#include "MessagePump.h"
#include "EngineFileCalls.h"

#include <memory>
#include <new>

namespace {

const DWORD kBlockBytes = 8192;

} // namespace

DWORD CRunMaint::GetFileCrc(const char* path, uint32_t* crc)
{
    if (!path || !crc) return ERROR_INVALID_DATA;

    // No sharing: nobody may change the file while it is summed.
    CEngineFile file;
    if (!file.Open(path, GENERIC_READ, 0, OPEN_EXISTING)) return GetLastError();

    std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[kBlockBytes]);
    if (!block) return ERROR_NOT_ENOUGH_MEMORY;

    DWORD result = ERROR_SUCCESS;
    uint32_t sum = 0;
    // The window procedure catches what its handlers raise: nothing the
    // pump dispatches comes back here.
    for (;;) {
        DWORD read = 0;
        if (!file.Read(block.get(), kBlockBytes, &read)) {
            result = GetLastError();
            break;
        }
        if (read == 0) break;
        sum = keyfile::Crc32(block.get(), read, sum);
        DrainMessages();
    }
    *crc = sum;
    return result;
}
