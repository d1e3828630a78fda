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
    } else {
        m_mediaSource = ReadMediaRoot(m_key.get(), kUpdatePathRootRule, m_media);
        m_bPersistFound = QueryTextValue(m_key.get(), "PersistPath", kRootValueBytes, m_persist) == ERROR_SUCCESS ||
                          QueryTextValue(m_key.get(), "DataPath", kRootValueBytes, m_persist) == ERROR_SUCCESS;
        if (m_bPersistFound)
            AddTrailingBackslash(m_persist);
        else
            m_persist.clear();
    }
    // The length rules, once for the press: the checks below only report.
    m_bMediaFits = m_media.size() <= kMediaRootChars;
    m_bPersistFits = m_persist.size() <= kPersistRootChars;
}

void CRunContext::SetUnitPart(const char* unitPart)
{
    m_bLegacy = IsLegacyShellPart(unitPart ? unitPart : "");
}

bool CRunContext::MediaRootFits(const char* caller) const
{
    if (m_bMediaFits) return true;
    if (caller && !m_bMediaReported) {
        m_bMediaReported = true;
        LogLongRoot(caller, "Media root", m_media.c_str(), kMediaRootChars);
    }
    return false;
}

void CRunContext::RequireMediaRoot(const char* caller) const
{
    if (!MediaRootFits(caller)) CFileException::ThrowOsError(ERROR_FILENAME_EXCED_RANGE, m_media.c_str());
}

void CRunContext::RequireUpdatePaths(const char* caller) const
{
    const bool report = !m_bPathsReported;
    m_bPathsReported = true;
    if (m_keyError != ERROR_SUCCESS) CFileException::ThrowOsError(m_keyError);
    if (report && m_mediaSource != MediaRootSource::Setting)
        CsrLog(CSRLOG_WARNING, "GetUpdatePath: Force Default Removeable Media %s\n", kDefaultMediaRoot);
    if (!m_bPersistFound) {
        if (report) CsrLog(CSRLOG_ERROR, "GetUpdatePath: Unable to Find Persist Data Path\n");
        CFileException::ThrowOsError(ERROR_CRC, "Persist Path");
    }
    if (!m_bPersistFits) {
        if (report) LogLongRoot(caller, "Persist root", m_persist.c_str(), kPersistRootChars);
        CFileException::ThrowOsError(ERROR_FILENAME_EXCED_RANGE, m_persist.c_str());
    }
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
