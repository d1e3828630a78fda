// The fault campaign: a save with its disabling on unit A, the restore of
// that save onto unit B and its undo on A, each run once to name its file
// and registry calls, then once per call and fault with that fault put on
// it. After each, with the fault gone, the invariants are checked and the
// flow is run again, which must end as an uninterrupted run does.
//
//   fault_campaign [--full | --sample=N] [--seed=S] [--flows=save,restore,undo]
//                  [--faults=pulled,full,protect,read,busy,unitfull,cut] [--at=N] [--list]
//                  [--case=FLOW:FAULT:TEXT ...]
//
// --full injects every fault at every call it concerns; --sample=N (the
// default, 3) at N calls per flow and fault drawn with the seed. --list
// prints the calls (and the changes a cut may fall between) of each flow;
// --at=N runs only call (or change) N; each --case adds the first point of
// that flow and fault whose call (or change) ends with TEXT. Exit code 0 when no
// invariant failed and every case was found.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "CampaignCalls.h"
#include "CampaignChecks.h"
#include "CampaignCut.h"
#include "CampaignFlows.h"
#include "CampaignState.h"
#include "Retenta.h"
#include "UnitLayout.h"

namespace {

// Longer than the store waits for a key file another writer holds.
const DWORD kBusyMs = 400;
// A run that takes longer than this is taken as hung.
const DWORD kHangMs = 120000;

struct Options {
    bool full = false;
    size_t sample = 3;
    uint32_t seed = 1;
    bool list = false;
    long at = -1;   // only this call (or change, for cuts)
    // Points run beside the sample: flow, fault, and a text that the call
    // (or, for cuts, the change) ends with; its first match is run ("TEXT#k": the k-th).
    struct Case {
        Flow flow;
        Fault fault;
        std::string text;
    };
    std::vector<Case> cases;
    std::vector<Flow> flows = {Flow::Save, Flow::Restore, Flow::Undo};
    std::vector<Fault> faults = {Fault::Pulled, Fault::StickFull, Fault::WriteProtect, Fault::ReadError,
                                 Fault::KeyBusy,  Fault::UnitFull,  Fault::PowerCut};
};

const std::pair<const char*, Fault> kFaultWords[] = {
    {"pulled", Fault::Pulled},     {"full", Fault::StickFull}, {"protect", Fault::WriteProtect},
    {"read", Fault::ReadError},    {"busy", Fault::KeyBusy},   {"unitfull", Fault::UnitFull},
    {"cut", Fault::PowerCut}};

std::vector<std::string> Words(const char* list)
{
    std::vector<std::string> words;
    std::string word;
    for (const char* c = list;; ++c) {
        if (*c == ',' || *c == '\0') {
            if (!word.empty()) words.push_back(word);
            word.clear();
            if (!*c) break;
        } else {
            word += *c;
        }
    }
    return words;
}

bool Parse(int argc, char** argv, Options* o)
{
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (!std::strcmp(a, "--full")) o->full = true;
        else if (!std::strcmp(a, "--list")) o->list = true;
        else if (!std::strncmp(a, "--sample=", 9)) o->sample = std::strtoul(a + 9, nullptr, 10);
        else if (!std::strncmp(a, "--seed=", 7)) o->seed = std::strtoul(a + 7, nullptr, 10);
        else if (!std::strncmp(a, "--at=", 5)) o->at = std::strtol(a + 5, nullptr, 10);
        else if (!std::strncmp(a, "--case=", 7)) {
            // flow:fault:text
            std::string caseText = a + 7;
            size_t first = caseText.find(':'), second = caseText.find(':', first + 1);
            if (first == std::string::npos || second == std::string::npos) return false;
            std::string flowWord = caseText.substr(0, first), faultWord = caseText.substr(first + 1, second - first - 1);
            Options::Case c{Flow::Save, Fault::None, caseText.substr(second + 1)};
            if (flowWord == "restore") c.flow = Flow::Restore;
            else if (flowWord == "undo") c.flow = Flow::Undo;
            else if (flowWord != "save") return false;
            for (const auto& f : kFaultWords)
                if (faultWord == f.first) c.fault = f.second;
            if (c.fault == Fault::None) return false;
            o->cases.push_back(c);
        }
        else if (!std::strncmp(a, "--flows=", 8)) {
            o->flows.clear();
            for (const std::string& w : Words(a + 8)) {
                if (w == "save") o->flows.push_back(Flow::Save);
                else if (w == "restore") o->flows.push_back(Flow::Restore);
                else if (w == "undo") o->flows.push_back(Flow::Undo);
                else return false;
            }
        } else if (!std::strncmp(a, "--faults=", 9)) {
            o->faults.clear();
            for (const std::string& w : Words(a + 9)) {
                bool known = false;
                for (const auto& f : kFaultWords)
                    if (w == f.first) { o->faults.push_back(f.second); known = true; }
                if (!known) return false;
            }
        } else {
            return false;
        }
    }
    return true;
}

