// Journals are data from disk: damaged or crafted lines, runs that renamed
// nothing, files replaced on a reused inode, journal stores that are full or
// hold a FIFO, and a second run while one holds the folder. Each undo must
// leave every file under a name the user can explain, say the truth, and
// never leave a folder both "interrupted" and "nothing to undo".

#include "folder_commands.h"
#include "journal_store.h"
#include "jpeg_builder.h"
#include "rename_run.h"
#include "safe_rename.h"
#include "test_support.h"
#include "undo_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <vector>

using namespace velmora;

namespace {

using Contents = std::map<std::string, std::string>;
using Lines = std::vector<std::string>;

using testsupport::Row;

// A folder of a.jpg, b.jpg and c.jpg (contents "a", "b", "c") and a journal
// store beside it.
class JournalFaultTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"a", "b", "c"})
            std::ofstream(m_dir.File(std::string(name) + ".jpg")) << name;
    }

    // Renames a, b, c to x, y, z; the run's journal.
    std::string RenameAll() {
        CListRows rows{Row("a.jpg", "x.jpg"), Row("b.jpg", "y.jpg"), Row("c.jpg", "z.jpg")};
        EXPECT_EQ(RunRename(m_dir.Path(), rows, 3, nullptr, &m_store).kind,
                  CRenameOutcome::AllRenamed);
        return m_store.Runs(Key()).back().strPath;
    }

    CFolderKey Key() const { return CFolderKey::OfPath(m_dir.Path()).value(); }
    Contents Files() const { return testsupport::ReadFiles(m_dir.Path()); }
    bool Refused() const { return RefuseAfterInterruptedRun(m_store, Key()).has_value(); }

    // The journal's lines, without stamps (written only where the file
    // system keeps no birth times), so that every line has a fixed place.
    static Lines ReadLines(const std::string& path) {
        std::ifstream in(path);
        Lines lines;
        for (std::string line; std::getline(in, line);) {
            if (!line.starts_with("stamp "))
                lines.push_back(line);
        }
        return lines;
    }
    static void WriteLines(const std::string& path, const Lines& lines) {
        std::ofstream out(path, std::ios::trunc);
        for (const std::string& line : lines)
            out << line << '\n';
    }

    testsupport::CTempDir m_dir;
    testsupport::CTempDir m_state;
    CJournalStore m_store{m_state.File("journals")};
};

// Field `field` (0 = the key) of a line set to `value`.
void SetField(std::string& line, std::size_t field, const std::string& value) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < field; ++i)
        start = line.find(' ', start) + 1;
    line.replace(start, line.find(' ', start) - start, value);
}

// The journal's lines: 0 magic, 1 kind, 2 folder, 3 folder-id, 4 time,
// 5 files, 6-8 the files a, b, c ("f DEV INO BEFORE TEMP AFTER"), 9 ready,
// 10 done.
struct DamageCase {
    const char* name;
    std::function<void(Lines&)> damage;
    const char* back;          // the files whose names come back, of "abc"
    bool damaged;              // the undo says the journal is damaged
    const char* why = nullptr; // and why, when it matters
};

