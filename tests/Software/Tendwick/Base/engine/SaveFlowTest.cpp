// The save against the real registry, store files and media drive E:.
#include "EngineFixture.h"
#include "EngineFileCalls.h"
#include "FindHandle.h"

#include "Crc32.h"
#include "KeyFileFormat.h"
#include "Retenta.h"
#include "SavedFileCatalogue.h"

#include <algorithm>
#include <map>
#include <cstdio>
#include <thread>
#include <utility>

namespace {

const std::string kPersistMedia = std::string(kMediaConfig) + "\\Persist\\";

// Every file below folder, as paths relative to it, sorted.
void ListFiles(const std::string& folder, const std::string& prefix, std::vector<std::string>& out)
{
    WIN32_FIND_DATAA entry;
    UniqueFind find;
    if (!find.First((folder + "\\*").c_str(), &entry)) return;
    do {
        std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ListFiles(folder + "\\" + name, prefix + name + "\\", out);
        else
            out.push_back(prefix + name);
    } while (find.Next(&entry));
}

std::vector<std::string> MediaFiles()
{
    std::vector<std::string> files;
    ListFiles(kMediaConfig, "", files);
    std::sort(files.begin(), files.end());
    return files;
}

// A window whose serial-number entry has been accepted with this text.
class AcceptingWindow : public RecordingWindow {
public:
    std::string accepted;
    bool GetEnteredSerial(char* text, size_t size) override
    {
        calls.push_back("GetEnteredSerial()");
        if (accepted.empty()) return false;
        snprintf(text, size, "%s", accepted.c_str());
        return true;
    }
};

class SaveFlow : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        registry.SetString(HKEY_CURRENT_USER, kSysSetup, "SerialNumber", "SN8841");
        EnableBackupPrivileges();
        StoreString("ShellPersist", "ShellConfig", "Platform", "ZR455");
        StoreString("ShellPersist\\MFD Configuration", "CFG_GPS", "Mode", "2");
        CSaveFlow::SetSaveReadBackHook(nullptr);
    }
    void TearDown() override
    {
        CSaveFlow::SetSaveReadBackHook(nullptr);
        EngineTest::TearDown();
    }

    // One press of the save on media; the unit is the part number below.
    int Save(CRunMaint& e, const char* media = "E:\\")
    {
        registry.SetString(HKEY_CURRENT_USER, kCorvane, "CDROM", media);
        StoreString("ShellPersist", "SystemData", "SoftwarePartNum", part);
        return static_cast<int>(e.SaveConfig(FreshRun(e)));
    }
    int Save() { return Save(engine); }

    char part[128] = "612-00340-000 Rev 2";
    char serial[128] = "SN8841";
};

} // namespace

