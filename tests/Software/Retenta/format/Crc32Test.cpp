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

// The eight-byte steps against the byte loop, over every length up to a few
// steps and every start within a step, alone and continuing a CRC: the tails
// and the joins between the two loops are where a slip would show.
TEST(Crc32, EightByteStepsAgreeWithTheByteLoop)
{
    std::vector<unsigned char> bytes(4096 + 16);
    uint32_t seed = 2463534242u;
    for (unsigned char& b : bytes) {
        seed ^= seed << 13, seed ^= seed >> 17, seed ^= seed << 5;
        b = static_cast<unsigned char>(seed);
    }
    for (uint32_t start : {0u, 0x89A1897Fu}) {
        for (size_t offset = 0; offset < 8; ++offset) {
            for (size_t len = 0; len <= 40; ++len) {
                SCOPED_TRACE("start " + std::to_string(start) + " offset " + std::to_string(offset) + " length " +
                             std::to_string(len));
                ASSERT_EQ(keyfile::Crc32Bytewise(bytes.data() + offset, len, start),
                          Crc32(bytes.data() + offset, len, start));
            }
        }
        EXPECT_EQ(keyfile::Crc32Bytewise(bytes.data() + 3, 4096 + 5, start), Crc32(bytes.data() + 3, 4096 + 5, start));
    }
    // All-ones bytes drive every table entry's top bits.
    std::vector<unsigned char> ones(64, 0xFF);
    EXPECT_EQ(keyfile::Crc32Bytewise(ones.data(), ones.size()), Crc32(ones.data(), ones.size()));
    EXPECT_EQ(0x89A1897Fu, keyfile::Crc32Bytewise("123456789", 9));
}
