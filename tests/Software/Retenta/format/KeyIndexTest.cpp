#include "KeyIndex.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace keyfile;

namespace {

const std::string kExampleText =
    "\"ExcludeThisFile   \"=string:\"none\"\r\n"
    "\"InhibitLogOutput  \"=bool:1\r\n"
    "\"MaxMessageLength  \"=dword:1024\r\n"
    "\"SuppressBelowLevel\"=dword:4\r\n";

std::string DwordLine(const std::string& name, unsigned value)
{
    return "\"" + name + "\"=dword:" + std::to_string(value) + "\r\n";
}

// A key's block loaded the way the store loads a valid file. The allocation
// is exactly index + text + NUL + room, so a read past it is a sanitizer error.
class Key {
public:
    explicit Key(const std::string& text, size_t room = 0)
        : m_size(kIndexBytes + text.size() + 1 + room), m_bytes(new char[m_size]())
    {
        std::memcpy(m_bytes.get() + kIndexBytes, text.data(), text.size());
        m_total = IndexKeyText(block(), static_cast<uint32_t>(text.size()));
    }

    KeyDataBlock* block() { return reinterpret_cast<KeyDataBlock*>(m_bytes.get()); }
    uint32_t total() const { return m_total; }
    std::string text() const { return std::string(m_bytes.get() + kIndexBytes, m_total - kIndexBytes); }
    std::vector<int> offsets() { return std::vector<int>(block()->offsets, block()->offsets + block()->count + 1); }

    Lookup find(const std::string& name) { return FindValue(block(), name.data(), name.size()); }
    ValueRef read(int index) { return ReadValue(block(), m_total, index); }
    std::string value(int index)
    {
        ValueRef v = read(index);
        return std::string(block()->at(v.offset), v.length);
    }

    void insert(const std::string& name, ValueType type, const std::string& value)
    {
        Lookup at = find(name);
        ASSERT_FALSE(at.found) << name;
        uint32_t grown = m_total + LineLength(type, name.size(), value.size());
        ASSERT_LT(grown, m_size) << "test key too small";
        m_total = InsertLine(block(), m_total, at.index, name.data(), name.size(), type, value.data(), value.size());
        ASSERT_EQ(grown, m_total);
    }
    void replace(const std::string& name, const std::string& value)
    {
        Lookup at = find(name);
        ASSERT_TRUE(at.found) << name;
        m_total = ReplaceValue(block(), m_total, at.index, read(at.index), value.data(), value.size());
        ASSERT_LT(m_total, m_size);
    }
    void remove(int index) { m_total = DeleteLine(block(), m_total, index); }

    // After edits the index must be what loading the same text would build.
    void expectIndexAsIfReloaded()
    {
        EXPECT_EQ('\0', m_bytes[m_total]);
        Key fresh(text());
        EXPECT_EQ(fresh.offsets(), offsets());
    }

private:
    size_t m_size;
    std::unique_ptr<char[]> m_bytes;
    uint32_t m_total;
};

std::string Lines(int first, int last) // names L000.. with the value of their number
{
    std::string text;
    for (int i = first; i < last; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "L%03d", i);
        text += DwordLine(name, i);
    }
    return text;
}

} // namespace

TEST(KeyIndex, IndexesTheExampleKey)
{
    Key key(kExampleText);
    EXPECT_EQ(652u, key.total());
    EXPECT_EQ(1, key.block()->sorted);
    EXPECT_EQ((std::vector<int>{525, 561, 590, 623, 652}), key.offsets());
}

TEST(KeyIndex, EmptyTextHasOnlyTheEndEntry)
{
    Key key("");
    EXPECT_EQ(0, key.block()->count);
    EXPECT_EQ(1, key.block()->sorted);
    EXPECT_EQ((std::vector<int>{524}), key.offsets());
}

