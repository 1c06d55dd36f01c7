// Random folders through scan, name generation and rename run, again and
// again with formats full of collisions, folder parts, links and names that
// would leave the folder. After every run no file may be lost, overwritten,
// moved out of the folder or left under a temporary name, every row must name
// its own file, and the run must stop at exactly the first row whose wanted
// name may not or can not be given, keeping only the renames up to the last
// point at which no file was aside.
//
// VELMORA_RANDOM_FOLDERS sets how many folders are tried (default 200) and
// VELMORA_RANDOM_SEED the seed of the first one; folder k uses seed + k.

#include "companions.h"
#include "file_times.h"
#include "folder_scan.h"
#include "journal_store.h"
#include "jpeg_builder.h"
#include "jpeg_file.h"
#include "name_generation.h"
#include "new_name_check.h"
#include "ole_date.h"
#include "rename_plan.h"
#include "rename_run.h"
#include "test_support.h"
#include "undo_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace velmora;
namespace fs = std::filesystem;

namespace {

using testsupport::Contents;
using testsupport::ReadTree;

const ole::DateFields kDates[] = {
    {2005, 7, 1, 10, 0, 0}, {2005, 7, 1, 10, 0, 1}, {2005, 12, 31, 23, 59, 59},
    {2006, 1, 1, 0, 0, 0},  {1999, 3, 7, 14, 5, 9},
};

// Formats that give many files one name, names already present, or names
// that differ from present ones only in case; names in the subfolder "sub",
// through the link "out" to a folder outside, and names that would leave the
// folder or hide the file.
const char* const kFormats[] = {"%Y",     "x",      "%C",     "%d%C",     "Img%Y%m%d_%H%M%S_%C",
                                "%m",     "",       "p%C",    "P%C",      "%y%m%d",
                                "sub/%Y", "sub/%C", "out/%C", "../%C",    "sub//%C",
                                "./%Y",   "/x%C",   "%C/",    "sub/../%C"};

const char* const kExtensions[] = {".jpg", ".JPG", ".Jpg"};

const std::regex kTemporaryName("~vlm[0-9a-f]{12}\\.jpg");

unsigned long EnvNumber(const char* name, unsigned long fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtoul(text, nullptr, 10) : fallback;
}

template <typename T, std::size_t N> const T& Pick(std::mt19937& random, const T (&items)[N]) {
    return items[std::uniform_int_distribution<std::size_t>(0, N - 1)(random)];
}

int Below(std::mt19937& random, int n) {
    return std::uniform_int_distribution<int>(0, n - 1)(random);
}

// The photo folder lies in "photos" of a temporary folder, beside the folder
// "outside" that its link "out" leads to: files that left the folder would
// show up there.
class CRandomFolder {
public:
    CRandomFolder(std::mt19937& random, const std::string& folder)
        : m_random(random), m_folder(folder) {}

    void Fill() {
        ASSERT_EQ(mkdir(m_folder.c_str(), 0755), 0);
        ASSERT_EQ(mkdir((m_folder + "/sub").c_str(), 0755), 0);
        ASSERT_EQ(symlink("../outside", (m_folder + "/out").c_str()), 0);
        const int count = 1 + Below(m_random, Below(m_random, 4) == 0 ? 40 : 12);
        // Few dates per folder, so that many files share one.
        const int dates = 1 + Below(m_random, 3);
        for (int i = 0; i < dates; ++i)
            m_dates.push_back(Pick(m_random, kDates));
        std::set<std::string> names;
        while (static_cast<int>(names.size()) < count) {
            const std::string name = RandomName(names, count);
            if (IsBareName(name) && names.insert(name).second)
                WriteEntry(name, static_cast<int>(names.size()));
        }
        // Files in the subfolder that no row names hold some wanted names.
        for (int i = Below(m_random, 3); i > 0; --i) {
            const std::string name = RandomName(names, count);
            if (IsBareName(name) && names.insert("sub/" + name).second)
                WriteEntry("sub/" + name, static_cast<int>(names.size()), 16);
        }
    }

private:
    static bool IsBareName(const std::string& name) {
        return !name.empty() && name.find('/') == std::string::npos && name.front() != '.';
    }

