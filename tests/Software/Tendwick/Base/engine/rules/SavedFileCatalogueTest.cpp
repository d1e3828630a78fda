#include "SavedFileCatalogue.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

enum Filter { NoFilter, Shell, AlertsA, AlertsB, Map };

struct ExpectedRow {
    int         row;
    const char* directory;
    const char* file;
    const char* mediaName;
    Filter      filter;
    const char* configName;   // nullptr: none
    int         openTolerant;
};

const char EP[] = "EnginePersist";
const char MC[] = "ShellPersist\\MFD Configuration";

const ExpectedRow kExpected[] = {
    {1, "DatalinkPersist", "Client.pri", "DatalinkPersist-Client.pri", NoFilter, "CFG_DATALINK", 0},
    {2, "DatalinkPersist", "XMClient.pri", "DatalinkPersist-XMClient.pri", NoFilter, "CFG_XM_DATA", 0},
    {3, EP, "config.pri", "EnginePersist-Config.pri", NoFilter, "CFG_ENGINE", 0},
    {4, EP, "Fuel.pri", "EnginePersist-Fuel.pri", NoFilter, "CFG_ENGINE", 0},
    {5, EP, "Aldren 210 Info.pri", "EnginePersist-Aldren 210 Info.pri", NoFilter, "CFG_ENGINE", 0},
    {6, EP, "Brevik Info.pri", "EnginePersist-Brevik Info.pri", NoFilter, "CFG_ENGINE", 0},
    {7, EP, "Calvane T6 Info.pri", "EnginePersist-Calvane T6 Info.pri", NoFilter, "CFG_ENGINE", 0},
    {8, EP, "Darrow Info.pri", "EnginePersist-Darrow Info.pri", NoFilter, "CFG_ENGINE", 0},
    {9, EP, "Elsmere 36 Info.pri", "EnginePersist-Elsmere 36 Info.pri", NoFilter, "CFG_ENGINE", 0},
    {10, EP, "Fenwold Info.pri", "EnginePersist-Fenwold Info.pri", NoFilter, "CFG_ENGINE", 0},
    {11, EP, "Garrick Info.pri", "EnginePersist-Garrick.pri", NoFilter, "CFG_ENGINE", 0},
    {12, EP, "Halbeck 58 Info.pri", "EnginePersist-Halbeck 58 Info.pri", NoFilter, "CFG_ENGINE", 0},
    {13, EP, "Iverne Info.pri", "EnginePersist-Iverne Info.pri", NoFilter, "CFG_ENGINE", 0},
    {14, EP, "Jorvale 400 Info.pri", "EnginePersist-Jorvale 400 Info.pri", NoFilter, "CFG_ENGINE", 0},
    {15, EP, "Kelsing Info.pri", "EnginePersist-Kelsing Info.pri", NoFilter, "CFG_ENGINE", 0},
    {16, EP, "RecordingTachometer.pri", "EnginePersist-RecordingTachometer.pri", NoFilter, "CFG_ENGINE", 0},
    {17, EP, "Lornay Info.pri", "EnginePersist-Lornay Info.pri", NoFilter, "CFG_ENGINE", 0},
    {18, EP, "Marsden 182 Info.pri", "EnginePersist-Marsden 182 Info.pri", NoFilter, "CFG_ENGINE", 0},
    {19, EP, "Norcrest Info.pri", "EnginePersist-Norcrest Info.pri", NoFilter, "CFG_ENGINE", 0},
    {20, EP, "Ostrel Info.pri", "EnginePersist-Ostrel Info.pri", NoFilter, "CFG_ENGINE", 0},
    {21, EP, "Pellam 46 Info.pri", "EnginePersist-Pellam 46 Info.pri", NoFilter, "CFG_ENGINE", 0},
    {22, EP, "Quarrow Info.pri", "EnginePersist-Quarrow Info.pri", NoFilter, "CFG_ENGINE", 0},
    {23, EP, "Rendle Info.pri", "EnginePersist-Rendle Info.pri", NoFilter, "CFG_ENGINE", 0},
    {24, EP, "Sarnell 300 Info.pri", "EnginePersist-Sarnell 300 Info.pri", NoFilter, "CFG_ENGINE", 0},
    {25, EP, "Tavistel Alerts.pri", "EnginePersist-Tavistel Alerts.pri", AlertsA, "CFG_ENGINE", 0},
    {26, EP, "Vardon Alerts.pri", "EnginePersist-Vardon Alerts.pri", AlertsB, "CFG_ENGINE", 0},
    {27, "GPSPersist\\GPS1", "A.pri", "GPSPersist-GPSA.pri", NoFilter, nullptr, 0},
    {28, "GPSPersist\\GPS1", "B.pri", "GPSPersist-GPSB.pri", NoFilter, nullptr, 0},
    {29, "GPSPersist\\GPS1", "Config.pri", "GPSPersist-Config.pri", NoFilter, nullptr, 0},
    {30, "GroundProxPersist", "GroundProxConfig.pri", "GroundProxPersist-GroundProxConfig.pri", NoFilter,
     "CFG_EGPWS", 0},
    {31, "HeadingPersist", "HeadingConfig.pri", "HeadingPersist-HeadingConfig.pri", NoFilter, nullptr, 0},
    {32, "LightningPersist", "QlxConfig.pri", "LightningPersist-QlxConfig.pri", NoFilter, nullptr, 0},
    {33, "LightningPersist", "WX500Config.pri", "LightningPersist-WX500Config.pri", NoFilter, nullptr, 0},
    {34, "MapPersist", "DatalinkSettings.pri", "MapPersist-DatalinkSettings.pri", NoFilter, nullptr, 0},
    {35, "MapPersist", "IridiumDatalinkSettings.pri", "MapPersist-IridiumDatalinkSettings.pri", NoFilter, nullptr,
     0},
    {36, "PFDLinkPersist", "Config.pri", "PFDLinkPersist-Config.pri", NoFilter, nullptr, 0},
    {37, "RadarPersist", "InstallConfig.pri", "RadarPersist-InstallConfig.pri", NoFilter, "CFG_RADAR", 0},
    {38, "RadarPersist", "InterAppComm.pri", "RadarPersist-InterAppComm.pri", NoFilter, "CFG_RADAR", 0},
    {39, "RadarPersist", "PilotSettings.pri", "RadarPersist-PilotSettings.pri", NoFilter, "CFG_RADAR", 0},
    {40, "RadarPersist", "RunSettings.pri", "RadarPersist-RunSettings.pri", NoFilter, "CFG_RADAR", 0},
    {41, "TrafficPersist", "Config.pri", "TrafficPersist-Config.pri", NoFilter, nullptr, 0},
    {42, "ShellPersist", "BrightnessConfig.pri", "ShellPersist-BrightnessConfig.pri", NoFilter, nullptr, 0},
    {43, "ShellPersist", "ShellConfig.pri", "ShellPersist-ShellConfig.pri", Shell, nullptr, 0},
    {44, "ShellPersist", "DynamicData.pri", "ShellPersist-DynamicData.pri", NoFilter, nullptr, 0},
    {45, "MapPersist", "OP_SETTINGS.pri", "MapPersist-OP_SETTINGS.pri", Map, nullptr, 0},
    {46, MC, "CFG_GPS.pri", "ShellPersist-Config-CFG_GPS.pri", NoFilter, nullptr, 1},
    {47, MC, "CFG_HEADING.pri", "ShellPersist-Config-CFG_HEADING.pri", NoFilter, nullptr, 1},
    {48, MC, "CFG_QLX.pri", "ShellPersist-Config-CFG_QLX.pri", NoFilter, nullptr, 1},
    {49, MC, "CFG_WX500.pri", "ShellPersist-Config-CFG_WX500.pri", NoFilter, nullptr, 1},
    {50, MC, "CFG_SYNCHRO.pri", "ShellPersist-Config-CFG_SYNCHRO.pri", NoFilter, nullptr, 1},
    {51, MC, "CFG_TRAFFIC.pri", "ShellPersist-Config-CFG_TRAFFIC.pri", NoFilter, nullptr, 1},
    {52, MC, "CFG_PFDLINK.pri", "ShellPersist-Config-CFG_PFDLINK.pri", NoFilter, nullptr, 1},
    {53, MC, "CFG_KARTEX.pri", "ShellPersist-Config-CFG_KARTEX.pri", NoFilter, nullptr, 1},
    {54, MC, "CFG_DATALINK.pri", "ShellPersist-Config-CFG_DATALINK.pri", NoFilter, nullptr, 1},
    {55, MC, "CFG_EGPWS.pri", "ShellPersist-Config-CFG_EGPWS.pri", NoFilter, nullptr, 1},
    {56, MC, "CFG_RADAR.pri", "ShellPersist-Config-CFG_RADAR.pri", NoFilter, nullptr, 1},
    {57, MC, "CFG_XM_DATA.pri", "ShellPersist-Config-CFG_XM_DATA.pri", NoFilter, nullptr, 1},
    {58, MC, "CFG_SIRIUS_DATA.pri", "ShellPersist-Config-CFG_SIRIUS_DATA.pri", NoFilter, nullptr, 1},
    {59, MC, "CFG_ENGINE.pri", "ShellPersist-Config-CFG_ENGINE.pri", NoFilter, nullptr, 1},
};

