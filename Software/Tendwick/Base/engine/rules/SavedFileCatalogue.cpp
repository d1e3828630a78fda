#include "SavedFileCatalogue.h"

#include "KeyFileFormat.h"

#include <cstring>

const ValueFilterItem ShellValueFilter[SHELL_FILTER_COUNT] = {
    {"KnobLevels", 1},
    {"ExternalVideo", 1},
};

const ValueFilterItem AlertsValueFilterA[ALERTS_FILTER_COUNT] = {
    {"MBus", 2},
    {"EBus", 2},
};

const ValueFilterItem AlertsValueFilterB[ALERTS_FILTER_COUNT] = {
    {"MBus", 2},
    {"EBus", 2},
};

const ValueFilterItem MapValueFilter[MAP_FILTER_COUNT] = {
    {"AirptFltr", 1},  {"EngineStatusBlk", 1}, {"MetarUnits", 1},
    {"NavSettings", 2}, {"RecentLatLon", 2},   {"StatusBlocks", 2},
};

const char* const* const GatedKeyList = nullptr;
const size_t GatedKeyCount = 0;

namespace {

const char CFG_DATALINK[] = "CFG_DATALINK";
const char CFG_XM_DATA[] = "CFG_XM_DATA";
const char CFG_ENGINE[] = "CFG_ENGINE";
const char CFG_EGPWS[] = "CFG_EGPWS";
const char CFG_RADAR[] = "CFG_RADAR";

const char ENGINE[] = "EnginePersist";
const char MFD_CONFIG[] = "ShellPersist\\MFD Configuration";

const size_t kFactoryFlagChars = 16;

// The media names are written out, never derived: several rows (the engine
// configuration, one airframe, the GPS and option configuration files) do not
// follow the directory-hyphen-file pattern, and a save on the media must keep
// the names earlier saves used.
const SavedFileEntry kCatalogueRows[] = {
    {"DatalinkPersist", "Client.pri", "DatalinkPersist-Client.pri", nullptr, 0, CFG_DATALINK, 0},
    {"DatalinkPersist", "XMClient.pri", "DatalinkPersist-XMClient.pri", nullptr, 0, CFG_XM_DATA, 0},

    {ENGINE, "config.pri", "EnginePersist-Config.pri", nullptr, 0, CFG_ENGINE, 0},
    {ENGINE, "Fuel.pri", "EnginePersist-Fuel.pri", nullptr, 0, CFG_ENGINE, 0},
    {ENGINE, "Aldren 210 Info.pri", "EnginePersist-Aldren 210 Info.pri", nullptr, 0, CFG_ENGINE, 0},
    {ENGINE, "Brevik Info.pri", "EnginePersist-Brevik Info.pri", nullptr, 0, CFG_ENGINE, 0},
    {ENGINE, "Calvane T6 Info.pri", "EnginePersist-Calvane T6 Info.pri", nullptr, 0, CFG_ENGINE, 0},
    {ENGINE, "Darrow Info.pri", "EnginePersist-Darrow Info.pri", nullptr, 0, CFG_ENGINE, 0},
    {ENGINE, "Elsmere 36 Info.pri", "EnginePersist-Elsmere 36 Info.pri", nullptr, 0, CFG_ENGINE, 0},
    {ENGINE, "Fenwold Info.pri", "EnginePersist-Fenwold Info.pri", nullptr, 0, CFG_ENGINE, 0},
    {ENGINE, "Garrick Info.pri", "EnginePersist-Garrick.pri", nullptr, 0, CFG_ENGINE, 0},
    {ENGINE, "Halbeck 58 Info.pri", "EnginePersist-Halbeck 58 Info.pri", nullptr, 0, CFG_ENGINE, 0},
    {ENGINE, "Iverne Info.pri", "EnginePersist-Iverne Info.pri", nullptr, 0, CFG_ENGINE, 0},
    {ENGINE, "Jorvale 400 Info.pri", "EnginePersist-Jorvale 400 Info.pri", nullptr, 0, CFG_ENGINE, 0},
    {ENGINE, "Kelsing Info.pri", "EnginePersist-Kelsing Info.pri", nullptr, 0, CFG_ENGINE, 0},
    {ENGINE, "RecordingTachometer.pri", "EnginePersist-RecordingTachometer.pri", nullptr, 0, CFG_ENGINE, 0},
    {ENGINE, "Lornay Info.pri", "EnginePersist-Lornay Info.pri", nullptr, 0, CFG_ENGINE, 0},
    {ENGINE, "Marsden 182 Info.pri", "EnginePersist-Marsden 182 Info.pri", nullptr, 0, CFG_ENGINE, 0},
    {ENGINE, "Norcrest Info.pri", "EnginePersist-Norcrest Info.pri", nullptr, 0, CFG_ENGINE, 0},
    {ENGINE, "Ostrel Info.pri", "EnginePersist-Ostrel Info.pri", nullptr, 0, CFG_ENGINE, 0},
    {ENGINE, "Pellam 46 Info.pri", "EnginePersist-Pellam 46 Info.pri", nullptr, 0, CFG_ENGINE, 0},
    {ENGINE, "Quarrow Info.pri", "EnginePersist-Quarrow Info.pri", nullptr, 0, CFG_ENGINE, 0},
    {ENGINE, "Rendle Info.pri", "EnginePersist-Rendle Info.pri", nullptr, 0, CFG_ENGINE, 0},
    {ENGINE, "Sarnell 300 Info.pri", "EnginePersist-Sarnell 300 Info.pri", nullptr, 0, CFG_ENGINE, 0},
    {ENGINE, "Tavistel Alerts.pri", "EnginePersist-Tavistel Alerts.pri", AlertsValueFilterA, ALERTS_FILTER_COUNT,
     CFG_ENGINE, 0},
    {ENGINE, "Vardon Alerts.pri", "EnginePersist-Vardon Alerts.pri", AlertsValueFilterB, ALERTS_FILTER_COUNT,
     CFG_ENGINE, 0},

    {"GPSPersist\\GPS1", "A.pri", "GPSPersist-GPSA.pri", nullptr, 0, nullptr, 0},
    {"GPSPersist\\GPS1", "B.pri", "GPSPersist-GPSB.pri", nullptr, 0, nullptr, 0},
    {"GPSPersist\\GPS1", "Config.pri", "GPSPersist-Config.pri", nullptr, 0, nullptr, 0},
    {"GroundProxPersist", "GroundProxConfig.pri", "GroundProxPersist-GroundProxConfig.pri", nullptr, 0, CFG_EGPWS,
     0},
    {"HeadingPersist", "HeadingConfig.pri", "HeadingPersist-HeadingConfig.pri", nullptr, 0, nullptr, 0},
    {"LightningPersist", "QlxConfig.pri", "LightningPersist-QlxConfig.pri", nullptr, 0, nullptr, 0},
    {"LightningPersist", "WX500Config.pri", "LightningPersist-WX500Config.pri", nullptr, 0, nullptr, 0},
    {"MapPersist", "DatalinkSettings.pri", "MapPersist-DatalinkSettings.pri", nullptr, 0, nullptr, 0},
    {"MapPersist", "IridiumDatalinkSettings.pri", "MapPersist-IridiumDatalinkSettings.pri", nullptr, 0, nullptr, 0},
    {"PFDLinkPersist", "Config.pri", "PFDLinkPersist-Config.pri", nullptr, 0, nullptr, 0},
    {"RadarPersist", "InstallConfig.pri", "RadarPersist-InstallConfig.pri", nullptr, 0, CFG_RADAR, 0},
    {"RadarPersist", "InterAppComm.pri", "RadarPersist-InterAppComm.pri", nullptr, 0, CFG_RADAR, 0},
    {"RadarPersist", "PilotSettings.pri", "RadarPersist-PilotSettings.pri", nullptr, 0, CFG_RADAR, 0},
    {"RadarPersist", "RunSettings.pri", "RadarPersist-RunSettings.pri", nullptr, 0, CFG_RADAR, 0},
    {"TrafficPersist", "Config.pri", "TrafficPersist-Config.pri", nullptr, 0, nullptr, 0},
    {"ShellPersist", "BrightnessConfig.pri", "ShellPersist-BrightnessConfig.pri", nullptr, 0, nullptr, 0},
    {"ShellPersist", "ShellConfig.pri", SAVED_SHELL_CONFIG_FILE, ShellValueFilter, SHELL_FILTER_COUNT,
     nullptr, 0},
    {"ShellPersist", "DynamicData.pri", "ShellPersist-DynamicData.pri", nullptr, 0, nullptr, 0},
    {"MapPersist", "OP_SETTINGS.pri", "MapPersist-OP_SETTINGS.pri", MapValueFilter, MAP_FILTER_COUNT, nullptr, 0},

    {MFD_CONFIG, "CFG_GPS.pri", "ShellPersist-Config-CFG_GPS.pri", nullptr, 0, nullptr, 1},
    {MFD_CONFIG, "CFG_HEADING.pri", "ShellPersist-Config-CFG_HEADING.pri", nullptr, 0, nullptr, 1},
    {MFD_CONFIG, "CFG_QLX.pri", "ShellPersist-Config-CFG_QLX.pri", nullptr, 0, nullptr, 1},
    {MFD_CONFIG, "CFG_WX500.pri", "ShellPersist-Config-CFG_WX500.pri", nullptr, 0, nullptr, 1},
    {MFD_CONFIG, "CFG_SYNCHRO.pri", "ShellPersist-Config-CFG_SYNCHRO.pri", nullptr, 0, nullptr, 1},
    {MFD_CONFIG, "CFG_TRAFFIC.pri", "ShellPersist-Config-CFG_TRAFFIC.pri", nullptr, 0, nullptr, 1},
    {MFD_CONFIG, "CFG_PFDLINK.pri", "ShellPersist-Config-CFG_PFDLINK.pri", nullptr, 0, nullptr, 1},
    {MFD_CONFIG, "CFG_KARTEX.pri", "ShellPersist-Config-CFG_KARTEX.pri", nullptr, 0, nullptr, 1},
    {MFD_CONFIG, "CFG_DATALINK.pri", "ShellPersist-Config-CFG_DATALINK.pri", nullptr, 0, nullptr, 1},
    {MFD_CONFIG, "CFG_EGPWS.pri", "ShellPersist-Config-CFG_EGPWS.pri", nullptr, 0, nullptr, 1},
    {MFD_CONFIG, "CFG_RADAR.pri", "ShellPersist-Config-CFG_RADAR.pri", nullptr, 0, nullptr, 1},
    {MFD_CONFIG, "CFG_XM_DATA.pri", "ShellPersist-Config-CFG_XM_DATA.pri", nullptr, 0, nullptr, 1},
    {MFD_CONFIG, "CFG_SIRIUS_DATA.pri", "ShellPersist-Config-CFG_SIRIUS_DATA.pri", nullptr, 0, nullptr, 1},
    {MFD_CONFIG, "CFG_ENGINE.pri", "ShellPersist-Config-CFG_ENGINE.pri", nullptr, 0, nullptr, 1},
};
static_assert(sizeof(kCatalogueRows) / sizeof(kCatalogueRows[0]) == static_cast<size_t>(kSaveProgressSteps),
              "one progress step per catalogue row");

}  // namespace

