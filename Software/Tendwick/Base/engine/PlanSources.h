// What the restore plan reads on this unit and its media, for the engine: the
// store through its one-shot reads, the saved files through the file-call
// table. The engine plans each step against the store as the steps before
// left it, and carries it out before it plans the next.
#pragma once

#include "RestorePlan.h"
#include "SettingsOverlay.h"

#include <string>
#include <vector>

class CMediaListing;
class RunWindow;

class CStoreSettings : public CSettingsOverlay {
public:
    unsigned long ReadDetail(keyfile::ValueType wanted) const override;

protected:
    bool ReadStored(const char* subdir, const char* key, const char* name, KeyValue* value) override;
    // The store answers each write itself when the plan is carried out.
    bool LooksUpBeforeWrite() const override { return false; }

private:
    unsigned long m_nStringDetail = 0;
    unsigned long m_nDwordDetail = 0;
};

// The saved files in one folder of the media; with a listing, only what it
// holds counts as saved. An empty folder takes each name as a whole path.
class CEngineMedia : public CSavedMedia {
public:
    CEngineMedia(const std::string& folder, const CMediaListing* listing) : m_folder(folder), m_pListing(listing) {}
    bool Lists(const char* mediaName) override;
    SavedFileRead Read(const char* mediaName, std::string* bytes, long* size) override;
    std::string Path(const char* mediaName) const;

private:
    std::string          m_folder;
    const CMediaListing* m_pListing;
};

// Carries one planned import out through the store and logs it as the import
// does; 1 when the file was read whole, every value was written and the key
// saved.
int CarryOutImport(RunWindow* window, const PlannedFile& file, const char* path);

// The knob layout of a ZR455 unit as planned: a "KnobLevels" that cannot be
// read is logged and leaves the layout (false unless it is missing).
bool CarryOutKnobLayout(const KnobPlan& knob, const char* persistRoot);

// Writes the knob layout's assignments (KnobLayoutWrites) and puts its page
// files in place; false when a write or a copy failed.
bool ApplyKnobLayout(const char* persistRoot, bool dualConcentric, const std::vector<PlannedWrite>& writes);
