// Value writes, reads and deletions as the key files show them after a close.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "StoreTestSupport.h"

namespace {

class ValueOperations : public StoreTest {};

// A key the files of which the test then replaces behind the store's back:
// while the thread holds the key, the store keeps its own copy, so the files
// show afterwards whether the close wrote anything.
const char kMarkerLines[] = "\"Marker\"=string:\"written by the test\"\r\n";

TEST_F(ValueOperations, WritesProduceTheExactFile)
{
    OnThread([&] {
        EXPECT_EQ(Info(PERS_KEY_CREATED_NEW), Got(OpenPersistKey("TracePersist", "LogSettings", 1000)));
        // Reverse order: each new line goes to its sorted place.
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistDW("SuppressBelowLevel", 4, 1000)));
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistDW("MaxMessageLength  ", 1024, 1000)));
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistBool("InhibitLogOutput  ", 1, 1000)));
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistString("ExcludeThisFile   ", "none", 1000)));
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
    const std::string expected =
        "\"ExcludeThisFile   \"=string:\"none\"\r\n"
        "\"InhibitLogOutput  \"=bool:1\r\n"
        "\"MaxMessageLength  \"=dword:1024\r\n"
        "\"SuppressBelowLevel\"=dword:4\r\n"
        "CRC:2422179875\r\n";
    ASSERT_EQ(144u, expected.size());
    EXPECT_KEY_FILES(Pri("TracePersist", "LogSettings"), Sec("TracePersist", "LogSettings"), expected);
}

