// The framework's file exception and string.
#include "FileException.h"
#include "FrameworkString.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(FileException, CarriesCauseErrorAndFileNameByValue)
{
    try {
        CFileException::ThrowOsError(ERROR_FILE_NOT_FOUND, "E:\\ZelConfig\\SWPartNum.txt");
        FAIL() << "no exception";
    } catch (const CException& base) {
        const CFileException* e = dynamic_cast<const CFileException*>(&base);
        ASSERT_NE(nullptr, e);
        EXPECT_EQ(CFileException::fileNotFound, e->m_cause);
        EXPECT_EQ(2, e->m_lOsError);
        EXPECT_STREQ("E:\\ZelConfig\\SWPartNum.txt", e->m_strFileName);
        std::string text = e->GetMessageText();
        EXPECT_EQ(0u, text.find("E:\\ZelConfig\\SWPartNum.txt: ")) << text;
        EXPECT_GT(text.size(), std::strlen("E:\\ZelConfig\\SWPartNum.txt: ")) << text;
    }
}

TEST(FileException, CausesFollowTheOperatingSystemError)
{
    EXPECT_EQ(CFileException::none, CFileException::OsErrorToException(0));
    EXPECT_EQ(CFileException::badPath, CFileException::OsErrorToException(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(CFileException::accessDenied, CFileException::OsErrorToException(ERROR_ACCESS_DENIED));
    EXPECT_EQ(CFileException::hardIO, CFileException::OsErrorToException(ERROR_CRC));
    EXPECT_EQ(CFileException::sharingViolation, CFileException::OsErrorToException(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(CFileException::diskFull, CFileException::OsErrorToException(ERROR_DISK_FULL));
    EXPECT_EQ(CFileException::genericException, CFileException::OsErrorToException(ERROR_NOT_ENOUGH_MEMORY));
}

TEST(FileException, MessageTextIsCutToTheCallersBuffer)
{
    CFileException e(CFileException::genericException, 987654, nullptr);
    EXPECT_STREQ("", e.m_strFileName);
    std::string text = e.GetMessageText();
    EXPECT_FALSE(text.empty());
    char small[6];
    std::memset(small, 'Z', sizeof(small));
    EXPECT_TRUE(e.GetErrorMessage(small, 5));
    EXPECT_EQ(text.substr(0, 4), std::string(small));
    EXPECT_EQ('Z', small[5]);
    EXPECT_FALSE(e.GetErrorMessage(small, 0));
}

TEST(FrameworkString, TheOperationsTheRegistryHelpersUse)
{
    CString path = "HKEY_CURRENT_USER\\Software\\Corvane";
    EXPECT_EQ(17, path.Find('\\'));
    EXPECT_STREQ("HKEY_CURRENT_USER", path.Left(17));
    EXPECT_STREQ("Software\\Corvane", path.Mid(18));
    EXPECT_STREQ("", path.Mid(100));
    EXPECT_STREQ(path, path.Left(100));
    EXPECT_EQ(-1, CString("none").Find('\\'));
    EXPECT_STREQ("ab", CString("ab\0cd", 5));
    EXPECT_STREQ("abc", CString("abcdef", 3));
    EXPECT_TRUE(CString(nullptr).IsEmpty());
    CString text = "x";
    text.Empty();
    EXPECT_EQ(0, text.GetLength());
}

} // namespace
