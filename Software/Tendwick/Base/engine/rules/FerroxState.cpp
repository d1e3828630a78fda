#include "FerroxState.h"

#include "EngineKeys.h"
#include "TextFields.h"

namespace {

struct StateRow {
    FerroxState state;
    FerroxStep  step;   // the step that records it
    const char* text;
};

const StateRow kStates[] = {
    {FerroxState::Saved, FerroxStep::Disable, "SAVED"},
    {FerroxState::Restored, FerroxStep::Restore, "RESTORED"},
    {FerroxState::RestoredOriginal, FerroxStep::Undo, "RESTORED-ORIGINAL"},
};

} // namespace

const char* FerroxStateText(FerroxState state)
{
    for (const StateRow& row : kStates)
        if (row.state == state) return row.text;
    return "";
}

const char* FerroxStateKey(bool legacyFamily)
{
    return legacyFamily ? kSystemData : kShellConfig;
}

FerroxState FerroxStateAfter(FerroxStep step)
{
    for (const StateRow& row : kStates)
        if (row.step == step) return row.state;
    return FerroxState::Saved;
}

bool FerroxTextIs(const char* text, FerroxState state)
{
    return text && EqualsNoCase(text, FerroxStateText(state));
}
