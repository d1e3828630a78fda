// Where the media and the persist root are, clearing the media, the backup
// privileges and the message pump.
#include "EngineFixture.h"

#include <cstdio>
#include <cstring>

namespace {

struct Roots {
    std::string media;
    std::string persist;
};

class MediaServices : public EngineTest {
protected:
    Roots GetRoots()
    {
        char media[MAINT_ROOT_SIZE + 4];
        char persist[MAINT_ROOT_SIZE + 4];
        std::memset(media, 'Z', sizeof(media));
        std::memset(persist, 'Z', sizeof(persist));
        EXPECT_TRUE(engine.GetUpdatePath(media, MAINT_ROOT_SIZE, persist, MAINT_ROOT_SIZE));
        // The run's context holds the key a save copies: "Software\Corvane", open.
        CRunContext& run = FreshRun(engine);
        DWORD size = 0;
        EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(run.CorvaneKey(), "PersistPath", nullptr, nullptr, nullptr, &size));
        for (size_t i = MAINT_ROOT_SIZE; i < sizeof(media); ++i) {
            EXPECT_EQ('Z', media[i]);
            EXPECT_EQ('Z', persist[i]);
        }
        return {media, persist};
    }
};

TEST_F(MediaServices, TheMediaRootComesFromCdromWithABackslash)
{
    registry.SetString(HKEY_CURRENT_USER, kCorvane, "CDROM", "E:");
    Roots roots = GetRoots();
    EXPECT_EQ("E:\\", roots.media);
    EXPECT_EQ(PersistRoot(), roots.persist);
    EXPECT_TRUE(LoggedMessages("GetUpdatePath").empty());
}

TEST_F(MediaServices, WithoutCdromTheDefaultIsUsedAndWarnedOncePerCall)
{
    EXPECT_EQ("E:\\", GetRoots().media);
    EXPECT_EQ(1u, LoggedAt("WARNING", "GetUpdatePath: Force Default Removeable Media E:\\\n"));
    GetRoots();
    EXPECT_EQ(2u, LoggedAt("WARNING", "GetUpdatePath: Force Default Removeable Media E:\\\n"));

    // The same lines reach the run log on the media.
    std::string log = ReadFileBytes("E:\\ZelData\\VURLog\\CsrLog.txt");
    EXPECT_NE(std::string::npos, log.find(" WARNING: GetUpdatePath: Force Default Removeable Media E:\\\r\n"))
        << log.substr(log.size() > 400 ? log.size() - 400 : 0);
}

TEST_F(MediaServices, DataPathStandsInForAMissingPersistPath)
{
    registry.Delete(HKEY_CURRENT_USER, kCorvane, "PersistPath");
    registry.SetString(HKEY_CURRENT_USER, kCorvane, "DataPath", "C:\\Data");
    registry.SetString(HKEY_CURRENT_USER, kCorvane, "CDROM", "F:\\");
    char media[MAINT_ROOT_SIZE], persist[MAINT_ROOT_SIZE];
    EXPECT_TRUE(engine.GetUpdatePath(media, sizeof(media), persist, sizeof(persist)));
    EXPECT_STREQ("F:\\", media);
    EXPECT_STREQ("C:\\Data\\", persist);
}

TEST_F(MediaServices, WithoutAPersistPathItRaisesError23)
{
    registry.Delete(HKEY_CURRENT_USER, kCorvane, "PersistPath");
    char media[MAINT_ROOT_SIZE] = "E:\\", persist[MAINT_ROOT_SIZE] = {};
    try {
        engine.GetUpdatePath(media, sizeof(media), persist, sizeof(persist));
        ADD_FAILURE() << "no exception";
    } catch (const CFileException& e) {
        EXPECT_EQ(23, e.m_lOsError);
        EXPECT_STREQ("Persist Path", e.m_strFileName);
        EXPECT_EQ(CFileException::hardIO, e.m_cause);
    }
    EXPECT_EQ(1u, LoggedAt("ERROR", "GetUpdatePath: Unable to Find Persist Data Path\n"));
    EXPECT_THROW(engine.ClearRemovableMedia(), CFileException);
    EXPECT_THROW(engine.GetMediaRoot(media, sizeof(media)), CFileException);
}

