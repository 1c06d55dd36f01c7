// The rename run on real folders. Every file gets its own content, so that a
// test sees where each file went and that none was overwritten or lost.

#include "folder_commands.h"
#include "folder_scan.h"
#include "journal_store.h"
#include "jpeg_builder.h"
#include "json_writer.h"
#include "name_generation.h"
#include "new_name_check.h"
#include "rename_plan.h"
#include "rename_run.h"
#include "run_registry.h"
#include "safe_rename.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <iostream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace velmora;

namespace {

using testsupport::operator<<;

using testsupport::Contents;
using testsupport::ReadBytes;
using testsupport::ReadFiles;
using Names = std::vector<std::string>;

const std::regex kTemporaryName("~vlm[0-9a-f]{12}\\.jpg");

std::string ContentOf(const std::string& name) {
    return "content of " + name;
}

CListRow Row(const std::string& current, const std::string& converted, int status = RowToRename) {
    CListRow row;
    row.SetText(0, current);
    row.SetText(1, converted);
    row.nImage = status;
    return row;
}

// Records every change on disk; temporary names become <tmp1>, <tmp2>, ... in
// order of appearance, after checking that they are bare and fresh.
class CRecordingObserver : public CRenameObserver {
public:
    explicit CRecordingObserver(const Contents& before) : m_before(before) {}

    void OnRenamed(const std::string& from, const std::string& to) override {
        m_events.push_back("rename " + Alias(from) + " -> " + Alias(to));
    }
    void OnMovedAside(const std::string& from, const std::string& temporary) override {
        EXPECT_TRUE(std::regex_match(temporary, kTemporaryName)) << temporary;
        EXPECT_EQ(m_before.count(temporary), 0u) << temporary << " existed before the run";
        EXPECT_EQ(m_aliases.count(temporary), 0u) << temporary << " was given twice";
        m_aliases[temporary] = "<tmp" + std::to_string(m_aliases.size() + 1) + ">";
        m_events.push_back("aside " + Alias(from) + " -> " + Alias(temporary));
    }
    void OnUndone(const std::string& from, const std::string& to) override {
        m_events.push_back("undo " + Alias(from) + " -> " + Alias(to));
    }

    std::string Alias(const std::string& name) const {
        const auto it = m_aliases.find(name);
        return it != m_aliases.end() ? it->second : name;
    }

    Names m_events;

private:
    Contents m_before;
    std::map<std::string, std::string> m_aliases;
};

struct Expected {
    CRenameOutcome::Kind kind;
    std::string text;
    std::string caption;
    bool errorIcon;
    int renamed;
};

// A stop's message starts with its reason and ends with what was left.
void ExpectOutcome(const CRenameOutcome& outcome, const Expected& expected) {
    EXPECT_EQ(outcome.kind, expected.kind);
    if (expected.kind == CRenameOutcome::ErrorRename) {
        EXPECT_EQ(outcome.strText.substr(0, outcome.strText.find('\n')), expected.text);
        EXPECT_TRUE(outcome.strText.ends_with("none is left under a temporary name."))
            << outcome.strText;
    } else {
        EXPECT_EQ(outcome.strText, expected.text);
    }
    EXPECT_EQ(outcome.strCaption, expected.caption);
    EXPECT_EQ(outcome.bErrorIcon, expected.errorIcon);
    EXPECT_EQ(outcome.nRenamed, expected.renamed);
}

const Expected kAllRenamed1{CRenameOutcome::AllRenamed, "All files were re-named successfuly!",
                            "Rename Files", false, 1};

Expected ErrorRename(int error, int renamed) {
    return {CRenameOutcome::ErrorRename, std::strerror(error), "Error Rename", true, renamed};
}

class RenameRunTest : public ::testing::Test {
protected:
    RenameRunTest() { std::setlocale(LC_ALL, "C"); }
    ~RenameRunTest() override { std::setlocale(LC_ALL, m_oldLocale.c_str()); }

    void Write(const Names& names) {
        for (const std::string& name : names)
            ASSERT_TRUE(testdata::WriteFile(m_dir.File(name), testdata::ToBytes(ContentOf(name))));
    }
    void WritePhoto(const std::string& name, const char* exifDate) {
        const auto tiff = testdata::CameraTiff(testdata::ByteOrder::Intel, exifDate);
        testdata::Bytes bytes = testdata::CJpegBuilder::Photo(&tiff);
        const testdata::Bytes tag = testdata::ToBytes(name); // behind the image data: unread
        bytes.insert(bytes.end(), tag.begin(), tag.end());
        ASSERT_TRUE(testdata::WriteFile(m_dir.File(name), bytes));
    }
    Contents Folder() const { return ReadFiles(m_dir.Path()); }
    CRenameOutcome Run(CListRows& rows, unsigned count, CRenameObserver* observer = nullptr) {
        return RunRename(m_dir.Path(), rows, count, observer);
    }
    unsigned Scan(CListRows& rows, const std::string& format = kDefaultFormat) {
        bool listed = false;
        return ScanFolder(m_dir.Path(), format, rows, listed);
    }