std::string Text(const char* s)
{
    return s ? std::string("\"") + s + "\"" : std::string("(none)");
}

const ValueFilterItem* FilterOf(Filter f)
{
    switch (f) {
    case Shell: return ShellValueFilter;
    case AlertsA: return AlertsValueFilterA;
    case AlertsB: return AlertsValueFilterB;
    case Map: return MapValueFilter;
    default: return nullptr;
    }
}

uint32_t CountOf(Filter f)
{
    switch (f) {
    case Shell: return 2;
    case AlertsA:
    case AlertsB: return 2;
    case Map: return 6;
    default: return 0;
    }
}

// ---- the table -----------------------------------------------------------------

TEST(SavedFileCatalogue, HoldsTheFiftyNineRowsInOrder)
{
    ASSERT_EQ(sizeof(kExpected) / sizeof(kExpected[0]), SAVED_FILE_COUNT);
    ASSERT_EQ(59u, SAVED_FILE_COUNT);
    for (size_t i = 0; i < SAVED_FILE_COUNT; ++i) {
        const ExpectedRow& want = kExpected[i];
        const SavedFileEntry& got = SavedFileCatalogue[i];
        SCOPED_TRACE("row " + std::to_string(want.row));
        ASSERT_EQ(static_cast<int>(i) + 1, want.row);
        EXPECT_EQ(Text(want.directory), Text(got.pszDirectory));
        EXPECT_EQ(Text(want.file), Text(got.pszFile));
        EXPECT_EQ(Text(want.mediaName), Text(got.pszMediaName));
        EXPECT_EQ(FilterOf(want.filter), got.pFilter);
        EXPECT_EQ(CountOf(want.filter), got.dwFilterCount);
        EXPECT_EQ(Text(want.configName), Text(got.pszConfigName));
        EXPECT_EQ(want.openTolerant, static_cast<int>(got.bOpenTolerant));
    }
}

