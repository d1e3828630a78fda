#include "CampaignChecks.h"

#include "Crc32.h"
#include "KeyFileFormat.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <set>

namespace {

const char kShellConfig[] = "D:\\Data\\ShellPersist\\ShellConfig.pri";
const char kMediaSave[] = "E:\\ZelConfig\\";

bool StartsWith(const std::string& text, const std::string& head)
{
    return text.compare(0, head.size(), head) == 0;
}

bool EndsWithNoCase(const std::string& text, const std::string& tail)
{
    if (text.size() < tail.size()) return false;
    return std::equal(tail.begin(), tail.end(), text.end() - tail.size(),
                      [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) ==
                                                  std::tolower(static_cast<unsigned char>(b)); });
}

bool Valid(const powercut::Image& files, const std::string& name)
{
    auto file = files.find(name);
    size_t length = 0;
    return file != files.end() && keyfile::ValidateKeyFile(file->second.data(), file->second.size(), &length);
}

std::string Secondary(const std::string& primary)
{
    return primary.substr(0, primary.size() - 4) + ".sec";
}

// Run logs, traces and the unit's own hive copy (Wine stamps each key of a
// hive with the time it was written) differ from run to run.
bool VariesPerRun(const std::string& name)
{
    return name == "C:\\CopyOfCorvaneUserReg.reg" || name == "D:\\FerroxTrace.txt" || StartsWith(name, "E:\\ZelData") ||
           name == "E:\\ZelConfig\\CorvaneUserRegistry.reg" || name == "E:\\ZelConfig\\CorvaneUserRegistry.chk";
}

std::string Join(const std::vector<std::string>& names, size_t most = 4)
{
    std::string text;
    for (size_t i = 0; i < names.size() && i < most; ++i) text += (i ? ", " : "") + names[i];
    if (names.size() > most) text += " and " + std::to_string(names.size() - most) + " more";
    return text;
}

// Whether the media holds the save whole: every file of it as the save wrote
// it, and the hive that its checksum file names.
bool HoldsSave(const State& media, const State& saved, std::string* why)
{
    std::vector<std::string> bad;
    for (const auto& file : saved.files) {
        if (!StartsWith(file.first, kMediaSave) || VariesPerRun(file.first)) continue;
        auto there = media.files.find(file.first);
        if (there == media.files.end() || there->second != file.second) bad.push_back(file.first);
    }
    auto hive = media.files.find("E:\\ZelConfig\\CorvaneUserRegistry.reg");
    auto chk = media.files.find("E:\\ZelConfig\\CorvaneUserRegistry.chk");
    if (hive == media.files.end() || hive->second.empty()) {
        bad.push_back("the hive");
    } else {
        char text[16];
        std::snprintf(text, sizeof text, "%d\n", static_cast<int>(keyfile::Crc32(hive->second.data(), hive->second.size())));
        if (chk == media.files.end() || chk->second != text) bad.push_back("the hive's checksum");
    }
    if (bad.empty()) return true;
    *why = Join(bad);
    return false;
}

// What makes the media hold a save, as the engine judges it: the hive and
// the identity record, which a save writes last and a clearing removes first.
bool HoldsMarker(const State& media)
{
    return media.files.count("E:\\ZelConfig\\SWPartNum.txt") && media.files.count("E:\\ZelConfig\\CorvaneUserRegistry.reg");
}

bool Disabled(const powercut::Image& unit)
{
    return StoreValue(unit, kShellConfig, "Ferrox") == "SAVED" ||
           StoreValue(unit, kShellConfig, "StartupApp1").find("Dormantis") != std::string::npos;
}

// The unit's files as its programs see them: each key by the file the store
// loads it from (the primary, or the secondary when the primary is not
// valid). A stale or torn file beside a valid one is the store's to repair.
powercut::Image AsLoaded(const powercut::Image& unit)
{
    powercut::Image seen;
    for (const auto& file : unit) {
        const bool secondary = EndsWithNoCase(file.first, ".sec");
        if (secondary && unit.count(file.first.substr(0, file.first.size() - 4) + ".pri")) continue;
        if (EndsWithNoCase(file.first, ".pri") && !Valid(unit, file.first) && Valid(unit, Secondary(file.first)))
            seen[file.first] = unit.at(Secondary(file.first));
        else
            seen[file.first] = file.second;
    }
    return seen;
}

// The undo's proof: the engine's own record of an undo under way, which
// names a save; once the media holds no save it names nothing.
const char kUndoProof[] = "D:\\Data\\SWUndo.txt";

bool VariesOrProof(const std::string& name)
{
    return VariesPerRun(name) || name == kUndoProof;
}

// Where the unit differs from the end of an uninterrupted run.
std::vector<std::string> UnitDifferences(const State& unit, const FlowStates& flow)
{
    return Differences(AsLoaded(unit.files), AsLoaded(flow.unitEnd.files), VariesOrProof);
}

