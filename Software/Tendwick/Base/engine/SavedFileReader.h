// A saved key file on the media read whole through the file-call table, by
// the rules of SavedKeyImport.h (a file larger than any key is not read).
#pragma once

#include "SavedKeyImport.h"

// As ReadSavedFileText: the size found is in *size (when given, -1 when the
// file could not be opened) whatever the result.
SavedFileRead ReadSavedFile(const char* path, SavedFileText* text, long* size = nullptr);
