// What a laid-out unit holds, and the laying out itself: the registry values
// the maintenance program reads, store keys for every catalogue file (written
// through the store, so the files carry the real format), the knob templates,
// the address book and the media's picture. Used by the unit image builder
// and by the fault campaign, which lays its units out in its own process.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace unitlayout {

const int STORE_TIMEOUT = 1000;

struct Options {
    std::string part = "612-00340-800";
    int revision = 1;
    std::string serial = "A1234";
    std::string serialSource = "reg";    // reg, store or name (the computer name)
    std::string platform = "ZR455";
    std::string variant = "dc";          // dc: dual-concentric knobs, single: single knobs
    std::string tag = "A";               // marks every generated value, so a restore shows whose they are
    std::string persistRoot = "D:\\Data\\";
    std::string mediaRoot = "E:\\";
    std::string backupDrive = "D";
    std::string computerName;            // default: the serial for source "name", else the family word
};

enum ValueKind { KIND_STRING, KIND_DW, KIND_BOOL };

struct StoreValue {
    std::string subdir;
    std::string key;
    std::string name;
    ValueKind kind;
    std::string text;      // KIND_STRING
    unsigned long number;  // KIND_DW, KIND_BOOL
};

struct RegistryValue {
    HKEY root;
    std::string path;
    std::string name;
    std::string text;
};

std::string WithBackslash(std::string path);
bool IsKnobDual(const Options& o);

// Every store value and registry value of the unit, in the order they are written.
std::vector<StoreValue> UnitStoreValues(const Options& o);
std::vector<RegistryValue> UnitRegistryValues(const Options& o);
std::string AddressBookPath(const Options& o);
std::string AddressBookText(const Options& o);

// The pages whose knob templates lie beside them.
extern const char* const KNOB_PAGES[3];

// Writes the unit (0, or 1 with the failures printed).
int Lay(const Options& o);
// Writes the disabled-unit picture on the media.
int Media(const Options& o);

} // namespace unitlayout