TEST_F(ValueOperations, EmptyKeyIsTheSevenByteFile)
{
    OnThread([&] {
        EXPECT_EQ(Info(PERS_KEY_CREATED_NEW), Got(OpenPersistKey("Sub", "Empty", 1000)));
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
    EXPECT_KEY_FILES(Pri("Sub", "Empty"), Sec("Sub", "Empty"), std::string("CRC:0\r\n"));
}

TEST_F(ValueOperations, DwordIsCreatedUnsignedAndRewrittenSigned)
{
    unsigned long read = 0;
    OnThread([&] {
        ASSERT_NE(PERS_FAILED, OpenPersistKey("Sub", "Numbers", 1000));
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistDW("All", 4294967295UL, 1000)));
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistDW("Half", 2147483648UL, 1000)));
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistDW("Zed", 7, 1000)));
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
    EXPECT_KEY_FILES(Pri("Sub", "Numbers"), Sec("Sub", "Numbers"),
                     KeyFile("\"All\"=dword:4294967295\r\n"
                             "\"Half\"=dword:2147483648\r\n"
                             "\"Zed\"=dword:7\r\n"));
    OnThread([&] {
        ASSERT_EQ(Success(), Got(OpenPersistKey("Sub", "Numbers", 1000)));
        EXPECT_EQ(Success(), Got(GetPersistedDW("All", &read, 0, 1000)));
        EXPECT_EQ(4294967295UL, read);
        // The same values again: the lines are rewritten in signed form.
        EXPECT_EQ(Success(), Got(PersistDW("All", 4294967295UL, 1000)));
        EXPECT_EQ(Success(), Got(PersistDW("Half", 2147483648UL, 1000)));
        EXPECT_EQ(Success(), Got(PersistDW("Zed", 123456, 1000)));   // more digits: the rest moves
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
    EXPECT_KEY_FILES(Pri("Sub", "Numbers"), Sec("Sub", "Numbers"),
                     KeyFile("\"All\"=dword:-1\r\n"
                             "\"Half\"=dword:-2147483648\r\n"
                             "\"Zed\"=dword:123456\r\n"));
    OnThread([&] {
        ASSERT_NE(PERS_FAILED, OpenPersistKey("Sub", "Numbers", 1000));
        read = 0;
        EXPECT_EQ(Success(), Got(GetPersistedDW("All", &read, 0, 1000)));
        EXPECT_EQ(4294967295UL, read);
        EXPECT_EQ(Success(), Got(GetPersistedDW("Half", &read, 0, 1000)));
        EXPECT_EQ(2147483648UL, read);
        EXPECT_EQ(Success(), Got(GetPersistedDW("Zed", &read, 0, 1000)));
        EXPECT_EQ(123456UL, read);
        // Fewer digits again.
        EXPECT_EQ(Success(), Got(PersistDW("All", 3, 1000)));
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
    EXPECT_KEY_FILES(Pri("Sub", "Numbers"), Sec("Sub", "Numbers"),
                     KeyFile("\"All\"=dword:3\r\n"
                             "\"Half\"=dword:-2147483648\r\n"
                             "\"Zed\"=dword:123456\r\n"));
}

TEST_F(ValueOperations, NumbersAreReadLikeAtoi)
{
    PlaceKey("Sub", "Loose",
             "\"B0\"=bool:0\r\n"
             "\"B7\"=bool:7\r\n"
             "\"Minus\"=dword:-1\r\n"
             "\"Spaced\"=dword:  42abc\r\n"
             "\"Wrapped\"=dword:4294967297\r\n");
    OnThread([&] {
        ASSERT_EQ(SuccessWith(0), Got(OpenPersistKey("Sub", "Loose", 1000)));
        unsigned long dw = 1;
        int b = 1;
        EXPECT_EQ(Success(), Got(GetPersistedBool("B0", &b, 1, 1000)));
        EXPECT_EQ(0, b);
        EXPECT_EQ(Success(), Got(GetPersistedBool("B7", &b, 0, 1000)));
        EXPECT_EQ(7, b);
        EXPECT_EQ(Success(), Got(GetPersistedDW("Minus", &dw, 0, 1000)));
        EXPECT_EQ(0xFFFFFFFFUL, dw);
        EXPECT_EQ(Success(), Got(GetPersistedDW("Spaced", &dw, 0, 1000)));
        EXPECT_EQ(42UL, dw);
        EXPECT_EQ(Success(), Got(GetPersistedDW("Wrapped", &dw, 0, 1000)));
        EXPECT_EQ(1UL, dw);
        // A bool keeps its line; only its first digit changes.
        EXPECT_EQ(Success(), Got(PersistBool("B7", 0, 1000)));
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
    EXPECT_KEY_FILES(Pri("Sub", "Loose"), Sec("Sub", "Loose"),
                     KeyFile("\"B0\"=bool:0\r\n"
                             "\"B7\"=bool:0\r\n"
                             "\"Minus\"=dword:-1\r\n"
                             "\"Spaced\"=dword:  42abc\r\n"
                             "\"Wrapped\"=dword:4294967297\r\n"));
}

TEST_F(ValueOperations, StringRewritesAndDeletesMoveTheRest)
{
    OnThread([&] {
        ASSERT_NE(PERS_FAILED, OpenPersistKey("Sub", "Texts", 1000));
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistString("A", "first", 1000)));
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistString("B", "middle", 1000)));
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistDW("C", 3, 1000)));
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistBool("D", 1, 1000)));
        EXPECT_EQ(Success(), Got(PersistString("B", "a much longer middle value", 1000)));
        EXPECT_EQ(Success(), Got(PersistString("A", "", 1000)));
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
    EXPECT_KEY_FILES(Pri("Sub", "Texts"), Sec("Sub", "Texts"),
                     KeyFile("\"A\"=string:\"\"\r\n"
                             "\"B\"=string:\"a much longer middle value\"\r\n"
                             "\"C\"=dword:3\r\n"
                             "\"D\"=bool:1\r\n"));
    OnThread([&] {
        ASSERT_NE(PERS_FAILED, OpenPersistKey("Sub", "Texts", 1000));
        EXPECT_EQ(Success(), Got(DeleteValue("B", 1000)));   // a middle line
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
    EXPECT_KEY_FILES(Pri("Sub", "Texts"), Sec("Sub", "Texts"),
                     KeyFile("\"A\"=string:\"\"\r\n"
                             "\"C\"=dword:3\r\n"
                             "\"D\"=bool:1\r\n"));
    OnThread([&] {
        ASSERT_NE(PERS_FAILED, OpenPersistKey("Sub", "Texts", 1000));
        EXPECT_EQ(Success(), Got(DeleteValue("d", 1000)));   // the last line, any type, any case
        char buffer[16] = "x";
        EXPECT_EQ(Success(), Got(GetPersistedString("A", sizeof buffer, buffer, nullptr, 1000)));
        EXPECT_STREQ("", buffer);
        unsigned long c = 0;
        EXPECT_EQ(Success(), Got(GetPersistedDW("C", &c, 0, 1000)));
        EXPECT_EQ(3UL, c);
        EXPECT_EQ(Success(), Got(DeleteValue("A", 1000)));   // the first line
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
    EXPECT_KEY_FILES(Pri("Sub", "Texts"), Sec("Sub", "Texts"), KeyFile("\"C\"=dword:3\r\n"));
    OnThread([&] {
        ASSERT_NE(PERS_FAILED, OpenPersistKey("Sub", "Texts", 1000));
        EXPECT_EQ(Success(), Got(DeleteValue("C", 1000)));
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
    EXPECT_KEY_FILES(Pri("Sub", "Texts"), Sec("Sub", "Texts"), std::string("CRC:0\r\n"));
}

TEST_F(ValueOperations, NewLinesGoToTheirSortedPlace)
{
    OnThread([&] {
        ASSERT_NE(PERS_FAILED, OpenPersistKey("Sub", "Sorted", 1000));
        for (const char* name : {"b", "Abc", "a", "Ab", "C", "a_b", "B2"})
            EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistBool(name, 1, 1000))) << name;
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
    // Lower-cased byte order ('_' lies between the cases); a name sorts before
    // the longer names it begins.
    EXPECT_KEY_FILES(Pri("Sub", "Sorted"), Sec("Sub", "Sorted"),
                     KeyFile("\"a\"=bool:1\r\n"
                             "\"a_b\"=bool:1\r\n"
                             "\"Ab\"=bool:1\r\n"
                             "\"Abc\"=bool:1\r\n"
                             "\"b\"=bool:1\r\n"
                             "\"B2\"=bool:1\r\n"
                             "\"C\"=bool:1\r\n"));
}

TEST_F(ValueOperations, UnsortedKeyGetsNewLinesAtTheEnd)
{
    PlaceKey("Sub", "Unsorted",
             "\"Zeta\"=dword:1\r\n"
             "\"Alpha\"=dword:2\r\n");
    OnThread([&] {
        ASSERT_EQ(SuccessWith(0), Got(OpenPersistKey("Sub", "Unsorted", 1000)));
        unsigned long v = 0;
        EXPECT_EQ(Success(), Got(GetPersistedDW("alpha", &v, 0, 1000)));
        EXPECT_EQ(2UL, v);
        EXPECT_EQ(Success(), Got(GetPersistedDW("ZETA", &v, 0, 1000)));
        EXPECT_EQ(1UL, v);
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistDW("Beta", 3, 1000)));
        EXPECT_EQ(Success(), Got(PersistDW("Alpha", 20, 1000)));
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
    EXPECT_KEY_FILES(Pri("Sub", "Unsorted"), Sec("Sub", "Unsorted"),
                     KeyFile("\"Zeta\"=dword:1\r\n"
                             "\"Alpha\"=dword:20\r\n"
                             "\"Beta\"=dword:3\r\n"));
}

TEST_F(ValueOperations, NamesCompareWithoutCaseAndKeepTheirFirstCase)
{
    OnThread([&] {
        ASSERT_NE(PERS_FAILED, OpenPersistKey("Sub", "Case", 1000));
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistDW("Brightness", 3, 1000)));
        EXPECT_EQ(Success(), Got(PersistDW("BRIGHTNESS", 4, 1000)));
        unsigned long v = 0;
        EXPECT_EQ(Success(), Got(GetPersistedDW("brightness", &v, 9, 1000)));
        EXPECT_EQ(4UL, v);
        // A name that only begins like a stored one is another name.
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistDW("Bright", 1, 1000)));
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
    EXPECT_KEY_FILES(Pri("Sub", "Case"), Sec("Sub", "Case"),
                     KeyFile("\"Bright\"=dword:1\r\n"
                             "\"Brightness\"=dword:4\r\n"));
}

TEST_F(ValueOperations, KeyFullAt255LinesStillTakesChanges)
{
    std::string lines;
    OnThread([&] {
        ASSERT_NE(PERS_FAILED, OpenPersistKey("Sub", "Full", 1000));
        for (int i = 0; i < 255; ++i) {
            char name[8];
            std::snprintf(name, sizeof name, "V%03d", i);
            ASSERT_EQ(Info(PERS_VALUE_CREATED), Got(PersistDW(name, i, 1000))) << name;
        }
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_MISSING_KEY_FULL), Got(PersistDW("V999", 1, 1000)));
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_MISSING_KEY_FULL), Got(PersistString("Extra", "x", 1000)));
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_MISSING_KEY_FULL), Got(PersistBool("Extra", 1, 1000)));
        unsigned long v = 0;
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_MISSING_KEY_FULL), Got(GetPersistedDW("Extra", &v, 5, 1000)));
        EXPECT_EQ(Success(), Got(PersistDW("V100", 100000, 1000)));
        EXPECT_EQ(Success(), Got(PersistDW("v254", 7, 1000)));
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
    for (int i = 0; i < 255; ++i) {
        char line[40];
        std::snprintf(line, sizeof line, "\"V%03d\"=dword:%d\r\n", i, i == 100 ? 100000 : i == 254 ? 7 : i);
        lines += line;
    }
    EXPECT_KEY_FILES(Pri("Sub", "Full"), Sec("Sub", "Full"), KeyFile(lines));
    OnThread([&] {
        // Loaded again full; a deletion makes room for one new line.
        ASSERT_EQ(SuccessWith(0), Got(OpenPersistKey("Sub", "Full", 1000)));
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_MISSING_KEY_FULL), Got(PersistDW("A", 1, 1000)));
        EXPECT_EQ(Success(), Got(DeleteValue("V000", 1000)));
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistDW("A", 1, 1000)));
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_MISSING_KEY_FULL), Got(PersistDW("B", 1, 1000)));
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
    std::string after = "\"A\"=dword:1\r\n" + lines.substr(std::string("\"V000\"=dword:0\r\n").size());
    EXPECT_KEY_FILES(Pri("Sub", "Full"), Sec("Sub", "Full"), KeyFile(after));
}

