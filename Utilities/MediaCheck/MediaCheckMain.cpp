// mediacheck: what a media holds and what a restore of it would do.
//
//   mediacheck [--json] [--against PERSIST_ROOT [--hive-copy FILE] [--unit-serial S]] MEDIA_ROOT
//
// Exit code: 0 the media holds a complete save, 1 an incomplete save or
// none, 2 a usage error.
#include "ReportOutput.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

int Usage()
{
    std::fputs("usage: mediacheck [--json] [--against PERSIST_ROOT [--hive-copy FILE] [--unit-serial S]] MEDIA_ROOT\n"
               "  MEDIA_ROOT        a drive such as E:\\ or a folder holding a copy of one\n"
               "  --against DIR     a unit's store folder: show what a restore would change there\n"
               "  --hive-copy FILE  the hive copy the unit's last save left on it (on the unit,\n"
               "                    C:\\CopyOfCorvaneUserReg.reg, the default on Windows)\n"
               "  --unit-serial S   the serial number in the unit's registry, which wins over\n"
               "                    its store's (SysSetup \"SerialNumber\")\n"
               "  --json            the same findings as one JSON object\n",
               stderr);
    return 2;
}

void Print(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
}

} // namespace

int main(int argc, char** argv)
{
    bool json = false;
    const char* against = nullptr;
    const char* media = nullptr;
    const char* hiveCopy = nullptr;
    const char* unitSerial = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--json") == 0) {
            json = true;
        } else if (std::strcmp(argv[i], "--against") == 0) {
            if (++i >= argc || against) return Usage();
            against = argv[i];
        } else if (std::strcmp(argv[i], "--hive-copy") == 0) {
            if (++i >= argc || hiveCopy) return Usage();
            hiveCopy = argv[i];
        } else if (std::strcmp(argv[i], "--unit-serial") == 0) {
            if (++i >= argc || unitSerial) return Usage();
            unitSerial = argv[i];
        } else if (argv[i][0] == '-' || media) {
            return Usage();
        } else {
            media = argv[i];
        }
    }
    if (!media || !*media || (against && !*against) || (hiveCopy && (!*hiveCopy || !against)) ||
        (unitSerial && !against))
        return Usage();
    std::string root = media;
#ifdef _WIN32
    // "E:" alone names the drive's current folder; the media is its root.
    if (root.size() == 2 && root[1] == ':') root += '\\';
#endif

    try {
        MediaReport report = InspectMedia(fs::path(root), root);
        DryRunReport dryRun;
        DryRunOptions options;
#ifdef _WIN32
        options.hiveCopy = "C:\\CopyOfCorvaneUserReg.reg";
#endif
        if (hiveCopy) options.hiveCopy = hiveCopy;
        if (unitSerial) options.registrySerial = unitSerial;
        if (against) dryRun = DryRunRestore(fs::path(root), fs::path(against), against, options);
        if (json) {
            Print(ReportJson(report, against ? &dryRun : nullptr));
        } else {
            Print(MediaReportText(report));
            if (against) Print("\n" + DryRunText(dryRun));
        }
        std::fflush(stdout);
        return VerdictExitCode(report.verdict);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "mediacheck: %s\n", error.what());
        return 1;
    }
}
