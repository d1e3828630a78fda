// One key in a store of its own, driven in sessions for the power-cut runs.
// A session puts a disk image in place, then records while the key is opened
// (and checked) and changed in rounds; the image a cut at some point of the
// session leaves is where the next session starts. The store is linked in,
// so that its file calls can be recorded, and runs on the calling thread.
#pragma once

#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "PowerCutModel.h"
#include "StoreTestSupport.h"

// A round's values all show its number; round 0 is the empty key.
struct RoundMark {
    unsigned long round;
    size_t        closeStart;    // changes recorded when its close began
    size_t        closeEnd;      // and when it returned
    long          closeResult;
};

struct PowerCutSession {
    explicit PowerCutSession(const powercut::Image& image) : journal(image) {}

    powercut::CDiskJournal journal;
    long          openResult = PERS_FAILED;
    DWORD         openDetail = 0;
    bool          valuesOk = false;   // every value of one round
    unsigned long shown = 0;          // that round
    bool          filesOk = false;    // both files valid and equal after the open
    std::string   why;                // what was wrong with the values or the files
    std::vector<RoundMark> rounds;
};

class CPowerCutKey {
public:
    CPowerCutKey();

    bool               Ready() const { return m_bReady; }
    bool               TwoVolumes() const { return m_bTwoVolumes; }   // the secondary on E:
    const std::string& Pri() const { return m_pri; }
    const std::string& Sec() const { return m_sec; }

    // Both files as the store saves round n, made without recording.
    powercut::Image Saved(unsigned long n);
    // Puts `image` on the disk and records the open with its checks, then
    // `rounds` rounds, each written and closed, numbered on from the round
    // the open showed (from 1 when it showed none).
    PowerCutSession Run(const powercut::Image& image, int rounds);
    // The round a cut before change `cut` of the session must not lose: the
    // last whose close had returned, else the one the open showed.
    static unsigned long ConfirmedAt(const PowerCutSession& session, size_t cut);

private:
    TempStoreDir          m_dir;
    CorvaneValue          m_backupDrive{"PersistBkupDrive"};
    std::string           m_pri, m_sec;
    bool                  m_bReady = false;
    bool                  m_bTwoVolumes = false;
    std::set<std::string> m_names;   // every file name the sessions saw
};

// The soak's counts, from the command line (see PowerCutMain.cpp).
struct PowerCutOptions {
    int      cuts = 300;   // --cuts=N
    unsigned seed = 0;     // --seed=N: 0 picks one from the clock
};
extern PowerCutOptions g_powerCut;
