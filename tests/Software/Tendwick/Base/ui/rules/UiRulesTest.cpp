#include "KeyRules.h"
#include "LayoutRules.h"
#include "ScreenRules.h"
#include "SerialEntryRules.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

std::string Str(const ScreenRect& r)
{
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

const char* Show(const char* text)
{
    return text ? text : "(null)";
}

const char* const GROUP_R = "1|5|600,40,0x70|600,100,0x71|600,160,0x72|600,220,0x73|600,280,0x74";

}  // namespace

TEST(ScreenRules, PlatformNamesMatchWholeNamesIgnoringCaseAfterDemoPrefix)
{
    const struct { const char* name; int id; } rows[] = {
        {"DEMO-svga-portrait", 5}, {"DEMO-", 11}, {"VGA-Portrait", 3}, {"svga", 4}, {"SVGA-", 11}, {"demo-ZR455", 9},
        {"DEMO-DEMO-VGA", 11}, {"desktop", 10}, {"", 11}, {nullptr, 11}, {"DEM", 11},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.id, PlatformIdFromName(row.name)) << Show(row.name);
}

TEST(ScreenRules, PlatformTablesAndComputedMargins)
{
    const struct { int id; const char* rect; int count, top, margin; } rows[] = {
        {0, "0,0,320,234", 6, 0, 30},    {1, "0,0,480,640", 9, 0, 64},   {2, "0,0,640,480", 6, 0, 96},
        {3, "0,0,480,640", 6, 0, 256},   {5, "0,0,600,800", 5, 488, 48}, {6, "0,0,640,480", 6, 27, 27},
        {9, "17,0,625,350", 5, 80, 46},  {10, "17,0,625,350", 6, 0, 38}, {11, "17,0,625,350", 6, 0, 38},
        {-3, "17,0,625,350", 6, 0, 38},  {99, "17,0,625,350", 6, 0, 38},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.id);
        EXPECT_EQ(row.rect, Str(PlatformScreenRect(row.id)));
        EXPECT_EQ(row.count, PlatformSoftKeyCount(row.id));
        EXPECT_EQ(row.top, PlatformSoftKeyTop(row.id));
        int margin = -1;
        EXPECT_TRUE(PlatformSoftKeyBottomMargin(row.id, &margin));
        EXPECT_EQ(row.margin, margin);
    }
    // No pitch down to 34 leaves 28 pixels: the margin is left alone.
    int margin = -1;
    EXPECT_FALSE(ComputeBottomMargin({0, 0, 640, 200}, 6, &margin));
    EXPECT_EQ(-1, margin);
}

TEST(ScreenRules, ControlGroupGivesCountFirstCentreMarginAndPitch)
{
    ScreenRect screen = ParseScreenSize("0|0|640|480");
    EXPECT_EQ("0,0,640,480", Str(screen));
    ControlGroupLayout layout = ParseControlGroupLayout(GROUP_R);
    EXPECT_EQ(5, layout.count);
    EXPECT_EQ(40, layout.firstCentre);
    int margin = ShellSoftKeyBottomMargin(screen, layout.lastCentre);
    EXPECT_EQ(200, margin);
    EXPECT_EQ(60, SoftKeyPitch(screen, margin, layout.firstCentre, layout.count));
    EXPECT_EQ(280, SoftKeyCentreY(40, 60, 4));
    EXPECT_EQ(0, SoftKeyPitch(screen, margin, 40, 1));
}

TEST(ScreenRules, UnreadableTextsGiveZerosAndNoCodes)
{
    // Each field is read on its own: what comes before a fault still counts.
    const struct { const char* text; int firstCentre; } rows[] = {
        {nullptr, 0}, {"", 0}, {"garbage", 0}, {"1|", 0}, {"1|5|600,40,0x70|600", 40}, {"1 |5|600,40,0x70", 0},
        {"1|5|600,40,0X70|1,2,0x71", 40},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(Show(row.text));
        uint32_t codes[5] = {7, 7, 7, 7, 7}, one = 7, other = 7;
        EXPECT_FALSE(ParseControlGroupCodes(row.text, codes));
        EXPECT_EQ(7u, codes[0]);
        EXPECT_EQ(row.firstCentre, ParseControlGroupLayout(row.text).firstCentre);
        EXPECT_EQ(0, ParseControlGroupLayout(row.text).lastCentre);
        EXPECT_FALSE(ParseKnobCodes(row.text, &one, &other));
        EXPECT_EQ(7u, one);
    }
    int width = -1, height = -1;
    ParseButtonSize("91x", &width, &height);
    EXPECT_EQ(91, width);
    EXPECT_EQ(0, height);
    EXPECT_EQ("-5,0,0,0", Str(ParseScreenSize("-5|x|640|480")));
}

