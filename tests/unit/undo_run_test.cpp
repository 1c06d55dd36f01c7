// The journal and the undo on real folders: runs cut off with SIGKILL at
// exact points (every few steps, between link and unlink, in the middle of
// the journal write) must come back to exactly the names before the run with
// every content once; undo after a finished run, with a file changed
// meanwhile, twice, and beside other folders' journals.

#include "crash_point.h"
#include "journal_format.h"
#include "journal_reader.h"
#include "journal_store.h"
#include "rename_run.h"
#include "run_registry.h"
#include "safe_rename.h"
#include "test_support.h"
#include "undo_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace velmora;
namespace fs = std::filesystem;

namespace {

using testsupport::Contents;
using testsupport::ReadFiles;

// A folder of `count` files whose rows form swaps, rotations of three and of
// seven, and moves to fresh names: every kind of step, asides included.
class CCycleFolder {
public:
    explicit CCycleFolder(int count) {
        for (int i = 0; i < count; ++i)
            std::ofstream(m_dir.File(Name(i))) << "content " << i;
        for (int start = 0, k = 0; start < count; ++k) {
            const int cycle = std::min(count - start, kCycles[k % 4]);
            for (int i = 0; i < cycle; ++i) {
                CListRow row;
                row.SetText(0, Name(start + i));
                row.SetText(1, cycle == 1 ? "fresh" + std::to_string(start) + ".jpg"
                                          : Name(start + (i + 1) % cycle));
                row.nImage = RowToRename;
                m_rows.push_back(std::move(row));
            }
            start += cycle;
        }
    }

    const std::string& Path() const { return m_dir.Path(); }
    CListRows Rows() const { return m_rows; }

private:
    static constexpr int kCycles[4] = {2, 3, 1, 7};
    static std::string Name(int i) { return "p" + std::to_string(i) + ".jpg"; }

    testsupport::CTempDir m_dir;
    CListRows m_rows;
};

class UndoRunTest : public ::testing::Test {
protected:
    CRenameOutcome Rename(const CCycleFolder& folder) {
        CListRows rows = folder.Rows();
        return RunRename(folder.Path(), rows, static_cast<unsigned>(rows.size()), nullptr,
                         &m_store);
    }

    // Renames in a child process that kills itself at the crash point;
    // true when it was killed there.
    bool RenameKilledAt(const CCycleFolder& folder, const char* where, long at, bool link) {
        return testsupport::KilledAt(where, at, link, [&] { Rename(folder); });
    }