// ---- a run that does not end ------------------------------------------------------------
std::atomic<DWORD> g_runStarted{0};
char g_runName[256];

void Watch()
{
    for (;;) {
        Sleep(1000);
        DWORD started = g_runStarted.load();
        if (started && GetTickCount() - started > kHangMs) {
            std::printf("fault_campaign: HANG: %s has run for %lu s\n", g_runName, kHangMs / 1000);
            std::fflush(stdout);
            ExitProcess(4);
        }
    }
}

struct RunClock {
    explicit RunClock(const std::string& name)
    {
        std::snprintf(g_runName, sizeof g_runName, "%s", name.c_str());
        g_runStarted = GetTickCount() | 1;
    }
    ~RunClock() { g_runStarted = 0; }
};

// ---- units ------------------------------------------------------------------------------
bool PutUnitAndMedia(const State& unit, const State& media)
{
    std::string why;
    if (Put(unit, kUnitRoots, true, &why) && Put(media, kMediaRoots, false, &why)) return true;
    std::printf("fault_campaign: cannot put a unit back: %s\n", why.c_str());
    return false;
}

bool LayUnit(const unitlayout::Options& o, State* unit)
{
    std::string why;
    PutRegistry({});
    if (!PutFiles({}, kUnitRoots, &why)) return false;
    const int laid = unitlayout::Lay(o);
    EndProcess();
    if (laid != 0) return false;
    *unit = Take(kUnitRoots, true);
    return true;
}

bool LayMedia(State* media)
{
    std::string why;
    if (!PutFiles({{"E:\\VevezaDE1.DAT", "MZ the disabled-unit shell"}, {"E:\\ZelUtil.DAT", "MZ the utility"}},
                  kMediaRoots, &why))
        return false;
    unitlayout::Options o;
    if (unitlayout::Media(o) != 0) return false;
    *media = Take(kMediaRoots, false);
    return true;
}

// Runs the flow uninterrupted from the start states and takes where it ends.
bool Reference(FlowStates* f)
{
    if (!PutUnitAndMedia(f->unitStart, f->mediaStart)) return false;
    FlowRun run = RunFlow(f->flow);
    if (run.ending != Ending::Finished) {
        std::printf("fault_campaign: the uninterrupted %s did not finish: %s %s\n", FlowName(f->flow),
                    EndingName(run.ending), run.why.c_str());
        return false;
    }
    f->unitEnd = Take(kUnitRoots, true);
    f->mediaEnd = Take(kMediaRoots, false);
    return true;
}

// ---- figures ------------------------------------------------------------------------------
struct Figures {
    size_t runs = 0, struck = 0, violated = 0;
    std::map<Ending, size_t> endings;
};

struct FlowFigures {
    size_t calls = 0, storeCalls = 0, mediaCalls = 0, changes = 0;
    std::map<Fault, Figures> faults;
};