TEST(ScreenRules, HugeNumbersSaturateAndTheArithmeticStaysInRange)
{
    const char* group = "1|99999999999|0,-99999999999,0x70|0,0,0x71|0,0,0x72|0,0,0x73|0,99999999999,0xFFFFFFFFFFFF";
    ControlGroupLayout layout = ParseControlGroupLayout(group);
    EXPECT_EQ(INT_MAX, layout.count);
    EXPECT_EQ(INT_MIN, layout.firstCentre);
    EXPECT_EQ(INT_MAX, layout.lastCentre);
    uint32_t codes[5] = {};
    EXPECT_TRUE(ParseControlGroupCodes(group, codes));
    EXPECT_EQ(0xFFFFFFFFu, codes[4]);

    ScreenRect screen = ParseScreenSize("-99999999999|0|1|99999999999999999999");
    EXPECT_EQ(std::to_string(INT_MIN) + ",0,1," + std::to_string(INT_MAX), Str(screen));
    EXPECT_EQ(INT_MAX, ShellSoftKeyBottomMargin(screen, INT_MIN));
    EXPECT_EQ(INT_MAX, SoftKeyPitch(screen, INT_MIN, INT_MIN, 2));
    EXPECT_EQ(INT_MAX, SoftKeyCentreY(INT_MAX, INT_MAX, 4));
}

TEST(ScreenRules, KeyTablesApplyGroupsInOrderLaterWins)
{
    uint32_t table[KEY_TABLE_SIZE];
    // 0x41 is in ControlGroup_L and in Knob_R; 0x1FF is too large to map.
    BuildShellKeyTable(table, "2|5|0,0,0x41|0,0,0x42|0,0,0x43|0,0,0x44|0,0,0x1FF", GROUP_R, "0|0,0|0x10,0x11,0x12,0x13",
                       "0|0,0|0x41,0x45,0x0,0x0");
    const struct { uint32_t raw, key; } rows[] = {
        {0x41, KEY_UP},   {0x42, 0x32},     {0x44, 0x34}, {0x70, KEY_F1}, {0x74, KEY_F5}, {0x10, KEY_RIGHT},
        {0x11, KEY_LEFT}, {0x45, KEY_DOWN}, {0x12, 0},    {0xDB, 0xDB},   {0xDD, 0xDD},   {0xFF, 0},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.key, table[row.raw]) << std::hex << row.raw;

    // Unreadable values map nothing but the two fixed entries.
    BuildShellKeyTable(table, nullptr, "junk", nullptr, "");
    for (size_t i = 0; i < KEY_TABLE_SIZE; ++i)
        EXPECT_EQ((i == 0xDB || i == 0xDD) ? i : 0u, table[i]) << i;
    BuildPlatformKeyTable(table);
    for (size_t i = 0; i < KEY_TABLE_SIZE; ++i)
        EXPECT_EQ((i >= 0x70 && i <= 0x74) ? i : 0u, table[i]) << i;
}

TEST(ScreenRules, LogonShellDecidesElseTheSavedOne)
{
    const struct { const char* logon; const char* saved; bool unit, save; } rows[] = {
        {"C:\\Unit\\MyShELL.exe", nullptr, true, true}, {"c:\\zelsys\\SYSTEM.exe", "shell.exe", false, true},
        {"explorer.exe", "c:\\shell.exe", true, false}, {"explorer.exe", nullptr, false, false},
        {"", "explorer.exe", false, false},             {nullptr, "SHELL", true, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(Show(row.logon)) + " / " + Show(row.saved));
        bool save = !row.save;
        EXPECT_EQ(row.unit, IsUnitShell(row.logon, row.saved, &save));
        EXPECT_EQ(row.save, save);
    }
}

