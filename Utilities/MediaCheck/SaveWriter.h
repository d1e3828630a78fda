// Which program wrote the save on a media, read from the run log the
// maintenance runs append to: each run opens with a banner naming the program,
// the maintenance program logs its version text as its window is created, and
// a save logs every file it copies to the media.
#pragma once

#include <string>

struct SaveWriter {
    bool        bFound = false;    // the log records a save
    bool        bBanner = false;   // the saving run's banner is in the log
    std::string program;           // the program path from that banner
    bool        bVersion = false;  // that run logged a version text before the save
    std::string version;
    std::string stamp;             // time of the save's last copy line, as logged (UTC)
};

// The writer of the last save the log records. A log read from its tail may
// begin inside a run: the run's banner is then not known.
SaveWriter FindSaveWriter(const std::string& log);