TEST_F(NoCorvaneKeyTest, GetUpdatePathRaisesTheOpenError)
{
    char media[MAINT_ROOT_SIZE], persist[MAINT_ROOT_SIZE];
    try {
        engine.GetUpdatePath(media, sizeof(media), persist, sizeof(persist));
        ADD_FAILURE() << "no exception";
    } catch (const CFileException& e) {
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, e.m_lOsError);
        EXPECT_EQ(CFileException::fileNotFound, e.m_cause);
    }
    EXPECT_FALSE(FileOnMedia(FreshRun(engine), "", "dontDisable.dat"));
    EXPECT_FALSE(engine.AreThereSavedFiles());
    EXPECT_EQ(1u, LoggedAt("WARNING", "AreThereSavedFiles: Could not open RegKey"));
}

TEST_F(MediaServices, RootsOfAnyLengthStayInsideTheirBuffers)
{
    // 511 characters and the terminator fill the 512-byte read.
    std::string longest = "E:\\" + std::string(508, 'r');
    registry.SetString(HKEY_CURRENT_USER, kCorvane, "CDROM", longest);
    Roots roots = GetRoots();
    EXPECT_EQ(longest + "\\", roots.media);

    char media[10], persist[10];
    std::memset(media, 'Z', sizeof(media));
    engine.GetUpdatePath(media, 8, persist, 8);
    EXPECT_EQ(std::string("E:\\rrrr"), media) << "cut to size - 1";
    EXPECT_EQ('Z', media[8]);

    EXPECT_FALSE(engine.GetMediaRoot(media, sizeof(media)));

    // Longer than 512 bytes: not read; the default root.
    registry.SetString(HKEY_CURRENT_USER, kCorvane, "CDROM", std::string(600, 'x'));
    EXPECT_EQ("E:\\", GetRoots().media);
}

TEST_F(MediaServices, GetMediaRootNeedsRoomForTheTerminator)
{
    char buffer[8];
    std::memset(buffer, 'Z', sizeof(buffer));
    EXPECT_FALSE(engine.GetMediaRoot(buffer, 3));
    EXPECT_EQ('Z', buffer[0]) << "nothing copied";
    EXPECT_TRUE(engine.GetMediaRoot(buffer, 4));
    EXPECT_STREQ("E:\\", buffer);
}

TEST_F(MediaServices, FileOnMediaLooksInTheMediaRoot)
{
    EXPECT_FALSE(FileOnMedia(FreshRun(engine), "", "dontDisable.dat"));
    ASSERT_TRUE(WriteFileMakingFolders("E:\\dontDisable.dat", ""));
    EXPECT_TRUE(FileOnMedia(FreshRun(engine), "", "dontDisable.dat"));
    EXPECT_TRUE(FileOnMedia(FreshRun(engine), "", "\\dontDisable.dat"));
    EXPECT_TRUE(LoggedMessages("GetUpdatePath").empty()) << "silent";

    ASSERT_TRUE(WriteFileMakingFolders(std::string(kMediaConfig) + "\\Persist\\x.pri", ""));
    EXPECT_TRUE(FileOnMedia(FreshRun(engine), "ZelConfig\\Persist\\", "x.pri"));

    // A root longer than the flows take is refused, not cut to the drive root.
    registry.SetString(HKEY_CURRENT_USER, kCorvane, "CDROM", "E:\\" + std::string(80, 'd') + "\\");
    EXPECT_FALSE(FileOnMedia(FreshRun(engine), "", "dontDisable.dat"));
}

TEST_F(MediaServices, TheReadersBehindTheOpeningScreenRefuseARootTheFlowsRefuse)
{
    // Cut to 64 characters, the root would name the folder holding another save.
    const std::string cut = "E:\\" + std::string(60, 'd') + "\\";
    ASSERT_EQ(64u, cut.size());
    ASSERT_TRUE(WriteFileMakingFolders(cut + "ZelConfig\\CorvaneUserRegistry.reg", "hive"));
    ASSERT_TRUE(WriteFileMakingFolders(cut + "ZelConfig\\SWPartNum.txt", "OTHER1|612-00340-800 Rev 0"));
    registry.SetString(HKEY_CURRENT_USER, kCorvane, "CDROM", cut);
    ASSERT_TRUE(engine.AreThereSavedFiles());

    registry.SetString(HKEY_CURRENT_USER, kCorvane, "CDROM", cut + "stick\\");
    EXPECT_FALSE(engine.AreThereSavedFiles());
    EXPECT_EQ(1u, LoggedMessages("AreThereSavedFiles: Media root longer than 64 characters").size());
    char part[32] = "preset", serial[32] = "preset";
    int revision = 7;
    engine.ReadSavedPartNum(part, &revision, serial);
    EXPECT_STREQ("preset", serial);
    EXPECT_EQ(7, revision);
    RemoveTree("E:\\" + std::string(60, 'd'));
}

