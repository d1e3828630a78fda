// Every deliverable names the build it comes from: the project's version in
// the fixed part and in the strings of its version resource, and its own
// file name as the original one.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

// The folder to look in: RELEASE_CHECK_DIR, else this program's own.
std::string Folder()
{
    const char* given = std::getenv("RELEASE_CHECK_DIR");
    if (given && *given) {
        std::string folder = given;
        if (folder.back() != '\\') folder += '\\';
        return folder;
    }
    char path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

class CVersionInfo {
public:
    explicit CVersionInfo(const std::string& path)
    {
        DWORD ignored = 0;
        DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
        if (size == 0) return;
        m_data.resize(size);
        if (!GetFileVersionInfoA(path.c_str(), 0, size, m_data.data())) m_data.clear();
    }

    bool Present() const { return !m_data.empty(); }

    const VS_FIXEDFILEINFO* Fixed() const
    {
        void* value = nullptr;
        UINT length = 0;
        if (!Present() || !VerQueryValueA(m_data.data(), "\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO))
            return nullptr;
        return static_cast<const VS_FIXEDFILEINFO*>(value);
    }

    // A string of the US English, Unicode table; "(none)" when it is missing.
    std::string String(const char* name) const
    {
        void* value = nullptr;
        UINT length = 0;
        std::string key = std::string("\\StringFileInfo\\040904b0\\") + name;
        if (!Present() || !VerQueryValueA(m_data.data(), key.c_str(), &value, &length) || length == 0)
            return "(none)";
        return static_cast<const char*>(value);
    }

private:
    mutable std::vector<char> m_data;
};

struct Deliverable {
    const char* pszFile;
    DWORD       dwFileType;
};

const Deliverable kDeliverables[] = {
    {"Tendwick.exe", VFT_APP},
    {"Dormantis.exe", VFT_APP},
    {"mediacheck.exe", VFT_APP},
    {"Retenta.dll", VFT_DLL},
};

const DWORD kVersionMs = (UNIT_VERSION_MAJOR << 16) | UNIT_VERSION_MINOR;
const DWORD kVersionLs = UNIT_VERSION_PATCH << 16;

} // namespace

TEST(VersionResource, EveryDeliverableCarriesTheProjectVersion)
{
    const std::string folder = Folder();
    for (const Deliverable& file : kDeliverables) {
        SCOPED_TRACE(folder + file.pszFile);
        CVersionInfo info(folder + file.pszFile);
        ASSERT_TRUE(info.Present()) << "no version resource (error " << GetLastError() << ")";
        const VS_FIXEDFILEINFO* fixed = info.Fixed();
        ASSERT_NE(nullptr, fixed);
        EXPECT_EQ(kVersionMs, fixed->dwFileVersionMS);
        EXPECT_EQ(kVersionLs, fixed->dwFileVersionLS);
        EXPECT_EQ(kVersionMs, fixed->dwProductVersionMS);
        EXPECT_EQ(kVersionLs, fixed->dwProductVersionLS);
        EXPECT_EQ(file.dwFileType, fixed->dwFileType);
        EXPECT_EQ(UNIT_VERSION_TEXT, info.String("FileVersion"));
        EXPECT_EQ(UNIT_VERSION_TEXT, info.String("ProductVersion"));
        EXPECT_EQ(UNIT_PRODUCT_NAME_TEXT, info.String("ProductName"));
        EXPECT_EQ(file.pszFile, info.String("OriginalFilename"));
    }
}