TEST_F(SaveFlow, FirstPressPromptsSecondWritesTheMediaLayout)
{
    // A copy of a file the unit no longer has, left by an older save.
    ASSERT_TRUE(WriteFileMakingFolders(kPersistMedia + "LightningPersist-WX500Config.pri", "stale"));

    EXPECT_EQ(2, Save());
    EXPECT_EQ(std::vector<std::string>{"ShowConfirm(Save will disable this unit. Continue save?,F1)"}, window.calls);
    EXPECT_TRUE(FileExists(kPersistMedia + "LightningPersist-WX500Config.pri")) << "a prompt must not clear";
    ClearLog();

    EXPECT_EQ(1, Save());
    EXPECT_FALSE(engine.Prompts().bConfirmShown);

    std::vector<std::string> expected = {
        "CorvaneUserRegistry.chk",
        "CorvaneUserRegistry.reg",
        "Persist\\ShellPersist-Config-CFG_GPS.pri",
        "Persist\\ShellPersist-ShellConfig.pri",
        "SWPartNum.txt",
    };
    EXPECT_EQ(expected, MediaFiles());

    std::string hive = ReadFileBytes(std::string(kMediaConfig) + "\\CorvaneUserRegistry.reg");
    EXPECT_EQ(ReadFileBytes("C:\\CopyOfCorvaneUserReg.reg"), hive);
    EXPECT_NE(std::string::npos, hive.find("SN8841")) << "the hive holds Software\\Corvane";
    char crcLine[16];
    snprintf(crcLine, sizeof(crcLine), "%d\n", static_cast<int>(keyfile::Crc32(hive.data(), hive.size())));
    EXPECT_EQ(crcLine, ReadFileBytes(std::string(kMediaConfig) + "\\CorvaneUserRegistry.chk"));
    EXPECT_EQ("SN8841|612-00340-000 Rev 2", ReadFileBytes(std::string(kMediaConfig) + "\\SWPartNum.txt"));
    EXPECT_EQ(ReadFileBytes(PersistRoot() + "ShellPersist\\ShellConfig.pri"),
              ReadFileBytes(kPersistMedia + "ShellPersist-ShellConfig.pri"));
    EXPECT_EQ(ReadFileBytes(PersistRoot() + "ShellPersist\\MFD Configuration\\CFG_GPS.pri"),
              ReadFileBytes(kPersistMedia + "ShellPersist-Config-CFG_GPS.pri"));

    EXPECT_EQ(1u, LoggedAt("", "SaveConfig: File (" + PersistRoot() +
                                   "LightningPersist\\WX500Config.pri) not Found on source MFD - Ignoring.\n"));
    EXPECT_EQ(1u, LoggedAt("", "SaveConfig: Copying " + PersistRoot() + "ShellPersist\\ShellConfig.pri to " +
                                   kPersistMedia + "ShellPersist-ShellConfig.pri\n"));
    EXPECT_EQ(59, std::count(window.calls.begin(), window.calls.end(), "StepProgress()"));
    EXPECT_EQ("SetKeyMask(0)", window.calls.at(1));
}

TEST_F(SaveFlow, AnAddressBookIsSavedBesideTheKeyFiles)
{
    // The address book lives on the persist root's drive; the tests' drive is C:.
    std::string book = PersistRoot().substr(0, 3) + "ZelData\\DatalinkData\\AddressBook.txt";
    bool existed = FileExists(book);
    std::string before = existed ? ReadFileBytes(book) : "";
    ASSERT_TRUE(WriteFileMakingFolders(book, "N123AB,Tower\r\n"));
    engine.SetConfirmShown(true);
    EXPECT_EQ(1, Save());
    EXPECT_EQ("N123AB,Tower\r\n", ReadFileBytes(kPersistMedia + "AddressBook.txt"));
    if (existed) EXPECT_TRUE(WriteFileMakingFolders(book, before));
    else DeleteFileA(book.c_str());
}

TEST_F(SaveFlow, APreviousSaveMakesThePromptAskToOverwrite)
{
    ASSERT_TRUE(WriteFileMakingFolders(std::string(kMediaConfig) + "\\CorvaneUserRegistry.reg", "old"));
    EXPECT_EQ(2, Save());
    EXPECT_EQ(std::vector<std::string>{"ShowConfirm(Save will disable this unit. Overwrite Previous Save?,F1)"},
              window.calls);
    EXPECT_EQ("old", ReadFileBytes(std::string(kMediaConfig) + "\\CorvaneUserRegistry.reg"));
}

TEST_F(SaveFlow, UnwritableMediaFailsAtTheFirstPressWithoutPromptOrClearing)
{
    ASSERT_TRUE(WriteFileMakingFolders(std::string(kMediaConfig) + "\\SWPartNum.txt", "earlier|save"));
    // A media root whose folder does not exist: the probe cannot be created.
    EXPECT_EQ(6, Save(engine, "E:\\NoSuchStick\\"));
    EXPECT_TRUE(window.calls.empty()) << window.calls.front();
    EXPECT_FALSE(engine.Prompts().bConfirmShown);
    EXPECT_EQ("earlier|save", ReadFileBytes(std::string(kMediaConfig) + "\\SWPartNum.txt"));
    EXPECT_EQ(1u, LoggedMessages("Attempt to write removable media (CreateDirectory of \"E:\\NoSuchStick\\ZIPPATH\\\") failed.").size());
}