TEST_F(MediaServices, ClearingTheMediaKeepsTheFolders)
{
    const std::string config = kMediaConfig;
    ASSERT_TRUE(WriteFileMakingFolders(config + "\\CorvaneUserRegistry.reg", "hive"));
    ASSERT_TRUE(WriteFileMakingFolders(config + "\\SWPartNum.txt", "A|B"));
    ASSERT_TRUE(WriteFileMakingFolders(config + "\\Persist\\ShellPersist-ShellConfig.pri", "CRC:0\r\n"));
    ASSERT_TRUE(WriteFileMakingFolders(config + "\\Other\\note.txt", "n"));
    ASSERT_TRUE(WriteFileMakingFolders(config + "\\Other\\Deep\\deep.txt", "d"));
    ASSERT_TRUE(WriteFileMakingFolders("E:\\keep.txt", "k"));

    engine.ClearRemovableMedia();

    EXPECT_FALSE(FileExists(config + "\\CorvaneUserRegistry.reg"));
    EXPECT_FALSE(FileExists(config + "\\SWPartNum.txt"));
    EXPECT_FALSE(FileExists(config + "\\Persist\\ShellPersist-ShellConfig.pri"));
    EXPECT_FALSE(FileExists(config + "\\Other\\note.txt"));
    EXPECT_FALSE(FileExists(config + "\\Other\\Deep\\deep.txt"));
    EXPECT_TRUE(FolderExists(config + "\\Persist"));
    EXPECT_TRUE(FolderExists(config + "\\Other\\Deep"));
    EXPECT_TRUE(FileExists("E:\\keep.txt")) << "only the configuration folder is cleared";
    DeleteFileA("E:\\keep.txt");
}

TEST_F(MediaServices, DeleteFolderContentsWithoutDescendingKeepsSubfolders)
{
    const std::string config = kMediaConfig;
    ASSERT_TRUE(WriteFileMakingFolders(config + "\\top.txt", "t"));
    ASSERT_TRUE(WriteFileMakingFolders(config + "\\Persist\\inner.pri", "i"));
    DeleteFolderContents((config + "\\").c_str(), false);
    EXPECT_FALSE(FileExists(config + "\\top.txt"));
    EXPECT_TRUE(FileExists(config + "\\Persist\\inner.pri"));

    DeleteFolderContents("E:\\ZelConfig\\DoesNotExist", true);   // nothing to do, no failure
}

TEST_F(MediaServices, BackupAndRestorePrivilegesAreEnabled)
{
    EXPECT_NO_THROW(EnableBackupPrivileges());

    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    DWORD size = 0;
    GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
    std::vector<BYTE> data(size);
    ASSERT_TRUE(GetTokenInformation(token, TokenPrivileges, data.data(), size, &size));
    CloseHandle(token);
    const TOKEN_PRIVILEGES* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(data.data());

    for (const char* name : {"SeBackupPrivilege", "SeRestorePrivilege"}) {
        LUID luid;
        ASSERT_TRUE(LookupPrivilegeValueA(nullptr, name, &luid));
        bool enabled = false;
        for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
            const LUID_AND_ATTRIBUTES& p = privileges->Privileges[i];
            if (p.Luid.LowPart == luid.LowPart && p.Luid.HighPart == luid.HighPart)
                enabled = (p.Attributes & SE_PRIVILEGE_ENABLED) != 0;
        }
        EXPECT_TRUE(enabled) << name;
    }
}

// Counts the messages that reach its window.
class CountingWindow {
public:
    CountingWindow()
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "EngineTestCounter";
        RegisterClassA(&wc);
        m_hwnd = CreateWindowA("EngineTestCounter", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        s_count = 0;
    }
    ~CountingWindow()
    {
        MSG msg;
        while (PeekMessageA(&msg, m_hwnd, 0, 0, PM_REMOVE)) {}
        DestroyWindow(m_hwnd);
    }
    HWND hwnd() const { return m_hwnd; }
    static int count() { return s_count; }

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM w, LPARAM l)
    {
        if (message == WM_APP + 1) ++s_count;
        return DefWindowProcA(hwnd, message, w, l);
    }
    HWND       m_hwnd;
    static int s_count;
};
int CountingWindow::s_count = 0;