    std::string RandomName(const std::set<std::string>& taken, int count) {
        const std::string ext = Pick(m_random, kExtensions);
        char number[16];
        std::snprintf(number, sizeof(number), "%03d", Below(m_random, count + 2));
        switch (Below(m_random, 6)) {
        case 0:
        case 1:
            return std::string("p") + number + ext;
        case 2: {
            // A name some file of the folder may be given.
            CJpegFile carrier;
            carrier.m_info.m_dtTaken =
                ole::FromFields(m_dates[Below(m_random, static_cast<int>(m_dates.size()))]).value();
            std::string name;
            carrier.BuildFileName("a" + ext, name, Pick(m_random, kFormats),
                                  Below(m_random, count + 2));
            return name;
        }
        case 3: {
            if (taken.empty())
                return {};
            std::string name =
                *std::next(taken.begin(), Below(m_random, static_cast<int>(taken.size())));
            for (char& c : name) {
                if (std::isalpha(static_cast<unsigned char>(c)) && Below(m_random, 2) == 0)
                    c = static_cast<char>(c ^ 0x20);
            }
            return name;
        }
        case 4:
            return std::string("\xE9") + number + ext; // Latin-1, not UTF-8
        default:
            return std::string("img") + number + ext;
        }
    }

    void WriteEntry(const std::string& name, int serial, int kinds = 21) {
        const std::string tag = " #" + std::to_string(serial);
        const std::string path = m_folder + "/" + name;
        const int kind = Below(m_random, kinds);
        testdata::Bytes bytes;
        if (kind < 14) {
            const ole::DateFields& d = m_dates[Below(m_random, static_cast<int>(m_dates.size()))];
            char date[32];
            std::snprintf(date, sizeof(date), "%04d:%02d:%02d %02d:%02d:%02d", d.year, d.month,
                          d.day, d.hour, d.minute, d.second);
            const auto order =
                Below(m_random, 2) ? testdata::ByteOrder::Intel : testdata::ByteOrder::Motorola;
            const testdata::CTiffBuilder tiff = testdata::CameraTiff(order, date);
            bytes = testdata::CJpegBuilder::Photo(&tiff);
        } else if (kind < 16) {
            bytes = testdata::CJpegBuilder::Photo(nullptr);
        } else if (kind < 19) {
            bytes = testdata::ToBytes("unreadable");
        } else if (kind == 20) {
            ASSERT_EQ(symlink(("target" + tag).c_str(), path.c_str()), 0) << path;
            return;
        } else {
            ASSERT_EQ(mkdir(path.c_str(), 0755), 0) << path;
            ASSERT_TRUE(testdata::WriteFile(path + "/inside", testdata::ToBytes("dir" + tag)));
            return;
        }
        // Behind the image data, where the reader never looks.
        const testdata::Bytes tail = testdata::ToBytes(tag);
        bytes.insert(bytes.end(), tail.begin(), tail.end());
        ASSERT_TRUE(testdata::WriteFile(path, bytes)) << path;
    }

    std::mt19937& m_random;
    const std::string m_folder;
    std::vector<ole::DateFields> m_dates;
};

// What a run over `rows` must do: the first row in RowToRename whose wanted
// name may not be given (it leaves the folder, hides the file, or reaches a
// subfolder that is missing or a link) or is held by any file but that of a
// row below still to be renamed; and the rows renamed up to the last point
// before it at which no file was aside. No stop: every row gets its name.
struct CExpectedRun {
    int blocked = -1;
    std::vector<bool> renamed;
};

CExpectedRun ExpectRun(const std::string& folder, const CListRows& rows) {
    CExpectedRun expected;
    expected.renamed.assign(rows.size(), false);
    std::set<std::string> held;
    for (const auto& [name, content] : ReadTree(folder))
        held.insert(name);
    std::vector<bool> aside(rows.size()), clean = expected.renamed;
    int outstanding = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].nImage != RowToRename)
            continue;
        const std::string to(rows[i].Text(1));
        const std::string parent = to.substr(0, to.rfind('/') + 1);
        int holder = -1;
        for (std::size_t j = i + 1; j < rows.size(); ++j) {
            if (rows[j].Text(0) == to && !aside[j])
                holder = static_cast<int>(j);
        }
        const bool holderMoves = holder >= 0 && rows[holder].nImage == RowToRename;
        if (CheckNewName(to) != NameFault::None || (!parent.empty() && parent != "sub/") ||
            (held.count(to) != 0 && !holderMoves)) {
            expected.blocked = static_cast<int>(i);
            expected.renamed = clean;
            return expected;
        }
        if (holderMoves) {
            held.erase(to);
            aside[holder] = true;
            ++outstanding;
        }
        held.erase(std::string(aside[i] ? "" : rows[i].Text(0)));
        held.insert(to);
        if (aside[i])
            --outstanding;
        expected.renamed[i] = true;
        if (outstanding == 0)
            clean = expected.renamed;
    }
    return expected;
}

