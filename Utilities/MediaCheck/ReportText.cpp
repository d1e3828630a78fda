#include "ReportOutput.h"

#include "MediaLayout.h"
#include "ReleasePairs.h"
#include "TextEscape.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace {

#ifdef __MINGW32__
#define REPORT_PRINTF gnu_printf   // the runtime's ANSI printf, which knows %zu
#else
#define REPORT_PRINTF printf
#endif

std::string Format(const char* format, ...) __attribute__((format(REPORT_PRINTF, 1, 2)));

std::string Format(const char* format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof(line), format, args);
    va_end(args);
    return line;
}

std::string Quoted(const std::string& bytes)
{
    return "\"" + Printable(bytes) + "\"";
}

std::string Release(const char* part, int revision)
{
    return std::string(part) + " Rev " + std::to_string(revision);
}

void IdentityText(const IdentityFinding& identity, std::string& out)
{
    if (!identity.bPresent) {
        out += Format("Identity  %s: absent\n", MEDIA_IDENTITY_FILE);
        return;
    }
    out += Format("Identity  %s %s\n", MEDIA_IDENTITY_FILE, Quoted(identity.record).c_str());
    out += "  serial number    " + (identity.serial.empty() ? std::string("(none)") : Printable(identity.serial)) +
           (identity.bSerialValid ? " (valid)\n" : " (not a valid serial number)\n");
    out += "  part, revision   " +
           (identity.part.empty() ? std::string("(none)") : Release(Printable(identity.part).c_str(), identity.nRevision)) +
           "\n";
    if (identity.acceptingRows.empty()) {
        out += "  restore onto     no release accepts this save\n";
        return;
    }
    std::string targets;
    for (size_t row : identity.acceptingRows) {
        const ReleasePair& pair = ReleasePairTable[row];
        if (!targets.empty()) targets += ", ";
        targets += Release(pair.pszTargetPart, pair.nTargetRevision) + " (" + pair.pszLabel + ")";
    }
    out += "  restore onto     " + targets + "\n";
}

// Only a media that holds a save, whole or in part, has a writer to name.
void WriterText(const RunLogFinding& runLog, std::string& out)
{
    if (runLog.log == FILE_MISSING) {
        out += "Written by  unknown: no run log on the media\n";
        return;
    }
    if (runLog.log != FILE_READ_OK) {
        out += "Written by  unknown: the run log cannot be read\n";
        return;
    }
    const SaveWriter& writer = runLog.writer;
    if (!writer.bFound) {
        out += "Written by  unknown: the run log records no save\n";
        return;
    }
    out += writer.bVersion ? "Written by  " + Quoted(writer.version) + "\n"
                           : std::string("Written by  a run that logged no version text\n");
    out += "  program          " + (writer.bBanner ? Printable(writer.program) : std::string("(its start is not in the log)")) +
           "\n";
    out += "  last copy        " + Printable(writer.stamp) + " UTC\n";
}

void HiveText(const HiveFinding& hive, std::string& out)
{
    switch (hive.hive) {
    case FILE_MISSING:
        out += Format("Hive  %s: absent\n", MEDIA_HIVE_FILE);
        break;
    case FILE_READ_OK:
        out += Format("Hive  %s: %llu bytes, CRC %d\n", MEDIA_HIVE_FILE,
                      static_cast<unsigned long long>(hive.nSize), static_cast<int>(hive.dwCrc));
        break;
    default:
        out += Format("Hive  %s: cannot be read\n", MEDIA_HIVE_FILE);
        break;
    }
    std::string chk = std::string("  ") + MEDIA_HIVE_CHK_FILE + " ";
    if (hive.chkRead == FILE_MISSING)
        out += chk + "absent\n";
    else if (hive.chkRead != FILE_READ_OK)
        out += chk + "cannot be read\n";
    else if (hive.chk != CHK_OK)
        out += chk + Quoted(hive.chkBytes) + ": " + ChkOutcomeText(hive.chk) + "\n";
    else if (hive.hive != FILE_READ_OK)
        out += chk + Quoted(hive.chkBytes) + ": no hive to compare with\n";
    else
        out += chk + Quoted(hive.chkBytes) + (hive.ChkMatches() ? ": matches\n" : ": DOES NOT MATCH\n");
}