size_t g_printedViolations = 0;
size_t g_runs = 0;

// A full run takes an hour: a line now and then says how far it got.
void Counted()
{
    if (++g_runs % 500 == 0) std::printf("fault_campaign: %u runs\n", static_cast<unsigned>(g_runs));
}

void Report(const char* flow, Fault fault, size_t at, const std::string& call, const std::vector<std::string>& v)
{
    if (v.empty() || ++g_printedViolations > 200) return;
    std::printf("  VIOLATION %s, %s at call %u (%s):\n", flow, FaultName(fault), static_cast<unsigned>(at),
                call.c_str());
    for (const std::string& text : v) std::printf("    - %s\n", text.c_str());
}

size_t g_remains = 0;

// After a fault or a cut, with it gone: the invariants, then, unless the
// window said the flow finished, the flow again. It must end as an
// uninterrupted run does; a flow refused then must have done its work
// already (a cut after its last step).
std::vector<std::string> Judge(const FlowStates& f, const FlowRun* run, Ending* rerun = nullptr)
{
    State unit = Take(kUnitRoots, true), media = Take(kMediaRoots, false);
    std::vector<std::string> v = CheckAfterFault(f, run, unit, media);
    if (!run || run->ending != Ending::Finished) {
        FlowRun again = RunFlow(f.flow);
        if (rerun) *rerun = again.ending;
        if (again.ending != Ending::Finished && again.ending != Ending::Refused) {
            v.push_back(std::string("run again, the flow ended ") + EndingName(again.ending) + ": " + again.why);
            return v;
        }
        unit = Take(kUnitRoots, true);
        media = Take(kMediaRoots, false);
    }
    std::vector<std::string> end = CheckEnd(f, unit, media, &g_remains);
    v.insert(v.end(), end.begin(), end.end());
    return v;
}

std::string CallText(const CallInfo& call)
{
    return std::string(call.store ? "store " : "") + call.name + " " + call.path;
}

size_t g_missingCases = 0;
std::vector<size_t> PickSample(std::vector<size_t> all, const Options& o, std::mt19937& random);

// The sample's points of one flow and fault, and those of the cases, in order.
std::vector<size_t> Pick(std::vector<size_t> all, const Options& o, std::mt19937& random, Flow flow, Fault fault,
                         const std::function<std::string(size_t)>& describe)
{
    std::vector<size_t> chosen = PickSample(all, o, random);
    for (const Options::Case& c : o.cases) {
        if (c.flow != flow || c.fault != fault) continue;
        // "TEXT#k": the k-th point that shows TEXT.
        std::string text = c.text;
        long nth = 1;
        size_t hash = text.rfind('#');
        if (hash != std::string::npos && hash + 1 < text.size()) {
            nth = std::strtol(text.c_str() + hash + 1, nullptr, 10);
            text.resize(hash);
        }
        auto match = std::find_if(all.begin(), all.end(), [&](size_t point) {
            const std::string shown = describe(point);
            return shown.size() >= text.size() && shown.compare(shown.size() - text.size(), text.size(), text) == 0 &&
                   --nth == 0;
        });
        if (match == all.end()) {
            std::printf("fault_campaign: no %s point of the %s shows \"%s\"\n", FaultName(fault), FlowName(flow),
                        c.text.c_str());
            ++g_missingCases;
        } else if (std::find(chosen.begin(), chosen.end(), *match) == chosen.end()) {
            chosen.push_back(*match);
        }
    }
    std::sort(chosen.begin(), chosen.end());
    return chosen;
}

std::vector<size_t> PickSample(std::vector<size_t> all, const Options& o, std::mt19937& random)
{
    if (o.at >= 0) {
        const size_t at = static_cast<size_t>(o.at);
        return std::find(all.begin(), all.end(), at) != all.end() ? std::vector<size_t>{at} : std::vector<size_t>();
    }
    if (o.full || all.size() <= o.sample) return all;
    std::shuffle(all.begin(), all.end(), random);
    all.resize(o.sample);
    std::sort(all.begin(), all.end());
    return all;
}

