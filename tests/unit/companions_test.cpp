// Files that follow a photo: which ones the scan groups with which photo, the
// names they get, and runs on real folders in which a pair must stay whole.

#include "companions.h"
#include "folder_scan.h"
#include "journal_store.h"
#include "jpeg_builder.h"
#include "rename_run.h"
#include "test_support.h"
#include "undo_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

using namespace velmora;
namespace fs = std::filesystem;

namespace {

using Names = std::vector<std::string>;

TEST(CompanionNameTest, CompanionTakesTheNewStemAndKeepsItsExtension) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"New.JPG", "IMG_1.CR2", "New.CR2"},
        {"New.JPG", "IMG_1.CR2.xmp", "New.CR2.xmp"},
        {"New.JPG", "IMG_1.xmp", "New.xmp"},
        {"New.JPG", "a.b.xmp", "New.xmp"}, // "b" is no photo type
        {"sub/New.JPG", "img_1.MOV", "sub/New.MOV"},
        {"v1.2/New", "IMG_1.aae", "v1.2/New.aae"},
    };
    for (const auto& [converted, companion, target] : cases)
        EXPECT_EQ(CompanionTarget(converted, companion), target) << companion;
}

TEST(CompanionNameTest, RowKeepsItsCompanionsWhileItsTextsChange) {
    CListRow row;
    row.SetText(0, "IMG_1.JPG");
    row.SetCompanions(std::string("IMG_1.CR2\0IMG_1.xmp\0", 20));
    row.SetText(1, "Img20240518_091302_000.JPG");
    row.SetCompanion(0, "Img20240518_091302_000.CR2");
    row.SetText(0, "x.JPG");
    EXPECT_EQ(row.Text(0), "x.JPG");
    EXPECT_EQ(row.Text(1), "Img20240518_091302_000.JPG");
    ASSERT_EQ(row.CompanionCount(), 2u);
    EXPECT_EQ(row.Companion(0), "Img20240518_091302_000.CR2");
    EXPECT_EQ(row.Companion(1), "IMG_1.xmp");
}

struct GroupCase {
    const char* name;
    Names files;
    CScanOptions options;
    Names rows; // "NAME: COMPANION, COMPANION"
    std::size_t unlisted;
};

const GroupCase kGroupCases[] = {
    {"jpg_only_counts_the_others", {"a.jpg", "a.CR2", "b.png", "notes.txt"}, {}, {"a.jpg"}, 2},
    {"raw_jpeg_pair_with_both_sidecar_forms",
     {"IMG_1.JPG", "IMG_1.CR2", "IMG_1.CR2.xmp", "IMG_1.xmp"},
     {false, true},
     {"IMG_1.JPG: IMG_1.CR2, IMG_1.CR2.xmp, IMG_1.xmp"},
     0},
    {"stems_differing_in_case",
     {"img_3.jpg", "IMG_3.cr2"},
     {false, true},
     {"img_3.jpg: IMG_3.cr2"},
     0},
    {"live_photo", {"IMG_2.HEIC", "IMG_2.MOV"}, {true, true}, {"IMG_2.HEIC: IMG_2.MOV"}, 0},
    {"raw_leads_without_a_jpeg",
     {"x.NEF", "x.mp4", "x.xmp"},
     {true, true},
     {"x.NEF: x.mp4, x.xmp"},
     0},
    {"jpg_only_leaves_a_lone_raw_unlisted", {"r.NEF", "r.xmp"}, {false, true}, {}, 1},
    {"sidecar_without_a_photo", {"lonely.xmp"}, {true, true}, {}, 0},
    {"other_images_stay_rows_of_their_own",
     {"p.jpg", "p.png"},
     {true, true},
     {"p.jpg", "p.png"},
     0},
    {"every_type_each_on_its_own",
     {"a.jpg", "a.CR2", "a.xmp"},
     {true, false},
     {"a.CR2", "a.jpg"},
     0},
    // Photos sharing a stem are each a row; the others follow the exact stem.
    {"photos_of_one_stem",
     {"IMG_1.jpg", "img_1.jpg", "IMG_1.CR2", "img_1.xmp", "Img_1.MOV", "IMG_5.jpeg", "IMG_5.jpg",
      "IMG_5.MOV", "IMG_7.heic", "img_7.JPG", "IMG_7.mov"},
     {true, true},
     {"IMG_1.jpg: IMG_1.CR2, Img_1.MOV", "IMG_5.jpeg: IMG_5.MOV", "IMG_5.jpg",
      "IMG_7.heic: IMG_7.mov", "img_1.jpg: img_1.xmp", "img_7.JPG"},
     0},
    // A trailing "/" makes a folder.
    {"folders_never_follow_or_lead",
     {"IMG_1.jpg", "IMG_1.xmp/", "IMG_1.MOV/", "IMG_3.jpg/", "IMG_3.CR2"},
     {true, true},
     {"IMG_1.MOV", "IMG_1.jpg", "IMG_3.CR2", "IMG_3.jpg"},
     0},
};

