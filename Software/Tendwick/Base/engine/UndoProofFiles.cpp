// The undo's proof on the unit (UndoProof.h): written before the undo changes
// anything, compared when a unit that reads "RESTORED-ORIGINAL" meets a save
// of its own, removed once the undo has cleared the media.
#include "RunMaint.h"

#include "CsrLog.h"
#include "EngineLimits.h"
#include "EngineWin32.h"
#include "TextFields.h"
#include "UndoProof.h"
#include "WholeRoot.h"
#include "Win32Handle.h"

#include <cstdio>
#include <string>

namespace {

// The first bytes of a file; empty when it cannot be read.
std::string ReadStart(const std::string& path, size_t limit)
{
    std::string bytes;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return bytes;
    bytes.resize(limit);
    bytes.resize(std::fread(&bytes[0], 1, limit, file));
    std::fclose(file);
    return bytes;
}

// The proof that names the save on the media now.
std::string ProofOfMediaSave(const std::string& mediaRoot)
{
    const std::string folder = TextPrefix(mediaRoot.c_str(), kMediaRootChars) + "ZelConfig\\";
    return UndoProofText(ReadStart(JoinPath(folder.c_str(), "SWPartNum.txt"), UNDO_PROOF_PART_BYTES),
                         ReadStart(JoinPath(folder.c_str(), "CorvaneUserRegistry.chk"), UNDO_PROOF_PART_BYTES));
}

} // namespace

void CRunMaint::WriteUndoProof(const std::string& mediaRoot, const std::string& persistRoot)
{
    const std::string path = JoinPath(persistRoot.c_str(), UNDO_PROOF_FILE);
    const std::string proof = ProofOfMediaSave(mediaRoot);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    UniqueHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    DWORD written = 0;
    // The undo relies on it from its next step on: it reaches the disk first.
    if (!file || !WriteFile(file.get(), proof.data(), static_cast<DWORD>(proof.size()), &written, nullptr) ||
        written != proof.size() || !FlushFileBuffers(file.get())) {
        DWORD error = GetLastError();
        CsrLog(CSRLOG_ERROR, "UndoSave: Cannot write %s; GetLastError = %d\n", path.c_str(), static_cast<int>(error));
        CFileException::ThrowOsError(static_cast<long>(error), path.c_str());
    }
}

void CRunMaint::RemoveUndoProof(const std::string& persistRoot)
{
    const std::string path = JoinPath(persistRoot.c_str(), UNDO_PROOF_FILE);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
}

void CRunMaint::ClearMediaEndingUndo(const std::string& mediaRoot, const std::string& persistRoot)
{
    // The proof goes the moment the media stops holding the save (its
    // identity record goes first), not after the whole clearing: an undo cut
    // off while it clears leaves no save, and a proof left then would outlive it.
    const std::string identity =
        JoinPath((TextPrefix(mediaRoot.c_str(), kMediaRootChars) + "ZelConfig\\").c_str(), "SWPartNum.txt");
    SetFileAttributesA(identity.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(identity.c_str());
    // A record that would not go keeps the save, and with it the proof that
    // lets the undo be finished.
    if (!PathExists(identity)) RemoveUndoProof(persistRoot);
    ClearRemovableMedia();
    if (!PathExists(identity)) RemoveUndoProof(persistRoot);
}

bool CRunMaint::IsUndoOfMediaSaveCutOff()
{
    char media[MAINT_ROOT_SIZE] = "E:\\";
    char persist[MAINT_ROOT_SIZE] = {};
    try {
        GetUpdatePath(media, sizeof(media), persist, sizeof(persist));
    } catch (const CFileException&) {
        return false;
    }
    if (!RootIsWhole("IsSameUnitRestore", "Media root", media, kMediaRootChars)) return false;
    const std::string folder = TextPrefix(media, kMediaRootChars) + "ZelConfig\\";
    const std::string proof = ReadStart(JoinPath(persist, UNDO_PROOF_FILE), 2 * UNDO_PROOF_PART_BYTES + 2);
    return UndoProofNames(proof, ReadStart(JoinPath(folder.c_str(), "SWPartNum.txt"), UNDO_PROOF_PART_BYTES),
                          ReadStart(JoinPath(folder.c_str(), "CorvaneUserRegistry.chk"), UNDO_PROOF_PART_BYTES));
}