int Campaign(const Options& o)
{
    // Unit A, the source; unit B, a target of another revision with a
    // single-knob bezel and its serial number in the store.
    unitlayout::Options a, b;
    a.tag = "A"; a.serial = "A1234"; a.serialSource = "reg"; a.revision = 0; a.variant = "dc";
    b.tag = "B"; b.serial = "B5678"; b.serialSource = "store"; b.revision = 1; b.variant = "single";
    State unitA, unitB, media0;
    if (!LayMedia(&media0) || !LayUnit(a, &unitA) || !LayUnit(b, &unitB)) {
        std::printf("fault_campaign: the units could not be laid out\n");
        return 2;
    }
    FlowStates save{Flow::Save, unitA, media0, {}, {}, {}};
    if (!Reference(&save)) return 2;
    save.savedMedia = save.mediaEnd;
    FlowStates restore{Flow::Restore, unitB, save.mediaEnd, {}, {}, save.mediaEnd};
    FlowStates undo{Flow::Undo, save.unitEnd, save.mediaEnd, {}, {}, save.mediaEnd};
    if (!Reference(&restore) || !Reference(&undo)) return 2;
    std::map<Flow, FlowStates*> flows = {{Flow::Save, &save}, {Flow::Restore, &restore}, {Flow::Undo, &undo}};

    std::mt19937 random(o.seed);
    size_t violations = 0;
    std::printf("fault_campaign: %s, seed %u\n", o.full ? "every call" : ("a sample of " + std::to_string(o.sample) +
                                                                          " calls per flow and fault").c_str(),
                o.seed);
    std::map<Flow, FlowFigures> figures;
    for (Flow flow : o.flows) {
        const FlowStates& f = *flows[flow];
        FlowFigures& fig = figures[flow];
        // The counting run.
        std::vector<CallInfo> calls;
        {
            PutUnitAndMedia(f.unitStart, f.mediaStart);
            CFaultTables tables("E:\\", Fault::None, 0, kBusyMs);
            RunFlow(flow);
            calls = tables.Calls();
        }
        fig.calls = calls.size();
        for (const CallInfo& call : calls) {
            fig.storeCalls += call.store;
            fig.mediaCalls += call.media;
            if (o.list) std::printf("  %s %5u %s%s\n", FlowName(flow), static_cast<unsigned>(&call - &calls[0]),
                                    call.media ? "media " : "unit  ", CallText(call).c_str());
        }
        for (Fault fault : o.faults) {
            Figures& ff = fig.faults[fault];
            std::vector<size_t> points;
            if (fault == Fault::PowerCut) {
                PutUnitAndMedia(f.unitStart, f.mediaStart);
                CCutJournal journal(Take(kUnitRoots, false).files, f.mediaStart.files);
                {
                    CCutRecorder recorder(journal);
                    RunFlow(flow);
                }
                fig.changes = journal.Ops();
                if (o.list)
                    for (size_t op = 0; op < journal.Ops(); ++op)
                        std::printf("  %s change %u: %s\n", FlowName(flow), static_cast<unsigned>(op),
                                    journal.Describe(op).c_str());
                for (size_t cut = 0; cut <= journal.Ops(); ++cut) points.push_back(cut);
                for (size_t cut : Pick(points, o, random, flow, fault,
                                        [&](size_t point) { return journal.Describe(point); })) {
                    const std::string name = std::string(FlowName(flow)) + ", power cut before change " +
                                             std::to_string(cut);
                    RunClock clock(name);
                    PutUnitAndMedia(f.unitStart, f.mediaStart);
                    std::string why;
                    if (!journal.PutAfterCut(cut, o.seed + static_cast<uint32_t>(cut), &why)) {
                        std::printf("fault_campaign: %s: %s\n", name.c_str(), why.c_str());
                        return 2;
                    }
                    // The unit boots: a process of its own, nothing of the
                    // cut-off run left in memory; the flow is run once more.
                    // The endings of cuts are those of the run after the boot.
                    Ending after = Ending::Finished;
                    std::vector<std::string> v = Judge(f, nullptr, &after);
                    Counted();
                    ++ff.runs;
                    ++ff.struck;
                    ++ff.endings[after];
                    if (!v.empty()) ++ff.violated;
                    Report(FlowName(flow), fault, cut, journal.Describe(cut), v);
                }
                violations += ff.violated;
                continue;
            }
            for (size_t i = 0; i < calls.size(); ++i)
                if (Concerns(fault, calls[i])) points.push_back(i);
            for (size_t at : Pick(points, o, random, flow, fault,
                                  [&](size_t point) { return CallText(calls[point]); })) {
                const std::string name = std::string(FlowName(flow)) + ", " + FaultName(fault) + " at call " +
                                         std::to_string(at);
                RunClock clock(name);
                if (!PutUnitAndMedia(f.unitStart, f.mediaStart)) return 2;
                FlowRun run;
                bool struck = false;
                {
                    CFaultTables tables("E:\\", fault, at, kBusyMs);
                    run = RunFlow(flow);
                    tables.Release();
                    struck = tables.Struck();
                }
                std::vector<std::string> v = Judge(f, &run);
                Counted();
                ++ff.runs;
                ff.struck += struck;
                ++ff.endings[run.ending];
                if (!v.empty()) ++ff.violated;
                Report(FlowName(flow), fault, at, CallText(calls[at]), v);
            }
            violations += ff.violated;
        }
    }

    std::printf("\nfault_campaign figures (seed %u, %s):\n", o.seed, o.full ? "full" : "sample");
    for (const auto& entry : figures) {
        const FlowFigures& fig = entry.second;
        std::printf("%s: %u calls (%u of the store, %u on the media), %u changes to files\n", FlowName(entry.first),
                    static_cast<unsigned>(fig.calls), static_cast<unsigned>(fig.storeCalls),
                    static_cast<unsigned>(fig.mediaCalls), static_cast<unsigned>(fig.changes));
        for (const auto& f : fig.faults) {
            std::printf("  %-16s %5u runs, %5u struck, %3u violating;", FaultName(f.first),
                        static_cast<unsigned>(f.second.runs), static_cast<unsigned>(f.second.struck),
                        static_cast<unsigned>(f.second.violated));
            for (const auto& e : f.second.endings)
                std::printf(" %s %u;", EndingName(e.first), static_cast<unsigned>(e.second));
            std::printf("\n");
        }
    }
    std::printf("(a power cut's endings are those of the flow run after the boot)\n");
    std::printf("remains of a clearing left on the media (no save): %u files\n", static_cast<unsigned>(g_remains));
    std::printf("invariant violations: %u\n", static_cast<unsigned>(violations));
    return violations || g_missingCases ? 1 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    setvbuf(stdout, nullptr, _IOLBF, 0);
    Options o;
    if (!Parse(argc, argv, &o)) {
        std::printf("usage: fault_campaign [--full | --sample=N] [--seed=S] [--flows=save,restore,undo]\n"
                    "       [--faults=pulled,full,protect,read,busy,unitfull,cut] [--at=N] [--list]\n"
                    "       [--case=FLOW:FAULT:TEXT ...]\n");
        return 2;
    }
    std::thread(Watch).detach();
    // Whatever the prefix held before goes back at the end.
    std::vector<std::string> all = kUnitRoots;
    all.insert(all.end(), kMediaRoots.begin(), kMediaRoots.end());
    const State before = Take(all, true);
    const int result = Campaign(o);
    std::string why;
    if (!Put(before, all, true, &why)) std::printf("fault_campaign: the prefix could not be put back: %s\n", why.c_str());
    return result;
}
