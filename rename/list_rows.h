#pragma once

#include "extension_case.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The rows of a two-column list: the one working state of the main window.
// The scan fills them, name generation rewrites column 1 and the statuses, the
// rename run rewrites column 0; the list view only shows them.

// A main-list row's image index is its status.
enum RowStatus : int {
    RowToRename = 0,   // dated, converted name differs from the current one
    RowNamed = 1,      // dated, already so named (ignoring case)
    RowUnreadable = 2, // the reader failed; column 1 holds its error text
    RowNoDate = 3,     // read, but no usable date; column 1 says so
    RowDuplicate = 4,  // the same bytes as another file; column 1 names it; never renamed
};

// Which file a row was read from: the rename run checks that the name still
// holds this file before it touches it. The device is kept in 32 bits, the
// width Linux gives device numbers; 0/0 means not known.
struct CFileId {
    std::uint32_t nDevice = 0;
    std::uint64_t nInode = 0;

    static CFileId FromStat(std::uint64_t device, std::uint64_t inode) {
        return {static_cast<std::uint32_t>(device ^ (device >> 32)), inode};
    }
    bool Known() const { return nInode != 0; }
    bool operator==(const CFileId&) const = default;
};

// What tells a file from a new one that got its inode later: its birth time
// where the file system keeps one ('b'), else its size and modification time
// ('m'); kind 0 when unknown.
struct CFileStamp {
    char cKind = 0;
    std::int64_t nSize = 0; // 'm' only
    std::int64_t nSeconds = 0;
    std::uint32_t nNanoseconds = 0;

    bool Known() const { return cKind != 0; }
    bool operator==(const CFileStamp&) const = default;
};

// A file's access and modification times, to the nanosecond.
struct CFileTimes {
    std::int64_t nAccessSeconds = 0;
    std::int64_t nModifySeconds = 0;
    std::uint32_t nAccessNanoseconds = 0;
    std::uint32_t nModifyNanoseconds = 0;

    bool operator==(const CFileTimes&) const = default;
};

constexpr std::int16_t kNoDateOffset = INT16_MIN;

// One row's texts share one buffer: column 0, column 1, then the names of the
// files that follow the row's file (its companions: a raw file or video of
// the same stem, sidecars), each ended by a NUL. A row costs 64 bytes and a
// single heap block, none at all when its texts together fit the string's
// inline storage. Lists hold tens of thousands of rows.
class CListRow {
public:
    // column is 0 or 1. The view is valid until the next SetText on this row.
    std::string_view Text(int column) const;
    // Column 1 keeps the first kMaxColumn1 bytes of `text`.
    void SetText(int column, std::string_view text);
    static constexpr std::size_t kMaxColumn1 = (1u << 14) - 1;

    // The companions' current names, NUL-separated and NUL-ended; empty when
    // the row has none.
    std::string_view Companions() const {
        return std::string_view(m_texts).substr(m_split + m_split1);
    }
    void SetCompanions(std::string_view names) { Replace(m_split + m_split1, names.size(), names); }
    // The `index`th companion's name.
    std::string_view Companion(std::size_t index) const;
    void SetCompanion(std::size_t index, std::string_view name);
    std::size_t CompanionCount() const;

    // How the companions' extensions are cased for the new name: name
    // generation sets it with column 1, and whoever works out a companion's
    // new name reads it here.
    velmora::ExtensionCase CompanionCase() const {
        return static_cast<velmora::ExtensionCase>(m_companionCase);
    }
    void SetCompanionCase(velmora::ExtensionCase choice) {
        m_companionCase = static_cast<std::uint32_t>(choice);
    }

private:
    // Replaces the bytes from `start` to the end of the part that begins
    // there (`length` bytes), keeping the other parts.
    void Replace(std::size_t start, std::size_t length, std::string_view text);

