// The registry keys and store keys the engine reads and writes, named once.
// No windows.h.
#pragma once

// Below HKEY_CURRENT_USER: the engine's settings (media root "CDROM", persist
// root "PersistPath" or "DataPath"), the unit's setup and the menu entries.
const char kCorvaneKey[] = "Software\\Corvane";
const char kSysSetupKey[] = "Software\\Corvane\\SysSetup";
const char kMenuAppsKey[] = "Software\\Corvane\\ZelMenu\\Apps";

// The store's folder of the shell's keys, and the two keys the engine uses.
const char kShellPersist[] = "ShellPersist";
const char kShellConfig[] = "ShellConfig";
const char kSystemData[] = "SystemData";
