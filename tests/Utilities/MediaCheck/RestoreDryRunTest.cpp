// The unit's key as the store would hold it, and the dry run of a restore
// played on such keys.
#include "KeyModel.h"
#include "MediaFolder.h"
#include "ReportOutput.h"
#include "RestoreDryRun.h"
#include "SavedKeyImport.h"
#include "UndoProof.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace {

const KeyDryRun* FindKey(const DryRunReport& report, const std::string& subdir, const std::string& key)
{
    for (const KeyDryRun& k : report.keys)
        if (k.subdir == subdir && k.key == key) return &k;
    return nullptr;
}

const KeyDryRun& Key(const DryRunReport& report, const std::string& subdir, const std::string& key)
{
    if (const KeyDryRun* found = FindKey(report, subdir, key)) return *found;
    static KeyDryRun none;
    ADD_FAILURE() << "no key " << subdir << "\\" << key;
    return none;
}

// "name type old -> new (origin)" for each change of a key.
std::vector<std::string> Changes(const KeyDryRun& key)
{
    std::vector<std::string> out;
    for (const ValueChange& c : key.changes)
        out.push_back(c.name + " " + c.newType + " " + (c.bExisted ? c.oldText : "(new)") + " -> " + c.newText +
                      (c.origin == BY_IMPORT ? "" : std::string(" (") + ChangeOriginText(c.origin) + ")"));
    return out;
}

} // namespace