TEST_F(SaveFlow, ADisabledUnitIsRefused)
{
    SetFerrox("ShellConfig", "SAVED");
    EXPECT_EQ(5, Save());
    EXPECT_EQ(std::vector<std::string>{"SetStatusText(Cannot resave data without restore.,0)"}, window.calls);
}

TEST_F(SaveFlow, WithoutAValidSerialNumberTheEntryComesBetweenPromptAndSave)
{
    registry.SetString(HKEY_CURRENT_USER, kSysSetup, "SerialNumber", "TARNVELLO");
    AcceptingWindow entry;
    CRunMaint e(&entry);
    EXPECT_EQ(2, Save(e));
    EXPECT_EQ(3, Save(e));
    EXPECT_TRUE(e.Prompts().bSerialPromptShown);
    EXPECT_NE(entry.calls.end(), std::find(entry.calls.begin(), entry.calls.end(), "BeginSerialEntry()"));
    EXPECT_EQ(3, Save(e)) << "nothing accepted yet";
    entry.accepted = "SN5512";
    EXPECT_EQ(1, Save(e));
    EXPECT_FALSE(e.Prompts().bSerialPromptShown);
    EXPECT_EQ("SN5512", ReadStoreString("ShellPersist", "SystemData", "SerialNumber"));
    EXPECT_EQ("SN5512|612-00340-000 Rev 2", ReadFileBytes(std::string(kMediaConfig) + "\\SWPartNum.txt"));
}

namespace {
void CorruptShellConfigCopy(const char* folder)
{
    std::string path = std::string(folder) + "Persist\\ShellPersist-ShellConfig.pri";
    std::string bytes = ReadFileBytes(path);
    bytes[0] ^= 0x20;
    ASSERT_TRUE(WriteFileMakingFolders(path, bytes));
}
void TruncateIdentityRecord(const char* folder)
{
    ASSERT_TRUE(WriteFileMakingFolders(std::string(folder) + "SWPartNum.txt", "SN8841|612"));
}
} // namespace

TEST_F(SaveFlow, ACopyThatDoesNotReadBackEndsWith6AndLeavesNoSave)
{
    CSaveFlow::SetSaveReadBackHook(CorruptShellConfigCopy);
    engine.SetConfirmShown(true);
    EXPECT_EQ(6, Save());
    EXPECT_EQ(std::vector<std::string>{}, MediaFiles());
    EXPECT_TRUE(FolderExists(kPersistMedia)) << "the folders stay";
    EXPECT_FALSE(engine.AreThereSavedFiles());
    EXPECT_EQ(1u, LoggedMessages("SaveConfig: Copy " + kPersistMedia + "ShellPersist-ShellConfig.pri does not read back").size());

    CSaveFlow::SetSaveReadBackHook(TruncateIdentityRecord);
    engine.SetConfirmShown(true);
    EXPECT_EQ(6, Save());
    EXPECT_EQ(std::vector<std::string>{}, MediaFiles());
}

TEST_F(SaveFlow, RootsTooLongForTheirPathsAreRefusedNotCut)
{
    engine.SetConfirmShown(true);
    std::string longMedia = "E:\\" + std::string(70, 'm') + "\\";
    EXPECT_THROW(Save(engine, longMedia.c_str()), CFileException);
    EXPECT_EQ(std::vector<std::string>{}, MediaFiles());
    EXPECT_EQ(1u, LoggedMessages("SaveConfig: Media root longer than 64 characters").size());
}

