// The identity tests behind the eligibility checks and the run: whose save
// lies on the media, against the unit of the run.
#pragma once

class CRunContext;

// The save on the media names this unit, told apart by its valid serial
// number, and its release.
bool IsOwnSave(CRunContext& run, const char* serial, const char* part, int revision);

// The save on the media is this unit's own and the unit is disabled (or its
// undo was cut off before the media was cleared): a restore of it undoes the
// disabling.
bool IsSameUnit(CRunContext& run, const char* serial, const char* part, int revision);
