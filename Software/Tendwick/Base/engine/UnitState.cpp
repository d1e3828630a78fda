#include "UnitState.h"

#include "EngineKeys.h"
#include "EngineLimits.h"
#include "Retenta.h"

namespace {

// The longest state text compared, with its terminator.
const unsigned long kStateBytes = 101;

} // namespace

bool CUnitState::Is(FerroxState state) const
{
    char text[kStateBytes] = {};
    long result = GetOnePersistedString(kShellPersist, FerroxStateKey(m_bLegacy), kStoreTimeout, kFerroxValue,
                                        sizeof(text), text, nullptr);
    text[sizeof(text) - 1] = '\0';
    return result == PERS_SUCCESS && FerroxTextIs(text, state);
}

bool CUnitState::Record(FerroxStep step) const
{
    return PersistOneString(kShellPersist, FerroxStateKey(m_bLegacy), kStoreTimeout, kFerroxValue,
                            FerroxStateText(FerroxStateAfter(step))) != PERS_FAILED;
}
