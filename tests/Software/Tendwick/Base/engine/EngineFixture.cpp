#include "EngineFixture.h"

#include <memory>

#include "Retenta.h"

#include <algorithm>
#include <cstdio>

namespace {

// Creates the key (and its parents), remembering those that were missing.
HKEY CreateKeyRemembering(HKEY root, const std::string& key, std::vector<std::string>& created)
{
    size_t at = 0;
    for (;;) {
        size_t next = key.find('\\', at);
        std::string part = key.substr(0, next);
        if (!RegistryKeyExists(root, part)) created.push_back(part);
        HKEY h = nullptr;
        if (RegCreateKeyExA(root, part.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) != ERROR_SUCCESS)
            return nullptr;
        if (next == std::string::npos) return h;
        RegCloseKey(h);
        at = next + 1;
    }
}

int g_testSerial = 0;

} // namespace

HKEY RegistrySandbox::Prepare(HKEY root, const std::string& key, const char* name)
{
    std::vector<std::string> created;
    HKEY h = CreateKeyRemembering(root, key, created);
    for (const std::string& k : created) m_created.push_back({root, k});
    if (!h) {
        ADD_FAILURE() << "cannot create registry key " << key;
        return nullptr;
    }
    bool known = std::any_of(m_saved.begin(), m_saved.end(), [&](const Saved& s) {
        return s.root == root && s.key == key && s.name == name;
    });
    if (!known) {
        Saved saved{root, key, name, false, 0, {}};
        DWORD size = 0;
        if (RegQueryValueExA(h, name, nullptr, &saved.type, nullptr, &size) == ERROR_SUCCESS) {
            saved.data.resize(size);
            if (RegQueryValueExA(h, name, nullptr, &saved.type, saved.data.data(), &size) == ERROR_SUCCESS) {
                saved.existed = true;
                saved.data.resize(size);
            }
        }
        m_saved.push_back(saved);
    }
    return h;
}

void RegistrySandbox::SetString(HKEY root, const std::string& key, const char* name, const std::string& text)
{
    SetRawString(root, key, name, std::string(text.c_str(), text.size() + 1));
}

void RegistrySandbox::SetRawString(HKEY root, const std::string& key, const char* name, const std::string& bytes)
{
    HKEY h = Prepare(root, key, name);
    if (!h) return;
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(bytes.data()),
                                            static_cast<DWORD>(bytes.size())));
    RegCloseKey(h);
}

void RegistrySandbox::SetDword(HKEY root, const std::string& key, const char* name, DWORD value)
{
    HKEY h = Prepare(root, key, name);
    if (!h) return;
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(h, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4));
    RegCloseKey(h);
}

void RegistrySandbox::Delete(HKEY root, const std::string& key, const char* name)
{
    if (!RegistryKeyExists(root, key)) return;
    HKEY h = Prepare(root, key, name);
    if (!h) return;
    RegDeleteValueA(h, name);
    RegCloseKey(h);
}

void RegistrySandbox::AdoptKey(HKEY root, const std::string& key)
{
    if (!RegistryKeyExists(root, key)) m_created.push_back({root, key});
}

void RegistrySandbox::RestoreAll()
{
    for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
        HKEY h = nullptr;
        if (RegOpenKeyExA(it->root, it->key.c_str(), 0, KEY_ALL_ACCESS, &h) != ERROR_SUCCESS) continue;
        if (it->existed)
            RegSetValueExA(h, it->name.c_str(), 0, it->type, it->data.data(), static_cast<DWORD>(it->data.size()));
        else
            RegDeleteValueA(h, it->name.c_str());
        RegCloseKey(h);
    }
    m_saved.clear();
    // Deepest first: a created key goes only when nothing else was left in it.
    std::sort(m_created.begin(), m_created.end(),
              [](const CreatedKey& a, const CreatedKey& b) { return a.key.size() > b.key.size(); });
    for (const CreatedKey& k : m_created) DeleteRegistryTree(k.root, k.key);
    m_created.clear();
}

bool RegistryKeyExists(HKEY root, const std::string& key)
{
    HKEY h = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    RegCloseKey(h);
    return true;
}

void DeleteRegistryTree(HKEY root, const std::string& key)
{
    HKEY h = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_ALL_ACCESS, &h) != ERROR_SUCCESS) return;
    std::vector<std::string> children;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof(name);
        if (RegEnumKeyExA(h, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        children.emplace_back(name, length);
    }
    RegCloseKey(h);
    for (const std::string& child : children) DeleteRegistryTree(root, key + "\\" + child);
    RegDeleteKeyA(root, key.c_str());
}

