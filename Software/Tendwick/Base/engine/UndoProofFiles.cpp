// The undo's proof on the unit (UndoProof.h): written before the undo changes
// anything, compared when a unit that reads "RESTORED-ORIGINAL" meets a save
// of its own, removed once the undo has cleared the media.
#include "Disabling.h"
#include "EngineFileCalls.h"

#include "MediaServices.h"
#include "RunContext.h"

#include "CsrLog.h"
#include "DurableCopy.h"
#include "EngineLimits.h"
#include "EngineWin32.h"
#include "TextFields.h"
#include "UndoProof.h"
#include "WholeRoot.h"

#include <cstdio>
#include <string>

namespace {

// The first bytes of a file; empty when it cannot be read.
std::string ReadStart(const std::string& path, size_t limit)
{
    std::string bytes;
    FcReadStart(path, limit, &bytes);
    return bytes;
}

// The first bytes of a media file, empty when it is not there; false when
// the media does not answer (pulled, unreadable).
bool ReadPart(const std::string& path, std::string* bytes)
{
    bytes->clear();
    if (FcReadStart(path, UNDO_PROOF_PART_BYTES, bytes)) return true;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// The proof that names the save on the media now; false when the media does
// not answer (a proof of what could not be read would not know the save again).
bool ProofOfMediaSave(const std::string& mediaRoot, std::string* proof)
{
    const std::string folder = TextPrefix(mediaRoot.c_str(), kMediaRootChars) + "ZelConfig\\";
    std::string identity, chk;
    if (!ReadPart(JoinPath(folder.c_str(), "SWPartNum.txt"), &identity) ||
        !ReadPart(JoinPath(folder.c_str(), "CorvaneUserRegistry.chk"), &chk))
        return false;
    *proof = UndoProofText(identity, chk);
    return true;
}

} // namespace

bool CDisabling::WriteUndoProof()
{
    const std::string path = JoinPath(m_run.PersistRoot().c_str(), UNDO_PROOF_FILE);
    std::string proof;
    if (!ProofOfMediaSave(m_run.MediaRoot(), &proof)) {
        CsrLog(CSRLOG_ERROR, "UndoSave: The save's identity could not be read from the removable media; "
                             "nothing undone\n");
        return false;
    }
    // A read-only proof left behind would refuse the create, which is checked.
    FcSetFileAttributes(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    CEngineFile file;
    // The undo relies on it from its next step on: it reaches the disk first.
    if (!file.Open(path.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS) ||
        !file.WriteAll(proof.data(), static_cast<DWORD>(proof.size())) || !file.Flush() || !file.Close()) {
        DWORD error = GetLastError();
        CsrLog(CSRLOG_ERROR, "UndoSave: Cannot write %s; GetLastError = %d; nothing undone\n", path.c_str(),
               static_cast<int>(error));
        return false;
    }
    return true;
}

void CDisabling::RemoveUndoProof(const std::string& persistRoot)
{
    const std::string path = JoinPath(persistRoot.c_str(), UNDO_PROOF_FILE);
    // Absent as a rule; the delete below is checked.
    FcSetFileAttributes(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (FcDeleteFile(path.c_str())) return;
    DWORD error = GetLastError();
    // A proof left behind would take a kept copy of this very save for an
    // undo cut off part way: worth knowing when the unit is looked at.
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
        CsrLog(CSRLOG_ERROR, "UndoSave: Cannot remove %s; GetLastError = %d\n", path.c_str(),
               static_cast<int>(error));
}

namespace {

// Takes the media's deletes so far onto its disk: a file made in the folder
// and moved there with write-through, which a volume that commits its changes
// of names in order cannot keep without the changes before it. The clearing
// removes what is left of it.
bool SealMedia(const std::string& folder)
{
    const std::string made = folder + "Clearing.tmp", moved = folder + "Clearing.del";
    CEngineFile file;
    const bool sealed = file.Open(made.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS) && file.Flush() && file.Close() &&
                        FcMoveFile(made.c_str(), moved.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    FcDeleteFile(made.c_str());
    FcDeleteFile(moved.c_str());
    return sealed;
}

} // namespace

bool CDisabling::ClearMediaEndingUndo()
{
    // The undo's changes to the unit reach its disk before the media lets
    // the save go: a power cut must not leave a unit half put back beside a
    // media without its save. The proof is put anew as the undo's start
    // wrote it: the media may not answer now. Its move with write-through is
    // taken, as a volume that commits its changes of names in order does,
    // to take every earlier one of the unit's volume (the files the undo
    // removed) onto the disk with it.
    const std::string proofPath = JoinPath(m_run.PersistRoot().c_str(), UNDO_PROOF_FILE);
    std::string proof;
    if (!FcReadStart(proofPath, 2 * UNDO_PROOF_PART_BYTES + 2, &proof) || !WriteFileReplacing(proofPath, proof)) {
        CsrLog(CSRLOG_ERROR, "UndoSave: Cannot put %s in place anew; GetLastError = %d; the media keeps the save\n",
               proofPath.c_str(), static_cast<int>(GetLastError()));
        return false;
    }
    const std::string root = TextPrefix(m_run.MediaRoot().c_str(), kMediaRootChars);
    const std::string folder = root + "ZelConfig\\";
    const std::string identity = JoinPath(folder.c_str(), "SWPartNum.txt");
    FcSetFileAttributes(identity.c_str(), FILE_ATTRIBUTE_NORMAL);
    // Whether it went is proven below by a media that answers without it.
    FcDeleteFile(identity.c_str());
    // A delete that reports success proves nothing on a write-protected
    // stick; only a media that answers without the record does, once the
    // delete is on its disk: the proof's removal on the unit's disk must not
    // overtake it. Until then the save stays whole, and so does the proof:
    // the same key finishes the undo.
    if (!GoneFromMedia(identity, root) || !SealMedia(folder) || !GoneFromMedia(identity, root)) {
        CsrLog(CSRLOG_ERROR, "UndoSave: The save's identity record did not go (removable media write-protected, "
                             "removed or unreadable); the undo is not finished\n");
        return false;
    }
    // The proof goes the moment the media stops holding the save, not after
    // the whole clearing: an undo cut off while it clears leaves no save, and
    // a proof left then would outlive it.
    RemoveUndoProof(m_run.PersistRoot());
    ClearRemovableMedia(m_run);
    if (!GoneFromMedia(JoinPath(folder.c_str(), "CorvaneUserRegistry.reg"), root)) {
        CsrLog(CSRLOG_ERROR, "UndoSave: The removable media was not cleared; the undo is not finished\n");
        return false;
    }
    return true;
}

bool CDisabling::IsUndoOfMediaSaveCutOff()
{
    if (!m_run.HasUpdatePaths() || !m_run.MediaRootFits("IsSameUnitRestore")) return false;
    const char* media = m_run.MediaRoot().c_str();
    const char* persist = m_run.PersistRoot().c_str();
    const std::string folder = TextPrefix(media, kMediaRootChars) + "ZelConfig\\";
    const std::string proof = ReadStart(JoinPath(persist, UNDO_PROOF_FILE), 2 * UNDO_PROOF_PART_BYTES + 2);
    return UndoProofNames(proof, ReadStart(JoinPath(folder.c_str(), "SWPartNum.txt"), UNDO_PROOF_PART_BYTES),
                          ReadStart(JoinPath(folder.c_str(), "CorvaneUserRegistry.chk"), UNDO_PROOF_PART_BYTES));
}
