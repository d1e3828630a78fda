#include "CampaignFlows.h"

#include "CsrLogTesting.h"
#include "RunMaint.h"
#include "ThreadStore.h"

#include <cstdio>
#include <cstring>

namespace {

const uint32_t kSaveKey = 0x70;
const uint32_t kRestoreKey = 0x72;

// The window as the engine sees it: the lines it is given, the question it
// shows (which, as the window does, marks the question shown).
class CampaignWindow : public RunWindow {
public:
    explicit CampaignWindow(FlowRun* run) : m_pRun(run) {}
    CRunMaint* engine = nullptr;

    void SetStatusText(const char* text, int colour) override { Line('1', text, colour); }
    void SetDetailText(const char* text, int colour) override { Line('2', text, colour); }
    void SetNoteText(const char* text, int colour) override { Line('3', text, colour); }
    void SetProgressRange(int, int) override {}
    void StepProgress() override {}
    bool ShowConfirm(const char* question, bool) override
    {
        engine->SetConfirmShown(true);
        Line('1', question, RUN_COLOUR_WHITE);
        return true;
    }
    void SetKeyMask(uint32_t) override {}
    void BeginSerialEntry(const char*) override {}
    bool ShowSerialEntry() override { return true; }
    bool GetEnteredSerial(char*, size_t) override { return false; }

private:
    void Line(char line, const char* text, int colour)
    {
        std::string entry(1, line);
        if (colour == RUN_COLOUR_RED) entry += 'r';
        m_pRun->lines.push_back(entry + ":" + (text ? text : ""));
        if (colour == RUN_COLOUR_RED && text && *text) m_pRun->why = text;
    }
    FlowRun* m_pRun;
};

// What the window reads when it opens and again at each press: whether the
// press may start the flow. The press then works from what this survey read.
bool PressAllowed(CRunMaint& engine, uint32_t key)
{
    const UnitSurvey& survey = engine.Survey();
    return key == kSaveKey ? survey.bSaveAllowed : survey.bSavedFiles && survey.bRestoreAllowed;
}

} // namespace

const char* FlowName(Flow flow)
{
    switch (flow) {
    case Flow::Save: return "save";
    case Flow::Restore: return "restore";
    case Flow::Undo: return "undo";
    }
    return "?";
}

const char* EndingName(Ending ending)
{
    switch (ending) {
    case Ending::Finished: return "finished";
    case Ending::NotWritten: return "not written";
    case Ending::NotFinished: return "not finished (red)";
    case Ending::Exception: return "file exception (red)";
    case Ending::Refused: return "refused";
    case Ending::Silent: return "silent";
    }
    return "?";
}

void EndProcess()
{
    CsrLogDetachForTest();
    DiscardThreadState();
}

FlowRun RunFlow(Flow flow)
{
    // Each run is a start of the program of its own: the run log is opened
    // anew, and the store keeps no key of an earlier run in memory.
    struct ProcessEnd {
        ~ProcessEnd() { EndProcess(); }
    } processEnd;
    FlowRun run;
    CampaignWindow window(&run);
    CRunMaint engine(&window);
    window.engine = &engine;
    const uint32_t key = flow == Flow::Save ? kSaveKey : kRestoreKey;
    try {
        for (int press = 0; press < 2; ++press) {
            if (!PressAllowed(engine, key)) {
                run.ending = Ending::Refused;
                return run;
            }
            const MaintResult result = engine.MaintRun(&window, key);
            if (result == MaintResult::Pending) continue;
            run.ending = result == MaintResult::Done         ? Ending::Finished
                         : result == MaintResult::NotWritten ? Ending::NotWritten
                                                             : Ending::NotFinished;
            return run;
        }
    } catch (CFileException& e) {
        char text[256] = {};
        e.GetErrorMessage(text, sizeof text);
        run.ending = Ending::Exception;
        run.why = "File Exception (dwResult: " + std::to_string(e.m_cause) + ") " + text;
    }
    return run;
}
