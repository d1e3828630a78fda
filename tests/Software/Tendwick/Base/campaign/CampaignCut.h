// Power cuts: the changes an uninterrupted run made to the unit's and the
// media's files, recorded through both tables of file calls into the
// store's power-cut model, and the files a cut before any of them leaves.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "EngineFileCalls.h"
#include "PowerCutFiles.h"
#include "PowerCutModel.h"

class CCutJournal {
public:
    // The durable start: the unit's and the media's files (folders left out).
    CCutJournal(const powercut::Image& unit, const powercut::Image& media);

    powercut::CDiskJournal& Journal() { return m_journal; }
    size_t Ops() const { return m_journal.Ops().size(); }
    std::string Describe(size_t cut) const;
    // Puts the files as a cut before change `cut` leaves them, each pending
    // change's fate drawn from seed.
    bool PutAfterCut(size_t cut, uint32_t seed, std::string* why) const;

private:
    powercut::CDiskJournal m_journal;
};

// While alive: the engine's and the store's changes recorded into the journal.
class CCutRecorder {
public:
    explicit CCutRecorder(CCutJournal& journal);
    ~CCutRecorder();
    CCutRecorder(const CCutRecorder&) = delete;
    CCutRecorder& operator=(const CCutRecorder&) = delete;

    static CCutRecorder& Active() { return *s_pActive; }
    CJournalCalls& Calls() { return m_calls; }
    const EngineFileCalls& Next() const { return m_scope.Previous(); }

private:
    static CCutRecorder* s_pActive;
    CJournalCalls m_calls;
    CPowerCutRecorder m_store;
    EngineFileCalls m_table;
    CScopedEngineFileCalls m_scope;
};
