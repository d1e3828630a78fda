// What a restore of the media would do to a unit whose store folder is given,
// computed without writing anything: the restore plan (RestorePlan.h) built
// over copies of the unit's keys and the files on the media.
#pragma once

#include "KeyModel.h"
#include "MediaFiles.h"
#include "RestorePlan.h"

#include <string>
#include <vector>

struct DryRunOptions {
    // The configurations whose factory flag the gate tests (the system's list by default).
    const char* const* pGatedList = GatedKeyList;
    size_t             nGatedCount = GatedKeyCount;
    // The hive copy the unit's last save left on it ("C:\\CopyOfCorvaneUserReg.reg"
    // on the unit); empty when not known. A disabled unit takes back only the
    // save whose checksum file gives its CRC.
    fs::path           hiveCopy;
    // The serial number in the unit's registry, which wins over the store's;
    // empty when it has none or it is not known.
    std::string        registrySerial;
};

using KeyDryRun = PlannedKey;

struct DryRunReport : RestorePlan {
    std::string            shownPersistRoot;
    bool                   bPersistRootFound = false;
    std::vector<KeySource> sources;   // how each of keys was loaded from the unit's files
};

DryRunReport DryRunRestore(const fs::path& mediaRoot, const fs::path& persistRoot, const std::string& shownPersistRoot,
                           const DryRunOptions& options = DryRunOptions());