TEST_F(ValueOperations, LinesBeyondThe255thAreKeptButNotSeen)
{
    std::string lines;
    for (int i = 0; i < 300; ++i) {
        char line[40];
        std::snprintf(line, sizeof line, "\"V%03d\"=dword:%d\r\n", i, i);
        lines += line;
    }
    PlaceKey("Sub", "Long", lines);
    OnThread([&] {
        ASSERT_EQ(SuccessWith(0), Got(OpenPersistKey("Sub", "Long", 1000)));
        unsigned long v = 0;
        EXPECT_EQ(Success(), Got(GetPersistedDW("V254", &v, 0, 1000)));
        EXPECT_EQ(254UL, v);
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_MISSING_NOT_CREATED), Got(GetPersistedDW("V255", &v)));
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_MISSING_KEY_FULL), Got(PersistDW("V299", 1, 1000)));
        EXPECT_EQ(Success(), Got(PersistDW("V000", 1000, 1000)));
        EXPECT_EQ(Success(), Got(PersistDW("V254", 0, 1000)));
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
    std::string expected = "\"V000\"=dword:1000\r\n" + lines.substr(std::string("\"V000\"=dword:0\r\n").size());
    size_t at = expected.find("\"V254\"=dword:254\r\n");
    ASSERT_NE(std::string::npos, at);
    expected.replace(at, std::string("\"V254\"=dword:254\r\n").size(), "\"V254\"=dword:0\r\n");
    EXPECT_KEY_FILES(Pri("Sub", "Long"), Sec("Sub", "Long"), KeyFile(expected));
}