    testsupport::CTempDir m_state;
    CJournalStore m_store{m_state.File("journals")};
};

struct CrashCase {
    const char* where;
    long at;
    bool link; // renames go the link-then-unlink way
};

class CrashTest : public UndoRunTest, public ::testing::WithParamInterface<CrashCase> {};

// The run is cut off; undo gives back exactly the names before it, and a
// fresh rename then reaches the names of a run never cut off.
TEST_P(CrashTest, UndoRestoresEveryNameAndRenameThenFinishes) {
    const CrashCase& c = GetParam();
    CCycleFolder folder(300);
    const Contents before = ReadFiles(folder.Path());
    CCycleFolder control(300);
    ASSERT_EQ(Rename(control).kind, CRenameOutcome::AllRenamed);
    const Contents renamed = ReadFiles(control.Path());

    ASSERT_TRUE(RenameKilledAt(folder, c.where, c.at, c.link)) << "the run was not cut off";
    if (std::string(c.where) == "journal") {
        // No rename began, and the half journal stands in no one's way.
        EXPECT_EQ(ReadFiles(folder.Path()), before);
        EXPECT_EQ(Rename(folder).kind, CRenameOutcome::AllRenamed);
        EXPECT_EQ(ReadFiles(folder.Path()), renamed);
        return;
    }
    EXPECT_EQ(Rename(folder).kind, CRenameOutcome::Interrupted);
    const CUndoOutcome undo = RunUndo(folder.Path(), m_store);
    EXPECT_EQ(undo.outcome.kind, CRenameOutcome::AllRenamed) << undo.outcome.strText;
    EXPECT_EQ(ReadFiles(folder.Path()), before);

    EXPECT_EQ(Rename(folder).kind, CRenameOutcome::AllRenamed);
    EXPECT_EQ(ReadFiles(folder.Path()), renamed);
}

std::vector<CrashCase> CrashCases() {
    std::vector<CrashCase> cases;
    for (long at : {0L, 1L, 2L, 5L, 17L, 60L, 123L, 200L, 299L, 340L})
        cases.push_back({"step", at, false});
    for (long at : {0L, 3L, 90L, 250L})
        cases.push_back({"link", at, true});
    cases.push_back({"journal", 0, false});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Points, CrashTest, ::testing::ValuesIn(CrashCases()),
                         [](const auto& info) {
                             return std::string(info.param.where) + "_" +
                                    std::to_string(info.param.at);
                         });

// An undo cut off twice at one point of its own run (in its journal, at a
// step, between link and unlink, before a line it appends: its run undone,
// its own end): the next undo brings every name back, and no journal of the
// folder reads as damaged.
TEST_F(UndoRunTest, UndoCutOffTwiceAnywhereIsFinishedByTheNext) {
    for (const char* where : {"journal", "step", "link", "append"}) {
        const bool link = std::string(where) == "link";
        for (long at = 0;; ++at) {
            CCycleFolder folder(6);
            const Contents before = ReadFiles(folder.Path());
            ASSERT_EQ(Rename(folder).kind, CRenameOutcome::AllRenamed);
            const auto undo = [&] { RunUndo(folder.Path(), m_store); };
            if (!testsupport::KilledAt(where, at, link, undo))
                break; // no undo gets that far
            const bool twice = testsupport::KilledAt(where, at, link, undo);

            const CUndoOutcome last = RunUndo(folder.Path(), m_store);
            const std::string point = std::string(where) + ':' + std::to_string(at);
            EXPECT_EQ(last.outcome.kind,
                      twice ? CRenameOutcome::AllRenamed : CRenameOutcome::NoItems)
                << point << ' ' << last.outcome.strText;
            EXPECT_EQ(ReadFiles(folder.Path()), before) << point;
            for (const CJournal& run : m_store.Runs(CFolderKey::OfPath(folder.Path()).value()))
                EXPECT_EQ(run.strDamage, "") << point;
        }
    }
}

TEST_F(UndoRunTest, UndoAfterFinishedRunThenSecondUndoChangesNothing) {
    CCycleFolder folder(40);
    const Contents before = ReadFiles(folder.Path());
    ASSERT_EQ(Rename(folder).kind, CRenameOutcome::AllRenamed);
    ASSERT_NE(ReadFiles(folder.Path()), before);
    EXPECT_EQ(CountUndoable(folder.Path(), m_store), 40);

    const CUndoOutcome undo = RunUndo(folder.Path(), m_store);
    EXPECT_EQ(undo.outcome.strText, "40 files have their names from before the rename again.");
    EXPECT_EQ(undo.nRestored, 40);
    EXPECT_EQ(ReadFiles(folder.Path()), before);

    EXPECT_EQ(CountUndoable(folder.Path(), m_store), 0);
    const CUndoOutcome again = RunUndo(folder.Path(), m_store);
    EXPECT_EQ(again.outcome.kind, CRenameOutcome::NoItems);
    EXPECT_EQ(again.outcome.strText, "There is no rename to undo in this folder.");
    EXPECT_EQ(ReadFiles(folder.Path()), before);
}

// A file renamed by someone else after the run, and a stranger on a name a
// file must go back to, are left alone and listed; the rest goes back.
TEST_F(UndoRunTest, FilesChangedSinceTheRunAreLeftAloneAndListed) {
    CCycleFolder folder(12); // p0<->p1, p2->p3->p4->p2, p5->fresh5.jpg, p6..p11 rotate
    ASSERT_EQ(Rename(folder).kind, CRenameOutcome::AllRenamed);
    ASSERT_EQ(rename((folder.Path() + "/p0.jpg").c_str(), (folder.Path() + "/mine.jpg").c_str()),
              0); // was p1
    std::ofstream(folder.Path() + "/p5.jpg") << "stranger";

    const CUndoOutcome undo = RunUndo(folder.Path(), m_store);
    EXPECT_EQ(undo.outcome.kind, CRenameOutcome::SomeRenamed);
    ASSERT_EQ(undo.leftAlone.size(), 2u) << undo.outcome.strText;
    EXPECT_NE(undo.outcome.strText.find("\n2 files were left alone, because they changed"),
              std::string::npos);
    EXPECT_EQ(undo.leftAlone[0], "p1.jpg: no file on its inode under any name the run gave it "
                                 "(gone, or renamed since)");
    EXPECT_EQ(undo.leftAlone[1], "p5.jpg: its name is taken by another file; it stays fresh5.jpg");
    const Contents after = ReadFiles(folder.Path());
    EXPECT_EQ(after.at("mine.jpg"), "content 1");
    EXPECT_EQ(after.at("p0.jpg"), "content 0");
    EXPECT_EQ(after.at("p5.jpg"), "stranger");
    EXPECT_EQ(after.at("fresh5.jpg"), "content 5");
    EXPECT_EQ(after.at("p2.jpg"), "content 2");
    EXPECT_EQ(after.size(), 13u);
}

TEST_F(UndoRunTest, JournalsOfOtherFoldersAreUntouched) {
    CCycleFolder first(10), second(10);
    const Contents secondBefore = ReadFiles(second.Path());
    ASSERT_EQ(Rename(second).kind, CRenameOutcome::AllRenamed);
    const Contents secondRenamed = ReadFiles(second.Path());
    ASSERT_EQ(Rename(first).kind, CRenameOutcome::AllRenamed);

    EXPECT_EQ(RunUndo(first.Path(), m_store).outcome.kind, CRenameOutcome::AllRenamed);
    EXPECT_EQ(ReadFiles(second.Path()), secondRenamed);
    EXPECT_EQ(RunUndo(second.Path(), m_store).outcome.kind, CRenameOutcome::AllRenamed);
    EXPECT_EQ(ReadFiles(second.Path()), secondBefore);
}

// Renames in a tree that remove the folders they leave empty and give the
// files their dates as times; the undo makes the folders again and gives
// back every name, mode and time, to the nanosecond.
struct TidyCase {
    const char* name;
    std::vector<const char*> entries; // made in order: files, and folders ending in "/"
    std::vector<const char*> rows;    // "FROM>TO", or "FROM|COMPANION>TO"
    std::int16_t offset;              // the rows' zone offset, minutes east of UTC
    CRunChoices choices;
    std::vector<const char*> after; // entries after the run; "@": its time is the date
};

void PrintTo(const TidyCase& c, std::ostream* os) {
    *os << c.name;
}

const TidyCase kTidyCases[] = {
    {"emptied_folders_go_and_come_back",
     {"a/", "a/b/", "a/b/x.jpg", "a/y.jpg"},
     {"a/b/x.jpg>2005/x.jpg", "a/y.jpg>2005/y.jpg"},
     kNoDateOffset,
     {.bCreateFolders = true, .bRemoveEmptyFolders = true},
     {"2005/", "2005/x.jpg", "2005/y.jpg"}},
    {"folder_holding_a_hidden_file_is_kept",
     {"a/", "a/x.jpg", "a/.keep", "c/"},
     {"a/x.jpg>x.jpg"},
     kNoDateOffset,
     {.bRemoveEmptyFolders = true},
     {"a/", "a/.keep", "c/", "x.jpg"}},
    {"times_in_the_rows_offset_companion_too",
     {"x.jpg", "x.CR2"},
     {"x.jpg|x.CR2>y.jpg"},
     120,
     {.bSetFileTimes = true},
     {"y.CR2@", "y.jpg@"}},
    {"times_in_local_time_folder_kept",
     {"a/", "a/x.jpg"},
     {"a/x.jpg>a/y.jpg"},
     kNoDateOffset,
     {.bRemoveEmptyFolders = true, .bSetFileTimes = true},
     {"a/", "a/y.jpg@"}},
};

class TidyTest : public UndoRunTest, public ::testing::WithParamInterface<TidyCase> {
protected:
    // `cutOff`: an undo is first cut off once it gave everything back.
    void RunTidyCase(const TidyCase& c, bool cutOff);
};

// Every entry of a tree with its mode and times (a folder's access time
// aside, which listing it changes), by name, folders ending in "/".
std::map<std::string, std::string> Entries(const std::string& top) {
    std::map<std::string, std::string> entries;
    const auto ns = [](const timespec& t) {
        return std::to_string(t.tv_sec) + '.' + std::to_string(t.tv_nsec);
    };
    for (const auto& entry : fs::recursive_directory_iterator(top)) {
        struct stat st {};
        EXPECT_EQ(lstat(entry.path().c_str(), &st), 0);
        const bool folder = S_ISDIR(st.st_mode);
        entries[fs::relative(entry.path(), top).string() + (folder ? "/" : "")] =
            std::to_string(st.st_mode & 07777) + " m" + ns(st.st_mtim) +
            (folder ? "" : " a" + ns(st.st_atim));
    }
    return entries;
}

TEST_P(TidyTest, RunTidiesAndUndoGivesEverythingBack) {
    for (const bool births : {true, false}) {
        SCOPED_TRACE(births ? "birth times" : "size and modification time stamps");
        ArmIgnoreBirthTimes(!births);
        RunTidyCase(GetParam(), !births);
        ArmIgnoreBirthTimes(false);
    }
}

void TidyTest::RunTidyCase(const TidyCase& c, bool cutOff) {
    const testsupport::CScopedTimeZone zone("<+03>-3");
    testsupport::CTempDir dir;
    const std::int64_t wall = testsupport::UtcSeconds(2005, 7, 1, 10, 0, 0);
    const timespec old[2] = {{978307200, 123456789}, {978393600, 987654321}}; // 2001
    for (const std::string entry : c.entries) {
        const std::string path = dir.File(entry);
        if (entry.ends_with('/'))
            ASSERT_EQ(mkdir(path.c_str(), 0751), 0);
        else
            std::ofstream(path) << entry;
        ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), old, 0), 0);
    }
    CListRows rows;
    for (const std::string text : c.rows) {
        const std::size_t arrow = text.find('>'), bar = text.find('|');
        CListRow row =
            testsupport::Row(text.substr(0, std::min(bar, arrow)), text.substr(arrow + 1));
        if (bar != std::string::npos)
            row.SetCompanions(text.substr(bar + 1, arrow - bar - 1) + '\0');
        row.nData = wall * 1000 + 999; // a fraction the name does not show
        row.nDateOffset = c.offset;
        rows.push_back(std::move(row));
    }
    const std::map<std::string, std::string> before = Entries(dir.Path());

    const CRenameOutcome run = RunRename(dir.Path(), rows, static_cast<unsigned>(rows.size()),
                                         nullptr, &m_store, {}, c.choices);
    ASSERT_EQ(run.kind, CRenameOutcome::AllRenamed) << run.strText;
    std::vector<std::string> after;
    const std::int64_t named = wall - (c.offset != kNoDateOffset ? c.offset : 180) * 60;
    for (const auto& [name, entry] : Entries(dir.Path())) {
        struct stat st {};
        ASSERT_EQ(lstat(dir.File(name).c_str(), &st), 0);
        const bool dated = st.st_mtim.tv_sec == named && st.st_mtim.tv_nsec == 0;
        after.push_back(name + (dated ? "@" : ""));
        EXPECT_TRUE(S_ISDIR(st.st_mode) || st.st_atim.tv_nsec == old[0].tv_nsec)
            << name << ": its access time changed";
    }
    EXPECT_EQ(after, std::vector<std::string>(c.after.begin(), c.after.end()));

    {
        // While a run over the tree goes on, the undo is refused and touches
        // nothing: no removed folder is made again.
        const CFolderHandle top(dir.Path());
        CRunRegistration going;
        int error = 0;
        ASSERT_EQ(going.Register(m_store.Folder() + "/runs", top.Fd(), true, error),
                  CRunRegistration::Registered);
        const std::map<std::string, std::string> renamed = Entries(dir.Path());
        EXPECT_EQ(RunUndo(dir.Path(), m_store).outcome.kind, CRenameOutcome::Busy);
        EXPECT_EQ(Entries(dir.Path()), renamed);
    }
    const auto undo = [&] { return RunUndo(dir.Path(), m_store); };
    ASSERT_TRUE(!cutOff || testsupport::KilledAt("append", 0, false, undo));
    const CUndoOutcome last = undo();
    EXPECT_EQ(last.outcome.kind, CRenameOutcome::AllRenamed) << last.outcome.strText;
    EXPECT_TRUE(last.leftAlone.empty()) << last.outcome.strText;
    EXPECT_EQ(Entries(dir.Path()), before);
}

