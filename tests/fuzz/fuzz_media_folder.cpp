// The inspector's whole pass over a media folder built from the input, with
// the dry run of a restore onto a unit's store folder built from it too.
//
// Input: a flags byte, then records of a place byte, a two-byte length and
// that many content bytes. The place picks a file of the media layout, a
// catalogue row's copy, a stray file, or a key file or the disabling record
// of the unit; for key files a flag bit adds the CRC line that makes them
// valid. The folders are written for real and read back through the files.
#include "FuzzCheck.h"
#include "KeyDataBlock.h"
#include "KeyFileFormat.h"
#include "MediaInspection.h"
#include "ReportOutput.h"
#include "RestoreDryRun.h"
#include "SavedFileCatalogue.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace {

const char* const kMediaPlaces[] = {
    "ZelConfig/SWPartNum.txt",
    "ZelConfig/CorvaneUserRegistry.reg",
    "ZelConfig/CorvaneUserRegistry.chk",
    "ZelConfig/Persist/AddressBook.txt",
    "ZelConfig/Persist/stray.pri",
    "ZelConfig/notes.txt",
    "ZIPPATH/probe",
    "dontDisable.dat",
};
const char* const kUnitPlaces[] = {
    "ShellPersist/SystemData",
    "ShellPersist/ShellConfig",
    "DatalinkPersist/Client",
    "ShellPersist/MFD Configuration/CFG_RADAR",
    "RadarPersist/InstallConfig",
};
const size_t kMediaPlaceCount = sizeof(kMediaPlaces) / sizeof(kMediaPlaces[0]);
const size_t kUnitPlaceCount = sizeof(kUnitPlaces) / sizeof(kUnitPlaces[0]);

fs::path Scratch()
{
    static fs::path root = [] {
        std::error_code error;
        fs::path base = fs::is_directory("/dev/shm", error) ? fs::path("/dev/shm") : fs::temp_directory_path();
        return base / ("fuzz_media_folder." + std::to_string(getpid()));
    }();
    return root;
}

void Put(const fs::path& path, const std::string& bytes)
{
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void Lay(const uint8_t* data, size_t size, const fs::path& media, const fs::path& unit)
{
    size_t at = 0;
    while (at + 3 <= size) {
        const uint8_t place = data[at];
        size_t length = static_cast<size_t>(data[at + 1]) | static_cast<size_t>(data[at + 2] & 0x3f) << 8;
        const bool withCrc = (data[at + 2] & 0x80) != 0;
        const bool secondary = (data[at + 2] & 0x40) != 0;
        at += 3;
        if (length > size - at) length = size - at;
        std::string bytes(reinterpret_cast<const char*>(data) + at, length);
        at += length;
        if (withCrc) bytes = keyfile::BuildKeyFile(bytes.data(), bytes.size());

        const size_t kinds = kMediaPlaceCount + SAVED_FILE_COUNT + kUnitPlaceCount + 1;
        size_t pick = place % kinds;
        if (pick < kMediaPlaceCount) {
            Put(media / kMediaPlaces[pick], bytes);
        } else if ((pick -= kMediaPlaceCount) < SAVED_FILE_COUNT) {
            Put(media / "ZelConfig" / "Persist" / SavedFileCatalogue[pick].pszMediaName, bytes);
        } else if ((pick -= SAVED_FILE_COUNT) < kUnitPlaceCount) {
            Put(unit / (std::string(kUnitPlaces[pick]) + (secondary ? ".sec" : ".pri")), bytes);
        } else {
            Put(unit / "SWDisable.txt", bytes);
        }
    }
}

// Reports the first line that carries a byte no terminator should see.
bool PlainAscii(const std::string& text)
{
    size_t line = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\n') line = i + 1;
        if (c != '\n' && (c < 0x20 || c >= 0x7f)) {
            std::fprintf(stderr, "raw byte 0x%02X in: %s\n", c, text.substr(line, text.find('\n', line) - line).c_str());
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const fs::path root = Scratch();
    std::error_code error;
    fs::remove_all(root, error);
    const fs::path media = root / "media", unit = root / "unit";
    fs::create_directories(media, error);
    fs::create_directories(unit, error);
    Lay(data + 1, size - 1, media, unit);

    MediaReport report = InspectMedia(media, "E:\\");
    FUZZ_CHECK(report.rows.size() == SAVED_FILE_COUNT);
    FUZZ_CHECK((report.verdict == VERDICT_NO_SAVE) == (report.hive.hive == FILE_MISSING));
    FUZZ_CHECK((report.verdict == VERDICT_COMPLETE) == (report.verdict != VERDICT_NO_SAVE && report.problems.empty()));
    if (report.verdict == VERDICT_COMPLETE) FUZZ_CHECK(report.hive.ChkMatches() && report.identity.bPresent);

    const char* const gated[] = {"CFG_RADAR"};
    DryRunOptions options;
    if (data[0] & 1) {
        options.pGatedList = gated;
        options.nGatedCount = 1;
    }
    DryRunReport dryRun = DryRunRestore(media, unit, "D:\\Data\\", options);
    for (const KeyDryRun& key : dryRun.keys)
        for (const ValueChange& change : key.changes) {
            FUZZ_CHECK(!change.name.empty() && change.name.size() <= keyfile::kMaxValueName);
            FUZZ_CHECK(change.newType != "none");
        }

    FUZZ_CHECK(PlainAscii(MediaReportText(report)));
    FUZZ_CHECK(PlainAscii(DryRunText(dryRun)));
    FUZZ_CHECK(PlainAscii(ReportJson(report, &dryRun)));
    return 0;
}
