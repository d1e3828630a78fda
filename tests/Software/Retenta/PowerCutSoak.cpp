// The soak: a key changed and closed in rounds, the power cut at a random
// point of each session with random fates for what the cache still held,
// and every cut checked by the open that follows it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "PowerCutKey.h"

namespace {

struct SoakCounts {
    int    cuts = 0;
    int    roundsRun = 0;
    int    roundsSaved = 0;          // closes that returned before their cut
    int    repairedSecondary = 0;    // from the primary (0x2006)
    int    repairedPrimary = 0;      // from the secondary (0x2007)
    int    createdNew = 0;
    int    lost = 0;                 // opens without the saved round
    int    unrepaired = 0;           // files not valid and equal after the open
    size_t changes = 0;
};

TEST(PowerCutSoak, CutsAtRandomPointsLoseNoSavedRound)
{
    CPowerCutKey key;
    ASSERT_TRUE(key.Ready());
    unsigned seed = g_powerCut.seed ? g_powerCut.seed : GetTickCount();
    std::printf("power-cut soak: seed %u\n", seed);   // before the first round: a hang still names it
    powercut::CRandomFates random(seed);
    auto fates = [&random](const powercut::DiskOp& op) { return random(op); };

    SoakCounts n;
    unsigned long saved = 0;
    int told = 0;
    // The open after a cut: the saved round or the one in flight, and both
    // files repaired.
    auto check = [&](const PowerCutSession& s) {
        if (s.openDetail == PERS_SECONDARY_MISSING_RECOVERED) ++n.repairedSecondary;
        else if (s.openDetail == PERS_PRIMARY_INVALID_RECOVERED) ++n.repairedPrimary;
        else if (s.openDetail == PERS_KEY_CREATED_NEW || s.openDetail == PERS_PATH_CREATED) ++n.createdNew;
        bool kept = s.openResult != PERS_FAILED && s.valuesOk && (s.shown == saved || s.shown == saved + 1);
        if (!kept) ++n.lost;
        if (!s.filesOk) ++n.unrepaired;
        if ((!kept || !s.filesOk) && ++told <= 10)
            ADD_FAILURE() << "after cut " << n.cuts << ": round " << saved << " was saved; open 0x" << std::hex
                          << s.openResult << "/0x" << s.openDetail << std::dec << ", "
                          << (s.valuesOk ? "round " + std::to_string(s.shown) + " " : std::string()) << s.why;
    };

    powercut::Image image;   // no files: the first open creates the key
    for (int cut = 0; cut < g_powerCut.cuts; ++cut) {
        int rounds = 1 + static_cast<int>(random.Next(4));
        PowerCutSession session = key.Run(image, rounds);
        check(session);
        size_t point = random.Next(static_cast<uint32_t>(session.journal.Ops().size() + 1));
        saved = CPowerCutKey::ConfirmedAt(session, point);
        for (const RoundMark& mark : session.rounds) n.roundsSaved += mark.closeEnd <= point ? 1 : 0;
        n.roundsRun += rounds;
        n.changes += session.journal.Ops().size();
        image = session.journal.AfterCut(point, fates);
        ++n.cuts;
    }
    check(key.Run(image, 0));

    std::printf("[  FIGURE  ] power cuts: %d, rounds run: %d, saved before their cut: %d, keys lost: %d (seed %u, "
                "%s)\n",
                n.cuts, n.roundsRun, n.roundsSaved, n.lost, seed,
                key.TwoVolumes() ? "secondary on E:, a volume of its own" : "both files on one volume: no E:");
    std::printf("[  FIGURE  ] power cuts: opens that repaired the secondary from the primary: %d, the primary from "
                "the secondary: %d; keys created new: %d; files unrepaired after the open: %d; changes recorded: %lu\n",
                n.repairedSecondary, n.repairedPrimary, n.createdNew, n.unrepaired,
                static_cast<unsigned long>(n.changes));
    std::fflush(stdout);
    EXPECT_EQ(0, n.lost);
    EXPECT_EQ(0, n.unrepaired);
}

} // namespace
