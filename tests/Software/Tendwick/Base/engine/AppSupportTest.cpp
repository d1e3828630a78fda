// What the engine asks of the application: the event reporter and the
// persist sections, against the real event log calls and the real store.
#include "EngineFixture.h"

#include "EventReporter.h"
#include "PersistSection.h"
#include "Retenta.h"

namespace {

class AppSupport : public EngineTest {};

HANDLE g_reportedSource = INVALID_HANDLE_VALUE;
BOOL WINAPI RecordSource(HANDLE source, WORD, WORD, DWORD, PSID, WORD, DWORD, LPCSTR*, LPVOID)
{
    g_reportedSource = source;
    return FALSE;
}

TEST_F(AppSupport, TheReporterWritesThroughTheRegisteredSource)
{
    HANDLE previous = GetMaintEventSource();
    HANDLE source = RegisterEventSourceA(nullptr, "Maint");
    ASSERT_NE(nullptr, source) << GetLastError();
    SetMaintEventSource(source);
    EXPECT_TRUE(ReportMaintError("FXP: error on exe copy. Get Last = 2\n"));

    // The system call's result comes back as it is; without a source the
    // handle passed is zero.
    MaintReportEventFn real = SetMaintReportEventFunction(RecordSource);
    EXPECT_FALSE(ReportMaintError("x"));
    EXPECT_EQ(source, g_reportedSource);
    SetMaintEventSource(nullptr);
    ReportMaintError("x");
    EXPECT_EQ(nullptr, g_reportedSource);
    SetMaintReportEventFunction(real);

    SetMaintEventSource(previous);
    DeregisterEventSource(source);
}

TEST_F(AppSupport, ASectionReadsAndWritesItsOwnKeyAndSection)
{
    CPersistSection section("ShellPersist", "UI_Map");
    EXPECT_TRUE(section.SetString("pos_Change", "MapSetup,RI"));
    EXPECT_TRUE(section.SetDW("Count", 7));
    EXPECT_EQ("MapSetup,RI", ReadStoreString("ShellPersist", "UI_Map", "pos_Change"));
    unsigned long count = 0;
    EXPECT_EQ(PERS_SUCCESS, GetOnePersistedDW("ShellPersist", "UI_Map", 1000, "Count", &count));
    EXPECT_EQ(7u, count);

    CString text = "unchanged";
    EXPECT_TRUE(section.GetString("pos_Change", text));
    EXPECT_STREQ("MapSetup,RI", text);
    text = "unchanged";
    EXPECT_FALSE(section.GetString("pos_Missing", text));
    EXPECT_STREQ("unchanged", text);
    EXPECT_FALSE(section.SetString("bad\"name", "x")) << "a name the store refuses";
}

} // namespace
