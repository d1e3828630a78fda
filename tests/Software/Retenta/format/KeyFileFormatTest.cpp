#include "Crc32.h"
#include "KeyFileFormat.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace keyfile;

namespace {

const std::string kExampleText =
    "\"ExcludeThisFile   \"=string:\"none\"\r\n"
    "\"InhibitLogOutput  \"=bool:1\r\n"
    "\"MaxMessageLength  \"=dword:1024\r\n"
    "\"SuppressBelowLevel\"=dword:4\r\n";

bool Valid(const std::string& file, size_t* textLength = nullptr)
{
    size_t ignored = 0;
    return ValidateKeyFile(file.data(), file.size(), textLength ? textLength : &ignored);
}

} // namespace

TEST(KeyFile, ExampleKeyIsBuiltByteForByteAndValid)
{
    std::string file = BuildKeyFile(kExampleText.data(), kExampleText.size());
    ASSERT_EQ(128u, kExampleText.size());
    EXPECT_EQ(144u, file.size());
    EXPECT_EQ(kExampleText + "CRC:2422179875\r\n", file);

    size_t textLength = 0;
    EXPECT_TRUE(Valid(file, &textLength));
    EXPECT_EQ(128u, textLength);
}

TEST(KeyFile, EmptyKeyIsTheSevenByteFile)
{
    EXPECT_EQ("CRC:0\r\n", BuildKeyFile("", 0));
    size_t textLength = 99;
    EXPECT_TRUE(Valid("CRC:0\r\n", &textLength));
    EXPECT_EQ(0u, textLength);
}

TEST(KeyFile, AnythingButTheExactCrcLineIsInvalid)
{
    const std::string example = kExampleText + "CRC:2422179875\r\n";
    std::string changed = example;
    changed[30] = 'n'; // "none" -> "nnne"
    const std::string broken[] = {
        "CRC:00\r\n", "CRC:0\n", "CRC:0\r\n\r\n", "CRC:0\r\nx", "CRC:0\r", "CRC:0", "CRC:",
        "crc:0\r\n", "CRC: 0\r\n", "CRC:+0\r\n", "CRC:0\r\r\n", " CRC:0\r\n", "", "C",
        kExampleText, example.substr(0, example.size() - 1), example.substr(1),
        example + "\r\n", changed,
        kExampleText + "CRC:2422179876\r\n",
    };
    for (const std::string& file : broken)
        EXPECT_FALSE(Valid(file)) << '"' << file << '"';
}

TEST(KeyFile, CrcTagInAValueNearTheEndMakesTheFileInvalid)
{
    // The value's "CRC:" lies 7 bytes plus the CRC line before the end, inside
    // the last 20 bytes once the checksum has at most 7 digits.
    const std::string tagLine = "\"Tag\"=string:\"CRC:\"\r\n";
    std::string text;
    for (unsigned n = 0; n < 100000; ++n) {
        std::string candidate = "\"n\"=dword:" + std::to_string(n) + "\r\n" + tagLine;
        if (Crc32(candidate.data(), candidate.size()) < 10000000u) {
            text = candidate;
            break;
        }
    }
    ASSERT_FALSE(text.empty());
    EXPECT_FALSE(Valid(BuildKeyFile(text.data(), text.size()))) << text;

    // Further from the end the same line is ordinary text.
    std::string earlier = tagLine + "\"Padding\"=dword:1\r\n";
    EXPECT_TRUE(Valid(BuildKeyFile(earlier.data(), earlier.size())));
}

TEST(KeyFile, CrcLineForm)
{
    char line[17];
    EXPECT_EQ(16u, FormatCrcLine(2309065087u, line));
    EXPECT_STREQ("CRC:2309065087\r\n", line);
    EXPECT_EQ(16u, FormatCrcLine(4294967295u, line));
    EXPECT_STREQ("CRC:4294967295\r\n", line);
    EXPECT_EQ(7u, FormatCrcLine(0, line));
    EXPECT_STREQ("CRC:0\r\n", line);
}

