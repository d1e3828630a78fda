#include "MediaLayout.h"

#include "SavedFileCatalogue.h"
#include "TextFields.h"

const RootFileInfo MediaRootFiles[] = {
    {"VevezaDE1.DAT", "disabled-unit shell, installed by a save"},
    {"VevezaDE2.DAT", "disabled-unit picture, installed by a save"},
    {"ZelUtil.DAT", "unit utility, started at the end of a run"},
    {"dontDisable.dat", "a save leaves the source unit enabled"},
    {MEDIA_RUN_LOG, "run log of the maintenance runs"},
};
const size_t MEDIA_ROOT_FILE_COUNT = sizeof(MediaRootFiles) / sizeof(MediaRootFiles[0]);

bool SameMediaName(const std::string& a, const std::string& b)
{
#ifdef _WIN32
    return EqualsNoCase(a.c_str(), b.c_str());
#else
    return a == b;
#endif
}

bool IsLayoutEntry(const std::string& relative)
{
    const std::string persist = std::string(MEDIA_PERSIST_FOLDER) + "\\";
    for (const char* name : {MEDIA_HIVE_FILE, MEDIA_HIVE_CHK_FILE, MEDIA_IDENTITY_FILE})
        if (SameMediaName(relative, name)) return true;
    // The clearing of the media keeps its folders: an empty one is no leftover.
    if (SameMediaName(relative, persist)) return true;
    if (SameMediaName(relative, persist + MEDIA_ADDRESS_BOOK)) return true;
    for (const SavedFileEntry& row : SavedFileCatalogue)
        if (SameMediaName(relative, persist + row.pszMediaName)) return true;
    return false;
}
