// The checksum of a whole file.
#include "EngineFixture.h"

namespace {

class FileCrc : public EngineTest {
protected:
    std::string Path(const char* name) { return PersistRoot() + name; }
    static std::string Pattern(size_t length)
    {
        std::string bytes(length, '\0');
        for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>((i * 7 + 3) & 0xFF);
        return bytes;
    }
};

TEST_F(FileCrc, SumsEveryByteOfTheFile)
{
    struct Case {
        const char* name;
        std::string bytes;
        uint32_t    expected;
    } cases[] = {
        {"empty.bin", "", 0u},
        {"check.bin", "123456789", 0x89A1897Fu},
        {"two-blocks.bin", Pattern(16384), 0x595D041Cu},   // ends with a read of 0 bytes
        {"one-over.bin", Pattern(8193), 0x4580004Bu},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(WriteFileMakingFolders(Path(c.name), c.bytes));
        uint32_t crc = 0xDEADBEEF;
        EXPECT_EQ(0u, CRunMaint::GetFileCrc(Path(c.name).c_str(), &crc)) << c.name;
        EXPECT_EQ(c.expected, crc) << c.name << " got 0x" << std::hex << crc;
    }
}

TEST_F(FileCrc, AFileHeldOpenElsewhereIsNotSummed)
{
    ASSERT_TRUE(WriteFileMakingFolders(Path("held.bin"), "123456789"));
    HANDLE other = CreateFileA(Path("held.bin").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, other);
    uint32_t crc = 0xDEADBEEF;
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), CRunMaint::GetFileCrc(Path("held.bin").c_str(), &crc));
    EXPECT_EQ(0xDEADBEEFu, crc) << "nothing stored";
    CloseHandle(other);
}

TEST_F(FileCrc, MissingArgumentsAndFiles)
{
    uint32_t crc = 0xDEADBEEF;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_DATA), CRunMaint::GetFileCrc(nullptr, &crc));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_DATA), CRunMaint::GetFileCrc(Path("x").c_str(), nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), CRunMaint::GetFileCrc(Path("missing.bin").c_str(), &crc));
    EXPECT_EQ(0xDEADBEEFu, crc);
}

LRESULT CALLBACK CountProc(HWND hwnd, UINT message, WPARAM w, LPARAM l)
{
    if (message == WM_APP + 2) ++*reinterpret_cast<int*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    return DefWindowProcA(hwnd, message, w, l);
}

TEST_F(FileCrc, PendingMessagesAreHandledAfterEachBlock)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = CountProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "EngineTestCrcCounter";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowA(wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(nullptr, hwnd);
    int count = 0;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&count));
    for (int i = 0; i < 5; ++i) PostMessageA(hwnd, WM_APP + 2, 0, 0);

    ASSERT_TRUE(WriteFileMakingFolders(Path("small.bin"), "abc"));
    uint32_t crc = 0;
    EXPECT_EQ(0u, CRunMaint::GetFileCrc(Path("small.bin").c_str(), &crc));
    EXPECT_EQ(5, count) << "all of them, after the one block";
    DestroyWindow(hwnd);
}

} // namespace
