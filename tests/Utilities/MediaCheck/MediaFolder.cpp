#include "MediaFolder.h"

#include "Crc32.h"

#include <atomic>
#include <chrono>
#include <fstream>

CMediaFolder::CMediaFolder()
{
    static std::atomic<int> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    m_root = fs::temp_directory_path() / ("mediacheck-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    fs::create_directories(Media());
    fs::create_directories(Unit());
}

CMediaFolder::~CMediaFolder()
{
    std::error_code error;
    fs::remove_all(m_root, error);
}

void CMediaFolder::Write(const std::string& relative, const std::string& bytes) const
{
    fs::path path = m_root / fs::path(relative);
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void CMediaFolder::Remove(const std::string& relative) const
{
    std::error_code error;
    fs::remove_all(m_root / fs::path(relative), error);
}

void CMediaFolder::SaveKey(const std::string& mediaName, const std::string& lines) const
{
    Write("media/ZelConfig/Persist/" + mediaName, KeyFile(lines));
}

void CMediaFolder::UnitKey(const std::string& subdirAndKey, const std::string& lines) const
{
    Write("unit/" + subdirAndKey + ".pri", KeyFile(lines));
}

void CMediaFolder::CompleteSave() const
{
    const std::string hive = "regf hive bytes\n";
    Write("media/ZelConfig/CorvaneUserRegistry.reg", hive);
    Write("media/ZelConfig/CorvaneUserRegistry.chk",
          std::to_string(static_cast<int32_t>(keyfile::Crc32(hive.data(), hive.size()))) + "\n");
    Write("media/ZelConfig/SWPartNum.txt", "A1234|612-00340-800 Rev 0");
    Write("media/ZelConfig/Persist/AddressBook.txt", "book\r\n");
    SaveKey("DatalinkPersist-Client.pri", "\"Revision\"=dword:1\r\n\"UnitTag\"=string:\"Unit A Client\"\r\n");
    SaveKey("ShellPersist-ShellConfig.pri",
            "\"ExternalVideo\"=bool:1\r\n\"KnobLevels\"=dword:2\r\n\"Owner\"=string:\"Unit A\"\r\n");
    SaveKey("ShellPersist-Config-CFG_RADAR.pri", "\"CI_FACTORY_CONFIGURED\"=string:\"0\"\r\n");
    SaveKey("RadarPersist-InstallConfig.pri", "\"Antenna\"=dword:12\r\n");
}