    testsupport::CScopedTimeZone m_zone{"UTC0"};
    const std::string m_oldLocale = std::setlocale(LC_ALL, nullptr);
    testsupport::CTempDir m_dir;
};

// A row as one line, for comparing whole lists.
Names Describe(const CListRows& rows) {
    Names lines;
    for (const CListRow& row : rows)
        lines.push_back(std::string(row.Text(0)) + " | " + std::string(row.Text(1)) + " | " +
                        std::to_string(row.nImage));
    return lines;
}

TEST_F(RenameRunTest, SwapMovesHolderAsideThenRenamesBoth) {
    Write({"A.jpg", "B.jpg"});
    CListRows rows{Row("A.jpg", "B.jpg"), Row("B.jpg", "A.jpg")};
    CRecordingObserver observer(Folder());

    ExpectOutcome(Run(rows, 2, &observer),
                  {CRenameOutcome::AllRenamed, "All files were re-named successfuly!",
                   "Rename Files", false, 2});
    EXPECT_EQ(Folder(), (Contents{{"A.jpg", ContentOf("B.jpg")}, {"B.jpg", ContentOf("A.jpg")}}));
    EXPECT_EQ(observer.m_events,
              (Names{"aside B.jpg -> <tmp1>", "rename A.jpg -> B.jpg", "rename <tmp1> -> A.jpg"}));
    EXPECT_EQ(Describe(rows), (Names{"B.jpg | B.jpg | 1", "A.jpg | A.jpg | 1"}));
}

struct RotationCase {
    const char* name;
    int files;
    int step;   // row i is to take the name of row i + step (modulo files)
    int asides; // how many holders must go aside on the way
};

const RotationCase kRotationCases[] = {
    {"each_name_held_by_next_row", 50, 1, 49},
    {"each_name_held_by_row_above", 50, -1, 1},
    {"half_turn", 40, 20, 20},
};

class RotationTest : public RenameRunTest, public ::testing::WithParamInterface<RotationCase> {};

TEST_P(RotationTest, EveryFileTakesItsTargetAndNoneIsLost) {
    const RotationCase& c = GetParam();
    const auto name = [](int i) { return "p" + std::to_string(i) + ".jpg"; };
    Names names;
    CListRows rows;
    for (int i = 0; i < c.files; ++i) {
        names.push_back(name(i));
        rows.push_back(Row(name(i), name(((i + c.step) % c.files + c.files) % c.files)));
    }
    Write(names);
    CRecordingObserver observer(Folder());

    const CRenameOutcome outcome = Run(rows, static_cast<unsigned>(c.files), &observer);
    EXPECT_EQ(outcome.kind, CRenameOutcome::AllRenamed);
    EXPECT_EQ(outcome.nRenamed, c.files);
    Contents expected;
    for (int i = 0; i < c.files; ++i)
        expected[std::string(rows[i].Text(1))] = ContentOf(name(i));
    EXPECT_EQ(Folder(), expected);
    const auto asides = std::count_if(observer.m_events.begin(), observer.m_events.end(),
                                      [](const std::string& e) { return e.starts_with("aside"); });
    EXPECT_EQ(asides, c.asides);
}

INSTANTIATE_TEST_SUITE_P(Rotations, RotationTest, ::testing::ValuesIn(kRotationCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RenameRunTest, SecondRowWithSameConvertedNameStopsRunWithoutOverwriting) {
    Write({"a.jpg", "b.jpg", "c.jpg"});
    CListRows rows{Row("a.jpg", "same.jpg"), Row("b.jpg", "same.jpg"), Row("c.jpg", "c2.jpg")};

    ExpectOutcome(Run(rows, 3), ErrorRename(EEXIST, 1));
    EXPECT_EQ(Folder(), (Contents{{"same.jpg", ContentOf("a.jpg")},
                                  {"b.jpg", ContentOf("b.jpg")},
                                  {"c.jpg", ContentOf("c.jpg")}}));
    EXPECT_EQ(Describe(rows),
              (Names{"same.jpg | same.jpg | 1", "b.jpg | same.jpg | 0", "c.jpg | c2.jpg | 0"}));
}

class HolderStatusTest : public RenameRunTest, public ::testing::WithParamInterface<int> {};

// A holder the run would not rename later would stay under a temporary name:
// it keeps its own, and the run stops naming both files.
TEST_P(HolderStatusTest, HolderNotToBeRenamedKeepsItsNameAndStopsRun) {
    Write({"a.jpg", "b.jpg"});
    const CListRows before{Row("a.jpg", "b.jpg"), Row("b.jpg", "column 1 text", GetParam())};
    CListRows rows = before;

    const CRenameOutcome outcome = Run(rows, 1);
    ExpectOutcome(outcome, ErrorRename(EEXIST, 0));
    EXPECT_NE(outcome.strText.find("a.jpg -> b.jpg\nb.jpg holds that name"), std::string::npos)
        << outcome.strText;
    EXPECT_EQ(Describe(rows), Describe(before));
    EXPECT_EQ(Folder(), (Contents{{"a.jpg", ContentOf("a.jpg")}, {"b.jpg", ContentOf("b.jpg")}}));
}

std::string StatusLabel(const ::testing::TestParamInfo<int>& info) {
    return info.param == RowNamed        ? "named"
           : info.param == RowUnreadable ? "unreadable"
                                         : "no_date";
}

INSTANTIATE_TEST_SUITE_P(Statuses, HolderStatusTest,
                         ::testing::Values(RowNamed, RowUnreadable, RowNoDate), StatusLabel);

// The file systems of this platform tell case apart: a row whose name differs
// from the wanted one only in case holds another file and must stay put.
TEST_F(RenameRunTest, CaseVariantOfWantedNameIsAnotherFile) {
    Write({"a.jpg", "B.jpg"});
    CListRows rows{Row("a.jpg", "b.jpg"), Row("B.jpg", "B.jpg", RowNamed)};
    ExpectOutcome(Run(rows, 1), kAllRenamed1);
    EXPECT_EQ(Folder(), (Contents{{"b.jpg", ContentOf("a.jpg")}, {"B.jpg", ContentOf("B.jpg")}}));
    EXPECT_EQ(rows[1].Text(0), "B.jpg");
}

// Runs that stop at their first row: no file moves, no row changes, and the
// rows after it are not visited.
struct StopCase {
    const char* name;
    Names files; // a subfolder "sub" exists besides them
    CListRows rows;
    int error;
    bool readOnly = false; // the folder is made read-only for the run
};

const StopCase kStopCases[] = {
    {"holder_not_in_list",
     {"a.jpg", "b.jpg", "c.jpg"},
     {Row("a.jpg", "b.jpg"), Row("c.jpg", "d.jpg")},
     EEXIST},
    {"holder_above_current_row",
     {"a.jpg", "b.jpg"},
     {Row("a.jpg", "a.jpg", RowNamed), Row("b.jpg", "a.jpg")},
     EEXIST},
    {"case_variant_row_is_not_the_holder",
     {"a.jpg", "b.jpg", "B.jpg"},
     {Row("a.jpg", "b.jpg"), Row("B.jpg", "B.jpg", RowNamed)},
     EEXIST},
    {"name_of_300_characters",
     {"a.jpg", "c.jpg"},
     {Row("a.jpg", std::string(296, 'n') + ".jpg"), Row("c.jpg", "d.jpg")},
     ENAMETOOLONG},
    {"into_missing_folder",
     {"a.jpg", "c.jpg"},
     {Row("a.jpg", "missing/x.jpg"), Row("c.jpg", "d.jpg")},
     ENOENT},
    {"onto_unlisted_subfolder",
     {"a.jpg", "c.jpg"},
     {Row("a.jpg", "sub"), Row("c.jpg", "d.jpg")},
     EEXIST},
    {"read_only_folder",
     {"a.jpg", "c.jpg"},
     {Row("a.jpg", "b.jpg"), Row("c.jpg", "d.jpg")},
     EACCES,
     true},
    // A taken name is reported before the folder's permissions are looked
    // at: the holder is found, and it is moving it aside that fails.
    {"read_only_folder_holder_cannot_move_aside",
     {"a.jpg", "b.jpg"},
     {Row("a.jpg", "b.jpg"), Row("b.jpg", "d.jpg")},
     EACCES,
     true},
};

// Makes a folder read-only for the length of a test, and writable again
// before it is removed.
class CReadOnlyFolder {
public:
    CReadOnlyFolder(const std::string& path, bool readOnly) : m_path(readOnly ? path : "") {
        if (readOnly)
            chmod(path.c_str(), 0555);
    }
    ~CReadOnlyFolder() {
        if (!m_path.empty())
            chmod(m_path.c_str(), 0755);
    }

private:
    std::string m_path;
};

class StopTest : public RenameRunTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(StopTest, NameNothingCanFreeStopsRunAndKeepsEveryFile) {
    const StopCase& c = GetParam();
    if (c.readOnly && geteuid() == 0)
        GTEST_SKIP() << "root renames in a read-only folder all the same";
    Write(c.files);
    ASSERT_EQ(mkdir(m_dir.File("sub").c_str(), 0755), 0);
    CListRows rows = c.rows;
    const Contents files = Folder();
    const CReadOnlyFolder readOnly(m_dir.Path(), c.readOnly);

    const auto count = std::count_if(rows.begin(), rows.end(),
                                     [](const CListRow& row) { return row.nImage == RowToRename; });
    ExpectOutcome(Run(rows, static_cast<unsigned>(count)), ErrorRename(c.error, 0));
    EXPECT_EQ(Folder(), files);
    EXPECT_EQ(Describe(rows), Describe(c.rows));
}

INSTANTIATE_TEST_SUITE_P(Names, StopTest, ::testing::ValuesIn(kStopCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RenameRunTest, RenameCountZeroTouchesNothing) {
    Write({"a.jpg"});
    CListRows rows{Row("a.jpg", "b.jpg")};
    CRecordingObserver observer(Folder());
    ExpectOutcome(
        Run(rows, 0, &observer),
        {CRenameOutcome::NoItems, "There are no items to be renamed!", "Error", false, 0});
    EXPECT_EQ(Folder(), (Contents{{"a.jpg", ContentOf("a.jpg")}}));
    EXPECT_TRUE(observer.m_events.empty());
    EXPECT_EQ(rows[0].nImage, RowToRename);
}

TEST_F(RenameRunTest, SecondRunAfterCompleteRunRenamesNothing) {
    WritePhoto("a.jpg", "2005:07:02 10:00:00");
    WritePhoto("b.jpg", "2005:07:01 10:00:00");
    CListRows rows;
    const unsigned count = Scan(rows);
    ASSERT_EQ(count, 2u);
    ExpectOutcome(Run(rows, count),
                  {CRenameOutcome::AllRenamed, "All files were re-named successfuly!",
                   "Rename Files", false, 2});
    const Contents renamed = Folder();
    ASSERT_EQ(renamed.size(), 2u);
    EXPECT_TRUE(renamed.at("Img20050701_100000_000.jpg").ends_with("b.jpg"));
    EXPECT_TRUE(renamed.at("Img20050702_100000_001.jpg").ends_with("a.jpg"));

    // The window's count still holds the first generation's value.
    ExpectOutcome(Run(rows, count), {CRenameOutcome::NoneRenamed,
                                     "None of the files where re-named!", "Error", true, 0});
    EXPECT_EQ(Folder(), renamed);

    CListRows fresh;
    const unsigned freshCount = Scan(fresh);
    EXPECT_EQ(freshCount, 0u);
    ExpectOutcome(Run(fresh, freshCount), {CRenameOutcome::NoItems,
                                           "There are no items to be renamed!", "Error", false, 0});
    EXPECT_EQ(Folder(), renamed);
}

TEST_F(RenameRunTest, RunAfterErrorRenameRenamesTheRestButNotAll) {
    Write({"a.jpg", "b.jpg", "x2.jpg"});
    CListRows rows{Row("a.jpg", "x1.jpg"), Row("b.jpg", "x2.jpg")};
    ExpectOutcome(Run(rows, 2), ErrorRename(EEXIST, 1));

    ASSERT_EQ(std::remove(m_dir.File("x2.jpg").c_str()), 0); // the user clears the way
    ExpectOutcome(Run(rows, 2),
                  {CRenameOutcome::SomeRenamed, "Error: not all files were re-named !",
                   "Rename Some Files", false, 1});
    EXPECT_EQ(Folder(), (Contents{{"x1.jpg", ContentOf("a.jpg")}, {"x2.jpg", ContentOf("b.jpg")}}));
}

TEST_F(RenameRunTest, ScannedFileWithNameNotUtf8IsRenamed) {
    const std::string latin1 = "caf\xE9.jpg";
    WritePhoto(latin1, "2005:07:01 10:00:00");
    CListRows rows;
    const unsigned count = Scan(rows);
    ASSERT_EQ(count, 1u);
    ExpectOutcome(Run(rows, count), kAllRenamed1);
    const Contents files = Folder();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files.begin()->first, "Img20050701_100000_000.jpg");
    EXPECT_TRUE(files.begin()->second.ends_with(latin1));
}

// --- names that stay in the folder, clean stops, one run at a time ----------

TEST(NewNameCheckTest, RefusesNamesThatLeaveTheFolderOrHideTheFile) {
    const std::pair<const char*, NameFault> cases[] = {
        {"a.jpg", NameFault::None},
        {"sub/a.jpg", NameFault::None},
        {".hidden.jpg", NameFault::Hidden},
        {"sub/.2008.jpg", NameFault::Hidden},
        {"", NameFault::LeavesFolder},
        {"/tmp/a.jpg", NameFault::LeavesFolder},
        {"sub//a.jpg", NameFault::LeavesFolder},
        {"./a.jpg", NameFault::LeavesFolder},
        {"../a.jpg", NameFault::LeavesFolder},
        {"sub/../a.jpg", NameFault::LeavesFolder},
        {"a.jpg/", NameFault::LeavesFolder},
        {".jpg", NameFault::NoFileName},
        {"sub/.jpg", NameFault::NoFileName},
    };
    for (const auto& [name, fault] : cases)
        EXPECT_EQ(CheckNewName(name), fault) << name;
}

std::size_t OpenFiles() {
    using std::filesystem::directory_iterator;
    return static_cast<std::size_t>(
        std::distance(directory_iterator("/proc/self/fd"), directory_iterator{}));
}

// A handle keeps the few folders it reached last open, and what it found
// missing, for the next names; a folder it makes forgets the missing ones,
// one it removes all, so that no name is sent into a folder gone or kept
// from a new one.
TEST(FolderHandleTest, HoldsFoldersItReachedUntilItMakesOrRemovesOne) {
    testsupport::CTempDir dir;
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(mkdir(dir.File("f" + std::to_string(i)).c_str(), 0755), 0);
        ASSERT_TRUE(testdata::WriteFile(dir.File("f" + std::to_string(i) + "/a.jpg"), {1}));
    }
    const std::size_t before = OpenFiles();
    const CFolderHandle handle(dir.Path());
    ASSERT_EQ(handle.RenameNoReplace("f0/a.jpg", "f0/b.jpg"), 0);
    EXPECT_EQ(OpenFiles(), before + 2) << "the folder, and f0 held";
    for (int i = 1; i < 20; ++i)
        ASSERT_EQ(handle.RenameNoReplace("f" + std::to_string(i) + "/a.jpg",
                                         "f0/" + std::to_string(i) + ".jpg"),
                  0);
    EXPECT_EQ(OpenFiles(), before + 1 + 8) << "eight folders held at most";

    EXPECT_EQ(handle.ParentError("new/x.jpg"), ENOENT);
    EXPECT_EQ(handle.MakeFolder("new"), 0);
    EXPECT_EQ(handle.ParentError("new/x.jpg"), 0) << "made since it was found missing";
    EXPECT_EQ(handle.RemoveEmptyFolder("new"), 0);
    EXPECT_EQ(OpenFiles(), before + 1);
    EXPECT_EQ(handle.MakeFolder("new"), 0);
    EXPECT_EQ(handle.RenameNoReplace("f0/b.jpg", "new/b.jpg"), 0) << "the new one, not the gone";
}

// The plan of a run that gathers a tree into new folders holds no copy of
// the names, neither of the ones the files leave nor of the new ones (which
// once made the plan of 100,000 such moves 1.7 times the memory of the list).
TEST(PlanMemoryTest, PlanOfATreeIntoNewFoldersCopiesNoName) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the heap is not counted under AddressSanitizer";
#endif
    testsupport::CTempDir dir;
    CListRows rows;
    std::size_t nameBytes = 0;
    for (int i = 0; i < 400; ++i) {
        const std::string from = std::string(100, 'c') + std::to_string(i / 100);
        if (i % 100 == 0) {
            ASSERT_EQ(mkdir(dir.File(from).c_str(), 0755), 0);
        }
        rows.push_back(Row(from + "/IMG_" + std::to_string(i) + ".jpg",
                           "2020/" + std::to_string(i / 100) + "/" + std::string(100, 'n') +
                               std::to_string(i) + ".jpg"));
        ASSERT_TRUE(testdata::WriteFile(dir.File(std::string(rows.back().Text(0))), {1}));
        nameBytes += rows.back().Text(0).size() + rows.back().Text(1).size();
    }
    const CFolderHandle handle(dir.Path());
    const testsupport::CHeapPeak peak;
    const CRenamePlan plan = PlanRename(handle, rows, true);
    ASSERT_EQ(plan.steps.size(), rows.size());
    EXPECT_LT(peak.Bytes(), nameBytes) << "less than one copy of the names";
}

