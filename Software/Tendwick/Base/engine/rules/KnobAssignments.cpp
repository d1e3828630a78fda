#include "KnobAssignments.h"

const KnobWrite KnobWrites[] = {
    {"ShellConfig", "PageKnob", "R|O", "L|O"},
    {"UI_Brightness", "pos_Coarse", "Brightness,RO", "Brightness,LO"},
    {"UI_Brightness", "pos_Fine", "Brightness,RI", "Brightness,RO"},
    {"UI_Map", "pos_Change", "MapSetup,RI", "MapSetup,RO"},
    {"UI_Map", "pos_Field", "MapSetup,RO", "MapSetup,LO"},
    {"UI_Map", "pos_Range", "Map,RI/TrafficMode,RI", "Map,RO/TrafficMode,RO"},
    {"UI_Map", "pos_Select", "Trip,RI/Nrst,RI/Setup,RI", "Trip,RO/Nrst,RO/Setup,RO"},
    {"UI_Standard", "pos_Select", "Dialog,RO", "Dialog,RO"},
    {"UI_Standard", "pos_Change", "Dialog,RI", "Dialog,LO"},
};
const size_t KnobWriteCount = sizeof(KnobWrites) / sizeof(KnobWrites[0]);

const char* const KnobPages[] = {"ShellPersist\\UI_Taws", "ShellPersist\\UI_KTX", "ShellPersist\\UI_Map"};
const size_t KnobPageCount = sizeof(KnobPages) / sizeof(KnobPages[0]);
