// A key's block grows within the store's limits, and a refusal speaks as the
// store's detail codes do: set in the last-error value and written with its
// line feed. The shared region itself says nothing.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ChildProcess.h"
#include "DbwinCapture.h"
#include "KeyGrowth.h"
#include "Retenta.h"
#include "TestFiles.h"

namespace {

const char kTooLarge[] = "PERS_FAILED_MAX_KEY_SIZE_REACHED\n";
const char kNotCreated[] = "PERS_FAILED_VALUE_MISSING_NOT_CREATED\n";

TEST(KeyGrowth, CapacitiesCodesAndTexts)
{
    struct Row {
        bool        reserve;   // the load's request instead of an edit's
        DWORD       bytes;
        DWORD       detail;
        DWORD       capacity;
        const char* text;
    };
    const Row rows[] = {
        {false, 4095, 0, 4096, nullptr},
        {false, 4096, 0, 8192, nullptr},
        {false, 7679, 0, 8192, nullptr},
        {false, 7680, 0, 12288, nullptr},
        {false, 65023, 0, 65536, nullptr},
        {false, 65024, PERS_FAILED_MAX_KEY_SIZE_REACHED, 4096, kTooLarge},
        {true, 4097, 0, 8192, nullptr},
        {true, 65536, 0, 65536, nullptr},
        {true, 65537, PERS_FAILED_MAX_KEY_SIZE_REACHED, 4096, kTooLarge},
    };
    DbwinCapture capture;
    ASSERT_TRUE(capture.Active());
    for (const Row& row : rows) {
        SCOPED_TRACE((row.reserve ? "reserve " : "grow ") + std::to_string(row.bytes));
        SharedMemory memory;
        ASSERT_EQ(S_OK, memory.Create(UniqueName("c:/growtest/key").c_str(), 1, 4096));
        ASSERT_TRUE(memory.LockWrite(1000));
        capture.Clear();
        SetLastError(0xdeadbeef);
        DWORD detail = row.reserve ? ReserveKeyBlock(memory, row.bytes) : GrowKeyBlock(memory, row.bytes);
        DWORD lastError = GetLastError();
        EXPECT_EQ(row.detail, detail);
        if (row.detail) {
            EXPECT_EQ(row.detail, lastError);
        }
        EXPECT_EQ(row.capacity, memory.GetCapacity());
        memory.UnlockWrite(0);
        ASSERT_TRUE(capture.Flush());
        EXPECT_EQ(row.text ? std::vector<std::string>{row.text} : std::vector<std::string>{}, capture.Texts());
    }
}

TEST(KeyGrowth, SharedOrFailedBlockIsValueMissingNotCreated)
{
    DbwinCapture capture;
    ASSERT_TRUE(capture.Active());
    std::string name = UniqueName("c:/growtest/shared");
    SharedMemory first, second;
    ASSERT_EQ(S_OK, first.Create(name.c_str(), 1, 4096));
    ASSERT_EQ(S_OK, second.Create(name.c_str(), 1, 4096));
    ASSERT_TRUE(first.LockWrite(1000));
    SetLastError(0);
    EXPECT_EQ(static_cast<DWORD>(PERS_FAILED_VALUE_MISSING_NOT_CREATED), GrowKeyBlock(first, 5000));
    EXPECT_EQ(static_cast<DWORD>(PERS_FAILED_VALUE_MISSING_NOT_CREATED), GetLastError());
    EXPECT_EQ(static_cast<DWORD>(PERS_FAILED_VALUE_MISSING_NOT_CREATED), ReserveKeyBlock(first, 5000));
    first.UnlockWrite(0);
    EXPECT_EQ(static_cast<DWORD>(PERS_FAILED_VALUE_MISSING_NOT_CREATED), ReportGrowth(GrowResult::Failed));
    EXPECT_EQ(0u, ReportGrowth(GrowResult::Fits));
    ASSERT_TRUE(capture.Flush());
    EXPECT_EQ((std::vector<std::string>{kNotCreated, kNotCreated, kNotCreated}), capture.Texts());
}

} // namespace