TEST_F(ValueOperations, ValueNamesTheFormatCannotCarryAreRefused)
{
    const std::string name100(100, 'n');
    const std::string name101(101, 'n');
    OnThread([&] {
        ASSERT_NE(PERS_FAILED, OpenPersistKey("Sub", "Names", 1000));
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistDW(name100.c_str(), 1, 1000)));
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_NAME_TOO_LONG), Got(PersistDW(name101.c_str(), 1, 1000)));
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_NAME_TOO_LONG), Got(PersistDW("", 1, 1000)));
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_NAME_TOO_LONG), Got(PersistDW(nullptr, 1, 1000)));
        for (const char* bad : {"Say\"Hi", "Line\rBreak", "Line\nBreak", "\""}) {
            EXPECT_EQ(Failed(PERS_FAILED_VALUE_NAME_TOO_LONG), Got(PersistString(bad, "v", 1000))) << Visible(bad);
            EXPECT_EQ(Failed(PERS_FAILED_VALUE_NAME_TOO_LONG), Got(PersistBool(bad, 1, 1000))) << Visible(bad);
        }
        unsigned long v = 0;
        char buffer[8];
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_NAME_TOO_LONG), Got(GetPersistedDW(name101.c_str(), &v, 1, 1000)));
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_NAME_TOO_LONG),
                  Got(GetPersistedString("a\"b", sizeof buffer, buffer, "d", 1000)));
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_NAME_TOO_LONG), Got(DeleteValue("", 1000)));
        EXPECT_EQ(Success(), Got(GetPersistedDW(name100.c_str(), &v, 0, 1000)));
        EXPECT_EQ(1UL, v);
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
    EXPECT_KEY_FILES(Pri("Sub", "Names"), Sec("Sub", "Names"), KeyFile("\"" + name100 + "\"=dword:1\r\n"));
}