void RowsText(const MediaReport& report, std::string& out)
{
    out += Format("Catalogue  %zu of %zu files present\n", report.PresentRows(), report.rows.size());
    out += "  row  media name                                 state                      bytes  values\n";
    for (const RowFinding& row : report.rows) {
        std::string values;
        if (row.state == ROW_VALID || row.state == ROW_INVALID) {
            values = std::to_string(row.nValues);
            if (row.pEntry->dwFilterCount) values += Format(" (filter takes %zu)", row.nTaken);
            if (row.nRefusedLines) values += Format(", %zu line(s) passed over", row.nRefusedLines);
            if (row.nBadTypes) values += Format(", %zu of no known type", row.nBadTypes);
        }
        std::string size = row.state == ROW_ABSENT || row.state == ROW_UNREADABLE
                               ? std::string()
                               : std::to_string(static_cast<unsigned long long>(row.nSize));
        std::string line = Format("  %3zu  %-42s %-24s %7s  %s", row.nRow, row.pEntry->pszMediaName,
                                  RowStateText(row.state), size.c_str(), values.c_str());
        line.erase(line.find_last_not_of(' ') + 1);
        out += line + "\n";
    }
    out += std::string("  address book     ") + MEDIA_ADDRESS_BOOK + (report.bAddressBook ? " present\n" : " absent\n");
}

} // namespace

std::string MediaReportText(const MediaReport& report)
{
    std::string out = "Media  " + Printable(report.shownRoot) + "\n";
    if (!report.bRootFound) out += "  the media root is not a folder\n";
    out += std::string("  ") + MEDIA_CONFIG_FOLDER + (report.bConfigFolder ? " present\n" : " absent\n");
    for (size_t index : report.rootFiles)
        out += std::string("  ") + MediaRootFiles[index].pszName + ": " + MediaRootFiles[index].pszMeaning + "\n";
    IdentityText(report.identity, out);
    if (report.hive.hive != FILE_MISSING) WriterText(report.runLog, out);
    HiveText(report.hive, out);
    RowsText(report, out);
    if (!report.unknown.empty() || !report.stale.empty()) {
        out += "Not part of a save\n";
        for (const std::string& entry : report.unknown) out += "  unknown  " + Printable(entry) + "\n";
        for (const std::string& entry : report.stale) out += "  stale    " + Printable(entry) + "\n";
    }
    for (const std::string& warning : report.warnings) out += "Warning: " + warning + "\n";
    out += std::string("Verdict: ") + VerdictText(report.verdict) + "\n";
    for (const std::string& problem : report.problems) out += "  " + Printable(problem) + "\n";
    return out;
}

namespace {

std::string ValueText(const std::string& type, const std::string& text)
{
    return type == "string" ? Quoted(text) : Printable(text);
}

void KeyText(const KeyDryRun& key, KeySource source, std::string& out)
{
    std::string from;
    for (const std::string& name : key.mediaNames) from += (from.empty() ? "" : ", ") + name;
    out += "  " + key.subdir + "\\" + key.key + (from.empty() ? std::string() : "  <- " + from) + "\n";
    if (source != KEY_FROM_PRIMARY && source != KEY_CREATED)
        out += std::string("    unit's key: ") + KeySourceText(source) + "\n";
    for (const std::string& note : key.notes) out += "    " + Printable(note) + "\n";
    for (const ValueChange& change : key.changes) {
        std::string line = "    " + Printable(change.name) + "  " + change.newType + "  ";
        line += change.bExisted ? ValueText(change.oldType, change.oldText) : std::string("(new)");
        line += " -> " + ValueText(change.newType, change.newText);
        if (change.origin != BY_IMPORT) line += "  (" + std::string(ChangeOriginText(change.origin)) + ")";
        out += line + "\n";
    }
    // Only where the filter makes a difference; the rest are counted.
    size_t alike = 0;
    for (const KeptValue& kept : key.kept) {
        if (kept.bUnitHas && kept.unitType == kept.type && kept.unitText == kept.savedText) {
            ++alike;
            continue;
        }
        out += "    kept by the filter: " + Printable(kept.name) + "  saved " + Printable(kept.type) + " " +
               ValueText(kept.type, kept.savedText) + ", the unit keeps " +
               (kept.bUnitHas ? kept.unitType + " " + ValueText(kept.unitType, kept.unitText) : "none") + "\n";
    }
    if (alike) out += Format("    kept by the filter, the same in the save: %zu value(s)\n", alike);
    for (const RefusedWrite& refused : key.refused)
        out += "    refused: " + Printable(refused.name) + "  " + refused.type + " " +
               ValueText(refused.type, refused.text) + ": " + KeyWriteText(refused.reason) + "\n";
    if (key.nRefusedLines) out += Format("    %zu line(s) of the saved file passed over\n", key.nRefusedLines);
    if (key.nBadTypes) out += Format("    %zu value(s) of no known type passed over\n", key.nBadTypes);
}

} // namespace

