// What a save lays out on the media, by name.
#pragma once

#include <string>

const char MEDIA_CONFIG_FOLDER[] = "ZelConfig";
const char MEDIA_PERSIST_FOLDER[] = "Persist";
const char MEDIA_HIVE_FILE[] = "CorvaneUserRegistry.reg";
const char MEDIA_HIVE_CHK_FILE[] = "CorvaneUserRegistry.chk";
const char MEDIA_IDENTITY_FILE[] = "SWPartNum.txt";
const char MEDIA_ADDRESS_BOOK[] = "AddressBook.txt";
// The save's write probe in the media root: there only while a save runs.
const char MEDIA_WRITE_PROBE[] = "ZIPPATH";
// The run log every maintenance run appends to, below the media root.
const char MEDIA_RUN_LOG[] = "ZelData\\VURLog\\CsrLog.txt";

// Files outside the configuration folder that the system reads or writes,
// by their place below the media root, and what each is for.
struct RootFileInfo {
    const char* pszName;
    const char* pszMeaning;
};
extern const RootFileInfo MediaRootFiles[];
extern const size_t MEDIA_ROOT_FILE_COUNT;

// Whether an entry below the media configuration folder (relative, parts
// joined by backslashes, a folder ending in one) belongs to a save's layout.
bool IsLayoutEntry(const std::string& relative);

// Names on the media compare as the unit's file system compares them.
bool SameMediaName(const std::string& a, const std::string& b);