TEST_F(MediaServices, PumpMessagesDispatchesOneMessagePerTenMilliseconds)
{
    CountingWindow counter;
    ASSERT_NE(nullptr, counter.hwnd());
    for (int i = 0; i < 40; ++i) ASSERT_TRUE(PostMessageA(counter.hwnd(), WM_APP + 1, 0, 0));

    PumpMessagesFor(5);
    EXPECT_EQ(0, CountingWindow::count()) << "less than 10 ms: nothing";
    PumpMessagesFor(9);
    EXPECT_EQ(0, CountingWindow::count());
    PumpMessagesFor(10);
    EXPECT_EQ(1, CountingWindow::count());
    PumpMessagesFor(250);
    EXPECT_EQ(26, CountingWindow::count()) << "25 rounds";
}

} // namespace

namespace {

TEST_F(MediaServices, ClearingRefusesARootTooLongForItsFolderAndRemovesReadOnlyFiles)
{
    // Cut to 64 characters this root names another folder, whose own
    // "ZelConfig" must survive.
    const std::string other = "E:\\" + std::string(60, 'o') + "\\";
    ASSERT_EQ(64u, other.size());
    ASSERT_TRUE(WriteFileMakingFolders(other + "ZelConfig\\SWPartNum.txt", "OTHER1|612-00340-000 Rev 0"));
    registry.SetString(HKEY_CURRENT_USER, kCorvane, "CDROM", other + "deeper\\");
    EXPECT_THROW(engine.ClearRemovableMedia(), CFileException);
    EXPECT_EQ("OTHER1|612-00340-000 Rev 0", ReadFileBytes(other + "ZelConfig\\SWPartNum.txt"));
    EXPECT_EQ(1u, LoggedMessages("ClearRemovableMedia: Media root longer than 64 characters").size());
    RemoveTree(other.substr(0, other.size() - 1));

    // Copies keep their source's read-only attribute; the clearing removes them all the same.
    registry.SetString(HKEY_CURRENT_USER, kCorvane, "CDROM", "E:\\");
    const std::string config = kMediaConfig;
    for (const char* name : {"\\SWPartNum.txt", "\\CorvaneUserRegistry.reg", "\\Persist\\ShellPersist-ShellConfig.pri"}) {
        ASSERT_TRUE(WriteFileMakingFolders(config + name, "saved"));
        ASSERT_TRUE(SetFileAttributesA((config + name).c_str(), FILE_ATTRIBUTE_READONLY));
    }
    engine.ClearRemovableMedia();
    EXPECT_FALSE(FileExists(config + "\\SWPartNum.txt"));
    EXPECT_FALSE(FileExists(config + "\\CorvaneUserRegistry.reg"));
    EXPECT_FALSE(FileExists(config + "\\Persist\\ShellPersist-ShellConfig.pri"));
    EXPECT_FALSE(engine.AreThereSavedFiles());
}

} // namespace

namespace {

// Links made on the Linux side before the tests start (tools/wine-prefix.sh):
// each of these media roots has a link somewhere below it that leads to
// D:\LinkTarget. A program under Wine cannot make a link itself.
const char kLinkTarget[] = "D:\\LinkTarget";

class MediaLinks : public MediaServices {
protected:
    void SetUp() override
    {
        MediaServices::SetUp();
        if (!(GetFileAttributesA("E:\\LinkedConfig\\ZelConfig") & FILE_ATTRIBUTE_REPARSE_POINT) ||
            GetFileAttributesA("E:\\LinkedConfig\\ZelConfig") == INVALID_FILE_ATTRIBUTES)
            GTEST_SKIP() << "no links on the media: tools/wine-prefix.sh makes them with ln -s before the run";
        ASSERT_TRUE(WriteFileMakingFolders(std::string(kLinkTarget) + "\\keep.txt", "the unit's own"));
        ASSERT_TRUE(WriteFileMakingFolders(std::string(kLinkTarget) + "\\Persist\\keep.pri", "the unit's own"));
    }
    void UseMedia(const char* root) { registry.SetString(HKEY_CURRENT_USER, kCorvane, "CDROM", root); }
    void ExpectTargetUntouched()
    {
        EXPECT_EQ("the unit's own", ReadFileBytes(std::string(kLinkTarget) + "\\keep.txt"));
        EXPECT_EQ("the unit's own", ReadFileBytes(std::string(kLinkTarget) + "\\Persist\\keep.pri"));
        EXPECT_FALSE(FileExists(std::string(kLinkTarget) + "\\SWPartNum.txt"));
    }
};

} // namespace