std::vector<std::string> LogLines()
{
    LogCapture().Flush();
    return LogCapture().Texts();
}

void ClearLog()
{
    LogCapture().Flush();
    LogCapture().Clear();
}

size_t LoggedAt(const char* label, const std::string& message)
{
    // "YYYY/MM/DD hh:mm:ss LABEL: message"
    std::string tail = std::string(" ") + label + ": " + message;
    size_t count = 0;
    for (const std::string& line : LogLines())
        if (line.size() == 19 + tail.size() && line.compare(19, std::string::npos, tail) == 0) ++count;
    return count;
}

std::vector<std::string> LoggedMessages(const std::string& part)
{
    std::vector<std::string> messages;
    for (const std::string& line : LogLines()) {
        if (line.find(part) == std::string::npos) continue;
        size_t colon = line.find(": ", 19);
        messages.push_back(colon == std::string::npos ? line : line.substr(colon + 2));
    }
    return messages;
}

void EngineTest::SetUp()
{
    ASSERT_NE(static_cast<UINT>(DRIVE_NO_ROOT_DIR), GetDriveTypeA("E:\\")) << "the tests need the media drive E: (tools/wine-prefix.sh)";
    ASSERT_TRUE(LogCapture().Active()) << "no debug-output reader";

    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof(temp), temp);
    m_tempRoot = std::string(temp) + "tendwick-engine-" + std::to_string(GetCurrentProcessId()) + "-" +
                 std::to_string(++g_testSerial);
    RemoveTree(m_tempRoot);
    ASSERT_TRUE(CreateDirectoryA(m_tempRoot.c_str(), nullptr)) << m_tempRoot;
    m_persistRoot = m_tempRoot + "\\";
    ASSERT_TRUE(SetPersistBasePath(m_persistRoot.c_str()));

    registry.SetString(HKEY_CURRENT_USER, kCorvane, "PersistPath", m_persistRoot);
    registry.Delete(HKEY_CURRENT_USER, kCorvane, "DataPath");
    registry.Delete(HKEY_CURRENT_USER, kCorvane, "CDROM");
    registry.Delete(HKEY_CURRENT_USER, kSysSetup, "SerialNumber");

    RemoveTree(kMediaConfig);
    DeleteFileA("E:\\dontDisable.dat");
    // The hive copy a save keeps names the save that disabled the unit.
    DeleteFileA("C:\\CopyOfCorvaneUserReg.reg");
    ClearLog();
}

void EngineTest::TearDown()
{
    RemoveTree(kMediaConfig);
    DeleteFileA("E:\\dontDisable.dat");
    DeleteFileA("C:\\CopyOfCorvaneUserReg.reg");
    registry.RestoreAll();
    if (!m_tempRoot.empty()) RemoveTree(m_tempRoot);
}

void EngineTest::StoreString(const char* subdir, const char* key, const char* name, const char* value)
{
    ASSERT_NE(PERS_FAILED, PersistOneString(subdir, key, 1000, name, value)) << subdir << "\\" << key << " " << name;
}

std::string EngineTest::ReadStoreString(const char* subdir, const char* key, const char* name)
{
    char buffer[1100] = {};
    long result = GetOnePersistedString(subdir, key, 1000, name, sizeof(buffer), buffer, nullptr);
    return result == PERS_FAILED ? std::string("<missing>") : std::string(buffer);
}

void NoCorvaneKeyTest::SetUp()
{
    // The store creates the key, empty, when it loads; an empty key can go
    // for the test and come back after it. One with content stays.
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kCorvane, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        DWORD subkeys = 1, values = 1;
        RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr);
        RegCloseKey(key);
        if (subkeys != 0 || values != 0)
            GTEST_SKIP() << "HKCU\\Software\\Corvane holds settings; not removing it";
        ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CURRENT_USER, kCorvane));
        m_recreate = true;
    }
    ClearLog();
}

void NoCorvaneKeyTest::TearDown()
{
    if (!m_recreate) return;
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kCorvane, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) ==
        ERROR_SUCCESS)
        RegCloseKey(key);
}

namespace {

std::unique_ptr<CRunContext> g_run;
RestoreOutcome g_undoOutcome;

} // namespace

CRunContext& FreshRun(const CRunMaint& engine)
{
    g_run.reset();
    g_run.reset(new CRunContext(engine.LastSurvey().unit.part.c_str()));
    return *g_run;
}

bool UndoSave(const CRunMaint& engine)
{
    return CDisabling(FreshRun(engine)).UndoSave(&g_undoOutcome);
}

const RestoreOutcome& LastUndoOutcome()
{
    return g_undoOutcome;
}