TEST(KeyFile, ParseDwordReadsLikeAtoiModulo2To32)
{
    struct { const char* text; uint32_t expected; } cases[] = {
        {"-1", 0xFFFFFFFFu}, {"4294967295", 0xFFFFFFFFu}, {" +12abc", 12u}, {"", 0u},
        {"99999999999", 1215752191u}, {"4294967296", 0u}, {"-2147483648", 0x80000000u},
        {"\t\n\v\f\r 7", 7u}, {"-", 0u}, {"+-5", 0u}, {"- 5", 0u}, {"abc", 0u}, {"1024\r\n", 1024u},
        {"0", 0u}, {"-0", 0u}, {"007", 7u},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, ParseDword(c.text)) << '"' << c.text << '"';
    // The bounded form stops at its length even inside digits.
    EXPECT_EQ(12u, ParseDword("1234", 2));
    EXPECT_EQ(0u, ParseDword("  5", 2));
    EXPECT_EQ(0u, ParseDword("9", 0));
}

TEST(KeyFile, ReadDecimalKeepsWhetherTheNumberIsZero)
{
    const struct { const char* text; uint32_t value; bool nonZero; } cases[] = {
        {"0", 0u, false}, {"-0", 0u, false}, {" 000x", 0u, false}, {"", 0u, false}, {"abc", 0u, false},
        {"4294967296", 0u, true}, {"-4294967296", 0u, true}, {"12abc", 12u, true}, {"+007", 7u, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        DecimalReading r = ReadDecimal(c.text, std::strlen(c.text));
        EXPECT_EQ(c.value, r.value);
        EXPECT_EQ(c.nonZero, r.nonZero);
        EXPECT_EQ(ParseDword(c.text), r.value);
    }
    EXPECT_FALSE(ReadDecimal("0001", 3).nonZero) << "no further than len";
}

TEST(KeyFile, CreatedLinesAreUnsignedRewrittenLinesSigned)
{
    char out[12];
    EXPECT_EQ(10u, FormatDwordUnsigned(4294967295u, out));
    EXPECT_STREQ("4294967295", out);
    EXPECT_EQ(2u, FormatDwordSigned(4294967295u, out));
    EXPECT_STREQ("-1", out);
    EXPECT_EQ(11u, FormatDwordSigned(2147483648u, out));
    EXPECT_STREQ("-2147483648", out);
    EXPECT_EQ(10u, FormatDwordSigned(2147483647u, out));
    EXPECT_STREQ("2147483647", out);
    EXPECT_EQ(1u, FormatDwordUnsigned(0, out));
    EXPECT_STREQ("0", out);
    // Both forms read back as the same value.
    EXPECT_EQ(ParseDword("4294967295"), ParseDword("-1"));
}

TEST(KeyFile, BytesTheFormatCannotCarry)
{
    EXPECT_TRUE(NameIsWritable("Brightness", 10));
    EXPECT_TRUE(NameIsWritable("Max: level =1", 13));
    EXPECT_FALSE(NameIsWritable("a\"b", 3));
    EXPECT_FALSE(NameIsWritable("a\rb", 3));
    EXPECT_FALSE(NameIsWritable("a\nb", 3));

    struct Row {
        std::string name;
        size_t      length;   // 0: refused
    };
    const Row rows[] = {
        {"B", 1},           {"Brightness", 10},          {std::string(100, 'n'), 100}, {"", 0},
        {std::string(101, 'n'), 0}, {std::string(5000, 'n'), 0}, {"a\"b", 0}, {"a\rb", 0},
        {"a\nb", 0},        {std::string(100, 'n') + "\"", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("name of " + std::to_string(row.name.size()) + " bytes");
        EXPECT_EQ(row.length, WritableNameLength(row.name.c_str()));
    }

    EXPECT_TRUE(StringIsWritable("", 0));
    EXPECT_TRUE(StringIsWritable("say \"hi\" now\"", 13));
    EXPECT_TRUE(StringIsWritable("cr\r alone, lf\n alone, \n\r", 24));
    EXPECT_FALSE(StringIsWritable("cut\"\r\nhere", 10));
    EXPECT_FALSE(StringIsWritable("two\r\nlines", 10));
    EXPECT_FALSE(StringIsWritable("nul\0inside", 10));
    EXPECT_TRUE(StringIsWritable("nul\0outside", 3));
}