INSTANTIATE_TEST_SUITE_P(Choices, TidyTest, ::testing::ValuesIn(kTidyCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Names with blanks, line breaks and bytes that are not UTF-8 come back from
// the journal exactly; its summary has every start line, however long the
// clock lines of many devices make the start, and its end however many and
// however long the stamp lines that follow "ready".
TEST(JournalTest, NamesOfAnyBytesComeBackExactly) {
    testsupport::CTempDir dir;
    const CJournalStore store(dir.File("journals"));
    CJournal journal;
    journal.folder = {7, 9, 0};
    journal.strFolder = "/photos/my trip";
    journal.files.push_back({1, 2, {}, "a b\n%.jpg", "", "caf\xE9.jpg"});
    journal.files.push_back({1, 3, {}, "\x7F.jpg", "~vlm0123456789ab.jpg", "sub/x.jpg"});
    const CFileStamp longest{'m', INT64_MAX, INT64_MIN, 999999999};
    std::string end = StampLine(0, {'m', 7, -12, 5}) + '\n';
    for (std::uint64_t i = 1; i < 8; ++i) {
        journal.files.push_back({1, 3 + i, {}, "b.jpg", "", "c.jpg"});
        end += StampLine(i, longest) + '\n';
    }
    for (int i = 0; i < 130; ++i)
        journal.clocks.push_back({"Maker Model " + std::to_string(i) + std::string(120, 'S'), 60});
    ASSERT_EQ(store.Write(journal), 0);
    ASSERT_EQ(CJournalStore::Append(journal.strPath, end + DoneLine(9, 9)), 0);

    const std::vector<CJournal> runs = store.Runs({7, 9, 0});
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].strFolder, journal.strFolder);
    EXPECT_EQ(runs[0].state, CJournal::Complete);
    EXPECT_EQ(runs[0].nFiles, 9u);
    EXPECT_EQ(runs[0].clocks, journal.clocks);
    EXPECT_EQ(runs[0].strDamage, "");
    const std::optional<CJournal> whole = ReadJournal(runs[0].strPath);
    ASSERT_TRUE(whole);
    ASSERT_EQ(whole->files.size(), 9u);
    EXPECT_EQ(whole->strDamage, "");
    EXPECT_EQ(whole->files[0].stamp, (CFileStamp{'m', 7, -12, 5}));
    EXPECT_EQ(whole->files[7].stamp, longest);
    EXPECT_FALSE(whole->files[8].stamp.Known());
    EXPECT_EQ(whole->files[0].strBefore, "a b\n%.jpg");
    EXPECT_EQ(whole->files[0].strTemporary, "");
    EXPECT_EQ(whole->files[0].strAfter, "caf\xE9.jpg");
    EXPECT_EQ(whole->files[1].strTemporary, "~vlm0123456789ab.jpg");
    EXPECT_TRUE(store.Runs({7, 10, 0}).empty());
}

