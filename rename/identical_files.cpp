#include "identical_files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <numeric>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace velmora {
namespace {

// A file opened for comparing: regular, never a FIFO waited on.
class CComparedFile {
public:
    CComparedFile(int folder, const std::string& name)
        : m_fd(openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)) {
        struct stat status {};
        if (m_fd >= 0 && fstat(m_fd, &status) == 0 && S_ISREG(status.st_mode))
            m_size = status.st_size;
    }
    ~CComparedFile() {
        if (m_fd >= 0)
            close(m_fd);
    }
    CComparedFile(const CComparedFile&) = delete;
    CComparedFile& operator=(const CComparedFile&) = delete;

    // -1 when the file can't be compared.
    off_t Size() const { return m_size; }
    // Reads up to `size` bytes: how many, 0 at the end, -1 on an error.
    ssize_t Read(char* buffer, std::size_t size) const {
        ssize_t got;
        do {
            got = read(m_fd, buffer, size);
        } while (got < 0 && errno == EINTR);
        return got;
    }

private:
    int m_fd;
    off_t m_size = -1;
};

// Whole reads of one file's next `size` bytes.
bool ReadFully(const CComparedFile& file, char* buffer, std::size_t size) {
    while (size > 0) {
        const ssize_t got = file.Read(buffer, size);
        if (got <= 0)
            return false;
        buffer += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

off_t SizeOf(int folder, std::string_view name) {
    struct stat status {};
    return fstatat(folder, std::string(name).c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
                   S_ISREG(status.st_mode)
               ? status.st_size
               : -1;
}

} // namespace

bool SameBytes(int folder, const std::string& a, const std::string& b) {
    const CComparedFile first(folder, a);
    const CComparedFile second(folder, b);
    if (first.Size() < 0 || first.Size() != second.Size())
        return false;
    constexpr std::size_t kChunk = 64 * 1024;
    std::vector<char> one(kChunk);
    std::vector<char> two(kChunk);
    for (off_t left = first.Size(); left > 0;) {
        const auto size = static_cast<std::size_t>(std::min<off_t>(left, kChunk));
        if (!ReadFully(first, one.data(), size) || !ReadFully(second, two.data(), size) ||
            std::memcmp(one.data(), two.data(), size) != 0)
            return false;
        left -= static_cast<off_t>(size);
    }
    return true;
}

std::size_t MarkIdenticalCopies(int folder, CListRows& rows) {
    std::vector<std::size_t> dated;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].nImage == RowToRename || rows[i].nImage == RowNamed)
            dated.push_back(i);
    }
    // By date, and in listing order within one: the first of a set stays its original.
    std::stable_sort(dated.begin(), dated.end(),
                     [&](std::size_t a, std::size_t b) { return rows[a].nData < rows[b].nData; });
    std::size_t marked = 0;
    std::vector<off_t> sizes;
    for (std::size_t begin = 0, end; begin < dated.size(); begin = end) {
        end = begin + 1;
        while (end < dated.size() && rows[dated[end]].nData == rows[dated[begin]].nData)
            ++end;
        if (end - begin < 2)
            continue;
        sizes.clear();
        for (std::size_t k = begin; k < end; ++k)
            sizes.push_back(SizeOf(folder, rows[dated[k]].Text(0)));
        for (std::size_t k = begin + 1; k < end; ++k) {
            CListRow& copy = rows[dated[k]];
            for (std::size_t o = begin; o < k && sizes[k - begin] >= 0; ++o) {
                const CListRow& original = rows[dated[o]];
                if (original.nImage == RowDuplicate || sizes[o - begin] != sizes[k - begin] ||
                    !SameBytes(folder, std::string(original.Text(0)), std::string(copy.Text(0))))
                    continue;
                copy.SetText(1, IdenticalText(original.Text(0)));
                copy.nImage = RowDuplicate;
                copy.nData = static_cast<std::int64_t>(dated[k]);
                ++marked;
                break;
            }
        }
    }
    return marked;
}

std::string IdenticalText(std::string_view original) {
    return "Identical to " + std::string(original);
}

std::string_view OriginalOfCopy(const CListRow& copy) {
    // Before a run, or after it found the copy already at its new name.
    for (const std::string_view prefix : {"Identical to ", "Already there: identical to "}) {
        if (copy.Text(1).starts_with(prefix))
            return copy.Text(1).substr(prefix.size());
    }
    return {};
}

std::vector<std::pair<int, int>> CopiesWithOriginals(const CListRows& rows) {
    std::vector<std::pair<int, int>> copies;
    std::unordered_map<std::string_view, int> byName;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].nImage == RowDuplicate)
            copies.emplace_back(static_cast<int>(i), -1);
        else
            byName.emplace(rows[i].Text(0), static_cast<int>(i));
    }
    for (auto& [copy, original] : copies) {
        const auto it = byName.find(OriginalOfCopy(rows[static_cast<std::size_t>(copy)]));
        original = it != byName.end() ? it->second : -1;
    }
    return copies;
}

} // namespace velmora
