// A throwaway folder for the inspector's tests: a media root and a unit's
// store folder, filled file by file.
#pragma once

#include "KeyFileFormat.h"
#include "MediaFiles.h"

#include <string>

class CMediaFolder {
public:
    CMediaFolder();
    ~CMediaFolder();

    fs::path Media() const { return m_root / "media"; }
    fs::path Unit() const { return m_root / "unit"; }

    // Writes bytes at a path below the root, parts separated by '/'.
    void Write(const std::string& relative, const std::string& bytes) const;
    void Remove(const std::string& relative) const;
    // A saved key file on the media: the lines, then their CRC line.
    void SaveKey(const std::string& mediaName, const std::string& lines) const;
    // A unit key's primary file below the store folder.
    void UnitKey(const std::string& subdirAndKey, const std::string& lines) const;
    // A complete save of the unit A1234, 612-00340-800 Rev 0, with these catalogue files.
    void CompleteSave() const;

    static std::string KeyFile(const std::string& lines) { return keyfile::BuildKeyFile(lines.data(), lines.size()); }

private:
    fs::path m_root;
};
