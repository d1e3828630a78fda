// Retenta: the unit's persistent store. Typed values (string, dword, bool)
// kept by name in persist keys, each key stored as a primary (.pri) and a
// secondary (.sec) text file and shared live between threads and processes.
//
// Calling order on a thread: OpenPersistKey, value operations, ClosePersistKey
// (which saves a changed key). Every call but SetPersistBasePath returns one
// of the three results below and leaves a detail code in GetLastError().
// Timeouts are in milliseconds, -1 meaning no limit.
#pragma once

// Results.
#define PERS_FAILED        0x2000L
#define PERS_SUCCESS_INFO  0x2001L
#define PERS_SUCCESS       0x2002L

// Detail codes (GetLastError() after the call).
#define PERS_SECONDARY_MISSING_RECOVERED                 0x2006
#define PERS_PRIMARY_INVALID_RECOVERED                   0x2007
#define PERS_KEY_CREATED_NEW                             0x2009
#define PERS_KEY_MISSING_OR_INVALID_COULD_NOT_CREATE_NEW 0x200A
#define PERS_VALUE_CREATED                               0x200B
#define PERS_PATH_CREATED                                0x200C
#define PERS_PATH_MISSING_COULD_NOT_CREATE_NEW           0x200D
#define PERS_FAILED_BAD_KEYNAME                          0x200E
#define PERS_FAILED_BAD_SUBDIR                           0x200F
#define PERS_FAILED_PATH_TOO_LONG                        0x2010
#define PERS_FAILED_KEY_NOT_OPEN                         0x2011
#define PERS_FAILED_VALUE_MISSING_NOT_CREATED            0x2012
#define PERS_FAILED_VALUE_MISSING_KEY_FULL               0x2013
#define PERS_FAILED_VALUE_WRONG_TYPE                     0x2015
#define PERS_FAILED_VALUE_NAME_TOO_LONG                  0x2016
#define PERS_FAILED_VALUE_STRING_TOO_LONG                0x2017
#define PERS_VALUE_STRING_TRUNCATED                      0x2018
#define PERS_KEY_CLOSED_SAVE_FAILED                      0x201A
#define PERS_FAILED_FILE_LOAD                            0x201B
#define PERS_FAILED_SHARED_MEMORY_CREATION               0x201C
#define PERS_KEY_CLOSED_FAILED_TIMEOUT                   0x201D
#define PERS_FAILED_MAX_KEY_SIZE_REACHED                 0x201E
#define PERS_PRIMARY_INVALID_USING_BACKUP                0x201F

// Key access.
long OpenPersistKey(const char* subdirectory, const char* keyName, int timeout);
long ClosePersistKey(int timeout);
long ClosePersistKey();

// Writes.
long PersistString(const char* name, const char* value, int timeout);
long PersistString(const char* name, const char* value);
long PersistDW(const char* name, unsigned long value, int timeout);
long PersistDW(const char* name, unsigned long value);
long PersistBool(const char* name, int value, int timeout);
long PersistBool(const char* name, int value);
long DeleteValue(const char* name, int timeout);
long DeleteValue(const char* name);

// Reads. With a default, a missing value is created with it; the forms
// without a default fail with PERS_FAILED_VALUE_MISSING_NOT_CREATED instead.
long GetPersistedString(const char* name, unsigned long size, char* buffer, const char* defaultValue, int timeout);
long GetPersistedString(const char* name, unsigned long size, char* buffer, const char* defaultValue);
long GetPersistedDW(const char* name, unsigned long* value, unsigned long defaultValue, int timeout);
long GetPersistedDW(const char* name, unsigned long* value, unsigned long defaultValue);
long GetPersistedDW(const char* name, unsigned long* value);
long GetPersistedBool(const char* name, int* value, int defaultValue, int timeout);
long GetPersistedBool(const char* name, int* value, int defaultValue);
long GetPersistedBool(const char* name, int* value);

// One-shot forms: open, one operation, close, with the results merged.
long PersistOneString(const char* subdir, const char* key, int timeout, const char* name, const char* value);
long PersistOneDW(const char* subdir, const char* key, int timeout, const char* name, unsigned long value);
long PersistOneBool(const char* subdir, const char* key, int timeout, const char* name, int value);
long GetOnePersistedString(const char* subdir, const char* key, int timeout, const char* name,
                           unsigned long size, char* buffer, const char* defaultValue);
long GetOnePersistedDW(const char* subdir, const char* key, int timeout, const char* name,
                       unsigned long* value, unsigned long defaultValue);
long GetOnePersistedDW(const char* subdir, const char* key, int timeout, const char* name, unsigned long* value);
long GetOnePersistedBool(const char* subdir, const char* key, int timeout, const char* name,
                         int* value, int defaultValue);
long GetOnePersistedBool(const char* subdir, const char* key, int timeout, const char* name, int* value);

// Store location: an existing directory, else the registry's "PersistPath",
// else its "DataPath", else the current directory (returns false then).
bool SetPersistBasePath(const char* path);
