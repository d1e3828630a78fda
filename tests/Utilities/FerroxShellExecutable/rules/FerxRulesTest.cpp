#include "DisplayRules.h"
#include "LogRules.h"
#include "ReportRules.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Image headers at 0x80 with sections {virtual address, virtual size, raw size}.
std::vector<uint8_t> Image(const std::vector<std::vector<uint32_t>>& sections)
{
    const size_t tableAt = 0x80 + 24 + 224;
    std::vector<uint8_t> b(tableAt + 40 * sections.size(), 0);
    auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&b[at], &v, 4); };   // little-endian host
    b[0] = 'M', b[1] = 'Z', b[0x80] = 'P', b[0x81] = 'E';
    put32(0x3C, 0x80);
    b[0x80 + 6] = static_cast<uint8_t>(sections.size());
    b[0x80 + 20] = 224;
    for (size_t i = 0; i < sections.size(); ++i) {
        put32(tableAt + 40 * i + 8, sections[i][1]);
        put32(tableAt + 40 * i + 12, sections[i][0]);
        put32(tableAt + 40 * i + 16, sections[i][2]);
    }
    return b;
}

std::string Hit(const std::vector<uint8_t>& image, uint32_t rva, size_t size)
{
    ImageSectionHit hit = {99, 99};
    if (!FindImageSection(image.data(), size, rva, &hit)) return "none";
    char text[32];
    FormatLogicalAddress(hit, text, sizeof text);
    return text;
}

}  // namespace

TEST(DisplayRules, ScreenSizeIsFourNumericFieldsElseTheDefault)
{
    const struct { const char* text; const char* rect; } rows[] = {
        {"0|0|640|480", "0,0 640x480"}, {"-8|+4|800|600", "-8,4 800x600"}, {"0|0|01234567890|480", "0,0 1234567890x480"},
        {"0|0|640", nullptr},           {"0|0|640|480|1", nullptr},        {"0|0|640|", nullptr},
        {"0| 0|640|480", "0,0 640x480"}, {" 0 |\t0|640 | 480\t", "0,0 640x480"}, {"0|- 0|640|480", nullptr},
        {"0|0|6 40|480", nullptr},      {"0|  |640|480", nullptr},         {"0|0|640|480\n", nullptr},
        {"0|0|640x|480", nullptr},      {"0|0|0|480", nullptr},
        {"0|0|012345678901|480", nullptr}, {"0|0|99999999999|480", nullptr}, {"", nullptr}, {nullptr, nullptr},
        {"0|0|  1234567890|480", "0,0 1234567890x480"}, {"0|0|\t01234567890 \t|480", "0,0 1234567890x480"},
        {"0|0|  012345678901|480", nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text ? row.text : "(null)");
        ShellRect r = {7, 7, 7, 7};
        EXPECT_EQ(row.rect != nullptr, ParseShellScreenSize(row.text, &r));
        std::string got = std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.width) + "x" +
                          std::to_string(r.height);
        EXPECT_EQ(row.rect ? row.rect : "7,7 7x7", got);
    }
}

TEST(LogRules, RepeatTableStartsOverWhenFull)
{
    CRepeatTable table(3);
    EXPECT_FALSE(table.SeenBefore(1));
    EXPECT_TRUE(table.SeenBefore(1));
    EXPECT_FALSE(table.SeenBefore(2));
    EXPECT_FALSE(table.SeenBefore(3));
    EXPECT_FALSE(table.SeenBefore(4));   // full: starts over, 1 to 3 forgotten
    EXPECT_FALSE(table.SeenBefore(1));
    CRepeatTable none(0);
    EXPECT_FALSE(none.SeenBefore(5));
    EXPECT_FALSE(none.SeenBefore(5));
}

TEST(ReportRules, SectionHoldsAddressesUpToTheLargerOfItsSizesWithinTheBytes)
{
    std::vector<uint8_t> image = Image({{0x1000, 0x100, 0x200}, {0x3000, 0x800, 0x200}});
    const struct { uint32_t rva; size_t cut; const char* hit; } rows[] = {
        {0x1000, 0, "001:00000000"}, {0x1200, 0, "001:00000200"}, {0x1201, 0, "none"},
        {0x3800, 0, "002:00000800"}, {0xFFF, 0, "none"},
        {0x3000, 1, "none"},         // second section header cut off
        {0x1000, 1, "001:00000000"}, {0x1000, image.size() - 0x3C, "none"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.rva);
        EXPECT_EQ(row.hit, Hit(image, row.rva, image.size() - row.cut));
    }
    std::vector<uint8_t> lying = image;
    lying[0x80 + 6] = 0xFF;   // more sections claimed than the bytes hold
    lying[0x3F] = 0x7F;       // and the headers far past them
    EXPECT_EQ("none", Hit(lying, 0x5000, lying.size()));
}
