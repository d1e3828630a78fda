// What a unit and the media are, for the campaign: the files below a few
// roots and the registry values the programs read, taken and put back
// whole. A folder is kept as its path with a trailing backslash.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "PowerCutModel.h"

struct RegValue {
    HKEY        root;
    std::string key;
    std::string name;
    DWORD       type;
    std::string data;
    bool operator==(const RegValue& o) const
    {
        return root == o.root && key == o.key && name == o.name && type == o.type && data == o.data;
    }
};

struct State {
    powercut::Image       files;
    std::vector<RegValue> registry;
};

// The unit's roots: its store and data, the system folder, the hive copy.
extern const std::vector<std::string> kUnitRoots;
// The media's roots: the save, the files put there beforehand, the run log.
extern const std::vector<std::string> kMediaRoots;

powercut::Image TakeFiles(const std::vector<std::string>& roots);
// Makes the disk below roots hold exactly image. False with why when a file
// cannot be written.
bool PutFiles(const powercut::Image& image, const std::vector<std::string>& roots, std::string* why);

// HKCU "Software\Corvane" whole and the machine values a unit lays out.
std::vector<RegValue> TakeRegistry();
void PutRegistry(const std::vector<RegValue>& values);

State Take(const std::vector<std::string>& roots, bool registry);
bool Put(const State& state, const std::vector<std::string>& roots, bool registry, std::string* why);

// The names whose content differs between a and b (a name missing on one
// side counts), except those `ignore` accepts.
std::vector<std::string> Differences(const powercut::Image& a, const powercut::Image& b,
                                     bool (*ignore)(const std::string& name));