TEST_F(ValueOperations, StringValuesTheFormatCannotCarryAreRefused)
{
    const std::string value1024(1024, 'v');
    const std::string value1025(1025, 'v');
    OnThread([&] {
        ASSERT_NE(PERS_FAILED, OpenPersistKey("Sub", "Strings", 1000));
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistString("Max", value1024.c_str(), 1000)));
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(PersistString("Quoted", "say \"hi\" now", 1000)));
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_STRING_TOO_LONG), Got(PersistString("Max", value1025.c_str(), 1000)));
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_STRING_TOO_LONG), Got(PersistString("Over", value1025.c_str(), 1000)));
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_STRING_TOO_LONG), Got(PersistString("Cut", "a\"\r\nb", 1000)));
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_STRING_TOO_LONG), Got(PersistString("Quoted", "end\"\r\n", 1000)));
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_STRING_TOO_LONG), Got(PersistString("Null", nullptr, 1000)));
        char buffer[1100];
        EXPECT_EQ(Success(), Got(GetPersistedString("Quoted", sizeof buffer, buffer, nullptr, 1000)));
        EXPECT_STREQ("say \"hi\" now", buffer);
        EXPECT_EQ(Success(), Got(GetPersistedString("Max", sizeof buffer, buffer, nullptr, 1000)));
        EXPECT_EQ(value1024, std::string(buffer));
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
    EXPECT_KEY_FILES(Pri("Sub", "Strings"), Sec("Sub", "Strings"),
                     KeyFile("\"Max\"=string:\"" + value1024 + "\"\r\n"
                             "\"Quoted\"=string:\"say \"hi\" now\"\r\n"));
}

