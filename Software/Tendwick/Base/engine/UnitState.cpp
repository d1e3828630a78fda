#include "UnitState.h"

#include "EngineKeys.h"
#include "EngineLimits.h"
#include "Retenta.h"

bool CUnitState::Is(FerroxState state) const
{
    char text[FERROX_TEXT_SIZE] = {};
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