// ---- the value filters ------------------------------------------------------------

void ExpectItems(const ValueFilterItem* items, size_t count, const std::vector<std::pair<std::string, int>>& want)
{
    ASSERT_EQ(want.size(), count);
    for (size_t i = 0; i < count; ++i) {
        EXPECT_EQ(want[i].first, items[i].pszName) << "item " << i;
        EXPECT_EQ(want[i].second, items[i].nKind) << "item " << i;
    }
}

TEST(ValueFilters, HoldTheirItemsAndKinds)
{
    ExpectItems(ShellValueFilter, SHELL_FILTER_COUNT, {{"KnobLevels", 1}, {"ExternalVideo", 1}});
    ExpectItems(AlertsValueFilterA, ALERTS_FILTER_COUNT, {{"MBus", 2}, {"EBus", 2}});
    ExpectItems(AlertsValueFilterB, ALERTS_FILTER_COUNT, {{"MBus", 2}, {"EBus", 2}});
    ExpectItems(MapValueFilter, MAP_FILTER_COUNT,
                {{"AirptFltr", 1}, {"EngineStatusBlk", 1}, {"MetarUnits", 1}, {"NavSettings", 2},
                 {"RecentLatLon", 2}, {"StatusBlocks", 2}});
}

TEST(ValueFilters, ShellRowAdmitsOnlyItsTwoNamesExactly)
{
    const SavedFileEntry& shell = SavedFileCatalogue[42];
    ASSERT_STREQ("ShellConfig.pri", shell.pszFile);
    EXPECT_TRUE(FilterListAdmits(shell.pFilter, shell.dwFilterCount, "KnobLevels"));
    EXPECT_TRUE(FilterListAdmits(shell.pFilter, shell.dwFilterCount, "ExternalVideo"));
    for (const char* other : {"Platform", "NumStartupApps", "StartupApp1", "knoblevels", "KnobLevel", "KnobLevelsX",
                              " KnobLevels", ""}) {
        EXPECT_FALSE(FilterListAdmits(shell.pFilter, shell.dwFilterCount, other)) << "\"" << other << "\"";
    }
}

TEST(ValueFilters, MapRowAdmitsNavSettingsButNotItsLowerCase)
{
    const SavedFileEntry& map = SavedFileCatalogue[44];
    ASSERT_STREQ("OP_SETTINGS.pri", map.pszFile);
    for (const char* name : {"AirptFltr", "EngineStatusBlk", "MetarUnits", "NavSettings", "RecentLatLon", "StatusBlocks"})
        EXPECT_TRUE(FilterListAdmits(map.pFilter, map.dwFilterCount, name)) << name;
    EXPECT_FALSE(FilterListAdmits(map.pFilter, map.dwFilterCount, "navsettings"));
    EXPECT_FALSE(FilterListAdmits(map.pFilter, map.dwFilterCount, "MapRange"));
}

