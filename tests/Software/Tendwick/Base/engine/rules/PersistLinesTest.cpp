// The import's reading of saved value lines: plain bytes, natively and under Wine.
#include "PersistLines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Parsed {
    ParseOutcome outcome;
    std::string  name, type, value;
};

Parsed Parse(const std::string& line)
{
    char name[PARSE_NAME_SIZE], type[PARSE_TYPE_SIZE], value[PARSE_VALUE_SIZE];
    ParseOutcome outcome = ParseValueLine(line.c_str(), name, type, value);
    return {outcome, name, type, value};
}

std::vector<std::string> Walk(std::string text)
{
    std::vector<std::string> lines;
    SavedLineWalker walker(&text[0], text.size());
    while (const char* line = walker.Next()) lines.push_back(line);
    return lines;
}

} // namespace

TEST(ParseValueLine, SplitsTheThreeValueKinds)
{
    Parsed d = Parse("\"KnobLevels\"=dword:2");
    EXPECT_EQ(PARSE_OK, d.outcome);
    EXPECT_EQ("KnobLevels", d.name);
    EXPECT_EQ("dword", d.type);
    EXPECT_EQ("2", d.value);

    Parsed s = Parse("\"Label\"=string:\"two words\"");
    EXPECT_EQ(PARSE_OK, s.outcome);
    EXPECT_EQ("two words", s.value);

    Parsed b = Parse("\"On\"=bool:1");
    EXPECT_EQ("bool", b.type);
    EXPECT_EQ("1", b.value);
}

TEST(ParseValueLine, EmptyTextIsAStringOnly)
{
    Parsed s = Parse("\"Empty\"=string:\"\"");
    EXPECT_EQ(PARSE_OK, s.outcome);
    EXPECT_EQ("", s.value);
    EXPECT_EQ(PARSE_NO_FIELDS, Parse("\"Count\"=dword:").outcome);
    EXPECT_EQ(PARSE_NO_FIELDS, Parse("\"Lonely\"").outcome);
    EXPECT_EQ(PARSE_NO_FIELDS, Parse("").outcome);
}

TEST(ParseValueLine, AStringIsCutAtItsFirstQuote)
{
    EXPECT_EQ("say ", Parse("\"Q\"=string:\"say \"hi\"\"").value);
}

TEST(ParseValueLine, ItemsBeyondTheirBuffersAreRefusedNotCut)
{
    EXPECT_EQ(PARSE_OK, Parse("\"" + std::string(103, 'n') + "\"=dword:1").outcome);
    EXPECT_EQ(PARSE_NAME_TOO_LONG, Parse("\"" + std::string(104, 'n') + "\"=dword:1").outcome);
    EXPECT_EQ(PARSE_TYPE_TOO_LONG, Parse("\"N\"=" + std::string(12, 't') + ":1").outcome);
    EXPECT_EQ(PARSE_OK, Parse("\"N\"=string:\"" + std::string(511, 'v') + "\"").outcome);
    Parsed big = Parse("\"N\"=string:\"" + std::string(512, 'v') + "\"");
    EXPECT_EQ(PARSE_VALUE_TOO_LONG, big.outcome);
    EXPECT_EQ("", big.name) << "a refused line yields nothing";
    EXPECT_EQ(PARSE_LINE_TOO_LONG, Parse("\"N\"=string:\"" + std::string(1012, 'v') + "\"").outcome);
    EXPECT_EQ(PARSE_LINE_TOO_LONG, Parse(std::string(100000, '"')).outcome);
}

TEST(SavedLineWalker, StopsAtTheCrcLineAndAtALastLineWithoutCrLf)
{
    EXPECT_EQ((std::vector<std::string>{"a", "b"}), Walk("a\r\nb\r\nCRC:1\r\n\"after\"=dword:1\r\n"));
    EXPECT_EQ((std::vector<std::string>{"a"}), Walk("a\r\nlast"));
    EXPECT_EQ(std::vector<std::string>{}, Walk("no line end"));
    EXPECT_EQ(std::vector<std::string>{}, Walk(""));
    EXPECT_EQ((std::vector<std::string>{"", "x"}), Walk("\r\nx\r\n"));
}

TEST(ValueNumbers, BothDwordFormsGiveTheSameBits)
{
    EXPECT_EQ(4294967295u, ReadDwordValue("4294967295"));
    EXPECT_EQ(4294967295u, ReadDwordValue("-1"));
    EXPECT_EQ(0u, ReadDwordValue("x"));
    EXPECT_EQ(12u, ReadDwordValue("12ab"));
    EXPECT_EQ(-3, ReadSignedValue("-3"));
    EXPECT_EQ(0, ReadSignedValue(""));
}
