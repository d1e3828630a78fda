#include "UncachedRead.h"

#include "Crc32.h"
#include "MessagePump.h"
#include "EngineFileCalls.h"

#include <memory>
#include <new>
#include <string>

namespace {

// Reads without the cache are aligned to at least this, whatever the volume
// says: the larger alignment is right for every smaller sector.
const DWORD kLeastAlignmentBytes = 4096;
const DWORD kLargestSectorBytes = 65536;
const DWORD kBlockBytes = 65536;

// The alignment of reads without the cache on the volume the path lies on:
// its sector size (the volume's, so that a folder mounted from another volume
// or a network path counts), at least kLeastAlignmentBytes.
DWORD SectorBytes(const char* path)
{
    char volume[MAX_PATH] = {};
    if (!GetVolumePathNameA(path, volume, sizeof(volume))) return kLeastAlignmentBytes;
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    if (!FcGetDiskFreeSpace(volume, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters) ||
        bytesPerSector <= kLeastAlignmentBytes || bytesPerSector > kLargestSectorBytes ||
        (bytesPerSector & (bytesPerSector - 1)))
        return kLeastAlignmentBytes;
    return bytesPerSector;
}

} // namespace

DWORD SumFileUncached(const char* path, uint64_t* size, uint32_t* crc, UncachedPump pump)
{
    if (!path || !size || !crc) return ERROR_INVALID_DATA;
    CEngineFile file;
    if (!file.Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN))
        return GetLastError();

    // A block of whole sectors at a sector-aligned address.
    const DWORD sector = SectorBytes(path);
    const DWORD block = kBlockBytes < sector ? sector : kBlockBytes - kBlockBytes % sector;
    std::unique_ptr<char[]> storage(new (std::nothrow) char[block + sector]);
    if (!storage) return ERROR_NOT_ENOUGH_MEMORY;
    const uintptr_t at = reinterpret_cast<uintptr_t>(storage.get());
    char* aligned = storage.get() + (sector - at % sector) % sector;

    uint64_t total = 0;
    uint32_t sum = 0;
    for (;;) {
        DWORD read = 0;
        if (!file.Read(aligned, block, &read)) return GetLastError();
        sum = keyfile::Crc32(aligned, read, sum);
        total += read;
        // The end of the file comes as a short read.
        if (read < block) break;
        if (pump == UncachedPump::Messages) DrainMessages();
    }
    *size = total;
    *crc = sum;
    return ERROR_SUCCESS;
}
