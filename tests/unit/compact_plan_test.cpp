// What keeps a run of 100,000 files within the memory of its rows: temporary
// names kept as numbers, journal files in one compact list, a journal written
// and read a block at a time, and steps whose names the rows tell, also for
// a companion that comes back from a temporary name.

#include "journal.h"
#include "rename_run.h"
#include "safe_rename.h"
#include "test_support.h"
#include "undo_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace velmora;

namespace {

TEST(TemporaryNameTest, TheNumberGivesTheName) {
    const std::pair<std::uint64_t, const char*> cases[] = {
        {0, "~vlm000000000000.jpg"},
        {0x0123456789ab, "~vlm0123456789ab.jpg"},
        {0xFFFFFFFFFFFF, "~vlmffffffffffff.jpg"},
        {0x1000000000005, "~vlm000000000005.jpg"}, // 48 bits only
    };
    for (const auto& [number, name] : cases) {
        EXPECT_EQ(TemporaryName(number), name);
        EXPECT_TRUE(IsTemporaryName(TemporaryName(number))) << name;
    }
    EXPECT_TRUE(IsTemporaryName(RandomTemporaryName()));
}

// Names of every length round the 64 KiB blocks, escapes, empty temporary
// names and stamps of both kinds.
CJournal ManyFiles(int count) {
    CJournal journal;
    journal.strFolder = "/photos/a b";
    journal.folder = {1, 2, 3};
    journal.nTime = 1700000000;
    for (int i = 0; i < count; ++i) {
        const std::string name = "IMG " + std::string(static_cast<std::size_t>(i % 97), 'x') + "%" +
                                 std::to_string(i) + ".jpg";
        const CFileStamp stamp =
            i % 3 == 0 ? CFileStamp{} : CFileStamp{i % 3 == 1 ? 'b' : 'm', i, -i, 999};
        journal.files.push_back({7, static_cast<std::uint64_t>(i + 1), stamp, name,
                                 i % 5 == 0 ? TemporaryName(static_cast<std::uint64_t>(i)) : "",
                                 "new/" + name});
    }
    return journal;
}

TEST(JournalFilesTest, KeepEveryFieldWrittenAndReadBackInBlocks) {
    testsupport::CTempDir state;
    const CJournalStore store(state.File("journals"));
    CJournal journal = ManyFiles(3000);
    ASSERT_EQ(journal.files.size(), 3000u);
    const CJournalFile file = journal.files[2999];
    EXPECT_EQ(file.strBefore, "IMG " + std::string(89, 'x') + "%2999.jpg");
    EXPECT_EQ(file.strTemporary, "");
    EXPECT_EQ(file.strAfter, "new/" + file.strBefore);
    EXPECT_EQ(file.stamp, (CFileStamp{'m', 2999, -2999, 999}));

    ASSERT_EQ(store.Write(journal), 0);
    std::stringstream written;
    written << std::ifstream(journal.strPath).rdbuf();
    ASSERT_GT(written.str().size(), 3 * 65536u);
    EXPECT_EQ(written.str(), JournalText(journal));

    const std::optional<CJournal> read = ReadJournal(journal.strPath);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->strDamage, "");
    EXPECT_EQ(read->state, CJournal::Interrupted);
    ASSERT_EQ(read->files.size(), journal.files.size());
    std::size_t i = 0;
    for (const CJournalFile& back : read->files) {
        const CJournalFile& before = journal.files[i++];
        EXPECT_EQ(back.nInode, before.nInode);
        EXPECT_EQ(back.strBefore, before.strBefore);
        EXPECT_EQ(back.strTemporary, before.strTemporary);
        ASSERT_EQ(back.strAfter, before.strAfter) << i;
    }
}

// The end of a run appended in one synced write: stamp lines (none for a file
// system with birth times), then "done", unless the run left files aside.
TEST(JournalFilesTest, EndOfARunIsAppendedAsOneText) {
    struct {
        const char* name;
        std::vector<std::pair<std::size_t, CFileStamp>> stamps;
        std::string last;
        const char* tail;
        CJournal::State state;
    } const cases[] = {
        {"birth_times", {}, "done 3 3", "ready\ndone 3 3\n", CJournal::Complete},
        {"stamps",
         {{0, {'m', 12, 34, 5}}, {2, {'m', 0, -1, 999999999}}},
         "done 3 2",
         "ready\nstamp 0 m12.34.5\nstamp 2 m0.-1.999999999\ndone 3 2\n",
         CJournal::Complete},
        {"left_aside", {{1, {'m', 1, 2, 3}}}, "", "ready\nstamp 1 m1.2.3\n", CJournal::Interrupted},
    };
    for (const auto& c : cases) {
        testsupport::CTempDir state;
        CJournal journal = ManyFiles(3);
        ASSERT_EQ(CJournalStore(state.File("journals")).Write(journal), 0);
        ASSERT_EQ(CJournalStore::AppendEnd(journal.strPath, c.stamps, c.last), 0);
        std::stringstream written;
        written << std::ifstream(journal.strPath).rdbuf();
        EXPECT_EQ(written.str(),
                  JournalText(journal).substr(0, written.str().find("ready")) + c.tail)
            << c.name;
        const std::optional<CJournal> read = ReadJournal(journal.strPath);
        ASSERT_TRUE(read);
        EXPECT_EQ(read->state, c.state) << c.name;
        for (const auto& [index, stamp] : c.stamps)
            EXPECT_EQ(read->files[index].stamp, stamp) << c.name;
    }
}

class PlanTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directory(m_dir.File("sub")); }
    void Write(const std::string& name) { std::ofstream(m_dir.File(name)) << name; }
    CRenameOutcome Run(CListRows rows) {
        return RunRename(m_dir.Path(), rows, static_cast<unsigned>(rows.size()), nullptr,
                         &m_journals);
    }

    testsupport::CTempDir m_dir;
    testsupport::CTempDir m_state;
    CJournalStore m_journals{m_state.File("journals")};
};

// A file leaves a name in a subfolder, going aside or to its new name; the
// name, still on disk, is free for the file of a later row, and the undo
// brings both back.
TEST_F(PlanTest, NameLeftInASubfolderIsFreeForTheNextRow) {
    using Files = std::map<std::string, std::string>;
    const struct {
        const char* name;
        std::pair<const char*, const char*> rows[2];
        Files top;
    } cases[] = {
        {"swap", {{"x.jpg", "sub/y.jpg"}, {"sub/y.jpg", "x.jpg"}}, {{"x.jpg", "sub/y.jpg"}}},
        {"move_out_then_in",
         {{"sub/y.jpg", "a.jpg"}, {"x.jpg", "sub/y.jpg"}},
         {{"a.jpg", "sub/y.jpg"}}},
    };
    for (const auto& c : cases) {
        Write("x.jpg");
        Write("sub/y.jpg");
        const CRenameOutcome outcome = Run({testsupport::Row(c.rows[0].first, c.rows[0].second),
                                            testsupport::Row(c.rows[1].first, c.rows[1].second)});
        EXPECT_EQ(outcome.kind, CRenameOutcome::AllRenamed) << c.name << ": " << outcome.strText;
        EXPECT_EQ(testsupport::ReadFiles(m_dir.Path()), c.top) << c.name;
        EXPECT_EQ(testsupport::ReadFiles(m_dir.File("sub")), (Files{{"y.jpg", "x.jpg"}})) << c.name;
        EXPECT_EQ(RunUndo(m_dir.Path(), m_journals).nRestored, 2) << c.name;
        EXPECT_EQ(testsupport::ReadFiles(m_dir.Path()), (Files{{"x.jpg", "x.jpg"}})) << c.name;
        std::filesystem::remove(m_dir.File("x.jpg"));
        std::filesystem::remove(m_dir.File("sub/y.jpg"));
    }
}

// Many names no row holds grow the simulated folder while every file of the
// rotation goes aside once.
TEST_F(PlanTest, RotationAmongManyOtherFiles) {
    constexpr int kFiles = 1500;
    CListRows rows;
    const auto name = [](int i) { return "p" + std::to_string(i) + ".jpg"; };
    for (int i = 0; i < kFiles; ++i) {
        Write(name(i));
        Write("other" + std::to_string(i) + ".txt");
        rows.push_back(testsupport::Row(name(i), name((i + 1) % kFiles)));
    }
    ASSERT_EQ(Run(rows).kind, CRenameOutcome::AllRenamed);
    const auto after = testsupport::ReadFiles(m_dir.Path());
    EXPECT_EQ(after.size(), 2u * kFiles);
    for (int i = 0; i < kFiles; ++i)
        ASSERT_EQ(after.at(name((i + 1) % kFiles)), name(i));
}

// Row 0 takes the name of row 1's companion, which goes aside under a
// temporary ".jpg" name; row 1's companion must still get its own extension.
// With a row 1 whose file changed since the list, the run takes every step
// back, the companion's from its new name to the temporary one and home.
struct AsideCase {
    const char* name;
    bool changed;
};

class CompanionAsideTest : public ::testing::TestWithParam<AsideCase> {};

TEST_P(CompanionAsideTest, CompanionComesBackFromAsideWithItsExtension) {
    testsupport::CTempDir dir;
    testsupport::CTempDir state;
    const CJournalStore journals(state.File("journals"));
    for (const char* name : {"A.jpg", "A.CR2", "P.jpg", "B.CR2"})
        std::ofstream(dir.File(name)) << name;
    const auto before = testsupport::ReadFiles(dir.Path());
    CListRows rows{testsupport::Row("A.jpg", "B.jpg"), testsupport::Row("P.jpg", "C.jpg")};
    rows[0].SetCompanions(std::string("A.CR2\0", 6));
    rows[1].SetCompanions(std::string("B.CR2\0", 6));
    if (GetParam().changed)
        rows[1].SetId({1, 12345});

    const CRenameOutcome outcome = RunRename(dir.Path(), rows, 2, nullptr, &journals);
    if (GetParam().changed) {
        EXPECT_EQ(outcome.strText,
                  "The folder changed since it was listed\nP.jpg -> C.jpg\nP.jpg is no longer "
                  "the file that was listed; open the folder again to see it as it is now\nNo "
                  "file was renamed; none is left under a temporary name.");
        EXPECT_EQ(testsupport::ReadFiles(dir.Path()), before);
        return;
    }
    EXPECT_EQ(outcome.kind, CRenameOutcome::AllRenamed) << outcome.strText;
    EXPECT_EQ(testsupport::ReadFiles(dir.Path()),
              (std::map<std::string, std::string>{
                  {"B.jpg", "A.jpg"}, {"B.CR2", "A.CR2"}, {"C.jpg", "P.jpg"}, {"C.CR2", "B.CR2"}}));
    EXPECT_EQ(RunUndo(dir.Path(), journals).nRestored, 4);
    EXPECT_EQ(testsupport::ReadFiles(dir.Path()), before);
}

INSTANTIATE_TEST_SUITE_P(Runs, CompanionAsideTest,
                         ::testing::Values(AsideCase{"finished", false},
                                           AsideCase{"taken_back", true}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