struct RefusedCase {
    const char* name;
    const char* target;
    const char* reason; // the message's first line; empty: the rename succeeds
};

const RefusedCase kRefusedCases[] = {
    {"parent_folder", "../x.jpg", "The new name would leave the folder"},
    {"absolute", "/tmp/x.jpg", "The new name would leave the folder"},
    {"no_file_name", ".jpg", "The new name has no file name before its extension"},
    {"hides_the_file", ".2008.jpg", "The new name starts with a dot, which would hide the file"},
    {"through_link", "out/x.jpg", "The new name leads through a symbolic link"},
    {"into_subfolder", "sub/x.jpg", ""},
};

class RefusedNameTest : public RenameRunTest, public ::testing::WithParamInterface<RefusedCase> {};

// The first row is renamed, the second refused: the run stops there, names
// both, and keeps what it did before.
TEST_P(RefusedNameTest, StopsAtTheRowAndNamesIt) {
    const RefusedCase& c = GetParam();
    Write({"a.jpg", "b.jpg"});
    ASSERT_EQ(mkdir(m_dir.File("sub").c_str(), 0755), 0);
    ASSERT_EQ(symlink("/tmp", m_dir.File("out").c_str()), 0);
    CListRows rows{Row("a.jpg", "a2.jpg"), Row("b.jpg", c.target)};

    const CRenameOutcome outcome = Run(rows, 2);
    if (*c.reason == '\0') {
        EXPECT_EQ(outcome.kind, CRenameOutcome::AllRenamed) << outcome.strText;
        EXPECT_EQ(ReadBytes(m_dir.File(c.target)), ContentOf("b.jpg"));
        return;
    }
    ExpectOutcome(outcome, {CRenameOutcome::ErrorRename, c.reason, "Error Rename", true, 1});
    EXPECT_NE(outcome.strText.find(std::string("b.jpg -> ") + c.target), std::string::npos);
    EXPECT_EQ(Folder(), (Contents{{"a2.jpg", ContentOf("a.jpg")}, {"b.jpg", ContentOf("b.jpg")}}));
}