const DamageCase kDamageCases[] = {
    {"magic", [](Lines& l) { l[0] = "velmora journal 9"; }, "abc", true},
    {"kind", [](Lines& l) { SetField(l[1], 1, "renam"); }, "abc", true},
    {"folder_escape", [](Lines& l) { SetField(l[2], 1, "%G0"); }, "abc", true},
    {"folder_id", [](Lines& l) { SetField(l[3], 2, "x7"); }, "abc", true},
    {"time", [](Lines& l) { SetField(l[4], 1, "-5"); }, "abc", true},
    {"files_count", [](Lines& l) { SetField(l[5], 1, "7"); }, "abc", true},
    {"f_device", [](Lines& l) { SetField(l[7], 1, "1e3"); }, "ac", true},
    {"f_inode_zero", [](Lines& l) { SetField(l[7], 2, "0"); }, "ac", true},
    {"f_before_escape", [](Lines& l) { SetField(l[7], 3, "b%2"); }, "ac", true},
    {"f_temporary_form", [](Lines& l) { SetField(l[7], 4, "evil.jpg"); }, "ac", true},
    {"f_after_absolute", [](Lines& l) { SetField(l[7], 5, "/etc/passwd"); }, "ac", true},
    {"f_after_dot_dot", [](Lines& l) { SetField(l[7], 5, "../y.jpg"); }, "ac", true},
    {"f_before_empty_part", [](Lines& l) { SetField(l[7], 3, "sub//b.jpg"); }, "ac", true},
    {"f_extra_field", [](Lines& l) { l[7] += " more"; }, "ac", true},
    {"f_missing", [](Lines& l) { l.erase(l.begin() + 7); }, "ac", true},
    {"stamp_field", [](Lines& l) { l.insert(l.begin() + 10, "stamp 1 q1"); }, "abc", true},
    {"stamp_index", [](Lines& l) { l.insert(l.begin() + 10, "stamp 3 m1.2.3"); }, "abc", true},
    {"t_not_after_its_file", [](Lines& l) { l.insert(l.begin() + 6, "t 1.0 2.0"); }, "abc", true,
     "line 7: out of place"},
    {"t_nanoseconds", [](Lines& l) { l.insert(l.begin() + 8, "t 1.0 2.1000000000"); }, "abc", true,
     "line 9: a field is damaged"},
    {"rmdir_leaves_folder", [](Lines& l) { l.insert(l.begin() + 10, "rmdir 755 0.0 0.0 ../up"); },
     "abc", true, "line 11: a field is damaged"},
    {"rmdir_before_ready", [](Lines& l) { l.insert(l.begin() + 9, "rmdir 755 0.0 0.0 a"); }, "abc",
     true, "line 10: a line is missing before it"},
    {"t_and_rmdir_sound",
     [](Lines& l) {
         l.insert(l.begin() + 8, "t 1.0 2.0");
         l.insert(l.begin() + 11, "rmdir 755 0.0 0.0 gone");
     },
     "abc", false},
    {"unknown_line", [](Lines& l) { l.insert(l.begin() + 9, "zzz"); }, "abc", true},
    {"line_missing", [](Lines& l) { l.erase(l.begin() + 3); }, "abc", true},
    {"out_of_order", [](Lines& l) { std::swap(l[1], l[2]); }, "abc", true},
    {"done_field", [](Lines& l) { SetField(l[10], 1, "x"); }, "abc", true},
    {"ready_lost", [](Lines& l) { l.resize(9); }, "abc", true},
    {"done_lost", [](Lines& l) { l.resize(10); }, "abc", false},
};

class JournalDamageTest : public JournalFaultTest,
                          public ::testing::WithParamInterface<DamageCase> {};

// Undo restores what the sound lines allow, says which journal is damaged,
// and leaves the folder neither wedged nor silently half undone.
TEST_P(JournalDamageTest, UndoRestoresTheSoundLinesAndSaysSo) {
    const DamageCase& c = GetParam();
    const std::string path = RenameAll();
    Lines lines = ReadLines(path);
    ASSERT_EQ(lines.size(), 11u);
    c.damage(lines);
    WriteLines(path, lines);
    const bool refusedBefore = Refused();

    const CUndoOutcome undo = RunUndo(m_dir.Path(), m_store);

    EXPECT_EQ(undo.outcome.kind == CRenameOutcome::Damaged, c.damaged) << undo.outcome.strText;
    if (c.damaged) {
        EXPECT_NE(undo.outcome.strText.find(path), std::string::npos) << undo.outcome.strText;
        EXPECT_TRUE(c.why == nullptr || undo.outcome.strText.find(c.why) != std::string::npos)
            << undo.outcome.strText;
    } else {
        EXPECT_EQ(undo.outcome.kind, CRenameOutcome::AllRenamed) << undo.outcome.strText;
    }
    Contents expected;
    for (const char file : std::string("abc")) {
        const bool back = std::string(c.back).find(file) != std::string::npos;
        const char after = static_cast<char>("xyz"[file - 'a']);
        expected[std::string(1, back ? file : after) + ".jpg"] = std::string(1, file);
    }
    EXPECT_EQ(Files(), expected);
    EXPECT_FALSE(refusedBefore && undo.outcome.kind == CRenameOutcome::NoItems);
    EXPECT_FALSE(Refused());
    EXPECT_EQ(RunUndo(m_dir.Path(), m_store).outcome.kind, CRenameOutcome::NoItems);
}

