// The restore plan over settings held in memory: the course, the serial
// number the window stores, the disabled state, the undo and the knob layout.
#include "RestorePlan.h"
#include "SettingsOverlay.h"
#include "TextFields.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

using keyfile::ValueType;

// A unit's store as "subdir\key" -> value lines, read through the overlay.
class CMapSettings : public CSettingsOverlay {
public:
    std::map<std::string, std::vector<KeyValue>> keys;
    std::string registrySerial, computerName;

    void Set(const std::string& key, const std::string& name, ValueType type, const std::string& text)
    {
        keys[key].push_back(KeyValue{name, type, text});
    }
    std::string RegistrySerial() override { return registrySerial; }
    std::string ComputerName() override { return computerName; }

protected:
    bool ReadStored(const char* subdir, const char* key, const char* name, KeyValue* value) override
    {
        for (const KeyValue& held : keys[std::string(subdir) + "\\" + key])
            if (EqualsNoCase(held.name.c_str(), name)) {
                *value = held;
                return true;
            }
        return false;
    }
};

class CMapMedia : public CSavedMedia {
public:
    std::map<std::string, std::string> files;   // media name -> value lines

    bool Lists(const char* name) override { return files.count(name) != 0; }
    SavedFileRead Read(const char* name, std::string* bytes, long* size) override
    {
        auto found = files.find(name);
        if (found == files.end()) return SAVED_READ_NO_FILE;
        *bytes = keyfile::BuildKeyFile(found->second.data(), found->second.size());
        *size = static_cast<long>(bytes->size());
        return SAVED_READ_OK;
    }
};

// A save of A1234, 612-00340-800 Rev 0, onto a unit of that part at Rev 1.
struct CPlanSetup {
    CMapSettings unit;
    CMapMedia    media;
    PlanInput    input;

    CPlanSetup(const char* part = "612-00340-800 Rev 1")
    {
        input.bSavedIdentity = input.bSavedFiles = true;
        input.savedSerial = "A1234";
        input.savedPart = "612-00340-800";
        input.nSavedRevision = 0;
        input.persistRoot = "D:\\Data\\";
        unit.Set("ShellPersist\\SystemData", "SoftwarePartNum", ValueType::String, part);
        media.files["ShellPersist-ShellConfig.pri"] =
            "\"KnobLevels\"=dword:2\r\n\"SplashNoticeBitmap\"=string:\"C:\\Zelsys\\Own.bmp\"\r\n";
    }
};

// "key name text (origin)" of each write the plan makes after the import.
std::vector<std::string> Texts(const std::vector<PlannedWrite>& writes)
{
    std::vector<std::string> out;
    for (const PlannedWrite& w : writes)
        out.push_back(w.key + " " + w.name + " " + (w.kind == IMPORT_DWORD ? std::to_string(w.number) : w.text) +
                      " (" + ChangeOriginText(w.origin) + ")");
    return out;
}

} // namespace