    std::string m_texts;
    // Length of column 0: a name of the folder (at most PATH_MAX bytes, a
    // name the file system took) or a label.
    std::uint16_t m_split = 0;

public:
    // The row's device in the scan's device table (0: unknown device).
    std::uint16_t nDeviceIndex = 0;

private:
    // Length of column 1 (the companions follow): a converted name (a name
    // of the folder, PATH_MAX at most, for Rename to take) or a short text.
    // Two bits of its word hold the companions' extension case, which keeps
    // the row at 64 bytes.
    std::uint16_t m_split1 : 14 = 0;
    std::uint16_t m_companionCase : 2 = 0;

public:
    // The row's lens in the scan's lens table (0: none).
    std::uint16_t nLensIndex = 0;
    std::uint8_t nImage = 0; // RowStatus in the main list
    // For dated rows: where the date came from (a velmora::DateSource) and
    // the zone offset that belongs to it, in minutes east of UTC
    // (kNoDateOffset when unknown).
    std::uint8_t nDateSource = 0;
    std::int16_t nDateOffset = kNoDateOffset;
    // Set by the scan, with nInode; the identity check of the rename run
    // compares them.
    std::uint32_t nDevice = 0;
    // For dated rows the date taken as written, in milliseconds since
    // 1970-01-01 00:00 read in no zone (a wall-clock time as one number);
    // else the row's position when it was inserted.
    std::int64_t nData = 0;
    std::uint64_t nInode = 0;

    CFileId Id() const { return {nDevice, nInode}; }
    void SetId(const CFileId& id) {
        nDevice = id.nDevice;
        nInode = id.nInode;
    }
};

static_assert(sizeof(CListRow) <= 64);

inline std::string_view CListRow::Text(int column) const {
    assert(column == 0 || column == 1);
    const std::string_view texts = m_texts;
    return column == 0 ? texts.substr(0, m_split) : texts.substr(m_split, m_split1);
}

inline void CListRow::SetText(int column, std::string_view text) {
    assert(column == 0 || column == 1);
    const std::size_t start = column == 0 ? 0 : m_split;
    const std::size_t length = column == 0 ? m_split : m_split1;
    if (column == 0) {
        assert(text.size() <= UINT16_MAX);
        Replace(start, length, text);
        m_split = static_cast<std::uint16_t>(text.size());
    } else {
        // Only a name no file system takes is that long (a format of
        // megabytes): cut, it is refused all the same.
        text = text.substr(0, kMaxColumn1);
        Replace(start, length, text);
        m_split1 = static_cast<std::uint16_t>(text.size()) & kMaxColumn1;
    }
}

inline void CListRow::Replace(std::size_t start, std::size_t length, std::string_view text) {
    const std::size_t size = m_texts.size() - length + text.size();
    if (size <= m_texts.capacity()) {
        // Replacing in place copes with text viewing this row's own buffer.
        m_texts.replace(start, length, text);
    } else {
        // Grown to the exact size: a row's texts change a few times at most,
        // and the doubling a growing string does would cost more than a name.
        std::string texts(size, '\0');
        m_texts.copy(texts.data(), start);
        text.copy(texts.data() + start, text.size());
        m_texts.copy(texts.data() + start + text.size(), std::string::npos, start + length);
        m_texts = std::move(texts);
    }
}

inline std::size_t CListRow::CompanionCount() const {
    const std::string_view names = Companions();
    return static_cast<std::size_t>(std::count(names.begin(), names.end(), '\0'));
}

inline std::string_view CListRow::Companion(std::size_t index) const {
    std::string_view names = Companions();
    for (; index > 0; --index)
        names.remove_prefix(names.find('\0') + 1);
    return names.substr(0, names.find('\0'));
}

inline void CListRow::SetCompanion(std::size_t index, std::string_view name) {
    const std::string_view old = Companion(index);
    Replace(static_cast<std::size_t>(old.data() - m_texts.data()), old.size(), name);
}

using CListRows = std::vector<CListRow>;

// A folder's distinct texts of one kind (its lenses), which rows point into
// by index; index 0 is the empty text, for none.
using CTextTable = std::vector<std::string>;