// Every content of `original` is in `after` exactly once (none lost, none
// overwritten, none added), and no name there is a temporary one.
void ExpectEveryContentOnceAndNoTemporaryName(const Contents& original, const Contents& after) {
    std::multiset<std::string> a, b;
    for (const auto& [name, content] : original)
        a.insert(content);
    for (const auto& [name, content] : after) {
        b.insert(content);
        EXPECT_FALSE(std::regex_match(name, kTemporaryName)) << name << " left behind";
    }
    EXPECT_TRUE(a == b) << "a file was lost, added or overwritten";
}

// One run over `rows`, checked against the folder before and after it.
void RunAndCheck(const std::string& top, const std::string& folder, CListRows& rows,
                 const std::vector<std::string>& owned, unsigned count, const Contents& original) {
    const CListRows before = rows;
    const CExpectedRun expected =
        count == 0 ? CExpectedRun{-1, std::vector<bool>(rows.size())} : ExpectRun(folder, rows);
    const int renamed =
        static_cast<int>(std::count(expected.renamed.begin(), expected.renamed.end(), true));

    const CRenameOutcome outcome = RunRename(folder, rows, count);
    const CRenameOutcome::Kind kind = count == 0              ? CRenameOutcome::NoItems
                                      : expected.blocked >= 0 ? CRenameOutcome::ErrorRename
                                      : static_cast<unsigned>(renamed) == count
                                          ? CRenameOutcome::AllRenamed
                                      : renamed != 0 ? CRenameOutcome::SomeRenamed
                                                     : CRenameOutcome::NoneRenamed;
    EXPECT_EQ(outcome.kind, kind) << outcome.strText;
    EXPECT_EQ(outcome.nRenamed, renamed);
    if (expected.blocked >= 0) {
        const CListRow& row = before[expected.blocked];
        EXPECT_NE(
            outcome.strText.find(std::string(row.Text(0)) + " -> " + std::string(row.Text(1))),
            std::string::npos)
            << outcome.strText;
    }

    std::set<std::string> beside;
    for (const auto& entry : fs::directory_iterator(top))
        beside.insert(entry.path().filename().string());
    EXPECT_EQ(beside, (std::set<std::string>{"outside", "photos"})) << "a file left the folder";
    EXPECT_TRUE(fs::is_empty(top + "/outside")) << "a file left through a link";
    const Contents after = ReadTree(folder);
    ASSERT_EQ(after.size(), original.size()) << "files were lost or added";
    ExpectEveryContentOnceAndNoTemporaryName(original, after);

    ASSERT_EQ(rows.size(), before.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE("row " + std::to_string(i) + " " + std::string(before[i].Text(0)) + " -> " +
                     std::string(before[i].Text(1)));
        const CListRow& row = rows[i];
        const std::string name(row.Text(0));
        const auto it = after.find(name);
        ASSERT_NE(it, after.end()) << name << " does not exist";
        EXPECT_EQ(it->second, owned[i]);
        EXPECT_EQ(row.Text(1), before[i].Text(1));
        if (expected.renamed[i]) {
            EXPECT_EQ(row.nImage, RowNamed);
            EXPECT_EQ(row.Text(0), row.Text(1));
        } else {
            EXPECT_EQ(row.nImage, before[i].nImage);
            EXPECT_EQ(row.Text(0), before[i].Text(0));
        }
    }
}

void RunFolder(std::mt19937& random) {
    testsupport::CTempDir dir;
    const std::string folder = dir.File("photos");
    ASSERT_EQ(mkdir(dir.File("outside").c_str(), 0755), 0);
    CRandomFolder(random, folder).Fill();
    const Contents original = ReadTree(folder);
    CListRows rows;
    std::vector<std::string> owned; // each row's content, by row
    unsigned count = 0;
    const int rounds = 1 + Below(random, 3);
    for (int round = 0; round < rounds && !::testing::Test::HasFailure(); ++round) {
        const char* format = Pick(random, kFormats);
        SCOPED_TRACE(std::string("round ") + std::to_string(round) + " format \"" + format + "\"");
        const int way = round == 0 ? 0 : Below(random, 3);
        if (round == 0 || way == 0) {
            bool listed = false;
            count = ScanFolder(folder, format, rows, listed);
            if (!listed)
                return; // every photo went into the subfolder

            owned.clear();
            const Contents now = ReadTree(folder);
            for (const CListRow& row : rows)
                owned.push_back(now.at(std::string(row.Text(0))));
        } else if (way != 2) {
            count = UpdateConvertedNames(rows, format); // the format field was edited
        }
        // way 2: Rename pressed again with the count left from before
        RunAndCheck(dir.Path(), folder, rows, owned, count, original);
    }
}

