// The campaign's invariants, judged on the files and values a run left.
#pragma once

#include <string>
#include <vector>

#include "CampaignFlows.h"
#include "CampaignState.h"

// The uninterrupted run of a flow: where it starts and where it ends.
struct FlowStates {
    Flow  flow;
    State unitStart, mediaStart;
    State unitEnd, mediaEnd;
    State savedMedia;   // the media with the save this flow makes or takes
};

// The value of a store key's value as its files hold it (the primary, or
// the secondary when the primary is not valid); empty when neither has it.
std::string StoreValue(const powercut::Image& unit, const std::string& keyFile, const char* name);

// Whether the unit is as the uninterrupted flow leaves it: the flow's work
// is done, whatever the window said.
bool UnitAtEnd(const FlowStates& flow, const State& unit);

// Violations of the invariants after a run with a fault or a cut, before
// any run again. `run` is how the window ended (nullptr after a cut).
std::vector<std::string> CheckAfterFault(const FlowStates& flow, const FlowRun* run, const State& unit,
                                         const State& media);

// Violations of "ends as an uninterrupted run does". After a restore or an
// undo the media must hold no save; remains of a clearing cut off, which no
// longer make a save, and an undo's proof left beside them are counted in
// *remains.
std::vector<std::string> CheckEnd(const FlowStates& flow, const State& unit, const State& media, size_t* remains);
