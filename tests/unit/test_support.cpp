#include "test_support.h"

#include "crash_point.h"
#include "folder_scan.h"
#include "journal_format.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <new>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

CTempDir::CTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velmora-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot create a temporary folder");
    m_path = pattern;
}

CTempDir::~CTempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

namespace {

// Runs journal into a folder of the test program's own, however the program
// is started, so that no test writes into the user's journal folder.
struct CTestJournalFolder {
    CTempDir dir;
    CTestJournalFolder() { setenv("XDG_STATE_HOME", dir.Path().c_str(), 1); }
} g_testJournalFolder;

} // namespace

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

namespace {

void ReadTreeInto(const std::filesystem::path& folder, const std::string& prefix,
                  Contents& contents) {
    namespace fs = std::filesystem;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = prefix + entry.path().filename().string();
        if (entry.is_symlink())
            contents[name] = "link:" + fs::read_symlink(entry.path()).string();
        else if (name == "sub")
            ReadTreeInto(entry.path(), "sub/", contents);
        else
            contents[name] = entry.is_directory()
                                 ? "dir:" + ReadBytes((entry.path() / "inside").string())
                                 : ReadBytes(entry.path().string());
    }
}

} // namespace

Contents ReadFiles(const std::string& folder) {
    Contents contents;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.is_regular_file())
            contents[entry.path().filename().string()] = ReadBytes(entry.path().string());
    }
    return contents;
}

Contents ReadTree(const std::string& folder) {
    Contents contents;
    ReadTreeInto(folder, "", contents);
    return contents;
}

CScopedTimeZone::CScopedTimeZone(const char* tz) {
    if (const char* old = std::getenv("TZ")) {
        m_hadValue = true;
        m_oldValue = old;
    }
    setenv("TZ", tz, 1);
    tzset();
}

CScopedTimeZone::~CScopedTimeZone() {
    if (m_hadValue)
        setenv("TZ", m_oldValue.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

std::int64_t UtcSeconds(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    return timegm(&tm);
}

std::string DateText(const std::optional<velmora::ole::DateFields>& f) {
    if (!f)
        return "none";
    char text[32];
    std::snprintf(text, sizeof(text), "%04d-%02d-%02d %02d:%02d:%02d", f->year, f->month, f->day,
                  f->hour, f->minute, f->second);
    return text;
}

std::string CorpusDir() {
    return VELMORA_CORPUS_DIR;
}

bool CorpusAvailable() {
    struct stat st {};
    return stat((CorpusDir() + "/tags.tsv").c_str(), &st) == 0;
}

CListRow Row(const std::string& current, const std::string& converted) {
    CListRow row;
    row.SetText(0, current);
    row.SetText(1, converted);
    row.nImage = RowToRename;
    return row;
}

std::vector<TagRow> LoadTags(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::vector<std::string>> lines;
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> cells;
        std::stringstream cellsIn(line);
        for (std::string cell; std::getline(cellsIn, cell, '\t');)
            cells.push_back(cell);
        lines.push_back(cells);
    }
    std::vector<TagRow> rows;
    for (std::size_t r = 1; r < lines.size(); ++r) {
        TagRow row;
        for (std::size_t i = 0; i < lines[r].size() && i < lines[0].size(); ++i)
            if (lines[r][i] != "-")
                row[lines[0][i]] = lines[r][i];
        rows.push_back(row);
    }
    return rows;
}

std::optional<velmora::ole::DateFields> ExifDateFields(const std::string& text) {
    velmora::ole::DateFields f;
    if (std::sscanf(text.c_str(), "%4d:%2d:%2d %2d:%2d:%2d", &f.year, &f.month, &f.day, &f.hour,
                    &f.minute, &f.second) != 6 ||
        !velmora::ole::FromFields(f))
        return std::nullopt;
    return f;
}

std::optional<velmora::ole::DateFields> ExpectedExifDate(const TagRow& row) {
    std::optional<velmora::ole::DateFields> date;
    if (row.count("DateTime"))
        date = ExifDateFields(row.at("DateTime"));
    if (row.count("DateTimeOriginal"))
        date = ExifDateFields(row.at("DateTimeOriginal"));
    if (row.count("DateTimeDigitized") && !date)
        date = ExifDateFields(row.at("DateTimeDigitized"));
    return date;
}

std::string TrimRight(std::string text) {
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

std::string Describe(const velmora::CFoundDate& d) {
    if (!d.Found())
        return "-";
    std::string text = std::string(DateSourceId(d.source)) + " " + DateText(d.fields);
    if (!d.bTime && text.ends_with(" 00:00:00")) // a day alone must stay at midnight
        text.resize(text.size() - 9);
    if (d.nMillis != 0)
        text += "." + std::to_string(1000 + d.nMillis).substr(1);
    return d.HasOffset() ? text + " " + velmora::OffsetText(d.nOffset) : text;
}

bool ListJpegNames(const std::string& folder, std::vector<std::string>& names) {
    std::vector<velmora::CListedFile> files;
    std::size_t unlisted = 0;
    names.clear();
    if (!velmora::ListFolder(folder, {}, files, unlisted))
        return false;
    for (velmora::CListedFile& file : files)
        names.push_back(std::move(file.strName));
    return true;
}

bool KilledAt(const char* where, long at, bool forceLink, const std::function<void()>& body) {
    const pid_t child = fork();
    if (child == 0) {
        velmora::ArmCrashPoint(where, at, forceLink);
        body();
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

std::string JournalText(const velmora::CJournal& journal) {
    using namespace velmora::journal_format;
    const velmora::CJournalFiles& files = journal.files;
    std::string text = JournalHead(journal, files.size());
    for (std::size_t i = 0; i < files.size(); ++i)
        AppendFileLine(text, {files.Device(i), files.Inode(i), files.Before(i), files.Temporary(i),
                              files.After(i), files.Times(i)});
    return text.append(kReadyLine);
}

} // namespace testsupport

// The program's operator new and delete (the array forms call them) count the
// bytes in use for CHeapPeak; not under AddressSanitizer, whose own operators
// catch mismatched deletes.
namespace {
std::atomic<std::size_t> g_inUse{0};
std::atomic<std::size_t> g_peak{0};
} // namespace

#ifndef __SANITIZE_ADDRESS__
void* operator new(std::size_t size) {
    void* block = std::malloc(size != 0 ? size : 1);
    if (block == nullptr)
        throw std::bad_alloc();
    const std::size_t now = g_inUse += malloc_usable_size(block);
    for (std::size_t peak = g_peak; now > peak && !g_peak.compare_exchange_weak(peak, now);) {
    }
    return block;
}

void operator delete(void* block) noexcept {
    g_inUse -= malloc_usable_size(block);
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept {
    operator delete(block);
}
#endif

testsupport::CHeapPeak::CHeapPeak() : m_nStart(g_inUse) {
    g_peak = m_nStart;
}

std::size_t testsupport::CHeapPeak::Bytes() const {
    return g_peak - m_nStart;
}