TEST(RestorePlan, SerialNumberAndDisabledStateAfterTheRun)
{
    struct Row {
        const char*   what;
        const char*   part;
        const char*   registry;
        const char*   store;   // the store's serial number, nullptr for none
        const char*   computer;
        const char*   ferrox;
        RestoreCourse course;
        const char*   stored;   // the serial number the window stores, "" for none
        const char*   stateAfter;
    } rows[] = {
        {"the store's valid number", "612-00340-800 Rev 1", "", "B5678", "", nullptr, COURSE_IMPORT, "", "RESTORED"},
        {"the registry's number wins, and is not valid", "612-00340-800 Rev 1", "TARN", "B5678", "", nullptr,
         COURSE_IMPORT, "A1234", "RESTORED"},
        {"no number but a valid computer name", "612-00340-800 Rev 1", "", nullptr, "C0042", nullptr, COURSE_IMPORT,
         "", "RESTORED"},
        {"the family word as computer name", "612-00340-800 Rev 1", "", "", "TARNVELLO", nullptr, COURSE_IMPORT,
         "A1234", "RESTORED"},
        {"its own save on the disabled unit: the undo", "612-00340-800 Rev 0", "", "A1234", "", "SAVED", COURSE_UNDO,
         "", "RESTORED-ORIGINAL"},
        {"another unit's save on a disabled unit", "612-00340-800 Rev 1", "", "B5678", "", "SAVED", COURSE_REFUSED, "",
         "SAVED"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        CPlanSetup setup(row.part);
        setup.unit.registrySerial = row.registry;
        setup.unit.computerName = row.computer;
        if (row.store) setup.unit.Set("ShellPersist\\SystemData", "SerialNumber", ValueType::String, row.store);
        if (row.ferrox) setup.unit.Set("ShellPersist\\ShellConfig", "Ferrox", ValueType::String, row.ferrox);
        RestorePlan plan = BuildRestorePlan(setup.input, setup.unit, setup.media);
        EXPECT_EQ(row.course, plan.target.course) << RestoreCourseText(plan.target.course);
        EXPECT_EQ(*row.stored != '\0', plan.serial.bStored);
        EXPECT_EQ(row.course != COURSE_REFUSED, plan.serial.bChecked);
        KeyValue serial, state;
        if (*row.stored) {
            ASSERT_TRUE(setup.unit.Read("ShellPersist", "SystemData", "SerialNumber", &serial));
            EXPECT_EQ(row.stored, serial.text);
        }
        EXPECT_EQ(row.stateAfter, plan.stateAfter);
        if (row.course != COURSE_REFUSED) {
            ASSERT_TRUE(setup.unit.Read("ShellPersist", "ShellConfig", "Ferrox", &state));
            EXPECT_EQ(row.stateAfter, state.text);
        }
    }
}

TEST(RestorePlan, TheUndoPutsBackWhatTheDisablingChanged)
{
    struct Row {
        const char*              what;
        const char*              part;
        const char*              record;   // "SWDisable.txt", nullptr for none
        bool                     savedPicture;
        std::vector<std::string> writes;
    } rows[] = {
        {"the save's picture", "612-00340-800 Rev 0", nullptr, true,
         {"ShellConfig NumStartupApps 1 (undo)", "ShellConfig StartupApp1 c:\\zelsys\\system.exe|Maintenance (undo)",
          "ShellConfig SplashNoticeBitmap C:\\Zelsys\\Own.bmp (undo)", "ShellConfig Ferrox RESTORED-ORIGINAL (undo)"}},
        {"the record's picture when the save has none", "612-00340-800 Rev 0", "C:\\Zelsys\\Rec.bmp| ", false,
         {"ShellConfig NumStartupApps 1 (undo)", "ShellConfig StartupApp1 c:\\zelsys\\system.exe|Maintenance (undo)",
          "ShellConfig SplashNoticeBitmap C:\\Zelsys\\Rec.bmp (undo)", "ShellConfig Ferrox RESTORED-ORIGINAL (undo)"}},
        {"the menu variant records its state in SystemData", "612-00288-001 Rev 0", "C:\\L.bmp|C:\\Map.exe,C:\\Z,0",
         true, {"SystemData Ferrox RESTORED-ORIGINAL (undo)"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        CPlanSetup setup(row.part);
        setup.input.savedPart = std::string(row.part).substr(0, 13);
        setup.unit.Set("ShellPersist\\SystemData", "SerialNumber", ValueType::String, "A1234");
        setup.unit.Set("ShellPersist\\ShellConfig", "Ferrox", ValueType::String, "SAVED");
        setup.unit.Set("ShellPersist\\SystemData", "Ferrox", ValueType::String, "SAVED");
        setup.unit.Set("ShellPersist\\ShellConfig", "StartupApp1", ValueType::String,
                       "D:\\Data\\Dormantis.exe|Ferx|noregister");
        setup.unit.Set("ShellPersist\\ShellConfig", "SplashNoticeBitmap", ValueType::String,
                       "D:\\Data\\DisableSplashScreen.bmp");
        if (!row.savedPicture) setup.media.files["ShellPersist-ShellConfig.pri"] = "\"KnobLevels\"=dword:2\r\n";
        setup.input.bRecordPresent = row.record != nullptr;
        if (row.record) setup.input.recordBytes = row.record;
        RestorePlan plan = BuildRestorePlan(setup.input, setup.unit, setup.media);
        EXPECT_EQ(COURSE_UNDO, plan.target.course);
        EXPECT_EQ(row.writes, Texts(plan.endWrites));
        EXPECT_TRUE(plan.files.empty()) << "an undo imports nothing";
    }
}

TEST(RestorePlan, TheKnobLayoutOnZR455UnitsOnly)
{
    struct Row {
        const char* platform;
        const char* levels;   // the saved "KnobLevels", nullptr for none
        size_t      writes;
        const char* fine;     // UI_Brightness "pos_Fine" written, nullptr for none
    } rows[] = {
        {"ZR455", "2", 10, "Brightness,RI"},
        {"ZR455", "3", 10, "Brightness,RO"},
        {"ZR455", nullptr, 0, nullptr},
        {"zr455", "2", 0, nullptr},
        {"ZR4550", "2", 0, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.platform) + " " + (row.levels ? row.levels : "none"));
        CPlanSetup setup;
        setup.unit.Set("ShellPersist\\ShellConfig", "Platform", ValueType::String, row.platform);
        setup.media.files["ShellPersist-ShellConfig.pri"] =
            row.levels ? std::string("\"KnobLevels\"=dword:") + row.levels + "\r\n" : std::string();
        RestorePlan plan = BuildRestorePlan(setup.input, setup.unit, setup.media);
        EXPECT_EQ(row.writes, plan.knob.writes.size());
        KeyValue fine;
        EXPECT_EQ(row.fine != nullptr, setup.unit.Read("ShellPersist", "UI_Brightness", "pos_Fine", &fine));
        if (row.fine) {
            EXPECT_EQ(row.fine, fine.text);
            EXPECT_EQ("ShellConfig KnobLevels " + std::string(std::string(row.levels) == "2" ? "2" : "1") +
                          " (knob layout)",
                      Texts(plan.knob.writes)[0]);
        }
    }
}

TEST(SettingsOverlay, RefusesAsTheStoreDoesAndReadsItsOwnWrites)
{
    CMapSettings unit;
    unit.Set("S\\K", "Count", ValueType::Dword, "5");
    struct Row {
        ValueType   type;
        const char* name;
        const char* text;
        KeyWrite    result;
        const char* after;   // read back, nullptr for nothing
    } rows[] = {
        {ValueType::String, "Count", "x", KEY_WRITE_WRONG_TYPE, "5"},
        {ValueType::Dword, "count", "", KEY_WRITE_DONE, "-1"},
        {ValueType::Dword, "New", "", KEY_WRITE_DONE, "4294967295"},
        {ValueType::String, "", "x", KEY_WRITE_BAD_NAME, nullptr},
        {ValueType::String, "Q\"uote", "x", KEY_WRITE_BAD_NAME, nullptr},
        {ValueType::String, "Text", "a\r\nb", KEY_WRITE_BAD_VALUE, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.result, unit.Write("S", "K", row.type, row.name, row.text, 0xFFFFFFFFu));
        KeyValue value;
        EXPECT_EQ(row.after != nullptr, unit.Read("S", "K", row.name, &value));
        if (row.after) {
            EXPECT_EQ(row.after, value.text);
        }
    }
}
