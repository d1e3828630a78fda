// The media root and the persist root for the checks that answer instead of
// raising: a unit whose registry names no roots simply fails the check.
#pragma once

#include "RunMaint.h"

struct UpdatePaths {
    char media[MAINT_ROOT_SIZE] = "E:\\";
    char persist[MAINT_ROOT_SIZE] = {};
};

// False when GetUpdatePath raised (no roots in the registry).
bool ReadUpdatePaths(CRunMaint& engine, UpdatePaths* paths);
