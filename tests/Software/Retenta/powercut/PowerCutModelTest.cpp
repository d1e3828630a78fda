// The power-cut model on its own: what a flush makes durable, what a cut may
// keep of everything else, and the fates drawn from a seed.
#include <gtest/gtest.h>

#include <string>

#include "PowerCutModel.h"

namespace {

using namespace powercut;

const std::string kOld(2000, 'o');

std::string Bytes(size_t count, char first)
{
    std::string bytes(count, ' ');
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>(first + i % 23);
    return bytes;
}

// Writes go in part up to their first 512-byte boundary; the rest is kept.
Fate PartOfWrites(const DiskOp& op)
{
    if (op.kind == OpKind::Write) return Fate{FateKind::Part, kSectorBytes - op.offset % kSectorBytes};
    return Fate{FateKind::Keep};
}

// Sizes dropped, writes in part: the new head over the old file.
Fate TornInPlace(const DiskOp& op)
{
    if (op.kind == OpKind::SetSize) return Fate{FateKind::Drop};
    return PartOfWrites(op);
}

TEST(PowerCutModel, ARewrittenFileKeepsWhatItsFlushMadeDurableAndAnyMixOfTheRest)
{
    const std::string fresh = Bytes(1000, 'A');
    struct Row {
        const char* what;
        bool        flushed;
        size_t      cut;   // changes before the cut: 0 truncation, 1 write, 2 flush
        FateChooser choose;
        std::string expected;
    };
    const Row rows[] = {
        {"flushed: nothing pending", true, 3, AllFates(false), fresh},
        {"unflushed, every change landed", false, 2, AllFates(true), fresh},
        {"unflushed, nothing landed", false, 2, AllFates(false), kOld},
        {"truncated, the write lost", false, 2,
         [](const DiskOp& op) { return Fate{op.kind == OpKind::SetSize ? FateKind::Keep : FateKind::Drop}; }, ""},
        {"first sector of the write landed", false, 2, PartOfWrites, fresh.substr(0, 512)},
        {"the new head over the old file", false, 2, TornInPlace, fresh.substr(0, 512) + kOld.substr(512)},
        {"a flush after the cut makes nothing durable", true, 2, AllFates(false), kOld},
        {"cut before the truncation", true, 0, AllFates(true), kOld},
        {"cut between truncation and write", true, 1, AllFates(true), ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        CDiskJournal journal(Image{{"f", kOld}});
        int file = journal.Create("f", true);
        journal.Write(file, 0, fresh);
        if (row.flushed) journal.Flush(file);
        Image after = journal.AfterCut(row.cut, row.choose);
        ASSERT_EQ(1u, after.count("f"));
        EXPECT_EQ(row.expected.size(), after["f"].size());
        EXPECT_TRUE(row.expected == after["f"]);
    }
}

TEST(PowerCutModel, NamesLandInOrderAndAFlushForcesThoseBeforeIt)
{
    struct Row {
        const char* what;
        bool        flushC;
        FateChooser choose;
        Image       expected;
    };
    const Row rows[] = {
        {"nothing landed", false, AllFates(false), {}},
        {"all landed", false, AllFates(true), {{"b", "bee"}, {"c", "sea"}}},
        {"c's name cannot land without b's before it", false, KeepOnly("c"), {}},
        {"b landed, c did not", false, KeepOnly("b"), {{"b", "bee"}}},
        {"c flushed: both names forced, only c's content", true, AllFates(false), {{"b", ""}, {"c", "sea"}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        CDiskJournal journal;
        journal.Copy("b", "bee");
        journal.Copy("c", "sea");
        if (row.flushC) journal.Flush(journal.FileAt("c"));
        EXPECT_EQ(row.expected, journal.AfterCut(journal.Ops().size(), row.choose));
    }
}

TEST(PowerCutModel, MoveAsideAndDeleteAreChangesOfNames)
{
    CDiskJournal journal(Image{{"a", "A"}, {"gone", "G"}});
    journal.Move("a", "a.aside");
    journal.Copy("a", "new");
    journal.Delete("gone");
    const Image all = {{"a", "new"}, {"a.aside", "A"}};
    EXPECT_EQ(all, journal.Live());
    EXPECT_EQ(all, journal.AfterCut(journal.Ops().size(), AllFates(true)));
    EXPECT_EQ((Image{{"a", "A"}, {"gone", "G"}}), journal.AfterCut(journal.Ops().size(), AllFates(false)));
    // The rename dropped: the new file's name (after it) cannot land either,
    // whatever became of its content.
    auto noRename = [](const DiskOp& op) { return Fate{op.kind == OpKind::Rename ? FateKind::Drop : FateKind::Keep}; };
    EXPECT_EQ((Image{{"a", "A"}, {"gone", "G"}}), journal.AfterCut(journal.Ops().size(), noRename));

    // A flush of the new file forces the rename before its creation.
    journal.Flush(journal.FileAt("a"));
    EXPECT_EQ((Image{{"a", "new"}, {"a.aside", "A"}, {"gone", "G"}}),
              journal.AfterCut(journal.Ops().size(), AllFates(false)));
    EXPECT_EQ((std::set<std::string>{"a", "a.aside", "gone"}), journal.Names());
}

TEST(PowerCutModel, AWritePastTheEndLeavesZerosWhereNothingLanded)
{
    CDiskJournal journal(Image{{"f", ""}});
    int file = journal.FileAt("f");
    journal.Write(file, 0, "head");
    journal.Write(file, 1024, "tail");
    auto onlySecond = [](const DiskOp& op) { return Fate{op.offset == 1024 ? FateKind::Keep : FateKind::Drop}; };
    EXPECT_EQ(std::string(1024, '\0') + "tail", journal.AfterCut(2, onlySecond)["f"]);
    EXPECT_EQ("head" + std::string(1020, '\0') + "tail", journal.Live()["f"]);
}

TEST(PowerCutModel, RandomFatesRepeatWithTheirSeedAndCutWritesAtSectorBoundaries)
{
    DiskOp write{OpKind::Write, 0, "f", "", 100, Bytes(2000, 'a')};
    DiskOp small{OpKind::Write, 0, "f", "", 0, Bytes(512, 'a')};
    CRandomFates fates(7), again(7), other(8);
    int seen[4] = {};
    for (int i = 0; i < 3000; ++i) {
        Fate fate = fates(write);
        Fate repeat = again(write);
        ASSERT_EQ(static_cast<int>(fate.kind), static_cast<int>(repeat.kind));
        ASSERT_EQ(fate.keptBytes, repeat.keptBytes);
        ++seen[static_cast<int>(fate.kind)];
        ASSERT_EQ(fate.sectors, repeat.sectors);
        if (fate.kind == FateKind::Sectors) EXPECT_EQ(5u, fate.sectors.size()) << "bytes 100 to 2099 touch five sectors";
        if (fate.kind == FateKind::Part) {
            EXPECT_GT(fate.keptBytes, 0u);
            EXPECT_LT(fate.keptBytes, write.data.size());
            EXPECT_EQ(0u, (write.offset + fate.keptBytes) % kSectorBytes) << fate.keptBytes;
        }
        EXPECT_NE(FateKind::Part, other(small).kind) << "one sector has no boundary inside";
    }
    for (int kind = 0; kind < 4; ++kind) EXPECT_GT(seen[kind], 600) << kind;
}

TEST(PowerCutModel, AWriteLandsAsAnySetOfItsSectors)
{
    CDiskJournal journal(Image{{"f", kOld}});
    const std::string fresh = Bytes(1500, 'A');
    journal.Write(journal.FileAt("f"), 0, fresh);
    struct Row {
        const char*       what;
        std::vector<bool> sectors;
        std::string       expected;
    };
    const Row rows[] = {
        {"a later sector without the first", {false, true, false},
         kOld.substr(0, 512) + fresh.substr(512, 512) + kOld.substr(1024)},
        {"the first and the last", {true, false, true},
         fresh.substr(0, 512) + kOld.substr(512, 512) + fresh.substr(1024) + kOld.substr(1500)},
        {"none", {false, false, false}, kOld},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Fate fate{FateKind::Sectors};
        fate.sectors = row.sectors;
        EXPECT_EQ(row.expected, journal.AfterCut(1, [&](const DiskOp&) { return fate; })["f"]);
    }
}

TEST(PowerCutModel, ACopySetsTheEndFirstAndCanTearInTheMiddleKeepingSizeAndTail)
{
    const std::string fresh = Bytes(1600, 'A');
    CDiskJournal journal(Image{{"s", kOld.substr(0, 1600)}});
    journal.Copy("s", fresh);
    std::vector<std::string> ops;
    for (const DiskOp& op : journal.Ops()) ops.push_back(Describe(op));
    EXPECT_EQ((std::vector<std::string>{"size 0 of s", "size 1600 of s", "write of 1600 bytes at 0 to s", "times of s"}),
              ops);
    // The cut to 0 lost, the new end kept, of the data only the last sector.
    auto tornMiddle = [](const DiskOp& op) {
        if (op.kind == OpKind::SetSize) return Fate{op.offset == 0 ? FateKind::Drop : FateKind::Keep};
        Fate fate{FateKind::Sectors};
        fate.sectors = {false, false, false, true};
        return fate;
    };
    std::string torn = journal.AfterCut(journal.Ops().size(), tornMiddle)["s"];
    ASSERT_EQ(fresh.size(), torn.size());
    EXPECT_EQ(fresh.substr(1536), torn.substr(1536)) << "the tail is the new one";
    EXPECT_NE(fresh, torn);
}

TEST(PowerCutModel, NamesOnTwoVolumesLandInNoOrderBetweenThem)
{
    CDiskJournal journal;
    journal.Copy("C:\\k.pri", "P");
    journal.Copy("e:\\k.sec", "S");
    EXPECT_EQ("c:", VolumeOf("C:\\k.pri"));
    // On one volume the second name needs the first; here it does not.
    EXPECT_EQ((Image{{"e:\\k.sec", "S"}}), journal.AfterCut(journal.Ops().size(), KeepOnly("e:\\k.sec")));
    // A flush forces the names of its own volume only.
    journal.Flush(journal.FileAt("e:\\k.sec"));
    EXPECT_EQ((Image{{"e:\\k.sec", "S"}}), journal.AfterCut(journal.Ops().size(), AllFates(false)));
}

} // namespace
