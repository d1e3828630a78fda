// The proof's reader that bypasses the cache, and the durable copy on the unit.
#include "EngineFixture.h"

#include "Crc32.h"
#include "DurableCopy.h"
#include "UncachedRead.h"

namespace {

std::string Bytes(size_t size)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + 7) & 0xFF);
    return bytes;
}

class UnitFileIo : public EngineTest {};

TEST_F(UnitFileIo, TheUncachedReaderSumsEveryByteInSectorSizedReads)
{
    // Sizes around the sector and block bounds: the last read is a short one.
    const std::string path = std::string(kMediaConfig) + "\\sum.bin";
    for (size_t size : {0u, 1u, 511u, 512u, 513u, 4096u, 65535u, 65536u, 65537u, 200001u}) {
        SCOPED_TRACE(size);
        const std::string bytes = Bytes(size);
        ASSERT_TRUE(WriteFileMakingFolders(path, bytes));
        uint64_t gotSize = 99;
        uint32_t gotCrc = 99;
        ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), SumFileUncached(path.c_str(), &gotSize, &gotCrc, UncachedPump::None));
        EXPECT_EQ(size, gotSize);
        EXPECT_EQ(keyfile::Crc32(bytes.data(), bytes.size()), gotCrc);
    }
}

TEST_F(UnitFileIo, TheUncachedReaderSharesTheFileWithReadersOnly)
{
    const std::string path = std::string(kMediaConfig) + "\\held.bin";
    ASSERT_TRUE(WriteFileMakingFolders(path, "held"));
    uint64_t size = 0;
    uint32_t crc = 0;
    struct Row {
        const char* what;
        DWORD       access, share, expected;
    } rows[] = {
        {"a reader that shares reading", GENERIC_READ, FILE_SHARE_READ, ERROR_SUCCESS},
        {"a reader that shares everything", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, ERROR_SUCCESS},
        {"a writer", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, ERROR_SHARING_VIOLATION},
        {"a reader that shares nothing", GENERIC_READ, 0, ERROR_SHARING_VIOLATION},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        HANDLE other = CreateFileA(path.c_str(), row.access, row.share, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, other);
        EXPECT_EQ(row.expected, SumFileUncached(path.c_str(), &size, &crc, UncachedPump::None));
        CloseHandle(other);
    }
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), SumFileUncached((path + ".none").c_str(), &size, &crc, UncachedPump::None));
}

TEST_F(UnitFileIo, TheDurableCopyIsWholeAndWritableAndTellsWhetherItTouchedTheTarget)
{
    const std::string source = PersistRoot() + "source.bin";
    const std::string target = PersistRoot() + "target.bin";
    const std::string bytes = Bytes(70000);
    ASSERT_TRUE(WriteFileMakingFolders(source, bytes));
    ASSERT_TRUE(SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(WriteFileMakingFolders(target, "older and longer than nothing"));
    bool touched = false;
    EXPECT_TRUE(CopyFileFlushed(source, target, &touched));
    EXPECT_TRUE(touched);
    EXPECT_EQ(bytes, ReadFileBytes(target));
    EXPECT_EQ(0u, GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_READONLY) << "the next copy may replace it";
    SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_NORMAL);

    // No source: the target stays as it was.
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CopyFileFlushed(source + ".none", target, &touched));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_FALSE(touched);
    EXPECT_EQ(bytes, ReadFileBytes(target));
}

TEST_F(UnitFileIo, AReplacementLeavesTheInstalledFileUntilItIsWhole)
{
    const std::string source = PersistRoot() + "source.bin";
    const std::string target = PersistRoot() + "installed.bin";
    const std::string bytes = Bytes(70000);
    ASSERT_TRUE(WriteFileMakingFolders(target, "the installed one"));
    ASSERT_TRUE(SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY));

    // No source (a stick without it): the installed file stays.
    bool replaced = true;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ReplaceFileFlushed(source, target, &replaced));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_FALSE(replaced);
    EXPECT_EQ("the installed one", ReadFileBytes(target));

    ASSERT_TRUE(WriteFileMakingFolders(source, bytes));
    EXPECT_TRUE(ReplaceFileFlushed(source, target, &replaced));
    EXPECT_TRUE(replaced) << "a read-only installed file is replaced too";
    EXPECT_EQ(bytes, ReadFileBytes(target));
    EXPECT_FALSE(FileExists(ReplacementName(target))) << "no copy left beside it";
}

} // namespace
