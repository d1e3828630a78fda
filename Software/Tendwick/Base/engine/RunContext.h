// What one key press works from, read once at its start: the media root and
// the persist root from "Software\Corvane" (each with its length rule), the
// open key whose hive a save copies, who the unit is and who saved what lies
// on the media. The flows and checks of the press take it instead of reading
// the registry again.
#pragma once

#include <windows.h>

#include <string>

#include "MediaRoot.h"
#include "RegistryKey.h"

// Who the unit is, as its store and registry give it.
struct UnitIdentity {
    std::string partText;             // "SoftwarePartNum", or "Unknown"
    std::string serial;               // from the first source that has one
    bool        bSerialFound = false; // false: only the fixed text was found
    std::string part;                 // the first word of partText
    int         revision = -1;        // its third word
};

// The identity record of the save on the media; the presets without one.
struct SavedIdentity {
    std::string part;
    int         revision = -1;
    std::string serial;
};

class CRunContext {
public:
    // Reads "Software\Corvane" once; never raises. unitPart is the part
    // number the engine was given (it decides the unit's family).
    explicit CRunContext(const char* unitPart);
    CRunContext(const CRunContext&) = delete;
    CRunContext& operator=(const CRunContext&) = delete;

    // The media root, ending in a backslash ("E:\" when the setting is missing).
    const std::string& MediaRoot() const { return m_media; }
    MediaRootSource MediaSource() const { return m_mediaSource; }
    // Whether the media root is short enough that the media's folders are
    // built from all of it; a longer one is logged as caller's error.
    bool MediaRootFits(const char* caller) const;
    // The same, raising the file exception (name too long) for a longer root.
    void RequireMediaRoot(const char* caller) const;

    // The persist root, ending in a backslash; empty without one.
    const std::string& PersistRoot() const { return m_persist; }
    // Whether the key opened and names a persist root.
    bool HasUpdatePaths() const { return m_keyError == ERROR_SUCCESS && m_bPersistFound; }
    // Raises (as the engine always did) when the key cannot be opened or
    // names no persist root, or when the persist root is too long; logs a
    // media root that fell back to the default.
    void RequireUpdatePaths(const char* caller) const;
    // "Software\Corvane", open for the press; closed by CloseKey.
    HKEY CorvaneKey() const { return m_key.get(); }
    LONG CloseKey() { return m_key.Close(); }

    // The unit: its family from the part number given, its identity read at
    // first use.
    bool IsLegacy() const { return m_bLegacy; }
    // The unit's family from another part number (the one its store gives).
    void SetUnitPart(const char* unitPart);
    const UnitIdentity& Unit();
    // After the technician entered the serial number that was stored.
    void SetUnitSerial(const std::string& serial);

    // Whether the media holds a save: its registry file and, written last,
    // its identity record. False (logged) for a media root that does not fit.
    bool SavedFilesOnMedia(const char* caller) const;
    // The save's identity record, read at first use.
    const SavedIdentity& Saved();

private:
    UniqueRegKey    m_key;
    LONG            m_keyError = ERROR_SUCCESS;
    MediaRootSource m_mediaSource = MediaRootSource::Setting;
    std::string     m_media;
    bool            m_bPersistFound = false;
    std::string     m_persist;
    bool            m_bLegacy = false;
    bool            m_bUnitRead = false;
    UnitIdentity    m_unit;
    bool            m_bSavedRead = false;
    SavedIdentity   m_saved;
};
