// The undo's proof: before an undo changes anything it leaves, beside the
// disabling's record, a copy of what names the save it takes back (the
// identity record and the hive's checksum file); it removes it once the
// media is cleared. A unit that reads "RESTORED-ORIGINAL" takes a save for an
// undo cut off part way only while the proof names exactly that save: a
// later save of its own, or a kept copy of an older one, is restored as any
// other. No windows.h.
#pragma once

#include <cstddef>
#include <string>

// In the unit's persist root.
const char UNDO_PROOF_FILE[] = "SWUndo.txt";
// How much of each media file the proof keeps and compares.
const size_t UNDO_PROOF_PART_BYTES = 128;

// The proof for a save whose identity record and checksum file hold these
// bytes (each cut to UNDO_PROOF_PART_BYTES).
std::string UndoProofText(const std::string& identityRecord, const std::string& chkText);

// Whether the proof found on the unit names that save. An empty save (no
// identity record) is never proven.
bool UndoProofNames(const std::string& proof, const std::string& identityRecord, const std::string& chkText);
