#include "UpdatePaths.h"

bool ReadUpdatePaths(CRunMaint& engine, UpdatePaths* paths)
{
    try {
        engine.GetUpdatePath(paths->media, sizeof(paths->media), paths->persist, sizeof(paths->persist));
    } catch (const CFileException&) {
        return false;
    }
    return true;
}
