#include "Crc32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

using keyfile::Crc32;

TEST(Crc32, MatchesTheCheckValues)
{
    EXPECT_EQ(0x89A1897Fu, Crc32("123456789", 9));
    EXPECT_EQ(2309065087u, Crc32("123456789", 9));
    EXPECT_EQ(0x2C17398Cu, Crc32("abc", 3));
    EXPECT_EQ(0u, Crc32("", 0));
    EXPECT_EQ(0u, Crc32(nullptr, 0));
    // One byte 0x01 picks table entry 1, which is the polynomial itself.
    EXPECT_EQ(0x04C11DB7u, Crc32("\x01", 1));
}

TEST(Crc32, ContinuesAcrossPieces)
{
    const char* text = "\"InhibitLogOutput  \"=bool:1\r\n";
    size_t len = std::strlen(text);
    uint32_t whole = Crc32(text, len);
    for (size_t cut = 0; cut <= len; ++cut)
        EXPECT_EQ(whole, Crc32(text + cut, len - cut, Crc32(text, cut))) << "cut at " << cut;
}

TEST(Crc32, ConcurrentCallersAgree)
{
    std::vector<uint32_t> results(8);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < results.size(); ++i)
        threads.emplace_back([&results, i] { results[i] = Crc32("123456789", 9); });
    for (auto& t : threads)
        t.join();
    for (uint32_t r : results)
        EXPECT_EQ(0x89A1897Fu, r);
}
