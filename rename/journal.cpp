#include "journal.h"

#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace velmora {

std::vector<CJournalClock> ClocksInForce(const CDeviceTable& devices) {
    std::vector<CJournalClock> clocks;
    for (const CDevice& device : devices) {
        if (device.nOffset != 0 && device.id.Known())
            clocks.push_back({device.id.Text(), device.nOffset});
    }
    return clocks;
}

void CJournalFiles::Add(std::uint64_t device, std::uint64_t inode, std::string_view before,
                        std::string_view temporary, std::string_view after) {
    m_files.push_back({device, inode, 0, 0, m_names.size(), 0,
                       static_cast<std::uint32_t>(before.size()),
                       static_cast<std::uint32_t>(temporary.size()), 0});
    m_names.append(before).append(temporary).append(after);
}

CJournalFile CJournalFiles::operator[](std::size_t i) const {
    return {Device(i),
            Inode(i),
            Stamp(i),
            std::string(Before(i)),
            std::string(Temporary(i)),
            std::string(After(i))};
}

const CFileTimes* CJournalFiles::Times(std::size_t i) const {
    const auto it =
        std::lower_bound(m_times.begin(), m_times.end(), i,
                         [](const auto& entry, std::size_t k) { return entry.first < k; });
    return it != m_times.end() && it->first == i ? &it->second : nullptr;
}

void CJournalFiles::SetTimes(std::size_t i, const CFileTimes& times) {
    const auto it =
        std::lower_bound(m_times.begin(), m_times.end(), i,
                         [](const auto& entry, std::size_t k) { return entry.first < k; });
    if (it != m_times.end() && it->first == i)
        it->second = times;
    else
        m_times.insert(it, {i, times}); // at the end, as files are read in order
}

CFileStamp CJournalFiles::Stamp(std::size_t i) const {
    const CRecord& file = m_files[i];
    return {file.cKind, file.nSize, file.nSeconds, file.nNanoseconds};
}

void CJournalFiles::SetStamp(std::size_t i, const CFileStamp& stamp) {
    CRecord& file = m_files[i];
    file.cKind = stamp.cKind;
    file.nSize = stamp.nSize;
    file.nSeconds = stamp.nSeconds;
    file.nNanoseconds = stamp.nNanoseconds;
}

std::string_view CJournalFiles::Before(std::size_t i) const {
    return std::string_view(m_names).substr(m_files[i].nNames, m_files[i].nBefore);
}

std::string_view CJournalFiles::Temporary(std::size_t i) const {
    const CRecord& file = m_files[i];
    return std::string_view(m_names).substr(file.nNames + file.nBefore, file.nTemporary);
}

std::string_view CJournalFiles::After(std::size_t i) const {
    const CRecord& file = m_files[i];
    const std::size_t start = file.nNames + file.nBefore + file.nTemporary;
    return std::string_view(m_names).substr(start, NamesEnd(i) - start);
}

void CJournalFiles::ShrinkToFit() {
    m_files.shrink_to_fit();
    m_names.shrink_to_fit();
    m_times.shrink_to_fit();
}

void CJournalFiles::Release() {
    std::vector<CRecord>().swap(m_files);
    std::string().swap(m_names);
    std::vector<std::pair<std::size_t, CFileTimes>>().swap(m_times);
}

std::optional<CFolderKey> CFolderKey::OfFd(int fd) {
    struct statx status {};
    if (statx(fd, "", AT_EMPTY_PATH, STATX_INO | STATX_BTIME, &status) != 0)
        return std::nullopt;
    CFolderKey key;
    key.nDevice = makedev(status.stx_dev_major, status.stx_dev_minor);
    key.nInode = status.stx_ino;
    if (status.stx_mask & STATX_BTIME)
        key.nBirth = static_cast<std::uint64_t>(status.stx_btime.tv_sec) * 1000000000ULL +
                     status.stx_btime.tv_nsec;
    return key;
}

std::optional<CFolderKey> CFolderKey::OfPath(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::optional<CFolderKey> key = OfFd(fd);
    close(fd);
    return key;
}

} // namespace velmora