// Runs `run` over `folders` random folders (VELMORA_RANDOM_FOLDERS), each
// with a seed of its own to replay it alone, until one fails.
void ForEachRandomFolder(unsigned long folders, void (*run)(std::mt19937&)) {
    const testsupport::CScopedTimeZone zone("UTC0");
    folders = EnvNumber("VELMORA_RANDOM_FOLDERS", folders);
    const unsigned long seed = EnvNumber("VELMORA_RANDOM_SEED", 20240611);
    for (unsigned long k = 0; k < folders && !::testing::Test::HasFailure(); ++k) {
        SCOPED_TRACE("replay with VELMORA_RANDOM_SEED=" + std::to_string(seed + k) +
                     " VELMORA_RANDOM_FOLDERS=1");
        std::mt19937 random(static_cast<std::mt19937::result_type>(seed + k));
        run(random);
    }
}

TEST(RenameRandomTest, NoFileIsLostOrOverwrittenAndRunStopsOnlyWhereItMust) {
    const std::string oldLocale = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "C");
    ForEachRandomFolder(200, RunFolder);
    std::setlocale(LC_ALL, oldLocale.c_str());
}

// Folders of photos with raw files and sidecars beside them, and strangers on
// some of the names the companions want. Whatever stops a run, a photo and
// its companions end up all renamed or all as before, nothing is lost or
// left under a temporary name, and success is reported only when every row
// and every companion reached its name.
void RunCompanionFolder(std::mt19937& random) {
    testsupport::CTempDir dir;
    const char* const stems[] = {"IMG_1", "IMG_2", "img_3", "P4", "000", "001"};
    const char* const followers[] = {".CR2", ".xmp", ".CR2.xmp", ".MOV", ".aae"};
    const char* const formats[] = {"%C", "x%C", "%Y", "IMG_%C", "P%C", "00%C"};
    for (const char* stem : stems) {
        if (Below(random, 4) == 0)
            continue;
        const ole::DateFields& d = kDates[Below(random, 3)];
        char date[32];
        std::snprintf(date, sizeof(date), "%04d:%02d:%02d %02d:%02d:%02d", d.year, d.month, d.day,
                      d.hour, d.minute, d.second);
        const testdata::CTiffBuilder tiff = CameraTiff(testdata::ByteOrder::Intel, date);
        testdata::Bytes photo = testdata::CJpegBuilder::Photo(&tiff);
        const testdata::Bytes tag = testdata::ToBytes(std::string(" #") + stem);
        photo.insert(photo.end(), tag.begin(), tag.end());
        ASSERT_TRUE(testdata::WriteFile(dir.File(std::string(stem) + ".jpg"), photo));
        for (const char* follower : followers) {
            if (Below(random, 2) == 0)
                std::ofstream(dir.File(std::string(stem) + follower)) << stem << follower;
        }
    }
    for (int i = Below(random, 3); i > 0; --i) // strangers on wanted names
        std::ofstream(dir.File(std::string("x00") + std::to_string(Below(random, 3)) +
                               Pick(random, followers)))
            << "stranger " << i;
    const Contents original = ReadTree(dir.Path());
    CListRows rows;
    bool listed = false;
    const unsigned count = ScanFolder(dir.Path(), Pick(random, formats), rows, listed, nullptr,
                                      {Below(random, 2) == 0, true});
    if (!listed)
        return;
    const CListRows before = rows;
    const CRenameOutcome outcome = RunRename(dir.Path(), rows, count);

    const Contents after = ReadTree(dir.Path());
    ExpectEveryContentOnceAndNoTemporaryName(original, after);
    bool allArrived = true;
    for (std::size_t i = 0; i < before.size(); ++i) {
        const CListRow& row = before[i];
        if (row.nImage != RowToRename)
            continue;
        const std::string target(row.Text(1));
        const bool renamed =
            after.count(target) != 0 && after.at(target) == original.at(std::string(row.Text(0)));
        allArrived &= renamed;
        for (std::size_t c = 0; c < row.CompanionCount(); ++c) {
            const std::string from(row.Companion(c));
            const std::string where = renamed ? CompanionTarget(target, from) : from;
            EXPECT_TRUE(after.count(where) != 0 && after.at(where) == original.at(from))
                << from << " did not stay with " << row.Text(0) << " (" << outcome.strText << ")";
        }
    }
    if (outcome.kind == CRenameOutcome::AllRenamed) {
        EXPECT_TRUE(allArrived) << "success reported for a run that did not finish";
    }
}