TEST(KeyIndex, SortedFlagFollowsNameOrderWithoutCase)
{
    struct { const char* text; int sorted; } cases[] = {
        {"\"Ab\"=bool:1\r\n\"Abc\"=bool:1\r\n", 1},
        {"\"Abc\"=bool:1\r\n\"Ab\"=bool:1\r\n", 0},
        {"\"apple\"=bool:1\r\n\"Banana\"=bool:1\r\n\"cherry\"=bool:1\r\n", 1},
        {"\"b\"=bool:1\r\n\"B\"=bool:0\r\n", 1},              // same name: still in order
        {"\"a_\"=bool:1\r\n\"aB\"=bool:1\r\n", 1},            // compared lower case: '_' < 'b'
        {"\"a\"=bool:1\r\n\"c\"=bool:1\r\n\"b\"=bool:1\r\n", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.sorted, Key(c.text).block()->sorted) << c.text;
}

TEST(KeyIndex, TextAfterTheLastLineEndIsNotIndexed)
{
    Key key("\"a\"=bool:1\r\ngarbage");
    EXPECT_EQ(1, key.block()->count);
    EXPECT_EQ((std::vector<int>{525, 536}), key.offsets());
    EXPECT_EQ(543u, key.total());
}

TEST(KeyIndex, OnlyTheFirst255LinesAreIndexed)
{
    Key key(Lines(0, 300));
    ASSERT_EQ(255, key.block()->count);
    EXPECT_EQ(uint32_t(kIndexBytes + Lines(0, 255).size()), key.block()->offsets[255]);
    EXPECT_TRUE(key.find("L254").found);
    EXPECT_FALSE(key.find("L255").found);
    EXPECT_EQ(Lines(0, 300), key.text());
}

TEST(KeyIndex, FindsNamesWithoutCase)
{
    Key key("\"Brightness\"=dword:5\r\n\"Contrast\"=dword:7\r\n");
    for (const char* name : {"Brightness", "BRIGHTNESS", "brightness"}) {
        Lookup l = key.find(name);
        EXPECT_TRUE(l.found) << name;
        EXPECT_EQ(0, l.index) << name;
    }
    EXPECT_EQ(1, key.find("contrast").index);
}

TEST(KeyIndex, PrefixNamesAndInsertionPositions)
{
    Key key("\"Ab\"=bool:1\r\n\"Abc\"=bool:1\r\n\"Abd\"=bool:1\r\n\"B\"=bool:1\r\n\"Mid\"=bool:1\r\n\"Z\"=bool:1\r\n");
    ASSERT_EQ(1, key.block()->sorted);
    struct { const char* name; bool found; int index; } cases[] = {
        {"Ab", true, 0}, {"ABC", true, 1}, {"abd", true, 2}, {"b", true, 3}, {"mid", true, 4}, {"z", true, 5},
        {"A", false, 0}, {"Aa", false, 0}, {"Abb", false, 1}, {"Abcd", false, 2}, {"Abz", false, 3},
        {"C", false, 4}, {"N", false, 5}, {"Zz", false, 6}, {"!", false, 0},
    };
    for (const auto& c : cases) {
        Lookup l = key.find(c.name);
        EXPECT_EQ(c.found, l.found) << c.name;
        EXPECT_EQ(c.index, l.index) << c.name;
    }
}

TEST(KeyIndex, BinarySearchFindsEveryLineOfAFullKey)
{
    Key key(Lines(0, 255));
    for (int i = 0; i < 255; ++i) {
        char name[16], between[16];
        std::snprintf(name, sizeof name, "l%03d", i);
        std::snprintf(between, sizeof between, "L%03d5", i);
        Lookup l = key.find(name);
        EXPECT_TRUE(l.found && l.index == i) << name << " -> " << l.index;
        l = key.find(between);
        EXPECT_TRUE(!l.found && l.index == i + 1) << between << " -> " << l.index;
    }
}

TEST(KeyIndex, NamesFollowedByBytesBelowTheQuoteAreFound)
{
    // "X " sorts before "X" (space < closing quote), and the lookup agrees.
    Key key("\"X \"=dword:1\r\n\"X\"=dword:2\r\n");
    ASSERT_EQ(1, key.block()->sorted);
    EXPECT_EQ(0, key.find("X ").index);
    EXPECT_TRUE(key.find("X").found);
    EXPECT_EQ("2", key.value(key.find("X").index));
    EXPECT_EQ(1, key.find("X!").index);
}

TEST(KeyIndex, UnsortedKeySearchesLinesInOrderAndAppends)
{
    Key key("\"b\"=bool:1\r\n\"a\"=bool:0\r\n\"B\"=bool:0\r\n");
    ASSERT_EQ(0, key.block()->sorted);
    EXPECT_EQ(0, key.find("B").index); // the first of the two
    EXPECT_EQ(1, key.find("a").index);
    Lookup missing = key.find("0");
    EXPECT_FALSE(missing.found);
    EXPECT_EQ(3, missing.index);
}

TEST(KeyIndex, ReadsTheThreeValueForms)
{
    Key key(kExampleText + "\"Quote\"=string:\"say \"hi\" now\"\r\n\"a:b\"=dword:-1\r\n\"Empty\"=string:\"\"\r\n");
    struct { int index; ValueType type; const char* value; } cases[] = {
        {0, ValueType::String, "none"}, {1, ValueType::Bool, "1"}, {2, ValueType::Dword, "1024"},
        {3, ValueType::Dword, "4"}, {4, ValueType::String, "say \"hi\" now"}, {5, ValueType::Dword, "-1"},
        {6, ValueType::String, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.type, key.read(c.index).type) << c.index;
        EXPECT_EQ(c.value, key.value(c.index)) << c.index;
    }
    EXPECT_EQ(kIndexBytes + 29, key.read(0).offset);
}

// A reader that found the line by its name passes the name's length; the
// value must be the one the full scan of the line finds (the fuzz target
// holds every other line to this too).
TEST(KeyIndex, KnownNameLengthReadsWhatTheScanReads)
{
    Key key(kExampleText + "\"a:b\"=dword:-1\r\n\"c\":=dword:5\r\n\"d\"x=bool:1\r\n\"f\"=string:5\r\n");
    const char* names[] = {"ExcludeThisFile   ", "InhibitLogOutput  ", "MaxMessageLength  ", "SuppressBelowLevel",
                           "a:b", "c", "d", "f"};
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(names[i]);
        ValueRef scanned = key.read(i);
        ValueRef known = ReadValue(key.block(), key.total(), i, std::strlen(names[i]));
        EXPECT_EQ(scanned.type, known.type);
        EXPECT_EQ(scanned.offset, known.offset);
        EXPECT_EQ(scanned.length, known.length);
    }
}