TEST_F(SaveFlow, APathTooLongIsRefusedBeforeThePreviousSaveIsTouched)
{
    engine.SetConfirmShown(true);
    ASSERT_EQ(1, Save());
    const std::vector<std::string> before = MediaFiles();
    // Short enough for a root, too long for the catalogue's paths below it.
    const std::string longRoot = PersistRoot() + std::string(240 - PersistRoot().size(), 'p') + "\\";
    registry.SetString(HKEY_CURRENT_USER, kCorvane, "PersistPath", longRoot);
    engine.SetConfirmShown(true);
    try {
        engine.SaveConfig(FreshRun(engine));
        ADD_FAILURE() << "no exception";
    } catch (const CFileException& e) {
        EXPECT_EQ(ERROR_FILENAME_EXCED_RANGE, e.m_lOsError);
    }
    EXPECT_EQ(before, MediaFiles());
    EXPECT_TRUE(engine.AreThereSavedFiles());
}

namespace {
HANDLE g_indexer = INVALID_HANDLE_VALUE;
void IndexerReadsTheHiveCopy(const char* mediaConfigFolder)
{
    g_indexer = CreateFileA((std::string(mediaConfigFolder) + "CorvaneUserRegistry.reg").c_str(), GENERIC_READ,
                            FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}
} // namespace

TEST_F(SaveFlow, AnotherReaderOfACopyDuringTheProofDoesNotFailTheSave)
{
    // An indexer or a scanner looking at the fresh files of the stick.
    CSaveFlow::SetSaveReadBackHook(IndexerReadsTheHiveCopy);
    engine.SetConfirmShown(true);
    EXPECT_EQ(1, Save());
    ASSERT_NE(INVALID_HANDLE_VALUE, g_indexer);
    CloseHandle(g_indexer);
    g_indexer = INVALID_HANDLE_VALUE;
    EXPECT_TRUE(engine.AreThereSavedFiles());
    EXPECT_TRUE(LoggedMessages("does not read back").empty());
}

TEST_F(SaveFlow, AnUnprovenSaveLeavesTheSourceUnitEnabled)
{
    StoreString("ShellPersist", "SystemData", "SoftwarePartNum", "612-00340-800 Rev 0");
    SetFerrox("ShellConfig", "RESTORED");
    StoreString("ShellPersist", "ShellConfig", "StartupApp1", "c:\\zelsys\\system.exe|Maintenance");
    ASSERT_TRUE(WriteFileMakingFolders("E:\\VevezaDE1.DAT", "program"));
    engine.SetSwPartNum("612-00340-800", 0);
    EligibilityStatus status = ELIG_NONE;
    ASSERT_TRUE(engine.ChkSave("612-00340-800", 0, &status)) << status;
    CSaveFlow::SetSaveReadBackHook(CorruptShellConfigCopy);

    EXPECT_EQ(MaintResult::Pending, engine.MaintRun(&window, 0x70)) << "prompt";
    window.calls.clear();
    EXPECT_EQ(MaintResult::NotWritten, engine.MaintRun(&window, 0x70));
    std::vector<std::string> lines;
    for (const std::string& call : window.calls)
        if (call.compare(0, 3, "Set") == 0 && call.find("Text(") != std::string::npos) lines.push_back(call);
    ASSERT_LE(3u, lines.size());
    std::vector<std::string> last(lines.end() - 3, lines.end());
    EXPECT_EQ((std::vector<std::string>{
                  "SetStatusText(Save of configuration files to removable media could not be verified,0)",
                  "SetDetailText(Save and Restore cannot continue,0)", "SetNoteText(Press Cancel to Exit,0)"}),
              last);
    EXPECT_EQ("RESTORED", ReadStoreString("ShellPersist", "ShellConfig", "Ferrox"));
    EXPECT_EQ("c:\\zelsys\\system.exe|Maintenance", ReadStoreString("ShellPersist", "ShellConfig", "StartupApp1"));
    EXPECT_EQ(std::vector<std::string>{}, MediaFiles());
    DeleteFileA("E:\\VevezaDE1.DAT");
}

// Figures, not rules: a full save and restore of the whole catalogue against
// a plain copy of the same files.
TEST_F(SaveFlow, TimingOfTheWholeCatalogue)
{
    std::string lines;
    for (int i = 0; i < 40; ++i) lines += "\"Value" + std::to_string(i) + "\"=string:\"" + std::string(40, 'v') + "\"\r\n";
    std::string key = keyfile::BuildKeyFile(lines.data(), lines.size());
    for (const SavedFileEntry& row : SavedFileCatalogue)
        ASSERT_TRUE(WriteFileMakingFolders(PersistRoot() + row.pszDirectory + "\\" + row.pszFile, key));

    engine.SetConfirmShown(true);
    DWORD start = GetTickCount();
    ASSERT_EQ(1, Save());
    DWORD save = GetTickCount() - start;
    ASSERT_EQ(59u + 3u, MediaFiles().size());

    start = GetTickCount();
    RestoreOutcome outcome;
    ASSERT_TRUE(engine.RestoreConfig(FreshRun(engine), &outcome));
    DWORD restore = GetTickCount() - start;

    CreateDirectoryA("E:\\PlainCopy", nullptr);
    start = GetTickCount();
    for (const SavedFileEntry& row : SavedFileCatalogue)
        CopyFileA((PersistRoot() + row.pszDirectory + "\\" + row.pszFile).c_str(),
                  (std::string("E:\\PlainCopy\\") + row.pszMediaName).c_str(), FALSE);
    DWORD plain = GetTickCount() - start;
    RemoveTree("E:\\PlainCopy");

    printf("timing: save %lu ms, restore %lu ms, plain copy %lu ms\n", static_cast<unsigned long>(save),
           static_cast<unsigned long>(restore), static_cast<unsigned long>(plain));
    RecordProperty("save_ms", static_cast<int>(save));
    RecordProperty("restore_ms", static_cast<int>(restore));
    RecordProperty("plain_copy_ms", static_cast<int>(plain));
}

namespace {
// The proof compares each media copy with what was copied, so a source that
// changes or is held open once it has been copied cannot fail it.
std::string g_reSavedSource;
void ReSaveShellConfigSource(const char*)
{
    const std::string line = "\"Ferrox\"=string:\"NEW\"\r\n";
    ASSERT_TRUE(WriteFileMakingFolders(g_reSavedSource, keyfile::BuildKeyFile(line.data(), line.size())));
}
} // namespace

TEST_F(SaveFlow, SourcesChangedOrHeldOpenAfterTheirCopyDoNotFailTheProof)
{
    const std::string source = PersistRoot() + "ShellPersist\\ShellConfig.pri";
    const std::string copied = ReadFileBytes(source);
    ASSERT_FALSE(copied.empty());

    SCOPED_TRACE("a source that another program holds open, as the store does when it loads a key");
    HANDLE reader = CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    engine.SetConfirmShown(true);
    EXPECT_EQ(1, Save());
    CloseHandle(reader);
    EXPECT_EQ(copied, ReadFileBytes(kPersistMedia + "ShellPersist-ShellConfig.pri"));
    EXPECT_TRUE(LoggedMessages("does not read back").empty());

    SCOPED_TRACE("a source that the store re-saves between its copy and the read-back");
    g_reSavedSource = source;
    CSaveFlow::SetSaveReadBackHook(ReSaveShellConfigSource);
    engine.SetConfirmShown(true);
    EXPECT_EQ(1, Save());
    EXPECT_EQ(copied, ReadFileBytes(kPersistMedia + "ShellPersist-ShellConfig.pri")) << "the copy as it was made";
    EXPECT_NE(copied, ReadFileBytes(source));
    EXPECT_TRUE(engine.AreThereSavedFiles());
}

TEST_F(SaveFlow, ReadOnlySourcesLeaveNoReadOnlyCopiesAndTheNextSaveSucceeds)
{
    const std::string source = PersistRoot() + "ShellPersist\\ShellConfig.pri";
    const std::string copy = kPersistMedia + "ShellPersist-ShellConfig.pri";
    ASSERT_TRUE(SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_READONLY));

