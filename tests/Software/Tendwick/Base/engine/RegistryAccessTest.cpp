// The registry helpers, below a throwaway key of the current user.
#include "EngineFixture.h"

#include "RegistryAccess.h"

namespace {

class RegistryAccess : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        m_key = std::string(kCorvane) + "\\EngineTest" + std::to_string(GetCurrentProcessId());
        registry.AdoptKey(HKEY_CURRENT_USER, m_key);
        DeleteRegistryTree(HKEY_CURRENT_USER, m_key);
    }
    void TearDown() override
    {
        DeleteRegistryTree(HKEY_CURRENT_USER, m_key);
        EngineTest::TearDown();
    }
    const std::string& Key() const { return m_key; }
    std::string FullPath() const { return "HKEY_CURRENT_USER\\" + m_key; }

private:
    std::string m_key;
};

TEST_F(RegistryAccess, FullPathsNameTheirRootExactly)
{
    HKEY root = OpenRegistryPath("HKEY_CURRENT_USER", false);
    ASSERT_NE(nullptr, root) << "the root itself";
    HKEY software = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(root, "Software", 0, KEY_READ, &software));
    RegCloseKey(software);
    RegCloseKey(root);

    EXPECT_EQ(nullptr, OpenRegistryPath("hkey_current_user", false));
    EXPECT_EQ(nullptr, OpenRegistryPath("hkey_current_user\\Software", true));
    EXPECT_EQ(nullptr, OpenRegistryPath("HKEY_BOGUS\\Software", true));
    EXPECT_EQ(nullptr, OpenRegistryPath("", false));

    HKEY machine = OpenRegistryPath("HKEY_LOCAL_MACHINE\\SYSTEM", false);
    EXPECT_NE(nullptr, machine);
    RegCloseKey(machine);
}

TEST_F(RegistryAccess, FullPathWritersCreateMissingKeys)
{
    std::string path = FullPath() + "\\Services\\EventLog\\Application\\Maint";
    EXPECT_EQ(nullptr, OpenRegistryPath(path.c_str(), false));
    EXPECT_TRUE(WriteRegistryPathString(path.c_str(), "EventMessageFile", "C:\\zelsys\\Tendwick.exe"));
    EXPECT_TRUE(WriteRegistryPathDword(path.c_str(), "TypesSupported", 7));

    HKEY key = OpenRegistryPath(path.c_str(), false);
    ASSERT_NE(nullptr, key);
    CString text;
    EXPECT_TRUE(QueryRegistryString(key, "EventMessageFile", text));
    EXPECT_STREQ("C:\\zelsys\\Tendwick.exe", text);
    DWORD type = 0, value = 0, size = sizeof(value);
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "TypesSupported", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(4u, size);
    EXPECT_EQ(7u, value);
    RegCloseKey(key);

    EXPECT_FALSE(WriteRegistryPathString("HKEY_NOWHERE\\x", "v", "t"));
}

TEST_F(RegistryAccess, StringsRoundTripAndEmptyIsOneNul)
{
    HKEY key = OpenRegistryKey(HKEY_CURRENT_USER, Key().c_str(), true);
    ASSERT_NE(nullptr, key);
    EXPECT_TRUE(SetRegistryString(key, "oemlogo", "C:\\zelsys\\splash.bmp"));
    CString text = "stale";
    EXPECT_TRUE(QueryRegistryString(key, "oemlogo", text));
    EXPECT_STREQ("C:\\zelsys\\splash.bmp", text);

    EXPECT_TRUE(SetRegistryString(key, "empty", ""));
    DWORD type = 0, size = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "empty", nullptr, &type, nullptr, &size));
    EXPECT_EQ(1u, size);
    text = "stale";
    EXPECT_TRUE(QueryRegistryString(key, "empty", text));
    EXPECT_TRUE(text.IsEmpty());

    // Long values are read whole; data without a NUL ends at its end.
    std::string big(10 * 1024, 'b');
    EXPECT_TRUE(SetRegistryString(key, "big", big.c_str()));
    EXPECT_TRUE(QueryRegistryString(key, "big", text));
    EXPECT_EQ(big.size(), static_cast<size_t>(text.GetLength()));
    RegSetValueExA(key, "raw", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3);
    EXPECT_TRUE(QueryRegistryString(key, "raw", text));
    EXPECT_STREQ("abc", text);
    RegCloseKey(key);
}

TEST_F(RegistryAccess, ANumberIsNoStringAndEmptiesTheResult)
{
    HKEY key = OpenRegistryKey(HKEY_CURRENT_USER, Key().c_str(), true);
    ASSERT_NE(nullptr, key);
    EXPECT_TRUE(SetRegistryDword(key, "Map", 5));
    CString text = "stale";
    EXPECT_FALSE(QueryRegistryString(key, "Map", text));
    EXPECT_STREQ("stale", text) << "a failed query leaves the result";
    RegCloseKey(key);

    EXPECT_FALSE(engine.ReadRegistryString(HKEY_CURRENT_USER, Key().c_str(), "Map", text));
    EXPECT_TRUE(text.IsEmpty());
    text = "stale";
    EXPECT_FALSE(engine.ReadRegistryString(HKEY_CURRENT_USER, (Key() + "\\Missing").c_str(), "Map", text));
    EXPECT_TRUE(text.IsEmpty());
}

TEST_F(RegistryAccess, KeyPathWritersNeverCreateKeys)
{
    std::string missing = Key() + "\\ZelMenu\\Apps";
    EXPECT_FALSE(engine.WriteRegistryString(HKEY_CURRENT_USER, missing.c_str(), "Map", "x"));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, missing));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, Key()));
    EXPECT_EQ(nullptr, OpenRegistryKey(HKEY_CURRENT_USER, missing.c_str(), false));

    HKEY created = OpenRegistryKey(HKEY_CURRENT_USER, missing.c_str(), true);
    ASSERT_NE(nullptr, created);
    RegCloseKey(created);
    EXPECT_TRUE(engine.WriteRegistryString(HKEY_CURRENT_USER, missing.c_str(), "Map", "map.exe,C:\\Zelsys,0"));
    CString text;
    EXPECT_TRUE(engine.ReadRegistryString(HKEY_CURRENT_USER, missing.c_str(), "Map", text));
    EXPECT_STREQ("map.exe,C:\\Zelsys,0", text);
}

} // namespace
