// The unit's disabled state in the store: where the "Ferrox" value lies for
// the unit's family, reading it, and the steps that record it. Every reader
// and writer of the state goes through here.
#pragma once

#include "FerroxState.h"

class CUnitState {
public:
    explicit CUnitState(bool legacyFamily) : m_bLegacy(legacyFamily) {}

    // Whether the stored state reads as state.
    bool Is(FerroxState state) const;
    // Whether the unit is disabled (its state reads "SAVED").
    bool IsDisabled() const { return Is(FerroxState::Saved); }
    // Records the state the step leaves; false when the store refused it.
    bool Record(FerroxStep step) const;

private:
    bool m_bLegacy;
};
