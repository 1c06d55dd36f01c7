// Random folders through scan, name generation and rename run, again and
// again with formats full of collisions. After every run no file may be lost
// or overwritten, every row must name its own file, and the run must stop at
// exactly the first row whose wanted name nothing could free.
//
// VELMORA_RANDOM_FOLDERS sets how many folders are tried (default 200) and
// VELMORA_RANDOM_SEED the seed of the first one; folder k uses seed + k.

#include "folder_scan.h"
#include "jpeg_builder.h"
#include "jpeg_file.h"
#include "name_generation.h"
#include "ole_date.h"
#include "rename_run.h"
#include "test_support.h"

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

using Contents = std::map<std::string, std::string>; // entry name -> content

const ole::DateFields kDates[] = {
    {2005, 7, 1, 10, 0, 0}, {2005, 7, 1, 10, 0, 1}, {2005, 12, 31, 23, 59, 59},
    {2006, 1, 1, 0, 0, 0},  {1999, 3, 7, 14, 5, 9},
};

// Formats that give many files one name, names already present, or names
// that differ from present ones only in case.
const char* const kFormats[] = {"%Y", "x", "%C",  "%d%C", "Img%Y%m%d_%H%M%S_%C",
                                "%m", "",  "p%C", "P%C",  "%y%m%d"};

const char* const kExtensions[] = {".jpg", ".JPG", ".Jpg"};

const std::regex kTemporaryName("~vlm[0-9a-f]{12}\\.jpg");

unsigned long EnvNumber(const char* name, unsigned long fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtoul(text, nullptr, 10) : fallback;
}

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A folder's entries; a subfolder stands for the one file it holds.
Contents ReadFolder(const std::string& folder) {
    Contents contents;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        contents[name] = entry.is_directory() ? "dir:" + ReadBytes(entry.path() / "inside")
                                              : ReadBytes(entry.path());
    }
    return contents;
}

template <typename T, std::size_t N> const T& Pick(std::mt19937& random, const T (&items)[N]) {
    return items[std::uniform_int_distribution<std::size_t>(0, N - 1)(random)];
}

int Below(std::mt19937& random, int n) {
    return std::uniform_int_distribution<int>(0, n - 1)(random);
}

class CRandomFolder {
public:
    CRandomFolder(std::mt19937& random, const testsupport::CTempDir& dir)
        : m_random(random), m_dir(dir) {}

    void Fill() {
        const int count = 1 + Below(m_random, Below(m_random, 4) == 0 ? 40 : 12);
        // Few dates per folder, so that many files share one.
        const int dates = 1 + Below(m_random, 3);
        for (int i = 0; i < dates; ++i)
            m_dates.push_back(Pick(m_random, kDates));
        std::set<std::string> names;
        while (static_cast<int>(names.size()) < count) {
            const std::string name = RandomName(names, count);
            if (!name.empty() && names.insert(name).second)
                WriteEntry(name, static_cast<int>(names.size()));
        }
    }

private:
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

    void WriteEntry(const std::string& name, int serial) {
        const std::string tag = " #" + std::to_string(serial);
        const std::string path = m_dir.File(name);
        const int kind = Below(m_random, 20);
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
    const testsupport::CTempDir& m_dir;
    std::vector<ole::DateFields> m_dates;
};

// The first row in RowToRename whose wanted name nothing can free: one taken
// earlier in the run, or held by a file of a row above that is not renamed.
// Files of rows below can always go aside. -1 when every row gets its name.
int FirstBlockedRow(const CListRows& rows) {
    std::set<std::string> held;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].nImage != RowToRename) {
            held.emplace(rows[i].Text(0));
            continue;
        }
        if (!held.emplace(rows[i].Text(1)).second)
            return static_cast<int>(i);
    }
    return -1;
}

CRenameOutcome::Kind ExpectedKind(int blocked, int renamed, unsigned count) {
    if (count == 0)
        return CRenameOutcome::NoItems;
    if (blocked >= 0)
        return CRenameOutcome::ErrorRename;
    if (static_cast<unsigned>(renamed) == count)
        return CRenameOutcome::AllRenamed;
    return renamed != 0 ? CRenameOutcome::SomeRenamed : CRenameOutcome::NoneRenamed;
}

