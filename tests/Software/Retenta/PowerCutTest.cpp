// Power cuts at chosen points of the store's saves and repairs: whatever the
// cache had not yet written, the key opens with the last round whose close
// had returned (or the one being saved), and the open leaves both files
// valid and equal.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "KeyFiles.h"
#include "PowerCutKey.h"
#include "StoreFileCalls.h"

namespace {

using powercut::FateChooser;
using powercut::Image;

std::string OpenText(const PowerCutSession& s)
{
    char text[64];
    std::snprintf(text, sizeof text, "open 0x%lx/0x%lx, ", static_cast<unsigned long>(s.openResult),
                  static_cast<unsigned long>(s.openDetail));
    return text + (s.valuesOk ? "round " + std::to_string(s.shown) : s.why);
}

TEST(PowerCut, ACutAsTheNextSaveRewritesThePrimaryKeepsTheSavedRound)
{
    // Two saves, and the power goes just after the second has begun to
    // rewrite the primary: the primary's cache reached the disk, the
    // secondary's never did.
    struct Row {
        const char* what;
        bool        savedBefore;
    };
    const Row rows[] = {{"a key saved before the run", true}, {"a key created in the run", false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        CPowerCutKey key;
        ASSERT_TRUE(key.Ready());
        PowerCutSession run = key.Run(row.savedBefore ? key.Saved(5) : Image(), 2);
        ASSERT_TRUE(run.valuesOk) << run.why;
        ASSERT_EQ(2u, run.rounds.size());
        size_t start = run.rounds[1].closeStart;
        ASSERT_LT(start, run.journal.Ops().size());
        const powercut::DiskOp& first = run.journal.Ops()[start];
        ASSERT_EQ(key.Pri(), first.name) << powercut::Describe(first);

        Image after = run.journal.AfterCut(start + 1, powercut::KeepOnly(key.Pri()));
        unsigned long saved = CPowerCutKey::ConfirmedAt(run, start + 1);
        EXPECT_EQ(run.rounds[0].round, saved);
        PowerCutSession check = key.Run(after, 0);
        EXPECT_TRUE(check.valuesOk && (check.shown == saved || check.shown == saved + 1))
            << "round " << saved << " was saved; " << OpenText(check);
        EXPECT_TRUE(check.filesOk) << check.why;
    }
}

TEST(PowerCut, ASecondaryTornInItsMiddleIsRepairedFromTheValidPrimary)
{
    // A copy or a rewrite of the secondary that a cut tore: the end of file
    // and the last sector landed, a sector in the middle did not. Size and
    // tail are the primary's; only the checksum tells.
    CPowerCutKey key;
    ASSERT_TRUE(key.Ready());
    Image five = key.Saved(5), six = key.Saved(6);
    std::string torn = five[key.Sec()];
    ASSERT_GT(torn.size(), 40u);
    torn[20] = torn[20] == 'x' ? 'y' : 'x';   // the same width, another byte
    PowerCutSession check = key.Run({{key.Pri(), five[key.Pri()]}, {key.Sec(), torn}}, 0);
    EXPECT_TRUE(check.valuesOk && check.shown == 5) << OpenText(check);
    EXPECT_EQ(static_cast<DWORD>(PERS_SECONDARY_MISSING_RECOVERED), check.openDetail);
    EXPECT_TRUE(check.filesOk) << check.why;
    // A secondary that is valid but of an older round is repaired too.
    check = key.Run({{key.Pri(), six[key.Pri()]}, {key.Sec(), five[key.Sec()]}}, 0);
    EXPECT_EQ(static_cast<DWORD>(PERS_SECONDARY_MISSING_RECOVERED), check.openDetail);
    EXPECT_TRUE(check.filesOk) << check.why;
}

TEST(PowerCut, EveryCutPointOfThreeRoundsKeepsTheSavedRound)
{
    CPowerCutKey key;
    ASSERT_TRUE(key.Ready());
    const std::string pri = key.Pri(), sec = key.Sec();
    Image four = key.Saved(4), five = key.Saved(5), six = key.Saved(6);
    struct Start {
        const char* what;
        Image       image;
    };
    const Start starts[] = {
        {"both files of round 5", five},
        {"the primary torn, the secondary of round 5", {{pri, six[pri].substr(0, six[pri].size() / 2)}, {sec, five[sec]}}},
        {"the primary of round 5, the secondary of round 4", {{pri, five[pri]}, {sec, four[sec]}}},
        {"no files", {}},
    };
    struct Policy {
        const char* what;
        FateChooser choose;
    };
    const Policy policies[] = {
        {"every pending change landed", powercut::AllFates(true)},
        {"no pending change landed", powercut::AllFates(false)},
        {"only the primary's landed", powercut::KeepOnly(pri)},
        {"only the secondary's landed", powercut::KeepOnly(sec)},
    };
    for (const Start& start : starts) {
        SCOPED_TRACE(start.what);
        PowerCutSession run = key.Run(start.image, 3);
        ASSERT_TRUE(run.valuesOk) << run.why;
        const auto& ops = run.journal.Ops();
        int failures = 0;
        for (size_t cut = 0; cut <= ops.size(); ++cut) {
            for (const Policy& policy : policies) {
                unsigned long saved = CPowerCutKey::ConfirmedAt(run, cut);
                PowerCutSession check = key.Run(run.journal.AfterCut(cut, policy.choose), 0);
                bool kept = check.valuesOk && (check.shown == saved || check.shown == saved + 1);
                if (kept && check.filesOk) continue;
                if (++failures > 6) continue;
                ADD_FAILURE() << "cut after change " << cut << " of " << ops.size() << " ("
                              << (cut ? powercut::Describe(ops[cut - 1]) : "none") << "), " << policy.what
                              << ": round " << saved << " was saved; " << OpenText(check)
                              << (check.filesOk ? "" : "; " + check.why);
            }
        }
        EXPECT_EQ(0, failures) << "cuts that lost a saved round or left the files unrepaired";
    }
}

// ---- the copy's flush failing -----------------------------------------------------

// The secondary's open for the flush, or the flush, fails as `s_failing`
// says; the store's reports are kept.
struct CopyFlushFaults {
    static const char*   s_failing;
    static HANDLE        s_secondary;
    static const StoreFileCalls* s_pNext;
    static std::vector<std::string> s_reported;

    static bool IsSecondary(LPCSTR path)
    {
        size_t length = std::strlen(path);
        return length > 4 && std::strcmp(path + length - 4, ".sec") == 0;
    }
    static HANDLE WINAPI Create(LPCSTR p, DWORD a, DWORD s, LPSECURITY_ATTRIBUTES sa, DWORD d, DWORD f, HANDLE m)
    {
        bool flushOpen = IsSecondary(p) && d == OPEN_EXISTING && (a & GENERIC_WRITE);
        if (flushOpen && std::strcmp(s_failing, "CreateFileA") == 0) {
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        HANDLE file = s_pNext->osCreateFileA(p, a, s, sa, d, f, m);
        if (flushOpen) s_secondary = file;
        return file;
    }
    static BOOL WINAPI Flush(HANDLE file)
    {
        if (file == s_secondary && std::strcmp(s_failing, "FlushFileBuffers") == 0) {
            SetLastError(ERROR_IO_DEVICE);
            return FALSE;
        }
        return s_pNext->osFlushFileBuffers(file);
    }
    static void Failed(const char* call, const char* path, DWORD error)
    {
        s_reported.push_back(std::string(call) + " " + path + " " + std::to_string(error));
    }
};
const char*   CopyFlushFaults::s_failing = "";
HANDLE        CopyFlushFaults::s_secondary = INVALID_HANDLE_VALUE;
const StoreFileCalls* CopyFlushFaults::s_pNext = nullptr;
std::vector<std::string> CopyFlushFaults::s_reported;

TEST(PowerCut, ACopyWhoseFlushFailsIsReportedOnceAndStands)
{
    TempStoreDir dir;
    KeyPaths paths = {};
    std::snprintf(paths.keyDirectory, sizeof paths.keyDirectory, "%s", dir.Path().c_str());
    std::snprintf(paths.primary, sizeof paths.primary, "%s\\Key.pri", dir.Path().c_str());
    std::snprintf(paths.secondary, sizeof paths.secondary, "%s\\Key.sec", dir.Path().c_str());
    const char lines[] = "\"Mode\"=string:\"night\"\r\n";
    struct Row {
        const char* failing;
        DWORD       error;
    };
    const Row rows[] = {{"CreateFileA", ERROR_ACCESS_DENIED}, {"FlushFileBuffers", ERROR_IO_DEVICE}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.failing);
        StoreFileCalls calls = FileCalls();
        calls.osCreateFileA = CopyFlushFaults::Create;
        calls.osFlushFileBuffers = CopyFlushFaults::Flush;
        calls.osFailed = CopyFlushFaults::Failed;
        CopyFlushFaults::s_pNext = &FileCalls();
        CopyFlushFaults::s_failing = row.failing;
        CopyFlushFaults::s_reported.clear();
        ASSERT_TRUE(WriteFileBytes(paths.primary, KeyFile(lines)));
        bool copied = false;
        {
            CScopedFileCalls scope(calls);
            copied = FileCopy(paths.secondary, paths.primary);
        }
        EXPECT_TRUE(copied);
        EXPECT_EQ(KeyFile(lines), ReadFileBytes(paths.secondary)) << "the copy stands";
        EXPECT_EQ(std::vector<std::string>{std::string(row.failing) + " " + paths.secondary + " " +
                                           std::to_string(row.error)},
                  CopyFlushFaults::s_reported);
    }
}

} // namespace
