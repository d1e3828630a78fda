#include "StoreTestSupport.h"

#include <atomic>
#include <cstdio>
#include <thread>

#include "KeyFileCheck.h"

namespace {

const char* ResultName(long result)
{
    switch (result) {
    case PERS_FAILED:       return "PERS_FAILED";
    case PERS_SUCCESS_INFO: return "PERS_SUCCESS_INFO";
    case PERS_SUCCESS:      return "PERS_SUCCESS";
    default:                return "(no store result)";
    }
}

HKEY OpenCorvane()
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Corvane", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

long ControlField(const std::string& sharedName, int index)
{
    HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, (sharedName + "_Data").c_str());
    if (!mapping) return -1;
    long value = -1;
    if (auto* fields = static_cast<const volatile LONG*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 28))) {
        value = fields[index];
        UnmapViewOfFile(const_cast<LONG*>(fields));
    }
    CloseHandle(mapping);
    return value;
}

} // namespace

std::ostream& operator<<(std::ostream& os, const Outcome& o)
{
    char detail[16];
    std::snprintf(detail, sizeof detail, "0x%04lX", static_cast<unsigned long>(o.detail));
    os << ResultName(o.result);
    if (o.anyDetail) return os << " (any detail)";
    return os << " / " << detail;
}

void OnThread(const std::function<void()>& body)
{
    std::thread worker(body);
    worker.join();
}

DbwinCapture& DebugOutput()
{
    static DbwinCapture capture;
    return capture;
}

std::vector<std::string> TextsDuring(const std::function<void()>& body)
{
    DbwinCapture& capture = DebugOutput();
    EXPECT_TRUE(capture.Active()) << "another reader of the debug output is running";
    capture.Flush();
    capture.Clear();
    OnThread(body);
    EXPECT_TRUE(capture.Flush()) << "the debug output did not arrive";
    return capture.Texts();
}

std::string Visible(const std::string& bytes)
{
    std::string out;
    for (char c : bytes) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n\n";
        else if (c == '\0') out += "\\0";
        else out += c;
    }
    return out;
}

std::string KeyFile(const std::string& lines)
{
    return lines + keycheck::CrcLine(lines);
}

bool DriveExists(char letter)
{
    if (letter >= 'A' && letter <= 'Z') letter = static_cast<char>(letter - 'A' + 'a');
    return (GetLogicalDrives() >> (letter - 'a')) & 1;
}

TempStoreDir::TempStoreDir()
{
    static std::atomic<unsigned> serial{0};
    char name[64];
    std::snprintf(name, sizeof name, "rt-%lu-%u", static_cast<unsigned long>(GetCurrentProcessId()), ++serial);
    if (DriveExists('d')) {
        m_path = std::string("D:\\") + name;
    } else {
        char temp[MAX_PATH];
        DWORD n = GetTempPathA(sizeof temp, temp);
        m_path = std::string(temp, n) + name;
    }
    CreateDirectoryA(m_path.c_str(), nullptr);
}

TempStoreDir::~TempStoreDir()
{
    RemoveTree(m_path);
    for (char drive : {'e', 'q'}) {
        if (DriveExists(drive)) RemoveTree(OnDrive(drive));
    }
}

std::string TempStoreDir::OnDrive(char letter) const
{
    return std::string(1, letter) + m_path.substr(1);
}

CorvaneValue::CorvaneValue(const char* name) : m_name(name)
{
    HKEY key = OpenCorvane();
    if (!key) return;
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, &m_type, nullptr, &size) == ERROR_SUCCESS) {
        m_old.resize(size);
        m_had = RegQueryValueExA(key, name, nullptr, &m_type, m_old.data(), &size) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
}

CorvaneValue::~CorvaneValue()
{
    HKEY key = OpenCorvane();
    if (!key) return;
    if (m_had) RegSetValueExA(key, m_name.c_str(), 0, m_type, m_old.data(), static_cast<DWORD>(m_old.size()));
    else RegDeleteValueA(key, m_name.c_str());
    RegCloseKey(key);
}

void CorvaneValue::Set(const std::string& value)
{
    HKEY key = OpenCorvane();
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, m_name.c_str(), 0, REG_SZ,
                                            reinterpret_cast<const BYTE*>(value.c_str()),
                                            static_cast<DWORD>(value.size() + 1)));
    RegCloseKey(key);
}

void CorvaneValue::Remove()
{
    HKEY key = OpenCorvane();
    if (!key) return;
    RegDeleteValueA(key, m_name.c_str());
    RegCloseKey(key);
}

std::string SharedKeyName(const std::string& keyDirectory, const std::string& keyName)
{
    std::string name;
    for (size_t i = 0; i < keyDirectory.size(); ++i) {
        char c = keyDirectory[i];
        if (c == '\\' && i + 1 < keyDirectory.size() && keyDirectory[i + 1] == '\\') continue;
        name += c == '\\' ? '/' : c;
    }
    name += "/" + keyName;
    for (char& c : name)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return name;
}

long SharedKeyUsers(const std::string& sharedName) { return ControlField(sharedName, 0); }
long SharedKeyCapacity(const std::string& sharedName) { return ControlField(sharedName, 5); }

void StoreTest::SetUp()
{
    m_dir = new TempStoreDir();
    m_backupDrive = new CorvaneValue("PersistBkupDrive");
    m_backupDrive->Remove();
    ASSERT_TRUE(SetPersistBasePath(m_dir->Path().c_str())) << m_dir->Path();
}

void StoreTest::TearDown()
{
    delete m_backupDrive;
    delete m_dir;
    m_backupDrive = nullptr;
    m_dir = nullptr;
}

void StoreTest::PlaceKey(const std::string& sub, const std::string& key, const std::string& lines)
{
    std::string dir = m_dir->Path() + "\\" + sub;
    CreateDirectoryA(dir.c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(Pri(sub, key), KeyFile(lines)));
    ASSERT_TRUE(WriteFileBytes(Sec(sub, key), KeyFile(lines)));
}