TEST(KeyModel, LoadsAsTheStoreOpensAKey)
{
    CMediaFolder folder;
    const fs::path pri = folder.Unit() / "K.pri", sec = folder.Unit() / "K.sec";
    const std::string good = CMediaFolder::KeyFile("\"A\"=dword:1\r\n");
    const std::string other = CMediaFolder::KeyFile("\"A\"=dword:2\r\n");
    struct Row {
        const char* what;
        std::string primary, secondary;
        KeySource   source;
        const char* a;
    } rows[] = {
        {"valid primary wins", good, other, KEY_FROM_PRIMARY, "1"},
        {"invalid primary: the secondary", "\"A\"=dword:1\r\nCRC:9\r\n", other, KEY_FROM_SECONDARY, "2"},
        {"empty primary: the secondary", "", other, KEY_FROM_SECONDARY, "2"},
        {"neither: a new key", "junk", "", KEY_CREATED, nullptr},
        {"too large for the store", CMediaFolder::KeyFile(std::string(65100, ' ')), good, KEY_TOO_LARGE, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        folder.Write("unit/K.pri", row.primary);
        folder.Write("unit/K.sec", row.secondary);
        CKeyModel model;
        EXPECT_EQ(row.source, model.Load(pri, sec));
        EXPECT_EQ(row.source != KEY_TOO_LARGE, model.IsOpen());
        KeyValue value;
        EXPECT_EQ(row.a != nullptr, model.Find("a", &value));
        if (row.a) {
            EXPECT_EQ(row.a, value.text);
        }
    }
}

TEST(KeyModel, WritesFollowTheStoresRules)
{
    CKeyModel model;
    std::string text = "\"Big\"=dword:4294967295\r\n\"Flag\"=bool:1\r\n\"Name\"=string:\"x\"\r\n\"Odd\"=float:1\r\n";
    ASSERT_TRUE(model.LoadText(text.data(), text.size()));
    EXPECT_EQ(KEY_WRITE_DONE, model.WriteDword("big", 4294967295u));
    EXPECT_EQ(KEY_WRITE_DONE, model.WriteBool("FLAG", 0));
    EXPECT_EQ(KEY_WRITE_WRONG_TYPE, model.WriteDword("Name", 3));
    EXPECT_EQ(KEY_WRITE_WRONG_TYPE, model.WriteString("Odd", "y")) << "a line of no known form takes no write";
    EXPECT_EQ(KEY_WRITE_DONE, model.WriteString("New", "z"));
    EXPECT_EQ(KEY_WRITE_BAD_NAME, model.WriteString(std::string(101, 'n').c_str(), "z"));
    EXPECT_EQ(KEY_WRITE_BAD_NAME, model.WriteString("a\"b", "z"));
    EXPECT_EQ("\"Big\"=dword:-1\r\n\"Flag\"=bool:0\r\n\"Name\"=string:\"x\"\r\n\"New\"=string:\"z\"\r\n"
              "\"Odd\"=float:1\r\n",
              model.Text())
        << "a rewritten dword is signed, names keep their stored case, a sorted key stays sorted";
}

TEST(KeyModel, AKeyOf255LinesTakesNoNewValue)
{
    CKeyModel model;
    std::string text;
    for (int i = 0; i < 255; ++i) text += "\"V" + std::to_string(1000 + i) + "\"=dword:1\r\n";
    ASSERT_TRUE(model.LoadText(text.data(), text.size()));
    EXPECT_EQ(KEY_WRITE_FULL, model.WriteDword("Extra", 1));
    EXPECT_EQ(KEY_WRITE_DONE, model.WriteDword("V1000", 2));
}

TEST(DryRunRestore, ShowsChangesFilterKeepsAndTheRestoresEnd)
{
    CMediaFolder folder;
    folder.CompleteSave();
    folder.UnitKey("DatalinkPersist/Client", "\"Revision\"=dword:2\r\n\"UnitTag\"=string:\"Unit B Client\"\r\n");
    folder.UnitKey("ShellPersist/ShellConfig", "\"KnobLevels\"=dword:1\r\n\"Owner\"=string:\"Unit B\"\r\n"
                                               "\"Platform\"=string:\"ZR655\"\r\n");
    folder.UnitKey("ShellPersist/SystemData", "\"SoftwarePartNum\"=string:\"612-00340-800 Rev 1\"\r\n");
    DryRunReport report = DryRunRestore(folder.Media(), folder.Unit(), "unit");

    EXPECT_EQ("612-00340-800", report.target.part);
    EXPECT_EQ(1, report.target.nRevision);
    EXPECT_TRUE(report.target.bReleaseAllows);
    EXPECT_FALSE(report.target.bDisabled);
    EXPECT_EQ((std::vector<std::string>{"Revision dword 2 -> 1", "UnitTag string Unit B Client -> Unit A Client"}),
              Changes(Key(report, "DatalinkPersist", "Client")));
    const KeyDryRun& shell = Key(report, "ShellPersist", "ShellConfig");
    EXPECT_EQ((std::vector<std::string>{"ExternalVideo bool (new) -> 1",
                                        "Ferrox string (new) -> RESTORED (end of the restore)",
                                        "KnobLevels dword 1 -> 2",
                                        "NumStartupApps dword (new) -> 1 (end of the restore)",
                                        "StartupApp1 string (new) -> c:\\zelsys\\system.exe|Maintenance (end of the restore)"}),
              Changes(shell));
    ASSERT_EQ(1u, shell.kept.size());
    EXPECT_EQ("Owner", shell.kept[0].name);
    EXPECT_EQ("Unit A", shell.kept[0].savedText);
    EXPECT_EQ("Unit B", shell.kept[0].unitText);
    EXPECT_EQ((std::vector<std::string>{"Antenna dword (new) -> 12"}),
              Changes(Key(report, "RadarPersist", "InstallConfig")));
    EXPECT_EQ((std::vector<std::string>{"ShellPersist-ShellConfig.pri"}), shell.mediaNames);
    EXPECT_TRUE(report.skippedRows.empty()) << "the system gates no configuration";
    EXPECT_NE(report.steps.end(), std::find(report.steps.begin(), report.steps.end(),
                                            "AddressBook.txt replaces the unit's datalink address book"));
    EXPECT_NE(report.steps.end(), std::find(report.steps.begin(), report.steps.end(),
                                            "Platform ZR655: the knob layout stays"));
    // The unit has no serial number of its own: the window stores the save's.
    EXPECT_EQ((std::vector<std::string>{"SerialNumber string (new) -> A1234 (serial number)"}),
              Changes(Key(report, "ShellPersist", "SystemData")));
    EXPECT_TRUE(report.serial.bStored);
    EXPECT_EQ("", report.stateBefore);
    EXPECT_EQ("RESTORED", report.stateAfter);
    for (const KeyDryRun& key : report.keys)
        if (key.mediaNames.empty() && key.key != "ShellConfig" && key.key != "SystemData") {
            EXPECT_TRUE(key.changes.empty()) << key.key;
        }
}

TEST(DryRunRestore, AGatedConfigurationIsTestedAfterTheFirstPassRestoredIt)
{
    const char* const gated[] = {"CFG_RADAR"};
    DryRunOptions options;
    options.pGatedList = gated;
    options.nGatedCount = 1;
    for (const char* flag : {"0", "1", "12abc", "12345678901234567"}) {
        SCOPED_TRACE(flag);
        CMediaFolder folder;
        folder.CompleteSave();
        folder.SaveKey("ShellPersist-Config-CFG_RADAR.pri",
                       std::string("\"CI_FACTORY_CONFIGURED\"=string:\"") + flag + "\"\r\n");
        folder.UnitKey("ShellPersist/MFD Configuration/CFG_RADAR", "\"CI_FACTORY_CONFIGURED\"=string:\"1\"\r\n");
        DryRunReport report = DryRunRestore(folder.Media(), folder.Unit(), "unit", options);
        bool skipped = std::string(flag) == "0" || std::string(flag).size() > 16;
        EXPECT_EQ(skipped ? 4u : 0u, report.skippedRows.size()) << "rows 37 to 40";
        EXPECT_EQ(skipped, FindKey(report, "RadarPersist", "InstallConfig") == nullptr) << "a skipped row opens no key";
    }
}

TEST(DryRunRestore, TheDatalinkFixUpFollowsTheSavedPartNumber)
{
    CMediaFolder folder;
    folder.CompleteSave();
    folder.Write("media/ZelConfig/SWPartNum.txt", "L1|612-00288-001 Rev 0");
    struct Row {
        const char*              unit;   // the unit's client key
        std::vector<std::string> fixedUp;
    } rows[] = {
        {"\"Device\"=dword:5\r\n\"DeviceStr\"=string:\"Mine\"\r\n", {}},
        {"\"Device\"=string:\"5\"\r\n", {"DeviceStr string (new) -> VuvodUV (data-link fix-up)"}},
        {"", {"Device dword (new) -> 1 (data-link fix-up)", "DeviceStr string (new) -> VuvodUV (data-link fix-up)"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.unit);
        folder.UnitKey("DatalinkPersist/Client", row.unit);
        DryRunReport report = DryRunRestore(folder.Media(), folder.Unit(), "unit");
        std::vector<std::string> expected = row.fixedUp;
        expected.insert(expected.end(), {"Revision dword (new) -> 1", "UnitTag string (new) -> Unit A Client"});
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(expected, Changes(Key(report, "DatalinkPersist", "Client")))
            << "a Device that reads as a number or as text is present, as the engine reads it";
    }
}

TEST(DryRunRestore, RefusedWritesDamagedFilesAndADisabledUnit)
{
    CMediaFolder folder;
    folder.CompleteSave();
    folder.Write("media/ZelConfig/Persist/DatalinkPersist-Client.pri",
                 "\"Revision\"=string:\"one\"\r\n\"Extra\"=dword:3\r\nCRC:1\r\n");
    folder.UnitKey("DatalinkPersist/Client", "\"Revision\"=dword:2\r\n");
    folder.UnitKey("ShellPersist/ShellConfig", "\"Ferrox\"=string:\"saved\"\r\n");
    folder.Write("unit/SWDisable.txt", "C:\\Zelsys\\Splash.bmp|C:\\Zelsys\\Map.exe,C:\\Zelsys,0 rest");
    DryRunReport report = DryRunRestore(folder.Media(), folder.Unit(), "unit");
    const KeyDryRun& client = Key(report, "DatalinkPersist", "Client");
    EXPECT_EQ((std::vector<std::string>{"Extra dword (new) -> 3"}), Changes(client));
    ASSERT_EQ(1u, client.refused.size());
    EXPECT_EQ(KEY_WRITE_WRONG_TYPE, client.refused[0].reason);
    EXPECT_EQ((std::vector<std::string>{"DatalinkPersist-Client.pri fails its check: imported anyway"}), client.notes);
    EXPECT_TRUE(report.target.bDisabled) << "the state compares without regard to case";
    EXPECT_TRUE(report.target.bRecordPresent);
    EXPECT_EQ("C:\\Zelsys\\Splash.bmp", report.target.recordPicture);
    EXPECT_EQ("C:\\Zelsys\\Map.exe,C:\\Zelsys,0", report.target.recordMap);
}

TEST(DryRunRestore, PredictsWhetherTheRestoreKeyImportsOrUndoes)
{
    // The save is A1234's, 612-00340-800 Rev 0, its hive "regf hive bytes\n";
    // the unit's serial number is the store's.
    const std::string hive = "regf hive bytes\n";
    struct Row {
        const char*   what;
        const char*   serial;
        const char*   ferrox;
        const char*   proofChk;   // the checksum text the undo's proof holds, or nullptr for none
        RestoreCourse course;
        std::function<void(const CMediaFolder&, DryRunOptions&)> edit = nullptr;
    } rows[] = {
        {"its own save on the disabled unit", "A1234", "SAVED", nullptr, COURSE_UNDO},
        {"another unit's save on a disabled unit", "B5678", "SAVED", nullptr, COURSE_REFUSED},
        {"its own save after an undo that ended", "A1234", "RESTORED-ORIGINAL", nullptr, COURSE_IMPORT},
        {"its own save whose undo was cut off", "A1234", "RESTORED-ORIGINAL", "", COURSE_FINISH_UNDO},
        {"a proof of another save of the unit", "A1234", "RESTORED-ORIGINAL", "12345\n", COURSE_IMPORT},
        {"an enabled target", "B5678", "RESTORED", nullptr, COURSE_IMPORT},
        {"a release the table refuses", "B5678", "RESTORED", nullptr, COURSE_REFUSED,
         [](const CMediaFolder& f, DryRunOptions&) { f.Write("media/ZelConfig/SWPartNum.txt", "A1234|612-00340-800 Rev 3"); }},
        {"no saved hive", "B5678", "RESTORED", nullptr, COURSE_REFUSED,
         [](const CMediaFolder& f, DryRunOptions&) { f.Remove("media/ZelConfig/CorvaneUserRegistry.reg"); }},
        {"no saved hive beside its own save on the disabled unit", "A1234", "SAVED", nullptr, COURSE_REFUSED,
         [](const CMediaFolder& f, DryRunOptions&) { f.Remove("media/ZelConfig/CorvaneUserRegistry.reg"); }},
        {"no identity record", "B5678", "RESTORED", nullptr, COURSE_REFUSED,
         [](const CMediaFolder& f, DryRunOptions&) { f.Remove("media/ZelConfig/SWPartNum.txt"); }},
        {"the hive copy of the save that disabled it", "A1234", "SAVED", nullptr, COURSE_UNDO,
         [hive](const CMediaFolder& f, DryRunOptions& o) {
             f.Write("unit-c/CopyOfCorvaneUserReg.reg", hive);
             o.hiveCopy = f.Unit().parent_path() / "unit-c" / "CopyOfCorvaneUserReg.reg";
         }},
        {"an older save of its own beside the hive copy of a newer one", "A1234", "SAVED", nullptr, COURSE_REFUSED,
         [](const CMediaFolder& f, DryRunOptions& o) {
             f.Write("unit-c/CopyOfCorvaneUserReg.reg", "regf a newer hive\n");
             o.hiveCopy = f.Unit().parent_path() / "unit-c" / "CopyOfCorvaneUserReg.reg";
         }},
        {"an identity record with a line end, proven as the engine reads it", "A1234", "RESTORED-ORIGINAL", "",
         COURSE_FINISH_UNDO,
         [](const CMediaFolder& f, DryRunOptions&) { f.Write("media/ZelConfig/SWPartNum.txt", "A1234|612-00340-800 Rev 0\r\n"); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        CMediaFolder folder;
        folder.CompleteSave();
        DryRunOptions options;
        if (row.edit) row.edit(folder, options);
        folder.UnitKey("ShellPersist/SystemData", std::string("\"SoftwarePartNum\"=string:\"612-00340-800 Rev 0\"\r\n"
                                                              "\"SerialNumber\"=string:\"") +
                                                      row.serial + "\"\r\n");
        folder.UnitKey("ShellPersist/ShellConfig", std::string("\"Ferrox\"=string:\"") + row.ferrox + "\"\r\n");
        if (row.proofChk) {
            // The proof as the engine writes it: the media's bytes as they are.
            std::string chk = row.proofChk, identity;
            if (chk.empty()) ReadStart(folder.Media() / "ZelConfig" / "CorvaneUserRegistry.chk", 128, &chk);
            ReadStart(folder.Media() / "ZelConfig" / "SWPartNum.txt", 128, &identity);
            folder.Write("unit/SWUndo.txt", UndoProofText(identity, chk));
        }
        DryRunReport report = DryRunRestore(folder.Media(), folder.Unit(), "unit", options);
        EXPECT_EQ(row.course, report.target.course) << RestoreCourseText(report.target.course);
        const bool undo = row.course == COURSE_UNDO || row.course == COURSE_FINISH_UNDO;
        bool imported = false;
        for (const KeyDryRun& key : report.keys)
            for (const ValueChange& change : key.changes) imported |= change.origin == BY_IMPORT;
        EXPECT_EQ(undo, !imported) << "an undo imports nothing";
        EXPECT_EQ(undo, report.stateAfter == "RESTORED-ORIGINAL");
        EXPECT_NE(std::string::npos, DryRunText(report).find(RestoreCourseText(row.course)));
    }
}

TEST(DryRunRestore, ASavedFileTheRestoreWouldNotTakeLeavesItUnfinished)
{
    struct Row {
        const char* what;
        std::string file;   // DatalinkPersist-Client.pri on the media
        size_t      notTaken;
    } rows[] = {
        {"every file taken", CMediaFolder::KeyFile("\"Revision\"=dword:1\r\n"), 0},
        {"larger than any saved key", CMediaFolder::KeyFile("\"Revision\"=dword:1\r\n") +
                                          std::string(SAVED_FILE_MAX_BYTES, ' '), 1},
        {"a value the unit's key refuses", CMediaFolder::KeyFile("\"Revision\"=string:\"one\"\r\n"), 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        CMediaFolder folder;
        folder.CompleteSave();
        folder.Write("media/ZelConfig/Persist/DatalinkPersist-Client.pri", row.file);
        folder.UnitKey("DatalinkPersist/Client", "\"Revision\"=dword:2\r\n");
        DryRunReport report = DryRunRestore(folder.Media(), folder.Unit(), "unit");
        EXPECT_EQ(row.notTaken, report.nFilesNotTaken);
        const std::vector<std::string> changes = Changes(Key(report, "ShellPersist", "ShellConfig"));
        EXPECT_EQ(row.notTaken == 0, std::find(changes.begin(), changes.end(),
                                               "Ferrox string (new) -> RESTORED (end of the restore)") != changes.end())
            << "the unit is marked restored only by a restore that finished";
        EXPECT_EQ(row.notTaken == 0,
                  std::find(report.steps.begin(), report.steps.end(), "the media is cleared") != report.steps.end());
    }
}

TEST(DryRunText, BytesOfAFilteredLineReachTheTerminalEscaped)
{
    CMediaFolder folder;
    folder.CompleteSave();
    folder.SaveKey("ShellPersist-ShellConfig.pri", "\"Owner\x1b\"=str\x89ng:\"\x07x\"\r\n");
    std::string text = DryRunText(DryRunRestore(folder.Media(), folder.Unit(), "unit"));
    for (unsigned char c : text) EXPECT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7F)) << int(c);
    EXPECT_NE(std::string::npos, text.find("kept by the filter: Owner\\x1B  saved str\\x89ng \\x07x")) << text;
}
