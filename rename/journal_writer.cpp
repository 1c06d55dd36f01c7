#include "journal_writer.h"

#include "crash_point.h"
#include "journal_format.h"

#include <cerrno>
#include <cstdint>
#include <string_view>
#include <unistd.h>

namespace velmora {
namespace {

using namespace journal_format;

// Gives `out` the journal's text up to and with "ready", a line at a time.
template <typename Out> void PutJournal(const CJournal& journal, CJournalLines& files, Out& out) {
    const std::size_t count = files.Count();
    out(JournalHead(journal, count));
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text.clear();
        AppendFileLine(text, files.Line(i));
        out(text);
    }
    out(kReadyLine);
}

// Writes text to a file through a buffer of its own. `half` bytes in, it
// passes the point at which tests cut the write of a journal off.
class CJournalOut {
public:
    explicit CJournalOut(int fd, std::size_t half = SIZE_MAX) : m_fd(fd), m_half(half) {}

    void operator()(std::string_view text) {
        if (!m_halfPassed && m_at + text.size() >= m_half) {
            const std::size_t split = m_half - m_at;
            Put(text.substr(0, split));
            Flush();
            CrashPoint("journal");
            m_halfPassed = true;
            text.remove_prefix(split);
        }
        Put(text);
    }

    // 0, or the errno value of the first write that failed.
    int Finish() {
        Flush();
        return m_error;
    }

private:
    static constexpr std::size_t kBuffer = 64 * 1024;

    void Put(std::string_view text) {
        m_at += text.size();
        m_buffer.append(text);
        if (m_buffer.size() >= kBuffer)
            Flush();
    }

    void Flush() {
        if (m_error == 0)
            m_error = WriteAll(m_fd, m_buffer);
        m_buffer.clear();
    }

    int m_fd;
    std::size_t m_half;
    std::size_t m_at = 0;
    bool m_halfPassed = false;
    int m_error = 0;
    std::string m_buffer;
};

} // namespace

int WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

int WriteJournalText(int fd, const CJournal& journal, CJournalLines& files) {
    std::size_t size = 0;
    const auto measure = [&size](std::string_view part) { size += part.size(); };
    PutJournal(journal, files, measure);
    CJournalOut out(fd, size / 2);
    PutJournal(journal, files, out);
    return out.Finish();
}

int WriteEndLines(int fd, const std::vector<std::pair<std::size_t, CFileStamp>>& stamps,
                  const std::string& last) {
    CJournalOut out(fd);
    for (const auto& [index, stamp] : stamps)
        out(StampLine(index, stamp) + '\n');
    if (!last.empty())
        out(last + '\n');
    return out.Finish();
}

} // namespace velmora