TEST(RenameRandomTest, CompanionsStayWithTheirPhotoAndNothingIsLost) {
    ForEachRandomFolder(200, RunCompanionFolder);
}

// Every entry of a tree: a file's content and modification time, a folder's
// modification time, a link's target.
std::map<std::string, std::string> TreeSnapshot(const std::string& folder) {
    std::map<std::string, std::string> entries{
        {".", "folder @" + std::to_string(fs::last_write_time(folder).time_since_epoch().count())}};
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string name = fs::relative(entry.path(), folder).string();
        if (entry.is_symlink())
            entries[name] = "link:" + fs::read_symlink(entry.path()).string();
        else if (entry.is_directory())
            entries[name] =
                "folder @" + std::to_string(entry.last_write_time().time_since_epoch().count());
        else
            entries[name] = testsupport::ReadBytes(entry.path().string()) + " @" +
                            std::to_string(entry.last_write_time().time_since_epoch().count());
    }
    return entries;
}

// The folders of a tree that hold no entry.
std::set<std::string> EmptyFolders(const std::string& folder) {
    std::set<std::string> empty;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_directory() && !entry.is_symlink() && fs::is_empty(entry.path()))
            empty.insert(fs::relative(entry.path(), folder).string());
    }
    return empty;
}

// The contents of a tree's files; unless a run was cut off, no temporary
// name may be among them.
std::multiset<std::string> FileContents(const std::string& folder, bool cutOff = false) {
    std::multiset<std::string> contents;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        EXPECT_TRUE(cutOff || !std::regex_match(entry.path().filename().string(), kTemporaryName))
            << entry.path() << " left behind";
        if (entry.is_regular_file() && !entry.is_symlink())
            contents.insert(testsupport::ReadBytes(entry.path().string()));
    }
    return contents;
}

// A random tree: photos of few dates in nested folders, some with a raw file
// and a sidecar, some copied byte for byte into another folder, a link to a
// folder and a hidden folder that the scan must not enter.
void FillTree(std::mt19937& random, const std::string& top) {
    const char* const folders[] = {"", "a/", "a/b/", "c/", "a/b/d/", ".hidden/"};
    const char* const stems[] = {"IMG_1", "IMG_2", "P3", "x000"};
    std::vector<testdata::Bytes> photos;
    for (const char* folder : folders) {
        if (*folder != 0) {
            ASSERT_EQ(mkdir((top + '/' + folder).c_str(), 0755), 0);
        }
        for (const char* stem : stems) {
            if (Below(random, 2) == 0)
                continue;
            const ole::DateFields& d = kDates[Below(random, 3)];
            char date[32];
            std::snprintf(date, sizeof(date), "%04d:%02d:%02d %02d:%02d:%02d", d.year, d.month,
                          d.day, d.hour, d.minute, d.second);
            const testdata::CTiffBuilder tiff = CameraTiff(testdata::ByteOrder::Intel, date);
            testdata::Bytes photo = testdata::CJpegBuilder::Photo(&tiff);
            const testdata::Bytes tag = testdata::ToBytes(std::string(" #") + folder + stem);
            photo.insert(photo.end(), tag.begin(), tag.end());
            const std::string path = top + '/' + folder + stem;
            ASSERT_TRUE(testdata::WriteFile(path + ".jpg", photo));
            photos.push_back(std::move(photo));
            for (const char* follower : {".CR2", ".xmp"}) {
                if (Below(random, 3) == 0)
                    std::ofstream(path + follower) << folder << stem << follower;
            }
        }
    }
    for (int i = Below(random, 3); i > 0 && !photos.empty(); --i) // copies of a photo
        ASSERT_TRUE(testdata::WriteFile(top + '/' + Pick(random, folders) + "copy" +
                                            std::to_string(i) + ".jpg",
                                        photos[Below(random, static_cast<int>(photos.size()))]));
    ASSERT_EQ(symlink("a", (top + "/link").c_str()), 0);
}