TEST(KeyRules, Block10TableMasksAndSoftKeys)
{
    const struct { uint32_t raw, key; } rows[] = {
        {0x72, 0x31}, {0x73, 0x32}, {0x1B, 0x33}, {0x74, 0x34}, {0x75, 0x35}, {0x71, 0x70}, {0x70, 0x71}, {0x31, 0x72},
        {0x32, 0x73}, {0x33, 0x74}, {0x58, 0x25}, {0x44, 0x27}, {0x28, 0x28}, {0x26, 0x26}, {0x25, 0},    {0x34, 0},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.key, TranslateBlock10Key(row.raw)) << std::hex << row.raw;

    // Which keys each mask lets through: F1..F5, then left, right, up, down.
    const struct { uint32_t mask; const char* allowed; } masks[] = {
        {MASK_SAVE, "100010000"}, {MASK_RESTORE, "001010000"}, {MASK_BASE, "100100000"}, {MASK_F5, "000010000"},
        {MASK_F1, "100000000"},   {MASK_SERIAL_ENTRY, "100011111"},
    };
    const uint32_t keys[] = {KEY_F1, KEY_F2, KEY_F3, KEY_F4, KEY_F5, KEY_LEFT, KEY_RIGHT, KEY_UP, KEY_DOWN};
    for (const auto& row : masks) {
        for (int i = 0; i < 9; ++i)
            EXPECT_EQ(row.allowed[i] == '1', IsKeyAllowed(row.mask, keys[i])) << std::hex << row.mask << " " << keys[i];
    }
    EXPECT_FALSE(IsKeyAllowed(0xFFFFFFFE, 0x31));   // an unknown key needs every bit
    EXPECT_EQ(5, SoftKeyNumber(KEY_F5));
    EXPECT_EQ(0, SoftKeyNumber(KEY_F6));
}

TEST(SerialEntryRules, StartsOnTheLastCharacterInUpperCase)
{
    SerialEntryText entry;
    entry.Start("aB3?x 9");
    EXPECT_STREQ("AB3?X 9", entry.Text());
    EXPECT_EQ(6, entry.Cursor());
    // Lower case, '?' and the space start on the digit 0.
    const int indices[] = {1, 13, 4, 1, 1, 1, 10, 0, 0, 0};
    for (int i = 0; i < SERIAL_ENTRY_CHARS; ++i)
        EXPECT_EQ(indices[i], entry.IndexAt(i)) << i;

    entry.Start("abcdefghijklmn");
    EXPECT_STREQ("ABCDEFGHIJ", entry.Text());
    EXPECT_TRUE(entry.Up());
    EXPECT_STREQ("ABCDEFGHI1", entry.Text());

    entry.Start(nullptr);
    EXPECT_STREQ("", entry.Text());
    EXPECT_EQ(0, entry.Cursor());
}

TEST(SerialEntryRules, EditsStopAtTheEndsOfTheSetAndTheText)
{
    SerialEntryText entry;
    entry.Start("1234569");
    EXPECT_TRUE(entry.Up());
    EXPECT_STREQ("123456 ", entry.Text());
    EXPECT_EQ(11, entry.IndexAt(6));
    EXPECT_TRUE(entry.Up());
    EXPECT_STREQ("123456A", entry.Text());
    entry.Start("0");
    EXPECT_FALSE(entry.Down());
    entry.Start("]");
    EXPECT_FALSE(entry.Up());
    EXPECT_TRUE(entry.Down());
    EXPECT_STREQ("[", entry.Text());

    // Every character the knob offers, in turn: the record separator '|' is not among them.
    entry.Start("0");
    std::string offered = "0";
    while (entry.Up()) offered += entry.Text();
    EXPECT_EQ("0123456789 ABCDEFGHIJKLMNOPQRSTUVWXYZ-=+~!@#$%^&*(){}[]", offered);

    // Growing stops at 10; an empty last position does not grow.
    entry.Start("A");
    for (int i = 0; i < 9; ++i) {
        EXPECT_TRUE(entry.Right());
        EXPECT_FALSE(entry.Right());
        EXPECT_TRUE(entry.Up());
    }
    EXPECT_STREQ("A000000000", entry.Text());
    EXPECT_FALSE(entry.Right());
    EXPECT_TRUE(entry.Left());
    EXPECT_STREQ("A00000000", entry.Text());
    EXPECT_EQ(8, entry.Cursor());

    // At position 0 Left empties the text once; an empty position starts on 0.
    entry.Start("Q");
    EXPECT_TRUE(entry.Left());
    EXPECT_STREQ("", entry.Text());
    EXPECT_FALSE(entry.Left());
    EXPECT_FALSE(entry.Right());
    EXPECT_FALSE(entry.Down());
    EXPECT_TRUE(entry.Up());
    EXPECT_STREQ("0", entry.Text());
}