powercut::Image RegistryImage(const std::vector<RegValue>& values)
{
    powercut::Image image;
    for (const RegValue& value : values)
        image[(value.root == HKEY_CURRENT_USER ? "HKCU\\" : "HKLM\\") + value.key + "\\" + value.name] =
            std::to_string(value.type) + ":" + value.data;
    return image;
}

} // namespace

std::string StoreValue(const powercut::Image& unit, const std::string& keyFile, const char* name)
{
    std::string file = Valid(unit, keyFile) ? keyFile : Secondary(keyFile);
    if (!Valid(unit, file)) return std::string();
    const std::string& text = unit.at(file);
    const std::string head = std::string("\"") + name + "\"=";
    size_t at = text.find(head);
    if (at == std::string::npos || (at > 0 && text[at - 1] != '\n')) return std::string();
    size_t colon = text.find(':', at + head.size());
    size_t end = text.find("\r\n", at);
    if (colon == std::string::npos || end == std::string::npos || colon > end) return std::string();
    std::string value = text.substr(colon + 1, end - colon - 1);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    return value;
}

bool UnitAtEnd(const FlowStates& flow, const State& unit)
{
    return UnitDifferences(unit, flow).empty();
}

std::vector<std::string> CheckAfterFault(const FlowStates& flow, const FlowRun* run, const State& unit,
                                         const State& media)
{
    std::vector<std::string> violations;
    const bool shown = run && run->ending == Ending::Finished;
    std::string why;
    if (run && run->ending == Ending::Silent) violations.push_back("the flow stopped and nothing said why");
    if (run && run->ending == Ending::NotFinished && run->why.empty())
        violations.push_back("the flow did not finish and no line said why in red");
    if (flow.flow == Flow::Save) {
        if (Disabled(unit.files) && !HoldsSave(media, flow.savedMedia, &why))
            violations.push_back("source disabled without a complete save on the media (" + why + ")");
        if (shown && !HoldsSave(media, flow.savedMedia, &why))
            violations.push_back("\"Configuration Saved\" without a complete save (" + why + ")");
    } else {
        const bool done = UnitAtEnd(flow, unit);
        if (!done && !HoldsSave(media, flow.savedMedia, &why))
            violations.push_back("the save left the media before the unit took it (" + why + ")");
        if (flow.flow == Flow::Restore && !done && StoreValue(unit.files, kShellConfig, "Ferrox") == "RESTORED")
            violations.push_back("unit marked restored, not every saved value in");
        if (shown && !done)
            violations.push_back("\"Configuration Restored\" but the unit is not as a whole run leaves it: " +
                                 Join(UnitDifferences(unit, flow)));
        if (shown && HoldsMarker(media))
            violations.push_back("\"Configuration Restored\" and the save is still on the media");
    }
    // Every key the unit has now or had before the run: one whose files are
    // both gone counts as one that does not load.
    std::set<std::string> keys;
    for (const powercut::Image* files : {&unit.files, &flow.unitStart.files})
        for (const auto& file : *files)
            if (EndsWithNoCase(file.first, ".pri")) keys.insert(file.first);
    for (const std::string& key : keys)
        if (!Valid(unit.files, key) && !Valid(unit.files, Secondary(key)))
            violations.push_back("key " + key + " loads from neither of its files");
    return violations;
}

std::vector<std::string> CheckEnd(const FlowStates& flow, const State& unit, const State& media, size_t* remains)
{
    std::vector<std::string> violations;
    std::vector<std::string> differ = UnitDifferences(unit, flow);
    std::vector<std::string> mediaDiffer = Differences(media.files, flow.mediaEnd.files, VariesPerRun);
    if (flow.flow != Flow::Save && !HoldsMarker(media)) {
        *remains += mediaDiffer.size() + (unit.files.count(kUndoProof) && !flow.unitEnd.files.count(kUndoProof));
        mediaDiffer.clear();
    } else if (unit.files.count(kUndoProof) != flow.unitEnd.files.count(kUndoProof)) {
        differ.push_back(kUndoProof);
    }
    differ.insert(differ.end(), mediaDiffer.begin(), mediaDiffer.end());
    std::vector<std::string> registry =
        Differences(RegistryImage(unit.registry), RegistryImage(flow.unitEnd.registry), nullptr);
    differ.insert(differ.end(), registry.begin(), registry.end());
    if (!differ.empty()) violations.push_back("the end differs from an uninterrupted run: " + Join(differ));
    std::string why;
    if (flow.flow == Flow::Save && !HoldsSave(media, flow.savedMedia, &why))
        violations.push_back("the save on the media is not whole after the run again (" + why + ")");
    return violations;
}