// String values are scanned four bytes at a time: the end must be found at
// every position within a step, with quotes before it that do not end it.
TEST(KeyIndex, StringEndsAreFoundAtEveryPosition)
{
    for (size_t length = 0; length <= 12; ++length) {
        for (const char* filler : {"x", "\"", "\"\r", "\r\"x"}) {
            std::string value;
            while (value.size() < length) value += filler;
            value.resize(length);
            SCOPED_TRACE("value [" + value + "]");
            Key key("\"s\"=string:\"" + value + "\"\r\n");
            ASSERT_EQ(ValueType::String, key.read(0).type);
            EXPECT_EQ(value, key.value(0));
        }
    }
}

TEST(KeyIndex, GarbageLinesHaveNoValueAndAreReadWithinTheText)
{
    const char* lines[] = {
        "\"a\"=strin:\"x\"\r\n", "\"b\"=dword\r\n", "no quote at all\r\n", "\"c\":=dword:5\r\n",
        "\"d\"=dword:\"5\"\r\n", "\"e\"=string:5\r\n", "\r\n", "\"\r\n", "\"unclosed name=dword:1\r\n",
        "=string:\"\"dword:1\r\n",
    };
    for (const char* line : lines) {
        Key key(line); // the line is the last: total right behind it
        ASSERT_EQ(1, key.block()->count) << line;
        EXPECT_EQ(ValueType::None, key.read(0).type) << line;
        // A name that runs over the whole line meets the text's end, not more.
        EXPECT_FALSE(key.find(std::string(line + 1) + "and more").found) << line;
    }
    EXPECT_EQ(ValueType::None, Key("\"a\"=bool:1\r\n").read(1).type);

    // A type and no line end within the line: the value stops at the line.
    Key cut("\"s\"=string:\"two\r\nlines\"\r\n");
    EXPECT_EQ(2, cut.block()->count);
    EXPECT_EQ(ValueType::String, cut.read(0).type);
    EXPECT_EQ("two", cut.value(0));
    Key empty("\"e\"=bool:\r\n");
    EXPECT_EQ(ValueType::Bool, empty.read(0).type);
    EXPECT_EQ("", empty.value(0));
}

