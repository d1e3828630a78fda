// The fixed list of store files that make up a unit's configuration: where
// each lives below the persist root, its flat name on the media, which of its
// values a restore takes over, and whether it belongs to the first restore
// pass. Compiled in; nothing changes it at run time.
#pragma once

#include <cstddef>
#include <cstdint>

#include "EngineLimits.h"

struct ValueFilterItem {
    const char* pszName;   // matched exactly, case-sensitively
    int32_t     nKind;     // 1 or 2; carried, not read
};

struct SavedFileEntry {
    const char*            pszDirectory;    // below the persist root, e.g. "ShellPersist\\MFD Configuration"
    const char*            pszFile;         // primary file, "<key>.pri"
    const char*            pszMediaName;    // name in the media's Persist folder
    const ValueFilterItem* pFilter;         // nullptr: every value
    uint32_t               dwFilterCount;   // 0: every value
    const char*            pszConfigName;   // option configuration key, or nullptr
    uint8_t                bOpenTolerant;   // 1: first restore pass, import goes on after a failed open
};

const size_t SAVED_FILE_COUNT = 59;
// The save's progress bar steps once per row, the restore's once more.
static_assert(SAVED_FILE_COUNT == static_cast<size_t>(kSaveProgressSteps) &&
                  kRestoreProgressSteps == kSaveProgressSteps + 1,
              "the progress bar's steps are the catalogue's rows");
extern const SavedFileEntry SavedFileCatalogue[SAVED_FILE_COUNT];

const size_t SHELL_FILTER_COUNT = 2;
const size_t ALERTS_FILTER_COUNT = 2;
const size_t MAP_FILTER_COUNT = 6;
extern const ValueFilterItem ShellValueFilter[SHELL_FILTER_COUNT];
extern const ValueFilterItem AlertsValueFilterA[ALERTS_FILTER_COUNT];
extern const ValueFilterItem AlertsValueFilterB[ALERTS_FILTER_COUNT];
extern const ValueFilterItem MapValueFilter[MAP_FILTER_COUNT];

// The configuration names whose factory configuration a restore really tests.
// Empty in this system: every row passes.
extern const char* const* const GatedKeyList;
extern const size_t GatedKeyCount;

// Whether a restore takes over the value of this name, by a row's filter and
// its count: always without a filter (nullptr or 0), otherwise only a name
// equal to one of the filter's items.
bool FilterListAdmits(const ValueFilterItem* pFilter, uint32_t dwCount, const char* pszValueName);

// Where the factory flag lives: this store directory, the configuration name
// as the key, this value.
const char FACTORY_FLAG_DIRECTORY[] = "ShellPersist\\MFD Configuration";
const char FACTORY_FLAG_VALUE[] = "CI_FACTORY_CONFIGURED";

// Reads the factory flag of the option configuration key into buffer (at most
// size - 1 characters); false when the read does not succeed.
typedef bool (*FactoryFlagReader)(const char* pszConfigName, char* buffer, size_t size, void* context);

// Whether the unit is factory-configured for the row's option: true unless
// the row names a configuration on the gated list, in which case the store's
// flag decides (its leading decimal digits, not 0). The store read is the
// caller's, so the decision stays free of the store.
bool IsFactoryConfigured(const SavedFileEntry& entry, FactoryFlagReader read, void* context,
                         const char* const* gatedList = GatedKeyList, size_t gatedCount = GatedKeyCount);