TEST(LayoutRules, ScreenClasses)
{
    // "W" 8 wide: a 96-pixel edit control, centred with its caption.
    const struct { ScreenRect client; const char *label1, *label4, *progress, *edit, *status; int versionY; } rows[] = {
        {{0, 0, 640, 480}, "145,150,495,200", "182,330,458,430", "220,425,420,445", "312,230,408,250",
         "232,260,408,280", 450},
        {{0, 0, 800, 600}, "200,150,600,200", "250,330,550,430", "100,545,700,565", "392,280,488,300",
         "312,310,488,330", 570},
        {{0, 0, 608, 350}, "129,150,479,200", "166,330,442,430", "204,295,404,315", "296,200,392,220",
         "216,230,392,250", 320},
        {{0, 0, 480, 800}, "65,150,415,200", "102,330,378,430", "140,745,340,765", "232,380,328,400",
         "152,410,328,430", 770},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(Str(row.client));
        MaintLayout layout = ComputeMaintLayout(row.client);
        int cx = row.client.right / 2;
        EXPECT_EQ(Str({cx - 70, 25, cx + 70, 320}), Str(layout.animation));
        EXPECT_EQ(row.label1, Str(layout.labels[0]));
        EXPECT_EQ(row.label4, Str(layout.labels[3]));
        EXPECT_EQ(row.progress, Str(layout.progress));
        EXPECT_EQ(row.versionY, layout.versionY);
        EXPECT_EQ(row.client.bottom == 350, UsesSmallKeyFaces(row.client));
        AdjustStatusLabels(layout);
        EXPECT_EQ(Str({layout.labels[0].left, 125, layout.labels[0].right, 175}), Str(layout.labels[0]));
        EXPECT_EQ(Str({layout.labels[1].left, 185, layout.labels[1].right, 285}), Str(layout.labels[1]));
        // Line 3 no longer lies under the grown detail text.
        EXPECT_EQ(Str({layout.labels[2].left, 285, layout.labels[2].right, 320}), Str(layout.labels[2]));

        SerialEntryLayout sn = ComputeSerialEntryLayout(row.client, 96);
        EXPECT_EQ(row.edit, Str(sn.edit));
        EXPECT_EQ(row.status, Str(sn.status));
        EXPECT_EQ(Str({sn.status.left, sn.edit.top, sn.status.left + 70, sn.edit.bottom}), Str(sn.caption));
    }
    // Wide and tall: the width rule comes first.
    EXPECT_EQ(768 - 320, ComputeSerialEntryLayout({0, 0, 1024, 768}, 96).edit.top);
}

TEST(LayoutRules, SoftKeyColumnAndCornerCaptions)
{
    EXPECT_EQ(563, ComputeSoftKeyColumn(1, 608, 91).centreX);
    EXPECT_EQ(517, ComputeSoftKeyColumn(1, 608, 91).leftX);
    EXPECT_EQ(42, ComputeSoftKeyColumn(0, 608, 84).centreX);
    ScreenRect parent = {0, 0, 616, 350};
    EXPECT_EQ("1,329,71,349", Str(LeftCornerBox(parent)));
    EXPECT_EQ("545,329,615,349", Str(RightCornerBox(parent)));
    EXPECT_EQ(1 + 15, CornerTextX(LeftCornerBox(parent), 40));
    EXPECT_EQ(1 + 2, CornerTextX(LeftCornerBox(parent), 70));
}