TEST_F(MediaLinks, AConfigurationFolderThatIsALinkIsNeitherClearedNorUsed)
{
    for (const char* root : {"E:\\LinkedConfig\\", "E:\\LinkedPersist\\"}) {
        SCOPED_TRACE(root);
        UseMedia(root);
        EXPECT_TRUE(MediaFoldersAreLinks(root));
        engine.ClearRemovableMedia();
        ExpectTargetUntouched();
        EXPECT_EQ(1u, LoggedMessages(std::string("ClearRemovableMedia: Not cleared: ") + root).size());
    }
}

TEST_F(MediaLinks, TheClearingNeverFollowsALinkInsideTheMedia)
{
    UseMedia("E:\\LinkInside\\");
    ASSERT_TRUE(WriteFileMakingFolders("E:\\LinkInside\\ZelConfig\\Persist\\x.pri", "saved"));
    EXPECT_FALSE(MediaFoldersAreLinks("E:\\LinkInside\\"));
    engine.ClearRemovableMedia();
    EXPECT_FALSE(FileExists("E:\\LinkInside\\ZelConfig\\Persist\\x.pri"));
    ExpectTargetUntouched();
    const std::string link = "E:\\LinkInside\\ZelConfig\\Persist\\Deep";
    if (GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES) {
        // Wine opens what a link leads to even when asked for the link itself:
        // the link cannot be removed there, and is left.
        EXPECT_EQ(1u, LoggedMessages("DeleteFolderContents: Link left in place").size());
        std::printf("[  NOTE    ] the link %s stays: this system cannot remove the link itself\n", link.c_str());
    }
}

TEST_F(MediaLinks, ARunOnMediaWhoseFoldersAreLinksIsRefusedBeforeAnything)
{
    for (uint32_t key : {0x70u, 0x72u}) {
        SCOPED_TRACE(key);
        UseMedia("E:\\LinkedConfig\\");
        window.calls.clear();
        EXPECT_EQ(MaintResult::NotFinished, engine.MaintRun(&window, key));
        ASSERT_FALSE(window.calls.empty());
        EXPECT_EQ("SetDetailText(A save folder on the removable media is a link.\nNothing was written or read. "
                  "Use another removable media.,3)",
                  window.calls.at(window.calls.size() - 2));
        ExpectTargetUntouched();
    }
}

TEST_F(MediaLinks, ALinkTheClearingLeavesRefusesTheSaveBeforeAnythingIsWritten)
{
    UseMedia("E:\\LinkInside\\");
    registry.SetString(HKEY_CURRENT_USER, kSysSetup, "SerialNumber", "SN8841");
    EnableBackupPrivileges();
    CRunContext& run = FreshRun(engine);
    EXPECT_EQ(SAVE_CONFIRM_SHOWN, engine.SaveConfig(run));
    const SaveStage saved = engine.SaveConfig(run);

    const std::string link = "E:\\LinkInside\\ZelConfig\\Persist\\Deep";
    if (GetFileAttributesA(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT &&
        GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES) {
        // The system could not remove the link: the save writes nothing.
        EXPECT_EQ(SAVE_LINK_LEFT, saved);
        EXPECT_FALSE(FileExists("E:\\LinkInside\\ZelConfig\\CorvaneUserRegistry.reg"));
        EXPECT_FALSE(FileExists("E:\\LinkInside\\ZelConfig\\SWPartNum.txt"));
        EXPECT_FALSE(FileExists("E:\\LinkInside\\ZelConfig\\Persist\\ShellPersist-ShellConfig.pri"));
        EXPECT_EQ(1u, LoggedMessages("FolderHoldsLink: " + link + " is a link").size());
    } else {
        EXPECT_EQ(SAVE_DONE, saved) << "the link went with the clearing";
    }
    ExpectTargetUntouched();
}
