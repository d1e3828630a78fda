// The figures the engine's steps share, in one place.
#pragma once

#include <cstddef>

// How long a store call waits for a key that another program holds, in ms.
const int kStoreTimeout = 1000;

// How much of the media root the media's folders are built from. A longer
// root is refused where a cut one would name another folder.
const size_t kMediaRootChars = 64;
// The longest persist root (with its last backslash) the flows build paths from.
const size_t kPersistRootChars = 511;

// The progress bar: the save steps once per catalogue row; the restore once
// more, for its pass over the option configurations.
const int kSaveProgressSteps = 59;
const int kRestoreProgressSteps = kSaveProgressSteps + 1;
