// The places and values of the source disabling, shared by the disabling, its
// undo and the tests of how far an interrupted run got.
#pragma once

// In the media root.
const char kDontDisableFile[] = "dontDisable.dat";
const char kShellSource[] = "VevezaDE1.DAT";
const char kPictureSource[] = "VevezaDE2.DAT";
// In the persist root.
const char kInstalledShell[] = "Dormantis.exe";
const char kInstalledPicture[] = "DisableSplashScreen.bmp";
const char kRecordFile[] = "SWDisable.txt";

// The registry values of the menu variant: kSysSetupKey and kMenuAppsKey.
#include "EngineKeys.h"

// What follows the installed shell's path in the startup entry of either variant.
const char kDisabledAppSuffix[] = "|Ferx|noregister";
const char kDisabledMenuSuffix[] = ",C:\\Zelsys,0";

// The hive copy a save makes on the unit and keeps until the next save.
const char kLocalRegistryCopy[] = "C:\\CopyOfCorvaneUserReg.reg";