TEST(ValueFilters, AlertsRowsAdmitTheBusValuesOnly)
{
    for (int row : {25, 26}) {
        const SavedFileEntry& e = SavedFileCatalogue[row - 1];
        EXPECT_TRUE(FilterListAdmits(e.pFilter, e.dwFilterCount, "MBus")) << "row " << row;
        EXPECT_TRUE(FilterListAdmits(e.pFilter, e.dwFilterCount, "EBus")) << "row " << row;
        EXPECT_FALSE(FilterListAdmits(e.pFilter, e.dwFilterCount, "FuelFlowAlert")) << "row " << row;
    }
}

TEST(ValueFilters, RowsWithoutAFilterAdmitEveryName)
{
    const SavedFileEntry& radar = SavedFileCatalogue[36];
    EXPECT_TRUE(FilterListAdmits(radar.pFilter, radar.dwFilterCount, "AnyValue"));
    EXPECT_TRUE(FilterListAdmits(radar.pFilter, radar.dwFilterCount, ""));
    SavedFileEntry countless = SavedFileCatalogue[42];
    countless.dwFilterCount = 0;   // a list with count 0 is no filter
    EXPECT_TRUE(FilterListAdmits(countless.pFilter, countless.dwFilterCount, "Platform"));
}

// ---- the factory-configuration gate ------------------------------------------------

struct FakeFlag {
    bool                     present = true;
    std::string              text;
    std::vector<std::string> asked;
    size_t                   lastSize = 0;
};

bool ReadFake(const char* configName, char* buffer, size_t size, void* context)
{
    FakeFlag& flag = *static_cast<FakeFlag*>(context);
    flag.asked.push_back(configName);
    flag.lastSize = size;
    if (!flag.present) return false;
    std::strncpy(buffer, flag.text.c_str(), size - 1);
    buffer[size - 1] = '\0';
    return true;
}

// Fills the whole buffer with zeros and leaves it unterminated, as a careless
// store read might: the reading must stop at the buffer's end.
bool ReadUnterminated(const char*, char* buffer, size_t size, void*)
{
    std::memset(buffer, '0', size);
    return true;
}

const char* const kRadarGated[] = {"CFG_RADAR"};

TEST(FactoryGate, EmptyGatedListPassesEveryRowWithoutReadingTheStore)
{
    EXPECT_EQ(0u, GatedKeyCount);
    FakeFlag flag;
    flag.text = "0";
    for (size_t i = 0; i < SAVED_FILE_COUNT; ++i)
        EXPECT_TRUE(IsFactoryConfigured(SavedFileCatalogue[i], ReadFake, &flag)) << "row " << i + 1;
    EXPECT_TRUE(flag.asked.empty());
}

TEST(FactoryGate, GatedRadarRowsFollowTheStoredFlag)
{
    struct Case {
        bool        present;
        const char* text;
        bool        expected;
    } cases[] = {
        {true, "0", false},  {true, "1", true},      {true, "12abc", true}, {false, "", false},
        {true, "abc", false}, {true, "", false},     {true, "  7", true},   {true, "-3", true},
        {true, "000", false}, {true, "0000000000000000000001", false},   // only 16 characters are read
        {true, "4294967296", true},   // a multiple of 2^32 is no 0
    };
    for (const Case& c : cases) {
        for (int row = 37; row <= 40; ++row) {
            FakeFlag flag;
            flag.present = c.present;
            flag.text = c.text;
            EXPECT_EQ(c.expected, IsFactoryConfigured(SavedFileCatalogue[row - 1], ReadFake, &flag, kRadarGated, 1))
                << "row " << row << ", flag " << (c.present ? std::string("\"") + c.text + "\"" : "missing");
            ASSERT_EQ(1u, flag.asked.size());
            EXPECT_EQ("CFG_RADAR", flag.asked[0]);
            EXPECT_EQ(17u, flag.lastSize);
        }
    }
}

TEST(FactoryGate, RowsNotOnTheListOrWithoutConfigurationPass)
{
    FakeFlag flag;
    flag.text = "0";
    EXPECT_TRUE(IsFactoryConfigured(SavedFileCatalogue[0], ReadFake, &flag, kRadarGated, 1));    // CFG_DATALINK
    EXPECT_TRUE(IsFactoryConfigured(SavedFileCatalogue[42], ReadFake, &flag, kRadarGated, 1));   // no configuration
    EXPECT_TRUE(IsFactoryConfigured(SavedFileCatalogue[55], ReadFake, &flag, kRadarGated, 1));   // CFG_RADAR.pri itself
    EXPECT_TRUE(flag.asked.empty());
}

TEST(FactoryGate, AnUnterminatedReadStaysInsideTheBuffer)
{
    EXPECT_FALSE(IsFactoryConfigured(SavedFileCatalogue[36], ReadUnterminated, nullptr, kRadarGated, 1));
}

}  // namespace
