#include "RunMaint.h"

#include "IdentityRules.h"
#include "TextFields.h"

#include <cstring>

CRunMaint::CRunMaint(RunWindow* owner)
    : m_pszTitle("Configuration Save & Restore Utility"),
      m_pszVersion("618-00150-000 Rev 01 (Build 2)"),
      m_szPartNum(),
      m_nRevision(-1),
      m_pOwner(owner),
      m_bConfirmShown(false),
      m_bSaveAllowed(false),
      m_bRestoreAllowed(false),
      m_nRestoreStage(0),
      m_bSerialPromptShown(false)
{
}

void CRunMaint::SetSwPartNum(const char* partNumber, int revision)
{
    std::memset(m_szPartNum, 0, sizeof(m_szPartNum));
    CopyText(m_szPartNum, sizeof(m_szPartNum), partNumber);
    m_nRevision = revision;
}

bool CRunMaint::IsLegacyShellPart() const
{
    return ::IsLegacyShellPart(m_szPartNum);
}