INSTANTIATE_TEST_SUITE_P(Cases, JournalDamageTest, ::testing::ValuesIn(kDamageCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A crafted entry that would move a file from outside into the folder, and
// a temporary name outside it that an undo would unlink.
TEST_F(JournalFaultTest, CraftedNamesNeverReachOutsideTheFolder) {
    testsupport::CTempDir outside;
    std::ofstream(outside.File("victim.jpg")) << "victim";
    const std::string relative = "../" + outside.Path().substr(outside.Path().rfind('/') + 1);
    const std::string path = RenameAll();
    Lines lines = ReadLines(path);
    SetField(lines[6], 5, relative + "/victim.jpg"); // a's "after": the victim
    SetField(lines[7], 4, relative + "/victim.jpg"); // b's temporary name
    WriteLines(path, lines);

    const CUndoOutcome undo = RunUndo(m_dir.Path(), m_store);
    EXPECT_EQ(undo.outcome.kind, CRenameOutcome::Damaged);
    EXPECT_EQ(testsupport::ReadFiles(outside.Path()), (Contents{{"victim.jpg", "victim"}}));
    EXPECT_EQ(Files(), (Contents{{"x.jpg", "a"}, {"y.jpg", "b"}, {"c.jpg", "c"}}));
}

// A run that stops at its first file renamed nothing: it is not the last
// run, and undo takes back the real run before it. One that stops at its
// third file never touched it: undo does not list it as changed since.
TEST_F(JournalFaultTest, StoppedRunIsUndoneForWhatItDid) {
    for (const std::size_t stop : {0, 2}) {
        if (stop == 0)
            RenameAll();
        const char* from = stop == 0 ? "xyz" : "abc";
        CListRows rows;
        for (std::size_t i = 0; i < 3; ++i)
            rows.push_back(Row(from[i] + std::string(".jpg"), "pqr"[i] + std::string(".jpg")));
        rows[stop].SetId({1, 12345}); // not the file at that name: the run stops there
        ASSERT_EQ(RunRename(m_dir.Path(), rows, 3, nullptr, &m_store).nRenamed, stop);
        EXPECT_EQ(CountUndoable(m_dir.Path(), m_store), stop == 0 ? 3 : 2);

        const CUndoOutcome undo = RunUndo(m_dir.Path(), m_store);
        EXPECT_EQ(undo.outcome.kind, CRenameOutcome::AllRenamed) << undo.outcome.strText;
        EXPECT_EQ(Files(), (Contents{{"a.jpg", "a"}, {"b.jpg", "b"}, {"c.jpg", "c"}}));
    }
}

// A file saved under a renamed file's name on its inode is another file:
// its stamp differs (file systems without birth times), or it was born after
// the run began, if only by a nanosecond. The undo leaves it where it is and
// says which.
TEST_F(JournalFaultTest, FileReplacedOnTheSameInodeIsLeftAlone) {
    struct statx born {};
    statx(AT_FDCWD, m_dir.File("b.jpg").c_str(), 0, STATX_BTIME, &born);
    const std::int64_t before = born.stx_btime.tv_sec * 1000000000LL + born.stx_btime.tv_nsec - 1;
    // A line of the journal, and why y.jpg is then not b.jpg's file.
    const std::pair<std::string, std::string> cases[] = {
        {"stamp 1 m1.2.3", "its size or modification time changed since the rename"},
        {"time 1", "was born after the rename (a new file)"}, // in 1970
        {"time " + std::to_string(before / 1000000000) + '.' + std::to_string(before % 1000000000),
         "was born after the rename (a new file)"},
    };
    for (const auto& [line, why] : cases) {
        const bool time = line.starts_with("time ");
        if (time && (born.stx_mask & STATX_BTIME) == 0)
            continue;
        const std::string path = RenameAll();
        Lines lines = ReadLines(path);
        if (time)
            lines[4] = line;
        else
            lines.insert(lines.begin() + 10, line);
        WriteLines(path, lines);

        const Lines left = RunUndo(m_dir.Path(), m_store).leftAlone;
        const std::string text = "b.jpg: y.jpg is on its inode but " + why;
        EXPECT_NE(std::find(left.begin(), left.end(), text), left.end()) << line;
        EXPECT_EQ(Files().count("b.jpg"), 0u) << line;
        for (const char file : std::string("abc")) // back for the next case
            std::rename(
                m_dir.File(std::string(1, static_cast<char>(file + 'x' - 'a')) + ".jpg").c_str(),
                m_dir.File(std::string(1, file) + ".jpg").c_str());
    }
}

// While one run holds the folder, another rename or undo is told so, even
// when the running run's journal looks interrupted; so is the terminal.
TEST_F(JournalFaultTest, SecondRunWhileOneHoldsTheFolderIsBusy) {
    CFolderHandle running(m_dir.Path());
    ASSERT_EQ(running.Lock(), 0);
    CJournal journal;
    journal.folder = Key();
    journal.files.push_back({1, 2, {}, "a.jpg", "", "x.jpg"});
    ASSERT_EQ(m_store.Write(journal), 0); // "ready", no "done": it is running

    CListRows rows{Row("a.jpg", "x.jpg")};
    EXPECT_EQ(RunRename(m_dir.Path(), rows, 1, nullptr, &m_store).kind, CRenameOutcome::Busy);
    EXPECT_EQ(RunUndo(m_dir.Path(), m_store).outcome.kind, CRenameOutcome::Busy);
    EXPECT_EQ(CheckLastRun(m_dir.Path(), m_store), LastRunState::Busy);
    // The terminal's rename, with photos to rename, meets the lock too.
    const auto tiff = testdata::CameraTiff(testdata::ByteOrder::Intel, "2020:01:02 03:04:05");
    ASSERT_TRUE(testdata::WriteFile(m_dir.File("a.jpg"), testdata::CJpegBuilder::Photo(&tiff)));
    std::ostringstream out;
    EXPECT_EQ(RunRenameCommand(m_dir.Path(), "x%C", {}, false, out), 2);
    EXPECT_EQ(out.str(), "Another rename is running in this folder; nothing was renamed.\n");
}

// A run whose "done" line can't be written (the store is full) says so and
// how to undo it, and the folder waits for that undo.
TEST_F(JournalFaultTest, EndThatCannotBeRecordedIsTold) {
    std::signal(SIGXFSZ, SIG_IGN);
    static rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    struct CFullStore : CRenameObserver {
        void OnRenamed(const std::string&, const std::string&) override {
            // From here on no file may grow: the journal's end can't be added.
            const rlimit full{1, old.rlim_max};
            setrlimit(RLIMIT_FSIZE, &full);
        }
        void OnMovedAside(const std::string&, const std::string&) override {}
        void OnUndone(const std::string&, const std::string&) override {}
    } observer;
    CListRows rows{Row("a.jpg", "x.jpg")};
    const CRenameOutcome outcome = RunRename(m_dir.Path(), rows, 1, &observer, &m_store);
    setrlimit(RLIMIT_FSIZE, &old);

    EXPECT_EQ(outcome.kind, CRenameOutcome::ErrorRename);
    EXPECT_NE(outcome.strText.find("could not be recorded"), std::string::npos);
    EXPECT_NE(outcome.strText.find("velmora-cli undo " + m_dir.Path()), std::string::npos);
    EXPECT_TRUE(Refused());
    const CUndoOutcome undo = RunUndo(m_dir.Path(), m_store);
    EXPECT_EQ(undo.outcome.kind, CRenameOutcome::AllRenamed) << undo.outcome.strText;
    EXPECT_EQ(Files(), (Contents{{"a.jpg", "a"}, {"b.jpg", "b"}, {"c.jpg", "c"}}));
}

// A FIFO named like the folder's newest journal is skipped, never opened
// (opening it would hang), and named in the undo's message.
TEST_F(JournalFaultTest, FifoInTheStoreIsSkippedAndNamed) {
    const std::string path = RenameAll();
    // Named as if written in the year 2128: the newest of the folder.
    const std::string fifo =
        path.substr(0, path.size() - 36) + "0000000005000000000000000000.journal";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

    const CUndoOutcome undo = RunUndo(m_dir.Path(), m_store);
    EXPECT_EQ(undo.outcome.kind, CRenameOutcome::AllRenamed);
    EXPECT_NE(undo.outcome.strText.find(fifo + ": not a regular file"), std::string::npos);
    EXPECT_EQ(Files(), (Contents{{"a.jpg", "a"}, {"b.jpg", "b"}, {"c.jpg", "c"}}));
}

} // namespace