TEST_F(ValueOperations, WrongTypeLeavesTheLine)
{
    OnThread([&] {
        ASSERT_NE(PERS_FAILED, OpenPersistKey("Sub", "Types", 1000));
        ASSERT_EQ(Info(PERS_VALUE_CREATED), Got(PersistString("Name", "text", 1000)));
        ASSERT_EQ(Info(PERS_VALUE_CREATED), Got(PersistDW("Number", 5, 1000)));
        ASSERT_EQ(Info(PERS_VALUE_CREATED), Got(PersistBool("Flag", 1, 1000)));
        unsigned long dw = 0;
        int b = 0;
        char buffer[16];
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_WRONG_TYPE), Got(PersistDW("Name", 5, 1000)));
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_WRONG_TYPE), Got(PersistBool("Name", 1, 1000)));
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_WRONG_TYPE), Got(PersistString("Number", "x", 1000)));
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_WRONG_TYPE), Got(PersistDW("Flag", 1, 1000)));
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_WRONG_TYPE), Got(GetPersistedDW("Name", &dw, 0, 1000)));
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_WRONG_TYPE), Got(GetPersistedBool("Number", &b, 0, 1000)));
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_WRONG_TYPE),
                  Got(GetPersistedString("Flag", sizeof buffer, buffer, "d", 1000)));
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
    EXPECT_KEY_FILES(Pri("Sub", "Types"), Sec("Sub", "Types"),
                     KeyFile("\"Flag\"=bool:1\r\n"
                             "\"Name\"=string:\"text\"\r\n"
                             "\"Number\"=dword:5\r\n"));
}

TEST_F(ValueOperations, DeletingAMissingValueWritesNothing)
{
    PlaceKey("Sub", "Quiet", "\"Kept\"=dword:1\r\n");
    OnThread([&] {
        ASSERT_EQ(SuccessWith(0), Got(OpenPersistKey("Sub", "Quiet", 1000)));
        PlaceKey("Sub", "Quiet", kMarkerLines);
        EXPECT_EQ(Success(), Got(DeleteValue("Missing", 1000)));
        EXPECT_EQ(Success(), Got(DeleteValue("Kep", 1000)));   // only the start of a name
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
    EXPECT_KEY_FILES(Pri("Sub", "Quiet"), Sec("Sub", "Quiet"), KeyFile(kMarkerLines));
}

TEST_F(ValueOperations, ReadsWithoutDefaultCreateNothing)
{
    PlaceKey("Sub", "Reads", "\"Kept\"=dword:1\r\n");
    OnThread([&] {
        ASSERT_EQ(SuccessWith(0), Got(OpenPersistKey("Sub", "Reads", 1000)));
        PlaceKey("Sub", "Reads", kMarkerLines);
        unsigned long dw = 99;
        int b = 99;
        char buffer[8] = "keep";
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_MISSING_NOT_CREATED), Got(GetPersistedDW("Missing", &dw)));
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_MISSING_NOT_CREATED), Got(GetPersistedBool("Missing", &b)));
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_MISSING_NOT_CREATED),
                  Got(GetPersistedString("Missing", sizeof buffer, buffer, nullptr, 1000)));
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_MISSING_NOT_CREATED),
                  Got(GetPersistedString("Missing", sizeof buffer, buffer, nullptr)));
        // The flag of the forms without a default lasts one call only.
        EXPECT_EQ(Success(), Got(GetPersistedDW("Kept", &dw)));
        EXPECT_EQ(1UL, dw);
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
    EXPECT_KEY_FILES(Pri("Sub", "Reads"), Sec("Sub", "Reads"), KeyFile(kMarkerLines));
}

