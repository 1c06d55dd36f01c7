#include "tiff_file_view.h"

#include "file_stream.h"

#include <algorithm>
#include <sys/mman.h>

CTiffFileView::CTiffFileView(CFileStream& file) : m_file(file) {
    const std::uint64_t size = std::min<std::uint64_t>(file.Size(), UINT32_MAX);
    if (size == 0)
        return;
    void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED)
        return;
    m_pData = static_cast<unsigned char*>(p);
    m_nSize = static_cast<std::uint32_t>(size);
    m_loaded.assign((size + kChunkSize - 1) / kChunkSize, false);
}

CTiffFileView::~CTiffFileView() {
    if (m_pData != nullptr)
        munmap(m_pData, m_nSize);
}

bool CTiffFileView::Load(std::uint32_t offset, std::uint32_t length) {
    if (m_pData == nullptr || offset > m_nSize || length > m_nSize - offset)
        return false;
    if (length == 0)
        return true;
    const std::uint32_t first = offset / kChunkSize;
    const std::uint32_t last = (offset + (length - 1)) / kChunkSize;
    for (std::uint32_t chunk = first; chunk <= last; ++chunk) {
        if (m_loaded[chunk])
            continue;
        const std::uint32_t start = chunk * kChunkSize;
        const std::uint32_t size = std::min(kChunkSize, m_nSize - start);
        if (m_nBudget < size)
            return false;
        m_nBudget -= size;
        m_loaded[chunk] = true;
        // A short read leaves zeros: the file shrank since its size was taken.
        m_file.ReadAt(start, m_pData + start, size);
    }
    return true;
}