const SavedFileEntry (&SavedFileCatalogue)[SAVED_FILE_COUNT] = kCatalogueRows;

bool FilterListAdmits(const ValueFilterItem* pFilter, uint32_t dwCount, const char* pszValueName)
{
    if (dwCount == 0 || pFilter == nullptr) return true;
    if (pszValueName == nullptr) return false;
    for (uint32_t i = 0; i < dwCount; ++i) {
        if (pFilter[i].pszName != nullptr && std::strcmp(pFilter[i].pszName, pszValueName) == 0) return true;
    }
    return false;
}

bool IsFactoryConfigured(const SavedFileEntry& entry, FactoryFlagReader read, void* context,
                         const char* const* gatedList, size_t gatedCount)
{
    if (entry.pszConfigName == nullptr) return true;
    if (gatedList == nullptr || gatedCount == 0) return true;

    bool gated = false;
    for (size_t i = 0; i < gatedCount && !gated; ++i) {
        gated = gatedList[i] != nullptr && std::strcmp(gatedList[i], entry.pszConfigName) == 0;
    }
    if (!gated) return true;

    char text[kFactoryFlagChars + 1] = {};
    if (read == nullptr || !read(entry.pszConfigName, text, sizeof(text), context)) return false;
    text[kFactoryFlagChars] = '\0';
    // The flag reads like a key file's number; only its being 0 matters.
    return keyfile::ReadDecimal(text, sizeof(text)).nonZero;
}