// One run over `rows`, checked against the folder before and after it.
void RunAndCheck(const std::string& folder, CListRows& rows, const std::vector<std::string>& owned,
                 unsigned count, const Contents& original) {
    const CListRows before = rows;
    const int blocked = count == 0 ? -1 : FirstBlockedRow(rows);
    const std::size_t end = blocked >= 0 ? static_cast<std::size_t>(blocked) : rows.size();
    int renamed = 0;
    for (std::size_t i = 0; count != 0 && i < end; ++i)
        renamed += rows[i].nImage == RowToRename;

    const CRenameOutcome outcome = RunRename(folder, rows, count);
    EXPECT_EQ(outcome.kind, ExpectedKind(blocked, renamed, count)) << outcome.strText;
    EXPECT_EQ(outcome.nRenamed, renamed);
    if (blocked >= 0) {
        EXPECT_EQ(outcome.strText, std::strerror(EEXIST));
    }

    const Contents after = ReadFolder(folder);
    ASSERT_EQ(after.size(), original.size()) << "files were lost or added";
    std::multiset<std::string> a, b;
    for (const auto& [name, content] : original)
        a.insert(content);
    for (const auto& [name, content] : after)
        b.insert(content);
    EXPECT_TRUE(a == b) << "a file's content changed or was overwritten";

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
        const bool wasToRename = count != 0 && before[i].nImage == RowToRename;
        if (wasToRename && i < end) {
            EXPECT_EQ(row.nImage, RowNamed);
            EXPECT_EQ(row.Text(0), row.Text(1));
        } else {
            EXPECT_EQ(row.nImage, before[i].nImage);
            if (name != before[i].Text(0)) {
                EXPECT_TRUE(std::regex_match(name, kTemporaryName)) << name;
            }
        }
    }
}

bool HoldsTemporaryName(const CListRows& rows) {
    return std::any_of(rows.begin(), rows.end(), [](const CListRow& row) {
        const std::string_view name = row.Text(0);
        return std::regex_match(name.begin(), name.end(), kTemporaryName);
    });
}

void RunFolder(std::mt19937& random) {
    testsupport::CTempDir dir;
    CRandomFolder(random, dir).Fill();
    const Contents original = ReadFolder(dir.Path());
    CListRows rows;
    std::vector<std::string> owned; // each row's content, by row
    unsigned count = 0;
    const int rounds = 1 + Below(random, 3);
    for (int round = 0; round < rounds && !::testing::Test::HasFailure(); ++round) {
        const char* format = Pick(random, kFormats);
        SCOPED_TRACE(std::string("round ") + std::to_string(round) + " format \"" + format + "\"");
        const int way = round == 0 ? 0 : Below(random, 3);
        // A rescan lists names in byte order; temporary names are random, so
        // rescanning them would make the run depend on more than the seed.
        if (round == 0 || (way == 0 && !HoldsTemporaryName(rows))) {
            bool listed = false;
            count = ScanFolder(dir.Path(), format, rows, listed);
            ASSERT_TRUE(listed);
            owned.clear();
            const Contents now = ReadFolder(dir.Path());
            for (const CListRow& row : rows)
                owned.push_back(now.at(std::string(row.Text(0))));
        } else if (way != 2) {
            count = UpdateConvertedNames(rows, format); // the format field was edited
        }
        // way 2: Rename pressed again with the count left from before
        RunAndCheck(dir.Path(), rows, owned, count, original);
    }
}

TEST(RenameRandomTest, NoFileIsLostOrOverwrittenAndRunStopsOnlyWhereItMust) {
    const testsupport::CScopedTimeZone zone("UTC0");
    const std::string oldLocale = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "C");
    const unsigned long folders = EnvNumber("VELMORA_RANDOM_FOLDERS", 200);
    const unsigned long seed = EnvNumber("VELMORA_RANDOM_SEED", 20240611);
    for (unsigned long k = 0; k < folders && !::testing::Test::HasFailure(); ++k) {
        const unsigned long folderSeed = seed + k;
        SCOPED_TRACE("replay with VELMORA_RANDOM_SEED=" + std::to_string(folderSeed) +
                     " VELMORA_RANDOM_FOLDERS=1");
        std::mt19937 random(static_cast<std::mt19937::result_type>(folderSeed));
        RunFolder(random);
    }
    std::setlocale(LC_ALL, oldLocale.c_str());
}

} // namespace