TEST_F(ValueOperations, ReadsWithDefaultCreateTheValue)
{
    OnThread([&] {
        ASSERT_NE(PERS_FAILED, OpenPersistKey("Sub", "Defaults", 1000));
        unsigned long dw = 0;
        int b = 0;
        char buffer[16] = "";
        // A failed read without a default must not leave its flag behind.
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_MISSING_NOT_CREATED), Got(GetPersistedBool("Other", &b)));
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(GetPersistedDW("Count", &dw, 7, 1000)));
        EXPECT_EQ(7UL, dw);
        EXPECT_EQ(Success(), Got(GetPersistedDW("Count", &dw, 8, 1000)));
        EXPECT_EQ(7UL, dw);
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(GetPersistedBool("On", &b, 1, 1000)));
        EXPECT_EQ(1, b);
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(GetPersistedString("Label", sizeof buffer, buffer, "none", 1000)));
        EXPECT_STREQ("none", buffer);
        // The short forms wait without limit and behave the same.
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(GetPersistedDW("ShortDW", &dw, 4294967295UL)));
        EXPECT_EQ(4294967295UL, dw);
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(GetPersistedBool("ShortBool", &b, 0)));
        EXPECT_EQ(0, b);
        EXPECT_EQ(Info(PERS_VALUE_CREATED), Got(GetPersistedString("ShortString", sizeof buffer, buffer, "s")));
        EXPECT_STREQ("s", buffer);
        EXPECT_EQ(Success(), Got(ClosePersistKey()));
    });
    EXPECT_KEY_FILES(Pri("Sub", "Defaults"), Sec("Sub", "Defaults"),
                     KeyFile("\"Count\"=dword:7\r\n"
                             "\"Label\"=string:\"none\"\r\n"
                             "\"On\"=bool:1\r\n"
                             "\"ShortBool\"=bool:0\r\n"
                             "\"ShortDW\"=dword:4294967295\r\n"
                             "\"ShortString\"=string:\"s\"\r\n"));
}

TEST_F(ValueOperations, StringReadsAreCutToTheBuffer)
{
    OnThread([&] {
        ASSERT_NE(PERS_FAILED, OpenPersistKey("Sub", "Cut", 1000));
        ASSERT_EQ(Info(PERS_VALUE_CREATED), Got(PersistString("Ten", "0123456789", 1000)));
        char buffer[16];
        auto fill = [&] { std::memset(buffer, 'X', sizeof buffer); };

        fill();
        EXPECT_EQ(Info(PERS_VALUE_STRING_TRUNCATED), Got(GetPersistedString("Ten", 5, buffer, nullptr, 1000)));
        EXPECT_EQ(std::string("0123\0XXXXXXXXXXX", 16), std::string(buffer, 16));
        fill();
        EXPECT_EQ(Info(PERS_VALUE_STRING_TRUNCATED), Got(GetPersistedString("Ten", 10, buffer, nullptr, 1000)));
        EXPECT_EQ(std::string("012345678\0XXXXXX", 16), std::string(buffer, 16));
        fill();
        EXPECT_EQ(Success(), Got(GetPersistedString("Ten", 11, buffer, nullptr, 1000)));
        EXPECT_EQ(std::string("0123456789\0XXXXX", 16), std::string(buffer, 16));
        fill();
        EXPECT_EQ(Info(PERS_VALUE_STRING_TRUNCATED), Got(GetPersistedString("Ten", 1, buffer, nullptr, 1000)));
        EXPECT_EQ(std::string("\0XXXXXXXXXXXXXXX", 16), std::string(buffer, 16));
        // No room even for the terminator: refused, the buffer untouched.
        fill();
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_STRING_TOO_LONG), Got(GetPersistedString("Ten", 0, buffer, nullptr, 1000)));
        EXPECT_EQ(std::string(16, 'X'), std::string(buffer, 16));
        EXPECT_EQ(Failed(PERS_FAILED_VALUE_STRING_TOO_LONG), Got(GetPersistedString("Ten", 16, nullptr, "d", 1000)));
        // A default longer than the buffer: stored whole, handed back cut.
        fill();
        EXPECT_EQ(Info(PERS_VALUE_STRING_TRUNCATED),
                  Got(GetPersistedString("Long", 4, buffer, "abcdefgh", 1000)));
        EXPECT_EQ(std::string("abc\0XXXXXXXXXXXX", 16), std::string(buffer, 16));
        fill();
        EXPECT_EQ(Success(), Got(GetPersistedString("Long", sizeof buffer, buffer, nullptr, 1000)));
        EXPECT_STREQ("abcdefgh", buffer);
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
    EXPECT_KEY_FILES(Pri("Sub", "Cut"), Sec("Sub", "Cut"),
                     KeyFile("\"Long\"=string:\"abcdefgh\"\r\n"
                             "\"Ten\"=string:\"0123456789\"\r\n"));
}

