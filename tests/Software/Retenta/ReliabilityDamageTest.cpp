// Every single-byte change and every truncation of a valid primary: the open
// must take the secondary (0x2007) with all values intact and put the
// primary right again.
#include <string>
#include <utility>
#include <vector>

#include "Reliability.h"
#include "StoreTestSupport.h"

namespace {

const char kSub[] = "Damage";
const char kKey[] = "Small";

struct Expected {
    std::vector<std::pair<std::string, std::string>> strings;
    std::vector<std::pair<std::string, unsigned long>> dwords;
    std::vector<std::pair<std::string, int>> bools;
};

Expected SmallKey()
{
    Expected e;
    e.strings = {{"ExcludeThisFile", "none"}, {"Platform", "ZR455"}, {"Quoted", "say \"hi\" now"},
                 {"StartupApp", "c:\\zelsys\\system.exe|Maintenance"}};
    e.dwords = {{"Brightness", 4294967295UL}, {"KnobLevels", 12}, {"MaxMessageLength", 1024}, {"ScreenSize", 2}};
    e.bools = {{"ExternalVideo", 1}, {"InhibitLogOutput", 0}};
    return e;
}

// Reads the current key; empty when every value is as expected.
std::string Differences(const Expected& e)
{
    std::string out;
    char buffer[128];
    for (const auto& v : e.strings)
        if (GetPersistedString(v.first.c_str(), sizeof buffer, buffer, nullptr) != PERS_SUCCESS || v.second != buffer)
            out += v.first + " ";
    for (const auto& v : e.dwords) {
        unsigned long got = 0;
        if (GetPersistedDW(v.first.c_str(), &got) != PERS_SUCCESS || got != v.second) out += v.first + " ";
    }
    for (const auto& v : e.bools) {
        int got = -1;
        if (GetPersistedBool(v.first.c_str(), &got) != PERS_SUCCESS || got != v.second) out += v.first + " ";
    }
    return out;
}

TEST(ReliabilityDamage, EveryDamagedPrimaryIsRecoveredFromTheSecondary)
{
    RunStore store(kSub, kKey);
    ASSERT_TRUE(store.basePathSet) << store.dir.Path();
    const Expected expected = SmallKey();

    OnThread([&] {
        ASSERT_NE(PERS_FAILED, OpenPersistKey(kSub, kKey, 1000));
        for (const auto& v : expected.strings) ASSERT_NE(PERS_FAILED, PersistString(v.first.c_str(), v.second.c_str()));
        for (const auto& v : expected.dwords) ASSERT_NE(PERS_FAILED, PersistDW(v.first.c_str(), v.second));
        for (const auto& v : expected.bools) ASSERT_NE(PERS_FAILED, PersistBool(v.first.c_str(), v.second));
        ASSERT_EQ(Success(), Got(ClosePersistKey(1000)));
    });
    const std::string original = ReadFileBytes(store.pri);
    ASSERT_EQ(original, ReadFileBytes(store.sec));
    ASSERT_GT(original.size(), 200u);

    int changes = 0, truncations = 0, recovered = 0, wrongCode = 0, wrongValues = 0, notRepaired = 0,
        secondaryTouched = 0;
    auto tryPrimary = [&](const std::string& damaged, const std::string& what) {
        ASSERT_TRUE(WriteFileBytes(store.pri, damaged));
        bool ok = true;
        OnThread([&] {
            Outcome open = Got(OpenPersistKey(kSub, kKey, 1000));
            if (!(open == SuccessWith(PERS_PRIMARY_INVALID_RECOVERED))) {
                ++wrongCode;
                ok = false;
                ADD_FAILURE() << what << ": open gave " << open;
                return;
            }
            std::string diff = Differences(expected);
            if (!diff.empty()) {
                ++wrongValues;
                ok = false;
                ADD_FAILURE() << what << ": values differ: " << diff;
            }
        });
        if (ReadFileBytes(store.pri) != original) {
            ++notRepaired;
            ok = false;
            ADD_FAILURE() << what << ": primary not repaired";
        }
        if (ReadFileBytes(store.sec) != original) {
            ++secondaryTouched;
            ok = false;
            ADD_FAILURE() << what << ": secondary changed";
            WriteFileBytes(store.sec, original);
        }
        if (ok) ++recovered;
    };

    for (size_t at = 0; at < original.size() && !HasFatalFailure(); ++at) {
        unsigned char was = static_cast<unsigned char>(original[at]);
        for (int value = 0; value < 256; ++value) {
            if (value == was) continue;
            unsigned diff = static_cast<unsigned>(value ^ was);
            if (g_reliability.damage == ReliabilityOptions::EveryBit && (diff & (diff - 1))) continue;
            if (g_reliability.damage == ReliabilityOptions::SomeBits && diff != 0x01 && diff != 0x80) continue;
            std::string damaged = original;
            damaged[at] = static_cast<char>(value);
            ++changes;
            tryPrimary(damaged, "byte " + std::to_string(at) + " = " + std::to_string(value));
        }
    }
    for (size_t length = 0; length < original.size() && !HasFatalFailure(); ++length) {
        ++truncations;
        tryPrimary(original.substr(0, length), "cut to " + std::to_string(length));
    }

    Figure("damage: %d single-byte changes (%s) and %d truncations of a %u-byte primary: recovered with 0x2007, "
           "values intact and primary repaired: %d; wrong result: %d, wrong values: %d, not repaired: %d, "
           "secondary changed: %d",
           changes,
           g_reliability.damage == ReliabilityOptions::EveryValue ? "every other value"
           : g_reliability.damage == ReliabilityOptions::EveryBit ? "each bit flipped"
                                                                  : "lowest and highest bit flipped",
           truncations,
           static_cast<unsigned>(original.size()), recovered, wrongCode, wrongValues, notRepaired, secondaryTouched);
    EXPECT_EQ(changes + truncations, recovered);
}

} // namespace