    for (int save = 1; save <= 2; ++save) {
        SCOPED_TRACE("save " + std::to_string(save));
        engine.SetConfirmShown(true);
        EXPECT_NO_THROW(EXPECT_EQ(1, Save()));
        DWORD attributes = GetFileAttributesA(copy.c_str());
        ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
        EXPECT_EQ(0u, attributes & FILE_ATTRIBUTE_READONLY);
        EXPECT_EQ(ReadFileBytes(source), ReadFileBytes(copy));
    }

    // A read-only file that some other writer left where the save writes.
    for (const char* name : {"SWPartNum.txt", "CorvaneUserRegistry.chk", "Persist\\ShellPersist-ShellConfig.pri"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(SetFileAttributesA((std::string(kMediaConfig) + "\\" + name).c_str(), FILE_ATTRIBUTE_READONLY));
    }
    engine.SetConfirmShown(true);
    EXPECT_NO_THROW(EXPECT_EQ(1, Save()));
    EXPECT_EQ("SN8841|612-00340-000 Rev 2", ReadFileBytes(std::string(kMediaConfig) + "\\SWPartNum.txt"));
    SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(SaveFlow, AHiveSaveThatFailsLeavesTheEarlierSaveOnTheMedia)
{
    const std::vector<std::string> earlier = {
        "CorvaneUserRegistry.reg", "Persist\\ShellPersist-ShellConfig.pri", "SWPartNum.txt"};
    struct Row {
        const char* what;
        bool        localCopyBlocked;   // else the key cannot be saved
    };
    for (const Row& row : {Row{"the key cannot be saved", false}, Row{"the local copy cannot be replaced", true}}) {
        SCOPED_TRACE(row.what);
        for (const std::string& name : earlier)
            ASSERT_TRUE(WriteFileMakingFolders(std::string(kMediaConfig) + "\\" + name, "earlier " + name));
        CRunContext& run = FreshRun(engine);
        if (row.localCopyBlocked) {
            DeleteFileA("C:\\CopyOfCorvaneUserReg.reg");
            ASSERT_TRUE(CreateDirectoryA("C:\\CopyOfCorvaneUserReg.reg", nullptr));
        } else {
            run.CloseKey();   // no key to save
        }

        engine.SetConfirmShown(true);
        EXPECT_THROW(engine.SaveConfig(run), CFileException);
        if (row.localCopyBlocked) RemoveDirectoryA("C:\\CopyOfCorvaneUserReg.reg");
        EXPECT_EQ(earlier, MediaFiles());
        for (const std::string& name : earlier)
            EXPECT_EQ("earlier " + name, ReadFileBytes(std::string(kMediaConfig) + "\\" + name));
    }
}

TEST_F(SaveFlow, RemainsOfAnInterruptedSaveAreNoSaveAndTheNextSaveReplacesThem)
{
    // A save cut off after its registry copy: no identity record.
    ASSERT_TRUE(WriteFileMakingFolders(std::string(kMediaConfig) + "\\CorvaneUserRegistry.reg", "hive"));
    ASSERT_TRUE(WriteFileMakingFolders(std::string(kMediaConfig) + "\\CorvaneUserRegistry.chk", "1\n"));
    ASSERT_TRUE(WriteFileMakingFolders(kPersistMedia + "LightningPersist-WX500Config.pri", "old"));
    EXPECT_FALSE(engine.AreThereSavedFiles());
    EligibilityStatus status = ELIG_NONE;
    EXPECT_TRUE(engine.ChkSave("612-00340-000", 0, &status)) << status;

    EXPECT_EQ(2, Save());
    EXPECT_EQ(std::vector<std::string>{"ShowConfirm(Save will disable this unit. Overwrite Previous Save?,F1)"},
              window.calls);
    EXPECT_EQ(1, Save());
    EXPECT_EQ((std::vector<std::string>{"CorvaneUserRegistry.chk", "CorvaneUserRegistry.reg",
                                        "Persist\\ShellPersist-Config-CFG_GPS.pri",
                                        "Persist\\ShellPersist-ShellConfig.pri", "SWPartNum.txt"}),
              MediaFiles());
    EXPECT_TRUE(engine.AreThereSavedFiles());
}

// ---- the file-call table ----------------------------------------------------------

namespace {

// A table that forwards to the one it replaces, counts the calls of a few
// kinds, and fails the write-open of one file or the hive save with an error.
struct TableFault {
    const char* what;
    const char* call;        // the failed call's name
    std::string path;        // the path it reports
    DWORD       error;
};

const EngineFileCalls* g_pReal = nullptr;
const TableFault* g_pFault = nullptr;
std::map<std::string, int> g_counted;
std::vector<std::string> g_reports;

bool Faulted(const char* call, const std::string& path)
{
    return g_pFault && std::string(g_pFault->call) == call && g_pFault->path == path;
}

HANDLE WINAPI CountedCreate(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                            DWORD flags, HANDLE model)
{
    ++g_counted["CreateFileA"];
    if ((access & GENERIC_WRITE) && Faulted("CreateFileA", path)) {
        SetLastError(g_pFault->error);
        return INVALID_HANDLE_VALUE;
    }
    return g_pReal->osCreateFileA(path, access, share, security, disposition, flags, model);
}

BOOL WINAPI CountedWrite(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped)
{
    ++g_counted["WriteFile"];
    return g_pReal->osWriteFile(file, data, size, written, overlapped);
}

BOOL WINAPI CountedFlush(HANDLE file)
{
    ++g_counted["FlushFileBuffers"];
    return g_pReal->osFlushFileBuffers(file);
}

BOOL WINAPI CountedRead(HANDLE file, LPVOID data, DWORD size, LPDWORD read, LPOVERLAPPED overlapped)
{
    ++g_counted["ReadFile"];
    return g_pReal->osReadFile(file, data, size, read, overlapped);
}

LONG WINAPI CountedSaveKey(HKEY key, LPCSTR file, LPSECURITY_ATTRIBUTES security)
{
    ++g_counted["RegSaveKeyA"];
    if (Faulted("RegSaveKeyA", file)) return static_cast<LONG>(g_pFault->error);
    return g_pReal->osRegSaveKeyA(key, file, security);
}

void RecordReport(const char* call, const char* path, DWORD error)
{
    g_reports.push_back(std::string(call) + " " + path + " " + std::to_string(error));
}

EngineFileCalls CountingTable(const TableFault* fault)
{
    g_pReal = &DefaultEngineFileCalls();
    g_pFault = fault;
    g_counted.clear();
    g_reports.clear();
    EngineFileCalls table = DefaultEngineFileCalls();
    table.osCreateFileA = CountedCreate;
    table.osWriteFile = CountedWrite;
    table.osFlushFileBuffers = CountedFlush;
    table.osReadFile = CountedRead;
    table.osRegSaveKeyA = CountedSaveKey;
    table.osFailed = RecordReport;
    return table;
}

} // namespace

TEST_F(SaveFlow, EveryFileCallOfASaveGoesThroughTheTableInUse)
{
    const EngineFileCalls table = CountingTable(nullptr);
    CScopedEngineFileCalls scope(table);
    engine.SetConfirmShown(true);
    EXPECT_EQ(1, Save());
    // The hive, its checksum, two key files and the identity record are
    // each written, flushed and read back.
    EXPECT_EQ(1, g_counted["RegSaveKeyA"]);
    EXPECT_LE(5, g_counted["FlushFileBuffers"]);
    EXPECT_LE(5, g_counted["WriteFile"]);
    EXPECT_LE(10, g_counted["ReadFile"]);
    EXPECT_LE(10, g_counted["CreateFileA"]);
    EXPECT_TRUE(g_reports.empty()) << g_reports.front();
}

TEST_F(SaveFlow, ACallFailedThroughTheTableIsReportedOnceAndTheSaveDoesNotFinish)
{
    const TableFault faults[] = {
        {"write-protected identity record", "CreateFileA", std::string(kMediaConfig) + "\\SWPartNum.txt.new",
         ERROR_WRITE_PROTECT},
        {"a full unit disk at the hive save", "RegSaveKeyA", "C:\\CopyOfCorvaneUserReg.reg", ERROR_DISK_FULL},
    };
    for (const TableFault& fault : faults) {
        SCOPED_TRACE(fault.what);
        const EngineFileCalls table = CountingTable(&fault);
        CScopedEngineFileCalls scope(table);
        engine.SetConfirmShown(true);
        EXPECT_THROW(Save(), CFileException);
        EXPECT_EQ(std::vector<std::string>{std::string(fault.call) + " " + fault.path + " " +
                                           std::to_string(fault.error)},
                  g_reports);
    }
    EXPECT_EQ(&DefaultEngineFileCalls(), &EngineCalls()) << "the scope puts the real calls back";
}

namespace {

// Another program holds one key file without sharing from the moment the
// save first opens it, for `g_holdMs`.
std::string g_heldKey;
HANDLE g_hHeld = INVALID_HANDLE_VALUE;
DWORD g_holdMs = 0;
std::thread g_release;

HANDLE WINAPI HoldingCreate(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                            DWORD flags, HANDLE model)
{
    if (g_hHeld == INVALID_HANDLE_VALUE && !g_release.joinable() && _stricmp(path, g_heldKey.c_str()) == 0) {
        g_hHeld = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        g_release = std::thread([] {
            Sleep(g_holdMs);
            CloseHandle(std::exchange(g_hHeld, INVALID_HANDLE_VALUE));
        });
    }
    return DefaultEngineFileCalls().osCreateFileA(path, access, share, security, disposition, flags, model);
}

} // namespace

TEST_F(SaveFlow, AKeyFileAnotherProgramSavesIsWaitedForAsLongAsTheStoreWaits)
{
    // Held for less than the store's wait: the save goes on; for longer, it
    // fails with the sharing violation, and the unit stays enabled.
    const struct {
        DWORD holdMs;
        bool  saved;
    } cases[] = {{keyfile::kBusyFileAttempts * keyfile::kBusyFilePauseMs / 3, true},
                 {keyfile::kBusyFileAttempts * keyfile::kBusyFilePauseMs * 4, false}};
    g_heldKey = PersistRoot() + "ShellPersist\\MFD Configuration\\CFG_GPS.pri";
    // On a thread of its own: the store's keys its saves open go with the
    // thread, and do not fill the slots the test program's thread keeps.
    std::thread saves([&] {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.holdMs);
            g_holdMs = c.holdMs;
            EngineFileCalls table = DefaultEngineFileCalls();
            table.osCreateFileA = HoldingCreate;
            CScopedEngineFileCalls scope(table);
            engine.SetConfirmShown(true);
            long error = 0;
            try {
                EXPECT_EQ(1, Save());
            } catch (CFileException& e) {
                error = e.m_lOsError;
            }
            if (g_release.joinable()) g_release.join();
            EXPECT_TRUE(g_hHeld == INVALID_HANDLE_VALUE);
            EXPECT_EQ(c.saved ? 0L : static_cast<long>(ERROR_SHARING_VIOLATION), error);
        }
    });
    saves.join();
}