namespace {

std::string QuotedOrNone(const std::string& text)
{
    return text.empty() ? std::string("(none)") : Quoted(text);
}

// The serial number the restore stores at its end, and the state the unit
// records.
void SerialAndStateText(const DryRunReport& report, std::string& out)
{
    const SerialPlan& serial = report.serial;
    out += "  serial number    ";
    if (!serial.bChecked)
        out += "stays: the run does not finish\n";
    else if (serial.bStored)
        out += "the unit gives " + QuotedOrNone(serial.unitSerial) + ", not valid: the save's " +
               Quoted(serial.stored) + " is stored\n";
    else
        out += "stays: the unit gives " + QuotedOrNone(serial.unitSerial) + "\n";
    out += "  disabled state   ";
    if (report.stateAfter == report.stateBefore)
        out += "stays " + QuotedOrNone(report.stateBefore) + " (" + report.target.stateKey + ")\n";
    else
        out += QuotedOrNone(report.stateBefore) + " -> " + Quoted(report.stateAfter) + " (" + report.target.stateKey +
               ")\n";
}

} // namespace

std::string DryRunText(const DryRunReport& report)
{
    std::string out = "Restore onto " + Printable(report.shownPersistRoot) + " (dry run: nothing is written)\n";
    if (!report.bPersistRootFound) out += "  the persist root is not a folder: every key counts as new\n";
    const TargetFinding& target = report.target;
    out += "  unit             " + Printable(target.partText) + ", serial " +
           (target.serial.empty() ? std::string("(none in the store)") : Printable(target.serial)) +
           ", Ferrox state " + (target.ferrox.empty() ? std::string("(none)") : Printable(target.ferrox)) + "\n";
    out += std::string("  release table    ") + (target.bReleaseAllows ? "allows" : "refuses") +
           " this save onto this unit\n";
    out += std::string("  the Restore key  ") + RestoreCourseText(target.course) + "\n";
    if (target.bRecordPresent)
        out += "  SWDisable.txt    picture " + Quoted(target.recordPicture) + ", map " + Quoted(target.recordMap) +
               (target.bRecordCut ? " (the record is longer than the undo reads)\n" : "\n");

    size_t quiet = 0;
    for (size_t i = 0; i < report.keys.size(); ++i) {
        const KeyDryRun& key = report.keys[i];
        if (key.changes.empty() && key.kept.empty() && key.refused.empty() && key.notes.empty() &&
            key.nRefusedLines == 0 && key.nBadTypes == 0) {
            ++quiet;
            continue;
        }
        KeyText(key, report.sources[i], out);
    }
    for (const std::string& skipped : report.skippedRows)
        out += "  not factory-configured, skipped: " + skipped + "\n";
    for (const std::string& step : report.steps) out += "  then: " + Printable(step) + "\n";
    SerialAndStateText(report, out);
    out += Format("%zu of %zu keys change, %zu values in all; %zu keys stay as they are\n", report.ChangedKeys(),
                  report.keys.size(), report.ChangedValues(), quiet);
    return out;
}

int VerdictExitCode(Verdict verdict)
{
    return verdict == VERDICT_COMPLETE ? 0 : 1;
}