TEST(KeyIndex, InsertingInSortedOrderBuildsTheExampleKey)
{
    Key key("", 256);
    key.insert("SuppressBelowLevel", ValueType::Dword, "4");
    key.insert("ExcludeThisFile   ", ValueType::String, "none");
    key.insert("MaxMessageLength  ", ValueType::Dword, "1024");
    key.insert("InhibitLogOutput  ", ValueType::Bool, "1");
    EXPECT_EQ(kExampleText, key.text());
    EXPECT_EQ(4, key.block()->count);
    EXPECT_EQ(1, key.block()->sorted);
    key.expectIndexAsIfReloaded();
}

TEST(KeyIndex, InsertIntoUnsortedKeyAppends)
{
    Key key("\"b\"=bool:1\r\n\"a\"=bool:0\r\n", 64);
    key.insert("c", ValueType::String, "x");
    key.insert("0", ValueType::Dword, "4294967295");
    EXPECT_EQ("\"b\"=bool:1\r\n\"a\"=bool:0\r\n\"c\"=string:\"x\"\r\n\"0\"=dword:4294967295\r\n", key.text());
    key.expectIndexAsIfReloaded();
}

TEST(KeyIndex, NewLastLineGoesAheadOfUnindexedText)
{
    Key key("\"a\"=bool:1\r\ngarbage", 64);
    key.insert("b", ValueType::Bool, "0");
    EXPECT_EQ("\"a\"=bool:1\r\n\"b\"=bool:0\r\ngarbage", key.text());
    EXPECT_EQ((std::vector<int>{525, 537, 548}), key.offsets());
}

TEST(KeyIndex, FullIndexRefusesAnotherLine)
{
    Key key(Lines(0, 255), 64);
    EXPECT_EQ(key.total(), InsertLine(key.block(), key.total(), 255, "x", 1, ValueType::Bool, "1", 1));
    EXPECT_EQ(255, key.block()->count);
    EXPECT_EQ(Lines(0, 255), key.text());
}

TEST(KeyIndex, ReplacingValuesMovesTheRestOfTheText)
{
    Key key(kExampleText, 64);
    key.replace("ExcludeThisFile   ", "all of them");
    key.replace("MaxMessageLength  ", "-1");
    key.replace("SuppressBelowLevel", "12");
    key.replace("InhibitLogOutput  ", "0");
    EXPECT_EQ("\"ExcludeThisFile   \"=string:\"all of them\"\r\n"
              "\"InhibitLogOutput  \"=bool:0\r\n"
              "\"MaxMessageLength  \"=dword:-1\r\n"
              "\"SuppressBelowLevel\"=dword:12\r\n",
              key.text());
    key.expectIndexAsIfReloaded();
    key.replace("excludethisfile   ", "");
    EXPECT_EQ("\"ExcludeThisFile   \"=string:\"\"\r\n", key.text().substr(0, 32));
    key.expectIndexAsIfReloaded();
}

TEST(KeyIndex, DeletingLinesKeepsTheOthersExact)
{
    Key key(kExampleText);
    key.remove(1);
    EXPECT_EQ("\"ExcludeThisFile   \"=string:\"none\"\r\n"
              "\"MaxMessageLength  \"=dword:1024\r\n"
              "\"SuppressBelowLevel\"=dword:4\r\n",
              key.text());
    key.expectIndexAsIfReloaded();
    key.remove(2);
    EXPECT_EQ("\"ExcludeThisFile   \"=string:\"none\"\r\n\"MaxMessageLength  \"=dword:1024\r\n", key.text());
    key.expectIndexAsIfReloaded();
    key.remove(0);
    key.remove(0);
    EXPECT_EQ("", key.text());
    EXPECT_EQ((std::vector<int>{524}), key.offsets());
    EXPECT_EQ(key.total(), DeleteLine(key.block(), key.total(), 0));
}

TEST(KeyIndex, DeletingTheLastIndexedLineKeepsTheLinesBeyond)
{
    Key key(Lines(0, 300), 64);
    key.remove(254);
    EXPECT_EQ(Lines(0, 254) + Lines(255, 300), key.text());
    EXPECT_EQ(254, key.block()->count);
    EXPECT_EQ(uint32_t(kIndexBytes + Lines(0, 254).size()), key.block()->offsets[254]);

    // The freed slot takes a new line, ahead of the unindexed ones.
    key.insert("L999", ValueType::Dword, "9");
    EXPECT_EQ(Lines(0, 254) + DwordLine("L999", 9) + Lines(255, 300), key.text());
    key.expectIndexAsIfReloaded();
}
