#include "ReportOutput.h"

#include "JsonWriter.h"
#include "MediaLayout.h"
#include "ReleasePairs.h"

namespace {

const char* FileReadWord(FileRead read)
{
    switch (read) {
    case FILE_READ_OK:    return "present";
    case FILE_MISSING:    return "absent";
    case FILE_TOO_LARGE:  return "too large";
    case FILE_UNREADABLE: return "unreadable";
    }
    return "";
}

void IdentityJson(const IdentityFinding& identity, CJsonWriter& json)
{
    json.BeginObject("identity");
    json.Bool("present", identity.bPresent);
    if (identity.bPresent) {
        json.String("record", identity.record);
        json.String("serial", identity.serial);
        json.Bool("serialValid", identity.bSerialValid);
        json.String("part", identity.part);
        json.Number("revision", identity.nRevision);
        json.BeginArray("restoreTargets");
        for (size_t row : identity.acceptingRows) {
            const ReleasePair& pair = ReleasePairTable[row];
            json.BeginObject();
            json.Number("row", static_cast<int64_t>(row + 1));
            json.String("part", pair.pszTargetPart);
            json.Number("revision", pair.nTargetRevision);
            json.String("label", pair.pszLabel);
            json.EndObject();
        }
        json.EndArray();
    }
    json.EndObject();
}

void HiveJson(const HiveFinding& hive, CJsonWriter& json)
{
    json.BeginObject("hive");
    json.String("file", FileReadWord(hive.hive));
    if (hive.hive == FILE_READ_OK) {
        json.Number("size", static_cast<int64_t>(hive.nSize));
        json.Number("crc", static_cast<int32_t>(hive.dwCrc));
    }
    json.String("checksumFile", FileReadWord(hive.chkRead));
    if (hive.chkRead == FILE_READ_OK) {
        json.String("checksumText", hive.chkBytes);
        json.String("checksumForm", ChkOutcomeText(hive.chk));
        if (hive.chk == CHK_OK || hive.chk == CHK_BAD_ENDING) json.Number("checksum", static_cast<int32_t>(hive.dwChkCrc));
    }
    json.Bool("matches", hive.ChkMatches());
    json.EndObject();
}

void WriterJson(const RunLogFinding& runLog, CJsonWriter& json)
{
    json.BeginObject("writer");
    json.String("runLog", FileReadWord(runLog.log));
    const SaveWriter& writer = runLog.writer;
    json.Bool("found", writer.bFound);
    if (writer.bFound) {
        if (writer.bBanner) json.String("program", writer.program); else json.Null("program");
        if (writer.bVersion) json.String("version", writer.version); else json.Null("version");
        json.String("lastCopy", writer.stamp);
    }
    json.EndObject();
}

void MediaJson(const MediaReport& report, CJsonWriter& json)
{
    json.BeginObject("media");
    json.String("root", report.shownRoot);
    json.Bool("rootFound", report.bRootFound);
    json.Bool("configFolder", report.bConfigFolder);
    json.BeginArray("rootFiles");
    for (size_t index : report.rootFiles) json.String(nullptr, MediaRootFiles[index].pszName);
    json.EndArray();
    IdentityJson(report.identity, json);
    WriterJson(report.runLog, json);
    HiveJson(report.hive, json);
    json.BeginArray("catalogue");
    for (const RowFinding& row : report.rows) {
        json.BeginObject();
        json.Number("row", static_cast<int64_t>(row.nRow));
        json.String("mediaName", row.pEntry->pszMediaName);
        json.String("state", RowStateText(row.state));
        if (row.state != ROW_ABSENT && row.state != ROW_UNREADABLE) json.Number("size", static_cast<int64_t>(row.nSize));
        if (row.state == ROW_VALID || row.state == ROW_INVALID) {
            json.Number("values", static_cast<int64_t>(row.nValues));
            json.Number("taken", static_cast<int64_t>(row.nTaken));
            json.Number("linesPassedOver", static_cast<int64_t>(row.nRefusedLines));
            json.Number("unknownTypes", static_cast<int64_t>(row.nBadTypes));
        }
        json.EndObject();
    }
    json.EndArray();
    json.Bool("addressBook", report.bAddressBook);
    json.BeginArray("unknown");
    for (const std::string& entry : report.unknown) json.String(nullptr, entry);
    json.EndArray();
    json.BeginArray("stale");
    for (const std::string& entry : report.stale) json.String(nullptr, entry);
    json.EndArray();
    json.String("verdict", VerdictText(report.verdict));
    json.BeginArray("problems");
    for (const std::string& problem : report.problems) json.String(nullptr, problem);
    json.EndArray();
    json.BeginArray("warnings");
    for (const std::string& warning : report.warnings) json.String(nullptr, warning);
    json.EndArray();
    json.EndObject();
}

void KeyJson(const KeyDryRun& key, KeySource source, CJsonWriter& json)
{
    json.BeginObject();
    json.String("subdir", key.subdir);
    json.String("key", key.key);
    json.String("unitKey", KeySourceText(source));
    json.BeginArray("from");
    for (const std::string& name : key.mediaNames) json.String(nullptr, name);
    json.EndArray();
    json.BeginArray("changes");
    for (const ValueChange& change : key.changes) {
        json.BeginObject();
        json.String("name", change.name);
        json.String("type", change.newType);
        if (change.bExisted) {
            json.String("oldType", change.oldType);
            json.String("old", change.oldText);
        } else {
            json.Null("old");
        }
        json.String("new", change.newText);
        json.String("by", ChangeOriginText(change.origin));
        json.EndObject();
    }
    json.EndArray();
    json.BeginArray("keptByFilter");
    for (const KeptValue& kept : key.kept) {
        json.BeginObject();
        json.String("name", kept.name);
        json.String("type", kept.type);
        json.String("saved", kept.savedText);
        if (kept.bUnitHas) {
            json.String("unitType", kept.unitType);
            json.String("unit", kept.unitText);
        } else {
            json.Null("unit");
        }
        json.EndObject();
    }
    json.EndArray();
    json.BeginArray("refused");
    for (const RefusedWrite& refused : key.refused) {
        json.BeginObject();
        json.String("name", refused.name);
        json.String("type", refused.type);
        json.String("value", refused.text);
        json.String("reason", KeyWriteText(refused.reason));
        json.EndObject();
    }
    json.EndArray();
    json.Number("linesPassedOver", static_cast<int64_t>(key.nRefusedLines));
    json.Number("unknownTypes", static_cast<int64_t>(key.nBadTypes));
    json.BeginArray("notes");
    for (const std::string& note : key.notes) json.String(nullptr, note);
    json.EndArray();
    json.EndObject();
}

void DryRunJson(const DryRunReport& report, CJsonWriter& json)
{
    json.BeginObject("restore");
    json.String("persistRoot", report.shownPersistRoot);
    json.Bool("persistRootFound", report.bPersistRootFound);
    const TargetFinding& target = report.target;
    json.BeginObject("unit");
    json.String("partText", target.partText);
    json.String("part", target.part);
    json.Number("revision", target.nRevision);
    json.String("serial", target.serial);
    json.String("unitSerial", target.unitSerial);
    json.String("ferrox", target.ferrox);
    json.Bool("disabled", target.bDisabled);
    json.String("course", RestoreCourseText(target.course));
    json.Bool("releaseAllows", target.bReleaseAllows);
    if (target.bRecordPresent) {
        json.BeginObject("disableRecord");
        json.String("word", target.recordWord);
        json.Bool("cut", target.bRecordCut);
        json.String("picture", target.recordPicture);
        json.String("map", target.recordMap);
        json.EndObject();
    }
    json.EndObject();
    json.BeginArray("keys");
    for (size_t i = 0; i < report.keys.size(); ++i) KeyJson(report.keys[i], report.sources[i], json);
    json.EndArray();
    json.BeginArray("notFactoryConfigured");
    for (const std::string& skipped : report.skippedRows) json.String(nullptr, skipped);
    json.EndArray();
    json.BeginArray("steps");
    for (const std::string& step : report.steps) json.String(nullptr, step);
    json.EndArray();
    json.Number("filesNotTaken", static_cast<int64_t>(report.nFilesNotTaken));
    json.BeginObject("serialNumber");
    json.Bool("checked", report.serial.bChecked);
    json.String("unitGives", report.serial.unitSerial);
    if (report.serial.bStored)
        json.String("stored", report.serial.stored);
    else
        json.Null("stored");
    json.EndObject();
    json.BeginObject("disabledState");
    json.String("key", report.target.stateKey);
    json.String("before", report.stateBefore);
    json.String("after", report.stateAfter);
    json.EndObject();
    json.EndObject();
}

} // namespace

std::string ReportJson(const MediaReport& media, const DryRunReport* dryRun)
{
    CJsonWriter json;
    json.BeginObject();
    MediaJson(media, json);
    if (dryRun) DryRunJson(*dryRun, json);
    json.EndObject();
    return json.Text();
}
