// What keeps a run of 100,000 files within the memory of its rows: temporary
// names as numbers, a compact journal read and written in blocks, and steps
// whose names the rows tell, also for a companion back from a temporary name.

#include "journal_reader.h"
#include "journal_store.h"
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

using Files = std::map<std::string, std::string>;
using testsupport::Row;

std::string Slurp(const std::string& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

// Only the low 48 bits of the number count.
TEST(TemporaryNameTest, TheNumberGivesTheName) {
    const std::pair<std::uint64_t, const char*> cases[] = {
        // clang-format off
        {0, "~vlm000000000000.jpg"}, {0x0123456789ab, "~vlm0123456789ab.jpg"},
        {0xFFFFFFFFFFFF, "~vlmffffffffffff.jpg"}, {0x1000000000005, "~vlm000000000005.jpg"}};
    // clang-format on
    for (const auto& [number, name] : cases) {
        EXPECT_EQ(TemporaryName(number), name);
        EXPECT_TRUE(IsTemporaryName(TemporaryName(number))) << name;
    }
    EXPECT_TRUE(IsTemporaryName(RandomTemporaryName()));
}

// 3,000 files, so that the text spans several 64 KiB blocks: names of every
// length round them, escapes, empty temporary names and stamps of both kinds.
// The end of a run is appended in one synced write: stamp lines (none for a
// file system with birth times), then "done", unless the run left files aside.
TEST(JournalFilesTest, WrittenReadInBlocksAndEndedInOneText) {
    CJournal all;
    all.strFolder = "/photos/a b";
    all.folder = {1, 2, 3};
    all.nTime = 1700000000;
    for (int i = 0; i < 3000; ++i) {
        const std::string name = "IMG " + std::string(static_cast<std::size_t>(i % 97), 'x') + "%" +
                                 std::to_string(i) + ".jpg";
        const CFileStamp stamp =
            i % 3 == 0 ? CFileStamp{} : CFileStamp{i % 3 == 1 ? 'b' : 'm', i, -i, 999};
        all.files.push_back({7, static_cast<std::uint64_t>(i + 1), stamp, name,
                             i % 5 == 0 ? TemporaryName(static_cast<std::uint64_t>(i)) : "",
                             "new/" + name});
    }
    ASSERT_EQ(all.files.size(), 3000u); // the compact list gives back what it was given
    const CJournalFile last = all.files[2999];
    const std::string name = "IMG " + std::string(89, 'x') + "%2999.jpg";
    EXPECT_EQ(
        std::tie(last.strBefore, last.strTemporary, last.strAfter, last.stamp),
        std::make_tuple(name, std::string(), "new/" + name, CFileStamp{'m', 2999, -2999, 999}));

    const struct {
        const char* name;
        std::vector<std::pair<std::size_t, CFileStamp>> stamps;
        std::string last;
        const char* tail;
        CJournal::State state;
    } cases[] = {
        // clang-format off
        {"birth_times", {}, "done 3 3", "ready\ndone 3 3\n", CJournal::Complete},
        {"stamps", {{0, {'m', 12, 34, 5}}, {2, {'m', 0, -1, 999999999}}}, "done 3 2",
         "ready\nstamp 0 m12.34.5\nstamp 2 m0.-1.999999999\ndone 3 2\n", CJournal::Complete},
        {"left_aside", {{1, {'m', 1, 2, 3}}}, "", "ready\nstamp 1 m1.2.3\n", CJournal::Interrupted},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::CTempDir state;
        CJournal journal = all;
        ASSERT_EQ(CJournalStore(state.File("journals")).Write(journal), 0);
        const std::string written = Slurp(journal.strPath);
        ASSERT_GT(written.size(), 3 * 65536u);
        EXPECT_EQ(written, testsupport::JournalText(journal));
        for (const bool ended : {false, true}) {
            if (ended) {
                ASSERT_EQ(CJournalStore::AppendEnd(journal.strPath, c.stamps, c.last), 0);
                EXPECT_EQ(Slurp(journal.strPath),
                          written.substr(0, written.find("ready")) + c.tail);
            }
            const std::optional<CJournal> read = ReadJournal(journal.strPath);
            ASSERT_TRUE(read);
            EXPECT_EQ(read->strDamage, "");
            EXPECT_EQ(read->state, ended ? c.state : CJournal::Interrupted);
            EXPECT_EQ(testsupport::JournalText(*read), written); // every file line kept
            for (const auto& [index, stamp] : c.stamps)
                EXPECT_EQ(read->files[index].stamp, ended ? stamp : CFileStamp{});
        }
    }
}

// A photo folder with a subfolder, and the journals of its runs.
struct CPlanFolder {
    testsupport::CTempDir dir, state;
    CJournalStore journals{state.File("journals")};
    CPlanFolder() { std::filesystem::create_directory(dir.File("sub")); }
    void Write(const std::string& name) { std::ofstream(dir.File(name)) << name; }
    // What each file holds, those of the subfolder under "sub/".
    Files All() const {
        Files all = testsupport::ReadFiles(dir.Path());
        for (const auto& [name, text] : testsupport::ReadFiles(dir.File("sub")))
            all["sub/" + name] = text;
        return all;
    }
    CRenameOutcome Run(CListRows rows) {
        return RunRename(dir.Path(), rows, static_cast<unsigned>(rows.size()), nullptr, &journals);
    }
};

// A row whose photo has a companion; `id` set: its file as the list read it.
CListRow RowWith(const char* current, const char* converted, const char* companion,
                 CFileId id = {}) {
    CListRow row = Row(current, converted);
    row.SetCompanions(std::string(companion) + '\0');
    if (id.Known())
        row.SetId(id);
    return row;
}

// A file leaves a name in a subfolder, going aside or to its new name; the
// name, still on disk, is free for the file of a later row. Row 0 takes the
// name of row 1's companion, which goes aside under a temporary ".jpg" name;
// row 1's companion must still get its own extension. With a row 1 whose file
// changed since the list, the run takes every step back, the companion's from
// its new name to the temporary one and home. Many names no row holds grow the
// simulated folder while every file of a rotation goes aside once. The undo
// brings all back.
TEST(PlanTest, NamesLeftAndTakenWithinOneRun) {
    const std::vector<std::string> two = {"x.jpg", "sub/y.jpg"};
    const std::vector<std::string> four = {"A.jpg", "A.CR2", "P.jpg", "B.CR2"};
    constexpr int kRotation = 1500;
    std::vector<std::string> rotation;
    CListRows rotationRows;
    Files rotated;
    const auto name = [](int n) { return "p" + std::to_string(n % kRotation) + ".jpg"; };
    for (int i = 0; i < kRotation; ++i) {
        rotation.insert(rotation.end(), {name(i), "other" + std::to_string(i) + ".txt"});
        rotationRows.push_back(Row(name(i), name(i + 1)));
        rotated.insert({{name(i + 1), name(i)}, {rotation.back(), rotation.back()}});
    }
    const struct {
        const char* name;
        std::vector<std::string> files;
        CListRows rows;
        Files after; // empty: as before
        int restored;
        std::string text; // empty: all renamed
    } cases[] = {
        // clang-format off
        {"swap", two, {Row("x.jpg", "sub/y.jpg"), Row("sub/y.jpg", "x.jpg")},
         {{"x.jpg", "sub/y.jpg"}, {"sub/y.jpg", "x.jpg"}}, 2, ""},
        {"move_out_then_in", two, {Row("sub/y.jpg", "a.jpg"), Row("x.jpg", "sub/y.jpg")},
         {{"a.jpg", "sub/y.jpg"}, {"sub/y.jpg", "x.jpg"}}, 2, ""},
        {"companion_aside", four, {RowWith("A.jpg", "B.jpg", "A.CR2"), RowWith("P.jpg", "C.jpg", "B.CR2")},
         {{"B.jpg", "A.jpg"}, {"B.CR2", "A.CR2"}, {"C.jpg", "P.jpg"}, {"C.CR2", "B.CR2"}}, 4, ""},
        {"companion_taken_back", four,
         {RowWith("A.jpg", "B.jpg", "A.CR2"), RowWith("P.jpg", "C.jpg", "B.CR2", {1, 12345})}, {}, 0,
         "The folder changed since it was listed\nP.jpg -> C.jpg\nP.jpg is no longer the file "
         "that was listed; open the folder again to see it as it is now\nNo file was renamed; "
         "none is left under a temporary name."},
        {"rotation_among_many", rotation, rotationRows, rotated, kRotation, ""},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CPlanFolder folder;
        for (const std::string& name : c.files)
            folder.Write(name);
        const Files before = folder.All();
        const CRenameOutcome outcome = folder.Run(c.rows);
        EXPECT_EQ(outcome.kind == CRenameOutcome::AllRenamed ? "" : outcome.strText, c.text);
        EXPECT_EQ(folder.All(), c.after.empty() ? before : c.after);
        EXPECT_EQ(RunUndo(folder.dir.Path(), folder.journals).nRestored, c.restored);
        EXPECT_EQ(folder.All(), before);
    }
}

} // namespace