// Finished journals are kept for the last few runs of a folder only.
TEST(JournalTest, OldJournalsOfAFolderGo) {
    testsupport::CTempDir dir;
    const CJournalStore store(dir.File("journals"));
    for (int i = 0; i < 12; ++i) {
        CJournal journal;
        journal.folder = {1, 2, 0};
        ASSERT_EQ(store.Write(journal), 0);
        ASSERT_EQ(CJournalStore::Append(journal.strPath, DoneLine(1, 1)), 0);
    }
    EXPECT_LE(store.Runs({1, 2, 0}).size(), 6u);
    EXPECT_GE(store.Runs({1, 2, 0}).size(), 5u);
    EXPECT_FALSE(store.Runs({1, 2, 12345}).empty()); // the journals know no birth time
}

// A clock set back does not put a new run before the runs already written.
TEST(JournalTest, RunAfterTheClockWentBackIsStillTheLast) {
    testsupport::CTempDir dir;
    const CJournalStore store(dir.File("journals"));
    CJournal first;
    first.folder = {1, 2, 0};
    ASSERT_EQ(store.Write(first), 0);
    // As if it had been written in the year 2100.
    const std::string future = dir.File("journals/1-2-0000000004102444800000000000.journal");
    ASSERT_EQ(std::rename(first.strPath.c_str(), future.c_str()), 0);
    CJournal second;
    second.folder = {1, 2, 0};
    second.strFolder = "second";
    ASSERT_EQ(store.Write(second), 0);
    const std::vector<CJournal> runs = store.Runs({1, 2, 0});
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs.back().strFolder, "second");
}

// A new folder that got a deleted folder's inode is not the old folder.
TEST(JournalTest, FolderBornLaterHasNoneOfTheOldJournals) {
    testsupport::CTempDir dir;
    const CJournalStore store(dir.File("journals"));
    CJournal journal;
    journal.folder = {1, 2, 5000};
    ASSERT_EQ(store.Write(journal), 0);
    EXPECT_EQ(store.Runs({1, 2, 5000}).size(), 1u);
    EXPECT_TRUE(store.Runs({1, 2, 6000}).empty());
}

} // namespace
