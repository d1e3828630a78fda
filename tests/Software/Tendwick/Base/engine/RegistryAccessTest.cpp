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
    UniqueRegKey root = OpenRegistryPath("HKEY_CURRENT_USER", false);
    ASSERT_TRUE(root) << "the root itself";
    UniqueRegKey software;
    EXPECT_EQ(ERROR_SUCCESS, software.Open(root.get(), "Software", KEY_READ));

    EXPECT_FALSE(OpenRegistryPath("hkey_current_user", false));
    EXPECT_FALSE(OpenRegistryPath("hkey_current_user\\Software", true));
    EXPECT_FALSE(OpenRegistryPath("HKEY_BOGUS\\Software", true));
    EXPECT_FALSE(OpenRegistryPath("", false));

    UniqueRegKey machine = OpenRegistryPath("HKEY_LOCAL_MACHINE\\SYSTEM", false);
    EXPECT_TRUE(machine);
}

TEST_F(RegistryAccess, FullPathWritersCreateMissingKeys)
{
    std::string path = FullPath() + "\\Services\\EventLog\\Application\\Maint";
    EXPECT_FALSE(OpenRegistryPath(path.c_str(), false));
    EXPECT_TRUE(WriteRegistryPathString(path.c_str(), "EventMessageFile", "C:\\zelsys\\Tendwick.exe"));
    EXPECT_TRUE(WriteRegistryPathDword(path.c_str(), "TypesSupported", 7));

    UniqueRegKey key = OpenRegistryPath(path.c_str(), false);
    ASSERT_TRUE(key);
    CString text;
    EXPECT_TRUE(QueryRegistryString(key.get(), "EventMessageFile", text));
    EXPECT_STREQ("C:\\zelsys\\Tendwick.exe", text);
    DWORD type = 0, value = 0, size = sizeof(value);
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key.get(), "TypesSupported", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(4u, size);
    EXPECT_EQ(7u, value);

    EXPECT_FALSE(WriteRegistryPathString("HKEY_NOWHERE\\x", "v", "t"));
}

TEST_F(RegistryAccess, StringsRoundTripAndEmptyIsOneNul)
{
    UniqueRegKey key = OpenRegistryKey(HKEY_CURRENT_USER, Key().c_str(), true);
    ASSERT_TRUE(key);
    EXPECT_TRUE(SetRegistryString(key.get(), "oemlogo", "C:\\zelsys\\splash.bmp"));
    CString text = "stale";
    EXPECT_TRUE(QueryRegistryString(key.get(), "oemlogo", text));
    EXPECT_STREQ("C:\\zelsys\\splash.bmp", text);

    EXPECT_TRUE(SetRegistryString(key.get(), "empty", ""));
    DWORD type = 0, size = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key.get(), "empty", nullptr, &type, nullptr, &size));
    EXPECT_EQ(1u, size);
    text = "stale";
    EXPECT_TRUE(QueryRegistryString(key.get(), "empty", text));
    EXPECT_TRUE(text.IsEmpty());

    // Long values are read whole; data without a NUL ends at its end.
    std::string big(10 * 1024, 'b');
    EXPECT_TRUE(SetRegistryString(key.get(), "big", big.c_str()));
    EXPECT_TRUE(QueryRegistryString(key.get(), "big", text));
    EXPECT_EQ(big.size(), static_cast<size_t>(text.GetLength()));
    RegSetValueExA(key.get(), "raw", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3);
    EXPECT_TRUE(QueryRegistryString(key.get(), "raw", text));
    EXPECT_STREQ("abc", text);
}

TEST_F(RegistryAccess, ANumberIsNoStringAndEmptiesTheResult)
{
    UniqueRegKey key = OpenRegistryKey(HKEY_CURRENT_USER, Key().c_str(), true);
    ASSERT_TRUE(key);
    EXPECT_TRUE(SetRegistryDword(key.get(), "Map", 5));
    CString text = "stale";
    EXPECT_FALSE(QueryRegistryString(key.get(), "Map", text));
    EXPECT_STREQ("stale", text) << "a failed query leaves the result";

    EXPECT_FALSE(ReadRegistryString(HKEY_CURRENT_USER, Key().c_str(), "Map", text));
    EXPECT_TRUE(text.IsEmpty());
    text = "stale";
    EXPECT_FALSE(ReadRegistryString(HKEY_CURRENT_USER, (Key() + "\\Missing").c_str(), "Map", text));
    EXPECT_TRUE(text.IsEmpty());
}

TEST_F(RegistryAccess, KeyPathWritersNeverCreateKeys)
{
    std::string missing = Key() + "\\ZelMenu\\Apps";
    EXPECT_FALSE(WriteRegistryString(HKEY_CURRENT_USER, missing.c_str(), "Map", "x"));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, missing));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, Key()));
    EXPECT_FALSE(OpenRegistryKey(HKEY_CURRENT_USER, missing.c_str(), false));

    ASSERT_TRUE(OpenRegistryKey(HKEY_CURRENT_USER, missing.c_str(), true));
    EXPECT_TRUE(WriteRegistryString(HKEY_CURRENT_USER, missing.c_str(), "Map", "map.exe,C:\\Zelsys,0"));
    CString text;
    EXPECT_TRUE(ReadRegistryString(HKEY_CURRENT_USER, missing.c_str(), "Map", text));
    EXPECT_STREQ("map.exe,C:\\Zelsys,0", text);
}

} // namespace
