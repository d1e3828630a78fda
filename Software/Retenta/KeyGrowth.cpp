#include "KeyGrowth.h"

#include "KeyDataBlock.h"
#include "Retenta.h"
#include "StoreDebug.h"

namespace {

// 512 bytes beyond the request: a key that grows keeps room for the next few
// small values without replacing its block each time.
constexpr GrowthLimits kKeyGrowth = {4096, 512, keyfile::kMaxKeyBytes};

} // namespace

DWORD ReportGrowth(GrowResult result)
{
    DWORD detail = 0;
    switch (result) {
    case GrowResult::Fits:
        return 0;
    case GrowResult::TooLarge:
        detail = PERS_FAILED_MAX_KEY_SIZE_REACHED;
        break;
    case GrowResult::Shared:
    case GrowResult::Failed:
        detail = PERS_FAILED_VALUE_MISSING_NOT_CREATED;
        break;
    }
    ReportDetail(detail);
    return detail;
}

DWORD GrowKeyBlock(SharedMemory& memory, DWORD required)
{
    return ReportGrowth(memory.Grow(required, kKeyGrowth));
}

DWORD ReserveKeyBlock(SharedMemory& memory, DWORD bytes)
{
    return ReportGrowth(memory.Reserve(bytes, kKeyGrowth));
}
