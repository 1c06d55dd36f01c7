#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// CByteCursor reads big-endian numbers front to back from a buffer of untrusted
// bytes. A read that would leave the buffer fails the cursor for good and
// yields 0, so a parser checks Ok() once after a group of reads instead of
// before each one.
class CByteCursor {
public:
    CByteCursor(const unsigned char* data, std::size_t size) : m_pData(data), m_nSize(size) {}

    // An unsigned big-endian number of `bytes` bytes (0..8; 0 yields 0).
    std::uint64_t Read(unsigned bytes) {
        if (bytes > 8 || !Take(bytes))
            return 0;
        std::uint64_t value = 0;
        for (unsigned i = 0; i < bytes; ++i)
            value = value << 8 | m_pData[m_nPos - bytes + i];
        return value;
    }
    std::uint32_t U8() { return static_cast<std::uint32_t>(Read(1)); }
    std::uint32_t U16() { return static_cast<std::uint32_t>(Read(2)); }
    std::uint32_t U32() { return static_cast<std::uint32_t>(Read(4)); }
    std::uint64_t U64() { return Read(8); }

    // Four characters, e.g. a box or item type, compared with `type`.
    bool Is(const char (&type)[5]) {
        return Take(4) && std::memcmp(m_pData + m_nPos - 4, type, 4) == 0;
    }

    void Skip(std::uint64_t bytes) { Take(bytes); }

    bool Ok() const { return m_bOk; }
    std::size_t Position() const { return m_nPos; }
    std::size_t Remaining() const { return m_bOk ? m_nSize - m_nPos : 0; }

private:
    bool Take(std::uint64_t bytes) {
        if (!m_bOk || bytes > m_nSize - m_nPos) {
            m_bOk = false;
            return false;
        }
        m_nPos += static_cast<std::size_t>(bytes);
        return true;
    }

    const unsigned char* m_pData;
    std::size_t m_nSize;
    std::size_t m_nPos = 0;
    bool m_bOk = true;
};
