#include "RunContext.h"
#include "EngineFileCalls.h"

#include "CsrLog.h"
#include "EngineKeys.h"
#include "EngineLimits.h"
#include "EngineWin32.h"
#include "FileException.h"
#include "IdentityRules.h"
#include "TextFields.h"
#include "UnitIdentity.h"
#include "WholeRoot.h"

namespace {

// The longest registry value either root is read from.
const DWORD kRootValueBytes = 512;

} // namespace

CRunContext::CRunContext(const char* unitPart) : m_bLegacy(IsLegacyShellPart(unitPart ? unitPart : ""))
{
    m_keyError = OpenRegKey(HKEY_CURRENT_USER, kCorvaneKey, m_key);
    if (m_keyError != ERROR_SUCCESS) {
        m_mediaSource = MediaRootSource::NoKey;
        m_media = kDefaultMediaRoot;
        return;
    }
    m_mediaSource = ReadMediaRoot(m_key.get(), kUpdatePathRootRule, m_media);
    m_bPersistFound = QueryTextValue(m_key.get(), "PersistPath", kRootValueBytes, m_persist) == ERROR_SUCCESS ||
                      QueryTextValue(m_key.get(), "DataPath", kRootValueBytes, m_persist) == ERROR_SUCCESS;
    if (m_bPersistFound)
        AddTrailingBackslash(m_persist);
    else
        m_persist.clear();
}

void CRunContext::SetUnitPart(const char* unitPart)
{
    m_bLegacy = IsLegacyShellPart(unitPart ? unitPart : "");
}

bool CRunContext::MediaRootFits(const char* caller) const
{
    if (m_media.size() <= kMediaRootChars) return true;
    if (caller) RootIsWhole(caller, "Media root", m_media.c_str(), kMediaRootChars);
    return false;
}

void CRunContext::RequireMediaRoot(const char* caller) const
{
    RequireWholeRoot(caller, "Media root", m_media.c_str(), kMediaRootChars);
}

void CRunContext::RequireUpdatePaths(const char* caller) const
{
    if (m_keyError != ERROR_SUCCESS) CFileException::ThrowOsError(m_keyError);
    if (m_mediaSource != MediaRootSource::Setting)
        CsrLog(CSRLOG_WARNING, "GetUpdatePath: Force Default Removeable Media %s\n", kDefaultMediaRoot);
    if (!m_bPersistFound) {
        CsrLog(CSRLOG_ERROR, "GetUpdatePath: Unable to Find Persist Data Path\n");
        CFileException::ThrowOsError(ERROR_CRC, "Persist Path");
    }
    RequireWholeRoot(caller, "Persist root", m_persist.c_str(), kPersistRootChars);
}

const UnitIdentity& CRunContext::Unit()
{
    if (!m_bUnitRead) {
        m_unit = ReadUnitIdentity();
        m_bUnitRead = true;
    }
    return m_unit;
}

void CRunContext::SetUnitSerial(const std::string& serial)
{
    Unit();
    m_unit.serial = serial;
}

bool CRunContext::SavedFilesOnMedia(const char* caller) const
{
    if (caller && m_mediaSource == MediaRootSource::NoKey) CsrLog(CSRLOG_WARNING, "%s: Could not open RegKey", caller);
    if (caller && m_mediaSource == MediaRootSource::NoValue)
        CsrLog(CSRLOG_WARNING, "%s: Could not open RegValue", caller);
    if (!MediaRootFits(caller)) return false;
    // The saved registry file marks a save, but only with the identity record
    // that a save writes last: without it the save was cut off, its remains
    // are no save, and a new save may clear them.
    const std::string folder = m_media + "ZelConfig\\";
    return FcPathExists(JoinPath(folder.c_str(), "CorvaneUserRegistry.reg")) &&
           FcPathExists(JoinPath(folder.c_str(), "SWPartNum.txt"));
}

const SavedIdentity& CRunContext::Saved()
{
    if (!m_bSavedRead) {
        // No key: nothing tells where the media is; a root too long names another folder.
        if (m_mediaSource != MediaRootSource::NoKey && MediaRootFits(nullptr)) ReadSavedIdentity(m_media, &m_saved);
        m_bSavedRead = true;
    }
    return m_saved;
}