// A tree gathered into date folders the run makes, or renamed folder by
// folder, removing the folders it empties or not, setting file times to the
// dates or not; the run is cut off by kill -9 at a random step, or not, and
// so is its undo. After the run nothing is lost or doubled, a photo and its
// companions are together, a moved file has its date as its time and no
// folder is left empty; after the undo that finishes it the tree is as
// before: every name, place, file and folder time, the made folders gone and
// the removed ones back.
void RunTreeFolder(std::mt19937& random) {
    testsupport::CTempDir dir;
    const std::string top = dir.File("photos");
    ASSERT_EQ(mkdir(top.c_str(), 0755), 0);
    FillTree(random, top);
    const char* const formats[] = {"%Y/%m/x%C", "%Y/%Y-%m-%d/IMG_%H%M%S%{n}", "%Y/%d/%{n}", "x%C",
                                   "%d/%C"};
    const std::map<std::string, std::string> before = TreeSnapshot(top);
    const std::multiset<std::string> contents = FileContents(top);
    CScanOptions options;
    options.bCompanions = true;
    options.bRecursive = true;
    CListRows rows;
    bool listed = false;
    const unsigned count = ScanFolder(top, Pick(random, formats), rows, listed, nullptr, options);
    if (!listed)
        return;
    for (const CListRow& row : rows)
        EXPECT_FALSE(row.Text(0).starts_with(".hidden/") || row.Text(0).starts_with("link/"))
            << row.Text(0) << " was listed";
    const CJournalStore journals(dir.File("journals"));
    const unsigned draw = static_cast<unsigned>(random());
    const CRunChoices choices{.bCreateFolders = true,
                              .bRemoveEmptyFolders = (draw & 1) != 0,
                              .bSetFileTimes = (draw & 2) != 0};
    SCOPED_TRACE(std::string(choices.bRemoveEmptyFolders ? " remove-empty" : "") +
                 (choices.bSetFileTimes ? " set-file-times" : ""));
    const std::set<std::string> emptyBefore = EmptyFolders(top);
    const auto run = [&] { RunRename(top, rows, count, nullptr, &journals, {}, choices); };
    bool cutOff = false;
    if (Below(random, 3) == 0) {
        std::map<std::string, std::string> owned; // each row's files, by name before the run
        for (const CListRow& row : rows) {
            for (int c = -1; c < static_cast<int>(row.CompanionCount()); ++c) {
                const std::string name(RowFileName(row, c));
                owned[name] = testsupport::ReadBytes(top + '/' + name);
            }
        }
        const CListRows listedRows = rows;
        run();
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const bool moved = rows[i].Text(0) != listedRows[i].Text(0);
            for (int c = -1; c < static_cast<int>(rows[i].CompanionCount()); ++c) {
                const std::string path = top + '/' + std::string(RowFileName(rows[i], c));
                EXPECT_EQ(testsupport::ReadBytes(path),
                          owned[std::string(RowFileName(listedRows[i], c))])
                    << RowFileName(listedRows[i], c) << " is not where its row says";
                struct stat st {};
                EXPECT_TRUE(!moved || !choices.bSetFileTimes ||
                            (lstat(path.c_str(), &st) == 0 &&
                             st.st_mtim.tv_sec == NamedMoment(rows[i]) && st.st_mtim.tv_nsec == 0))
                    << path << " does not have the time of its date";
            }
        }
        // No folder the run emptied is left behind.
        if (choices.bRemoveEmptyFolders) {
            for (const std::string& folder : EmptyFolders(top))
                EXPECT_EQ(emptyBefore.count(folder), 1u) << folder << " was left empty";
        }
    } else {
        // At a step, or once every step is done: before the removed folders
        // or the end are journaled.
        cutOff = (draw & 4) != 0
                     ? testsupport::KilledAt("append", Below(random, 2), false, run)
                     : testsupport::KilledAt("step",
                                             Below(random, 2 * static_cast<int>(rows.size()) + 2),
                                             false, run);
    }
    EXPECT_TRUE(FileContents(top, cutOff) == contents) << "a file was lost, added or overwritten";
    if (Below(random, 2) == 0)
        testsupport::KilledAt("step", Below(random, static_cast<int>(rows.size()) + 2), false,
                              [&] { RunUndo(top, journals); });
    const CUndoOutcome undo = RunUndo(top, journals);
    EXPECT_EQ(TreeSnapshot(top), before) << undo.outcome.strText;
}

TEST(RenameRandomTest, TreeRunsKilledAnywhereAreUndoneToTheTreeAsItWas) {
    ForEachRandomFolder(60, RunTreeFolder);
}

} // namespace
