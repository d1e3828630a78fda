#include "RunMaint.h"

#include "IdentityRules.h"
#include "MediaServices.h"
#include "RestoreFlow.h"
#include "SaveFlow.h"
#include "TextFields.h"
#include "UnitIdentity.h"

namespace {

// The longest part number the engine keeps.
const size_t kUnitPartChars = 63;

} // namespace

CRunMaint::CRunMaint(RunWindow* owner) : m_pOwner(owner) {}

bool CRunMaint::GetSwPartNum(char* partText, char* serial, size_t size)
{
    return ::GetSwPartNum(partText, serial, size);
}

void CRunMaint::SetSwPartNum(const char* partNumber, int revision)
{
    m_survey.unit.part = TextPrefix(partNumber ? partNumber : "", kUnitPartChars);
    m_survey.unit.revision = revision;
}

void CRunMaint::ReadSavedPartNum(char* partOut, int* revisionOut, char* serialOut)
{
    CRunContext run(m_survey.unit.part.c_str());
    SavedIdentity saved;
    saved.part = partOut;
    saved.revision = *revisionOut;
    saved.serial = serialOut;
    if (run.MediaSource() == MediaRootSource::NoKey || !run.MediaRootFits(nullptr) ||
        !ReadSavedIdentity(run.MediaRoot(), &saved))
        return;
    CopyText(partOut, SAVED_FIELD_OUT_SIZE, saved.part.c_str());
    *revisionOut = saved.revision;
    CopyText(serialOut, SAVED_FIELD_OUT_SIZE, saved.serial.c_str());
}

SaveStage CRunMaint::SaveConfig(CRunContext& run)
{
    return CSaveFlow(run, *m_pOwner, m_prompts).SaveConfig();
}

bool CRunMaint::RestoreConfig(CRunContext& run, RestoreOutcome* outcome)
{
    return CRestoreFlow(run, m_pOwner).RestoreConfig(outcome);
}

bool CRunMaint::GetUpdatePath(char* mediaRoot, size_t mediaSize, char* persistRoot, size_t persistSize)
{
    CRunContext run(m_survey.unit.part.c_str());
    run.RequireUpdatePaths("GetUpdatePath");
    CopyText(mediaRoot, mediaSize, run.MediaRoot().c_str());
    CopyText(persistRoot, persistSize, run.PersistRoot().c_str());
    return true;
}

bool CRunMaint::GetMediaRoot(char* buffer, size_t size)
{
    CRunContext run(m_survey.unit.part.c_str());
    run.RequireUpdatePaths("GetUpdatePath");
    if (!buffer || run.MediaRoot().size() >= size) return false;
    CopyText(buffer, size, run.MediaRoot().c_str());
    return true;
}

void CRunMaint::ClearRemovableMedia()
{
    CRunContext run(m_survey.unit.part.c_str());
    run.RequireUpdatePaths("ClearRemovableMedia");
    ::ClearRemovableMedia(run);
}
