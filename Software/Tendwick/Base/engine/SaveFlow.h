// The save, one press's worth: proves the media writable, asks for
// confirmation and a serial number, then writes the registry hive, its
// checksum, the catalogue's key files, the address book and the identity
// record to the media, and reads every copy back before the source unit may
// be disabled.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "RunResults.h"

class CRunContext;
class RunWindow;
struct SavePaths;

class CSaveFlow {
public:
    CSaveFlow(CRunContext& run, RunWindow& window, RunPrompts& prompts)
        : m_run(run), m_window(window), m_prompts(prompts) {}

    // Takes the save as far as this press goes.
    SaveStage SaveConfig();

    // Test seam: called after a save has written the media and before it is
    // read back, with the media configuration folder.
    typedef void (*SaveReadBackHook)(const char* mediaConfigFolder);
    static void SetSaveReadBackHook(SaveReadBackHook hook);

    // A file the save put on the media and what it must read back as: the
    // size and checksum of the bytes that were written to it.
    struct MediaCopy {
        std::string media;
        uint64_t    size;
        uint32_t    crc;
    };

private:
    // The steps of a press, in order; each false (with *stage) ends it.
    bool ProveMediaWritable(const SavePaths& paths, SaveStage* stage);
    bool AskQuestions(const SavePaths& paths, SaveStage* stage);
    bool TakeEnteredSerial();
    uint32_t SaveHive();
    bool ClearForSave(const SavePaths& paths, SaveStage* stage);
    void WriteHiveCopies(const SavePaths& paths, uint32_t crc, std::vector<MediaCopy>* written);
    void WriteCatalogue(const SavePaths& paths, std::vector<MediaCopy>* written);
    void WriteIdentity(const SavePaths& paths, std::vector<MediaCopy>* written);
    bool ReadBack(const SavePaths& paths, const std::vector<MediaCopy>& written);
    // A disabled unit whose disabling was cut off, beside a save of its own
    // that may be saved over (the window offered Save for it).
    bool IsCutOffDisablingBesideOwnSave();

    CRunContext& m_run;
    RunWindow&   m_window;
    RunPrompts&  m_prompts;
};