// Only a file written by other means holds a string value over 1024 bytes;
// it reads whole, or cut to the buffer, like any other.
TEST_F(ValueOperations, LongStringsFromOtherWritersReadWhole)
{
    std::string value;
    for (int i = 0; value.size() < 3000; ++i) value += "segment-" + std::to_string(i) + ";";
    value.resize(3000);
    PlaceKey("Sub", "Foreign", "\"Long\"=string:\"" + value + "\"\r\n\"Max\"=string:\"" + value.substr(0, 1024) +
                                   "\"\r\n");
    OnThread([&] {
        ASSERT_EQ(SuccessWith(0), Got(OpenPersistKey("Sub", "Foreign", 1000)));
        struct Row {
            const char*   name;
            unsigned long size;
            size_t        expected;   // characters handed back
            Outcome       outcome;
        };
        const Row rows[] = {
            {"Long", 4000, 3000, Success()},
            {"Long", 3001, 3000, Success()},
            {"Long", 3000, 2999, Info(PERS_VALUE_STRING_TRUNCATED)},
            {"Long", 1026, 1025, Info(PERS_VALUE_STRING_TRUNCATED)},
            {"Long", 1025, 1024, Info(PERS_VALUE_STRING_TRUNCATED)},
            {"Long", 10, 9, Info(PERS_VALUE_STRING_TRUNCATED)},
            {"Max", 1025, 1024, Success()},
            {"Max", 1024, 1023, Info(PERS_VALUE_STRING_TRUNCATED)},
        };
        std::vector<char> buffer(4096);
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(row.name) + " into " + std::to_string(row.size));
            std::fill(buffer.begin(), buffer.end(), 'X');
            EXPECT_EQ(row.outcome, Got(GetPersistedString(row.name, row.size, buffer.data(), nullptr, 1000)));
            EXPECT_EQ(value.substr(0, row.expected), std::string(buffer.data()));
            EXPECT_EQ('X', buffer[row.size]) << "nothing written past the buffer";
        }
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
}

TEST_F(ValueOperations, OperationsWithoutAnOpenKeyAreRefused)
{
    OnThread([&] {
        unsigned long dw = 0;
        int b = 0;
        char buffer[8];
        EXPECT_EQ(Failed(PERS_FAILED_KEY_NOT_OPEN), Got(PersistDW("A", 1, 1000)));
        EXPECT_EQ(Failed(PERS_FAILED_KEY_NOT_OPEN), Got(PersistString("A", "x")));
        EXPECT_EQ(Failed(PERS_FAILED_KEY_NOT_OPEN), Got(PersistBool("A", 1)));
        EXPECT_EQ(Failed(PERS_FAILED_KEY_NOT_OPEN), Got(GetPersistedDW("A", &dw, 1)));
        EXPECT_EQ(Failed(PERS_FAILED_KEY_NOT_OPEN), Got(GetPersistedBool("A", &b)));
        EXPECT_EQ(Failed(PERS_FAILED_KEY_NOT_OPEN), Got(GetPersistedString("A", sizeof buffer, buffer, "d")));
        EXPECT_EQ(Failed(PERS_FAILED_KEY_NOT_OPEN), Got(DeleteValue("A")));
        EXPECT_EQ(Success(), Got(ClosePersistKey(1000)));
        // After a close, too.
        ASSERT_NE(PERS_FAILED, OpenPersistKey("Sub", "Closed", 1000));
        EXPECT_EQ(Success(), Got(ClosePersistKey()));
        EXPECT_EQ(Failed(PERS_FAILED_KEY_NOT_OPEN), Got(PersistDW("A", 1)));
    });
}

} // namespace