INSTANTIATE_TEST_SUITE_P(Names, RefusedNameTest, ::testing::ValuesIn(kRefusedCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Every row the run would refuse is found before it, with its reason; a
// refused row stays where it is for the rows after it, and a refusal takes
// nothing on disk.
TEST_F(RenameRunTest, FindsEveryRefusedRowBeforeTheRun) {
    Write({"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg", "f.jpg", "g.jpg", "h.jpg", "keep.jpg"});
    CListRows rows{Row("a.jpg", "same.jpg"),
                   Row("b.jpg", "same.jpg"),
                   Row("c.jpg", "keep.jpg"),
                   Row("d.jpg", "../x.jpg"),
                   Row("e.jpg", std::string(300, 'n') + ".jpg"),
                   Row("f.jpg", "none/x.jpg"),
                   Row("g.jpg", "d.jpg"),
                   Row("h.jpg", "fine.jpg")};
    const Contents files = Folder();
    std::vector<std::pair<int, std::string>> found;
    for (const CRenameStop& stop : FindRefusedRows(CFolderHandle(m_dir.Path()), rows))
        found.emplace_back(stop.nRow, RefusalText(stop));
    EXPECT_EQ(found, (std::vector<std::pair<int, std::string>>{
                         {0, "b.jpg is to get the same name"},
                         {1, "a.jpg is to get the same name"},
                         {2, "keep.jpg holds that name and is not renamed"},
                         {3, "The new name would leave the folder"},
                         {4, "File name too long"},
                         {5, "The subfolder 'none' does not exist."},
                         {6, "d.jpg holds that name and is not renamed"}}));
    EXPECT_EQ(Folder(), files);
}

// A step that fails while a file is aside takes the run back to where none
// was: the holder gets its own name again, nothing is left under a
// temporary one. The subfolder of a later name vanishes during the run.
TEST_F(RenameRunTest, StopTakesBackItsStepsToWhereNoFileIsAside) {
    Write({"a.jpg", "b.jpg", "c.jpg"});
    const std::string sub = m_dir.File("d");
    ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
    CListRows rows{Row("a.jpg", "b.jpg"), Row("c.jpg", "d/x.jpg"), Row("b.jpg", "x.jpg")};
    const CListRows before = rows;
    struct CRemovingObserver : CRecordingObserver {
        using CRecordingObserver::CRecordingObserver;
        void OnRenamed(const std::string& from, const std::string& to) override {
            CRecordingObserver::OnRenamed(from, to);
            rmdir(strSub.c_str());
        }
        std::string strSub;
    } observer(Folder());
    observer.strSub = sub;
    const Contents files = Folder();

    ExpectOutcome(Run(rows, 3, &observer), ErrorRename(ENOENT, 0));
    EXPECT_EQ(Folder(), files);
    EXPECT_EQ(Describe(rows), Describe(before));
    EXPECT_EQ(observer.m_events, (Names{"aside b.jpg -> <tmp1>", "rename a.jpg -> b.jpg",
                                        "undo b.jpg -> a.jpg", "undo <tmp1> -> b.jpg"}));
}

// A file replaced after the scan is not the file the list was made from.
TEST_F(RenameRunTest, FileReplacedSinceTheScanStopsTheRun) {
    WritePhoto("a.jpg", "2005:07:01 10:00:00");
    WritePhoto("b.jpg", "2005:07:02 10:00:00");
    CListRows rows;
    const unsigned count = Scan(rows, "%d");
    ASSERT_EQ(count, 2u);
    // Kept elsewhere, so that the new file can't get the old one's inode.
    ASSERT_EQ(std::rename(m_dir.File("b.jpg").c_str(), m_dir.File("b.old").c_str()), 0);
    Write({"b.jpg"});

    const CRenameOutcome outcome = Run(rows, count);
    ExpectOutcome(outcome, {CRenameOutcome::ErrorRename, "The folder changed since it was listed",
                            "Error Rename", true, 1});
    EXPECT_NE(outcome.strText.find("b.jpg is no longer the file that was listed"),
              std::string::npos);
    EXPECT_EQ(ReadBytes(m_dir.File("b.jpg")), ContentOf("b.jpg"));
    EXPECT_TRUE(ReadBytes(m_dir.File("01.jpg")).ends_with("a.jpg"));
}

TEST_F(RenameRunTest, SecondRunWhileTheFirstHoldsTheFolderIsRefused) {
    Write({"a.jpg"});
    CListRows rows{Row("a.jpg", "b.jpg")};
    {
        CFolderHandle first(m_dir.Path());
        ASSERT_EQ(first.Lock(), 0);
        ExpectOutcome(Run(rows, 1),
                      {CRenameOutcome::Busy,
                       "Another rename is running in this folder; nothing was renamed.",
                       "Error Rename", true, 0});
        EXPECT_EQ(Folder(), (Contents{{"a.jpg", ContentOf("a.jpg")}}));
    }
    ExpectOutcome(Run(rows, 1), kAllRenamed1);
}

// A run that works in subfolders keeps out the runs in any of them, and a
// run over a tree keeps out the runs below it; runs in folders of their own
// go on side by side.
TEST_F(RenameRunTest, RunsThatShareAFolderOfATreeAreRefused) {
    struct {
        const char* other; // the folder of the run going on
        bool otherTree;
        const char* folder; // where the second run renames `from` to `to`
        const char* from;
        bool busy;
    } const kCases[] = {
        {"", true, "/sub", "a.jpg", true},
        {"/sub", false, "", "sub/a.jpg", true},
        {"/sub/deeper", false, "", "sub/a.jpg", true},
        {"", false, "/sub", "a.jpg", false},
        {"/other", true, "", "sub/a.jpg", true},
        {"/other", true, "/sub", "a.jpg", false},
    };
    const testsupport::CTempDir state;
    const CJournalStore journals(state.Path());
    for (const auto& c : kCases) {
        SCOPED_TRACE(std::string(c.other) + " " + c.folder + " " + c.from);
        std::filesystem::create_directories(m_dir.Path() + "/sub/deeper");
        std::filesystem::create_directories(m_dir.Path() + "/other");
        const std::string folder = m_dir.Path() + c.folder;
        ASSERT_TRUE(testdata::WriteFile(folder + '/' + c.from, testdata::ToBytes("photo")));
        CListRows rows{Row(c.from, "b.jpg")};
        {
            const CFolderHandle other(m_dir.Path() + c.other);
            CRunRegistration going;
            int error = 0;
            ASSERT_EQ(going.Register(state.Path() + "/runs", other.Fd(), c.otherTree, error),
                      CRunRegistration::Registered);
            EXPECT_EQ(RunRename(folder, rows, 1, nullptr, &journals).kind,
                      c.busy ? CRenameOutcome::Busy : CRenameOutcome::AllRenamed);
        }
        // Once the other run has ended, the entry it left counts for nothing.
        if (c.busy) {
            EXPECT_EQ(RunRename(folder, rows, 1, nullptr, &journals).kind,
                      CRenameOutcome::AllRenamed);
        }
        std::filesystem::remove(folder + "/b.jpg");
    }
}

// Opening a FIFO, even without blocking, would release a writer waiting on
// it and lose its data: the scan must not open it at all.
TEST_F(RenameRunTest, ScanLeavesAWriterOnAFifoWaiting) {
    const std::string fifo = m_dir.File("pipe.jpg");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    auto writer = std::async(std::launch::async, [&] {
        const int fd = open(fifo.c_str(), O_WRONLY);
        if (fd >= 0)
            close(fd);
    });
    CListRows rows;
    Scan(rows);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].nImage, RowUnreadable);
    EXPECT_EQ(writer.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout)
        << "the scan opened the FIFO";
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK); // release the writer
    writer.wait();
    close(reader);
}

