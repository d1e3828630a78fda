// Who the unit is: its serial number, its software part number and revision,
// and the identity that a save left on the media.
#pragma once

#include <cstddef>
#include <string>

struct UnitIdentity;
struct SavedIdentity;

// Where a serial number came from.
enum class SerialSource {
    Fixed = 0,          // none found: the fixed text
    Store = 1,          // the store's "SerialNumber"
    UserRegistry = 2,   // "Software\Corvane\SysSetup"
    ComputerName = 3,   // the computer's name
};

// The serial number from the first source that has one, in size characters.
SerialSource GetSerialNum(char* buffer, size_t size);

// The part-number text ("Unknown" when the store has none) and the serial
// number, each in size characters; false when only the fixed text was found.
bool GetSwPartNum(char* partText, char* serial, size_t size);

// The same, whole, with the part number and revision scanned from the text.
UnitIdentity ReadUnitIdentity();

// Whether the unit's serial number is a valid one.
bool HasValidSerialNum();

// Stores the serial number the technician entered; false when the store refused it.
bool SaveNewSn(const char* serial);

// The identity record of the save below mediaRoot (ending in a backslash);
// false, and the presets kept, when there is none.
bool ReadSavedIdentity(const std::string& mediaRoot, SavedIdentity* identity);