class GroupTest : public ::testing::TestWithParam<GroupCase> {};

TEST_P(GroupTest, ListsEachPhotoWithTheFilesThatFollowIt) {
    const GroupCase& c = GetParam();
    testsupport::CTempDir dir;
    for (const std::string& name : c.files) {
        if (name.ends_with('/'))
            fs::create_directory(dir.File(name));
        else
            std::ofstream(dir.File(name)) << name;
    }
    std::vector<CListedFile> files;
    std::size_t unlisted = 0;
    ASSERT_TRUE(ListFolder(dir.Path(), c.options, files, unlisted));
    Names rows;
    for (const CListedFile& file : files) {
        std::string row = file.strName;
        for (std::size_t at = 0; at < file.strCompanions.size();) {
            const std::size_t end = file.strCompanions.find('\0', at);
            row += (at == 0 ? ": " : ", ") + file.strCompanions.substr(at, end - at);
            at = end + 1;
        }
        rows.push_back(row);
    }
    EXPECT_EQ(rows, c.rows);
    EXPECT_EQ(unlisted, c.unlisted);
}

INSTANTIATE_TEST_SUITE_P(Folders, GroupTest, ::testing::ValuesIn(kGroupCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Real folders: dated JPEGs with raw files and sidecars beside them.
class CompanionRunTest : public ::testing::Test {
protected:
    void Photo(const std::string& name, const char* taken) {
        const auto tiff = testdata::CameraTiff(testdata::ByteOrder::Intel, taken);
        ASSERT_TRUE(testdata::WriteFile(m_dir.File(name), testdata::CJpegBuilder::Photo(&tiff)));
    }
    void File(const std::string& name) { std::ofstream(m_dir.File(name)) << "content of " << name; }
    void Sidecar(const std::string& name, const char* created) {
        std::ofstream(m_dir.File(name))
            << "<rdf:Description xmlns:xmp='http://ns.adobe.com/xap/1.0/'"
            << " xmp:CreateDate='" << created << "'/>";
    }
    Names Folder() const {
        Names names;
        for (const auto& entry : fs::directory_iterator(m_dir.Path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // `gone` is removed between the scan and the run.
    CRenameOutcome Rename(const std::string& format, const CScanOptions& options = {false, true},
                          const std::string& gone = {}) {
        CListRows rows;
        bool listed = false;
        const unsigned count = ScanFolder(m_dir.Path(), format, rows, listed, nullptr, options);
        if (!gone.empty())
            fs::remove(m_dir.File(gone));
        return RunRename(m_dir.Path(), rows, count, nullptr, &m_journals);
    }

    testsupport::CScopedTimeZone m_zone{"UTC0"};
    testsupport::CTempDir m_dir;
    testsupport::CTempDir m_state;
    CJournalStore m_journals{m_state.File("journals")};
};

TEST_F(CompanionRunTest, PairAndSidecarsTakeTheNewStemAndComeBackWithUndo) {
    Photo("IMG_0001.JPG", "2024:05:18 09:13:02");
    for (const char* name : {"IMG_0001.CR2", "IMG_0001.CR2.xmp", "IMG_0001.xmp"})
        File(name);
    const Names before = Folder();

    EXPECT_EQ(Rename("Img%Y%m%d_%H%M%S_%C").kind, CRenameOutcome::AllRenamed);
    EXPECT_EQ(Folder(), (Names{"Img20240518_091302_000.CR2", "Img20240518_091302_000.CR2.xmp",
                               "Img20240518_091302_000.JPG", "Img20240518_091302_000.xmp"}));

    const CUndoOutcome undo = RunUndo(m_dir.Path(), m_journals);
    EXPECT_EQ(undo.nRestored, 4);
    EXPECT_EQ(Folder(), before);
}

// Without companions, the sidecar that dated a photo goes and comes back with
// it; others stay, and one that dated two photos follows the first.
TEST_F(CompanionRunTest, SidecarThatDatedThePhotoFollowsItWithoutCompanions) {
    for (const char* name : {"IMG_1.jpg", "IMG_2.jpg", "IMG_4.jpeg", "IMG_4.jpg"})
        ASSERT_TRUE(testdata::WriteFile(m_dir.File(name), testdata::CJpegBuilder::Photo(nullptr)));
    Sidecar("IMG_1.xmp", "2021-06-05");
    Sidecar("IMG_2.jpg.xmp", "2022-01-02");
    Sidecar("IMG_4.xmp", "2023-03-03");
    File("IMG_1.aae");
    const Names before = Folder();

    EXPECT_EQ(Rename("S%C", {true, false, 32, UndatedDates::Names}).kind,
              CRenameOutcome::AllRenamed);
    EXPECT_EQ(Folder(), (Names{"IMG_1.aae", "S000.jpg", "S000.xmp", "S001.jpg", "S001.jpg.xmp",
                               "S002.jpeg", "S002.xmp", "S003.jpg"}));
    EXPECT_EQ(RunUndo(m_dir.Path(), m_journals).nRestored, 7);
    EXPECT_EQ(Folder(), before);
}

// The raw file's new name is taken by a file this run does not rename: the
// photo keeps its name too, and the run says why.
TEST_F(CompanionRunTest, TakenCompanionNameKeepsThePairWhole) {
    Photo("IMG_0001.JPG", "2024:05:18 09:13:02");
    File("IMG_0001.CR2");
    File("new.CR2");
    const Names before = Folder();

    const CRenameOutcome outcome = Rename("new");
    EXPECT_EQ(outcome.kind, CRenameOutcome::ErrorRename);
    EXPECT_EQ(outcome.strText.substr(0, outcome.strText.find('\n')), "File exists");
    EXPECT_EQ(Folder(), before);
}

struct StopCase {
    const char* name;
    Names photos;
    Names files;
    std::string gone; // removed after the scan
    std::string named;
};

// Between the reason line and the tally, the message names the file whose
// step stopped the run, and says when the run gave its name away.
const StopCase kStopCases[] = {
    {"companion_gone", {"IMG_1.JPG"}, {"IMG_1.CR2"}, "IMG_1.CR2", "IMG_1.CR2 -> Same.CR2\nNo file"},
    {"companion_name_held",
     {"IMG_1.JPG"},
     {"IMG_1.CR2", "Same.CR2"},
     "",
     "IMG_1.CR2 -> Same.CR2\nSame.CR2 holds"},
    {"run_took_photo_name",
     {"a.jpg", "b.jpg"},
     {},
     "",
     "b.jpg -> Same.jpg\na.jpg took that name earlier in this run"},
    {"run_took_companion_name",
     {"a.jpg", "b.jpg"},
     {"a.xmp", "b.xmp"},
     "",
     "b.xmp -> Same.xmp\na.xmp took that name"},
};

class CompanionStopTest : public CompanionRunTest,
                          public ::testing::WithParamInterface<StopCase> {};

TEST_P(CompanionStopTest, NamesTheFileWhoseStepStopped) {
    for (const std::string& name : GetParam().photos)
        Photo(name, "2024:05:18 09:13:02"); // one date: listed in name order
    for (const std::string& name : GetParam().files)
        File(name);
    const std::string text = Rename("Same", {false, true}, GetParam().gone).strText;
    EXPECT_TRUE(text.substr(text.find('\n') + 1).starts_with(GetParam().named)) << text;
}

INSTANTIATE_TEST_SUITE_P(Stops, CompanionStopTest, ::testing::ValuesIn(kStopCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Two pairs trade names: the files of the later pair go aside first.
TEST_F(CompanionRunTest, PairsThatTradeNamesBothArrive) {
    Photo("000.jpg", "2024:05:18 09:00:00");
    Photo("001.jpg", "2024:05:18 08:00:00"); // the earlier: it becomes 000
    File("000.cr2");
    File("001.cr2");

    EXPECT_EQ(Rename("%C").kind, CRenameOutcome::AllRenamed);
    EXPECT_EQ(Folder(), (Names{"000.cr2", "000.jpg", "001.cr2", "001.jpg"}));
    std::ifstream raw(m_dir.File("000.cr2"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(raw), {}), "content of 001.cr2");
}

} // namespace
