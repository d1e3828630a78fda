// Whether the save has left the media: the media answers, and its identity
// record is not there. A stick that was pulled, cannot be read or kept the
// record (write-protected) proves nothing gone: its save may still go onto
// another unit.
#pragma once

#include <string>

bool SaveGoneFromMedia(const std::string& mediaRoot);

// Whether the media answers and holds no file at path.
bool GoneFromMedia(const std::string& path, const std::string& mediaRoot);
