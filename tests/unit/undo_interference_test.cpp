// Rename runs, undos and journals on real folders under interference: files
// that appear while a run works, runs cut off with SIGKILL, many journals of
// other folders, and files with more than one name.

#include "journal_format.h"
#include "journal_store.h"
#include "list_rows.h"
#include "rename_run.h"
#include "test_support.h"
#include "undo_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace velmora;
namespace fs = std::filesystem;

namespace {

using testsupport::Contents;
using testsupport::ReadFiles;

bool HasTemporaryName(const Contents& contents) {
    for (const auto& [name, content] : contents) {
        if (name.starts_with("~vlm"))
            return true;
    }
    return false;
}

using testsupport::Row;

// Calls `act` after the change on disk that matches `when` ("rename FROM",
// "aside FROM"), once.
class CInterferingObserver : public CRenameObserver {
public:
    CInterferingObserver(std::string when, std::function<void()> act)
        : m_when(std::move(when)), m_act(std::move(act)) {}
    void OnRenamed(const std::string& from, const std::string&) override { Fire("rename " + from); }
    void OnMovedAside(const std::string& from, const std::string&) override {
        Fire("aside " + from);
    }
    void OnUndone(const std::string&, const std::string&) override {}

private:
    void Fire(const std::string& event) {
        if (event == m_when && m_act) {
            std::function<void()> act = std::move(m_act);
            m_act = nullptr;
            act();
        }
    }
    std::string m_when;
    std::function<void()> m_act;
};

class InterferenceTest : public ::testing::Test {
protected:
    void Write(const std::string& name, const std::string& content) {
        std::ofstream(m_dir.File(name)) << content;
    }
    CFolderKey Key() const { return CFolderKey::OfPath(m_dir.Path()).value(); }

    testsupport::CTempDir m_dir;
    testsupport::CTempDir m_state;
    CJournalStore m_store{m_state.File("journals")};
};

// A stop whose taking back fails leaves a file under a temporary name: the
// run did not end cleanly, so the folder must still count as interrupted.
TEST_F(InterferenceTest, StopThatLeavesAFileUnderATemporaryNameIsNotJournaledAsEnded) {
    Write("A.jpg", "a");
    Write("B.jpg", "b");
    CListRows rows{Row("A.jpg", "B.jpg"), Row("B.jpg", "A.jpg")};
    // Someone creates A.jpg right after the run freed it: the next step and
    // the taking back of the step before both meet a taken name.
    CInterferingObserver observer("rename A.jpg", [&] { Write("A.jpg", "stranger"); });

    const CRenameOutcome outcome = RunRename(m_dir.Path(), rows, 2, &observer, &m_store);
    ASSERT_EQ(outcome.kind, CRenameOutcome::ErrorRename);
    ASSERT_TRUE(HasTemporaryName(ReadFiles(m_dir.Path()))) << outcome.strText;

    const std::vector<CJournal> runs = m_store.Runs(Key());
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs.back().state, CJournal::Interrupted);
    EXPECT_EQ(runs.back().strDamage, "");
    EXPECT_TRUE(RefuseAfterInterruptedRun(m_store, Key()).has_value());
}

// An undo cut off leaves files under temporary names; its journal is kept,
// and so must be the journal of the run it undoes, however many runs other
// folders journal meanwhile.
TEST_F(InterferenceTest, UndoCutOffCanBeFinishedAfterOtherFoldersJournalManyRuns) {
    Write("A.jpg", "a");
    Write("B.jpg", "b");
    const Contents before = ReadFiles(m_dir.Path());
    CListRows rows{Row("A.jpg", "B.jpg"), Row("B.jpg", "A.jpg")};
    ASSERT_EQ(RunRename(m_dir.Path(), rows, 2, nullptr, &m_store).kind, CRenameOutcome::AllRenamed);
    ASSERT_TRUE(testsupport::KilledAt("step", 1, false, [&] { RunUndo(m_dir.Path(), m_store); }));
    ASSERT_TRUE(HasTemporaryName(ReadFiles(m_dir.Path())));

    for (std::uint64_t i = 0; i < 200; ++i) {
        CJournal other;
        other.folder = {1, 1000 + i, 0};
        other.strFolder = "/elsewhere/" + std::to_string(i);
        ASSERT_EQ(m_store.Write(other), 0);
        CJournalStore::Append(other.strPath, DoneLine(1, 1));
    }

    const CUndoOutcome undo = RunUndo(m_dir.Path(), m_store);
    EXPECT_EQ(undo.outcome.kind, CRenameOutcome::AllRenamed) << undo.outcome.strText;
    EXPECT_EQ(ReadFiles(m_dir.Path()), before);
}

// The undo of a run cut off stops cleanly without restoring every file: the
// cut-off run is still not undone and a file is still under a temporary
// name, so a new rename must still be refused.
TEST_F(InterferenceTest, RenameStaysRefusedWhileTheCutOffRunIsNotUndone) {
    Write("A.jpg", "a");
    Write("B.jpg", "b");
    Write("C.jpg", "c");
    ASSERT_TRUE(testsupport::KilledAt("step", 2, false, [&] {
        CListRows rows{Row("A.jpg", "B.jpg"), Row("B.jpg", "C.jpg"), Row("C.jpg", "A.jpg")};
        RunRename(m_dir.Path(), rows, 3, nullptr, &m_store);
    }));
    ASSERT_TRUE(RefuseAfterInterruptedRun(m_store, Key()).has_value());

    // The undo moves B.jpg aside, brings the file of B.jpg back from its
    // temporary name, and meets A.jpg taken when it brings back A.jpg.
    CInterferingObserver observer("aside B.jpg", [&] { Write("A.jpg", "stranger"); });
    const CUndoOutcome undo = RunUndo(m_dir.Path(), m_store, &observer);
    ASSERT_EQ(undo.outcome.kind, CRenameOutcome::ErrorRename) << undo.outcome.strText;
    ASSERT_TRUE(HasTemporaryName(ReadFiles(m_dir.Path())));

    EXPECT_TRUE(RefuseAfterInterruptedRun(m_store, Key()).has_value());
}

// Two names of one file (hard links) renamed by one run: the undo gives both
// names back and removes neither.
TEST_F(InterferenceTest, UndoKeepsEveryNameOfAFileWithTwoNames) {
    Write("a.jpg", "shared");
    ASSERT_EQ(link(m_dir.File("a.jpg").c_str(), m_dir.File("b.jpg").c_str()), 0);
    CListRows rows{Row("a.jpg", "c.jpg"), Row("b.jpg", "a.jpg")};
    ASSERT_EQ(RunRename(m_dir.Path(), rows, 2, nullptr, &m_store).kind, CRenameOutcome::AllRenamed);
    ASSERT_EQ(ReadFiles(m_dir.Path()), (Contents{{"a.jpg", "shared"}, {"c.jpg", "shared"}}));

    RunUndo(m_dir.Path(), m_store);
    EXPECT_EQ(ReadFiles(m_dir.Path()), (Contents{{"a.jpg", "shared"}, {"b.jpg", "shared"}}));
}

} // namespace