// --- velmora-cli list / rename ----------------------------------------------

struct FolderFile {
    const char* name;
    const char* exifDate;         // null: not a JPEG file
    const char* copyOf = nullptr; // the same bytes as this file of the list
};

struct CliCommand {
    const char* name;
    const char* command; // "list" or "rename", with " --json" for JSON
    const char* format;
    int exitStatus;
};

struct CliCase {
    CliCommand run;
    std::vector<FolderFile> files;
    // "{folder}" stands for the folder as a JSON string, "<tmp>" for a
    // temporary name.
    std::string output;
};

void PrintTo(const CliCase& c, std::ostream* os) {
    *os << c.run.name;
}

constexpr const char* kJuly1 = "2005:07:01 10:00:00";
constexpr const char* kJuly2 = "2005:07:02 10:00:00";

const CliCase kCliCases[] = {
    // A tree: each file renamed in its own folder, or gathered into folders
    // the run makes; a byte-identical copy, listed or already in place, stays.
    {{"list_tree_each_in_its_folder_text", "list --recursive", "%m%d", 0},
     {{"a/x.jpg", kJuly1}, {"y.jpg", kJuly2}, {".hidden/z.jpg", kJuly2}},
     "to-rename\ta/x.jpg\ta/0701.jpg\n"
     "to-rename\ty.jpg\t0702.jpg\n"
     "2 files in the list, 2 to rename\n"},
    {{"rename_tree_into_made_folders_text", "rename --recursive --create-folders", "%Y/%m%d_%C", 0},
     {{"a/b/x.jpg", kJuly1}, {"c.jpg", kJuly2}, {"a/y.jpg", kJuly2}},
     "a/b/x.jpg -> 2005/0701_000.jpg\n"
     "c.jpg -> 2005/0702_001.jpg\n"
     "a/y.jpg -> 2005/0702_002.jpg\n"
     "All files were re-named successfuly!\n"},
    {{"rename_tree_identical_copy_stays_text", "rename --recursive --create-folders", "%Y/%m%d", 0},
     {{"a/x.jpg", kJuly1}, {"b/x.jpg", nullptr, "a/x.jpg"}},
     "a/x.jpg -> 2005/0701.jpg\n"
     "All files were re-named successfuly!\n"
     "1 file is a copy of another and stays where it is; it was not renamed and nothing was "
     "removed.\n"},
    {{"rename_identical_file_already_there_json", "rename --create-folders --json", "%Y/%m%d", 0},
     {{"x.jpg", kJuly1}, {"2005/0701.jpg", nullptr, "x.jpg"}},
     R"({"message":"All files were re-named successfuly!\n1 file is a copy of another and )"
     R"(stays where it is; it was not renamed and nothing was removed.","caption":"Rename )"
     R"(Files","renamed":0,"rows":[{"original":"x.jpg","path":"","converted":"Already )"
     R"(there: identical to 2005/0701.jpg","status":"identical","date":null,"date_source":)"
     R"(null,"offset":null,"offset_applied":null}]})"
     "\n"},
    {{"list_text", "list", kDefaultFormat, 0},
     {{"a.jpg", kJuly2}, {"Img20050701_100000_000.jpg", kJuly1}, {"bad.jpg", nullptr}},
     "named\tImg20050701_100000_000.jpg\tImg20050701_100000_000.jpg\n"
     "to-rename\ta.jpg\tImg20050702_100000_001.jpg\n"
     "unreadable\tbad.jpg\tInvalid JPEG file!\n"
     "3 files in the list, 1 to rename\n"},
    {{"list_json", "list --json", "%Y_%C", 0},
     {{"a.jpg", kJuly2}, {"bad.jpg", nullptr}},
     R"({"folder":{folder},"format":"%Y_%C","rename_count":1,"rows":[)"
     R"({"original":"a.jpg","path":"","converted":"2005_000.jpg","status":"to-rename",)"
     R"("date":"2005-07-02 10:00:00")"
     R"(,"date_source":"exif-original","offset":null,"offset_applied":null},)"
     R"({"original":"bad.jpg","path":"","converted":"Invalid JPEG file!","status":"unreadable",)"
     R"("date":null,"date_source":null,"offset":null,"offset_applied":null}]})"
     "\n"},
    {{"rename_swap_text", "rename", "%C", 0},
     {{"000.jpg", kJuly2}, {"001.jpg", kJuly1}},
     "000.jpg -> <tmp> (moved aside)\n"
     "001.jpg -> 000.jpg\n"
     "<tmp> -> 001.jpg\n"
     "All files were re-named successfuly!\n"},
    {{"list_json_name_not_utf8", "list --json", "%Y", 0},
     {{"caf\xE9.jpg", kJuly1}},
     R"({"folder":{folder},"format":"%Y","rename_count":1,"rows":[)"
     "{\"original\":\"caf\xEF\xBF\xBD.jpg\",\"original_hex\":\"636166e92e6a7067\","
     R"("path":"",)"
     R"("converted":"2005.jpg","status":"to-rename","date":"2005-07-01 10:00:00")"
     R"(,"date_source":"exif-original","offset":null,"offset_applied":null}]})"
     "\n"},
    // A name that differs in its extension's case alone is a rename of its own.
    {{"rename_extension_lowered_text", "rename --ext lower", "%m%d", 0},
     {{"0701.JPG", kJuly1}, {"a.JPG", kJuly2}},
     "0701.JPG -> 0701.jpg\n"
     "a.JPG -> 0702.jpg\n"
     "All files were re-named successfuly!\n"},
    {{"rename_nothing_to_do_text", "rename", "%Y", 0},
     {{"2005.jpg", kJuly1}},
     "There are no items to be renamed!\n"},
    // Names the plan knows it would refuse stop the run before its first
    // rename, unless the others are to be renamed.
    {{"rename_clash_text", "rename", "%Y", 2},
     {{"a.jpg", kJuly1}, {"b.jpg", kJuly1}},
     "velmora-cli: 2 of 2 new names would be refused (two rows given the same name); nothing "
     "was renamed (--skip-refused renames the others):\n"
     "a.jpg -> 2005.jpg: b.jpg is to get the same name\n"
     "b.jpg -> 2005.jpg: a.jpg is to get the same name\n"},
    {{"rename_skip_refused_text", "rename --skip-refused", "%m%d", 1},
     {{"a.jpg", kJuly1}, {"b.jpg", kJuly1}, {"c.jpg", kJuly2}},
     "c.jpg -> 0702.jpg\n"
     "1 file was renamed; 2 keep their names, their new names refused:\n"
     "a.jpg -> 0701.jpg: b.jpg is to get the same name\n"
     "b.jpg -> 0701.jpg: a.jpg is to get the same name\n"},
    {{"rename_json", "rename --json", "%Y", 0},
     {{"a.jpg", kJuly1}},
     R"({"message":"All files were re-named successfuly!","caption":"Rename Files",)"
     R"("renamed":1,"rows":[{"original":"2005.jpg","path":"","converted":"2005.jpg","status":"named",)"
     R"("date":"2005-07-01 10:00:00")"
     R"(,"date_source":"exif-original","offset":null,"offset_applied":null}]})"
     "\n"},
    {{"rename_missing_subfolder_json", "rename --json", "missing/%Y", 2},
     {{"a.jpg", kJuly1}},
     "velmora-cli: 1 of 1 new name would be refused (a subfolder that does not exist); nothing "
     "was renamed (--skip-refused renames the others):\n"
     "a.jpg -> missing/2005.jpg: The subfolder 'missing' does not exist.\n"},
};

