#include "UndoProof.h"

std::string UndoProofText(const std::string& identityRecord, const std::string& chkText)
{
    return identityRecord.substr(0, UNDO_PROOF_PART_BYTES) + "\n" + chkText.substr(0, UNDO_PROOF_PART_BYTES);
}

bool UndoProofNames(const std::string& proof, const std::string& identityRecord, const std::string& chkText)
{
    return !identityRecord.empty() && proof == UndoProofText(identityRecord, chkText);
}
