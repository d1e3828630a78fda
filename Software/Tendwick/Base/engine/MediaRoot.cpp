#include "MediaRoot.h"

#include "EngineKeys.h"
#include "EngineWin32.h"


MediaRootSource ReadMediaRoot(HKEY corvane, const MediaRootRule& rule, std::string& root)
{
    MediaRootSource source = MediaRootSource::Setting;
    if (QueryTextValue(corvane, "CDROM", rule.dwValueBytes, root) != ERROR_SUCCESS) {
        root = kDefaultMediaRoot;
        source = MediaRootSource::NoValue;
    }
    if (rule.bEndWithBackslash && (root.empty() || root.back() != '\\')) root += '\\';
    const size_t length = root.size() + (root.empty() || root.back() != '\\' ? 1 : 0);
    if (rule.nMaxChars != 0 && length > rule.nMaxChars) return MediaRootSource::TooLong;
    if (rule.nKeepChars != 0 && root.size() > rule.nKeepChars) root.resize(rule.nKeepChars);
    return source;
}

MediaRootSource ReadMediaRoot(const MediaRootRule& rule, std::string& root)
{
    UniqueRegKey corvane;
    if (OpenRegKey(HKEY_CURRENT_USER, kCorvaneKey, corvane) != ERROR_SUCCESS) {
        root = kDefaultMediaRoot;
        if (rule.nKeepChars != 0 && root.size() > rule.nKeepChars) root.resize(rule.nKeepChars);
        return MediaRootSource::NoKey;
    }
    return ReadMediaRoot(corvane.get(), rule, root);
}