class CliFolderTest : public RenameRunTest, public ::testing::WithParamInterface<CliCase> {};

TEST_P(CliFolderTest, PrintsRowsOrChangesAndReturnsExitStatus) {
    const CliCase& c = GetParam();
    for (const FolderFile& file : c.files) {
        std::filesystem::create_directories(
            std::filesystem::path(m_dir.File(file.name)).parent_path());
        if (file.copyOf != nullptr)
            std::filesystem::copy_file(m_dir.File(file.copyOf), m_dir.File(file.name));
        else if (file.exifDate != nullptr)
            WritePhoto(file.name, file.exifDate);
        else
            Write({file.name});
    }
    const std::string command = c.run.command;
    const bool json = command.ends_with(" --json");
    CScanOptions scan;
    if (command.find(" --ext lower") != std::string::npos)
        scan.extensionCase = ExtensionCase::Lower;
    scan.bRecursive = command.find(" --recursive") != std::string::npos;
    const CRunChoices choices{.bCreateFolders =
                                  command.find(" --create-folders") != std::string::npos};
    std::ostringstream out;
    // What goes to stderr is compared too, after what went to stdout.
    std::streambuf* const errors = std::cerr.rdbuf(out.rdbuf());
    const int status =
        command.starts_with("rename")
            ? RunRenameCommand(m_dir.Path(), c.run.format, scan, json, out, {}, choices,
                               command.find(" --skip-refused") != std::string::npos)
            : RunListCommand(m_dir.Path(), c.run.format, scan, json, out);
    std::cerr.rdbuf(errors);
    EXPECT_EQ(status, c.run.exitStatus);
    std::string expected = c.output;
    if (const std::size_t at = expected.find("{folder}"); at != std::string::npos)
        expected.replace(at, 8, JsonString(m_dir.Path()));
    EXPECT_EQ(std::regex_replace(out.str(), kTemporaryName, "<tmp>"), expected);
}

INSTANTIATE_TEST_SUITE_P(Commands, CliFolderTest, ::testing::ValuesIn(kCliCases),
                         [](const auto& info) { return std::string(info.param.run.name); });

TEST_F(RenameRunTest, CliRefusesFolderThatCannotBeRead) {
    EXPECT_EQ(FolderError(m_dir.Path()), "");
    const std::string missing = m_dir.File("missing");
    EXPECT_EQ(FolderError(missing),
              "cannot read folder '" + missing + "': " + std::strerror(ENOENT));
}

} // namespace
