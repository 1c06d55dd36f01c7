#pragma once

#include <cassert>
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

// One row's two texts share one buffer, column 0 then column 1: a row costs
// 64 bytes and a single heap block, none at all when both texts together fit
// the string's inline storage. Lists hold tens of thousands of rows.
class CListRow {
public:
    // column is 0 or 1. The view is valid until the next SetText on this row.
    std::string_view Text(int column) const;
    void SetText(int column, std::string_view text);

private:
    std::string m_texts;
    std::uint32_t m_split = 0; // length of column 0

public:
    int nImage = 0; // RowStatus in the main list
    // Date value (seconds since 1970) for dated rows, else the row's position
    // when it was inserted.
    std::int64_t nData = 0;
    // Set by the scan; the identity check of the rename run compares it.
    std::uint64_t nInode = 0;
    std::uint32_t nDevice = 0;

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
    return column == 0 ? texts.substr(0, m_split) : texts.substr(m_split);
}

inline void CListRow::SetText(int column, std::string_view text) {
    assert(column == 0 || column == 1);
    const std::string_view first = column == 0 ? text : Text(0);
    const std::string_view second = column == 0 ? Text(1) : text;
    const std::size_t size = first.size() + second.size();
    if (size <= m_texts.capacity()) {
        // Replacing in place copes with text viewing this row's own buffer.
        if (column == 0)
            m_texts.replace(0, m_split, text);
        else
            m_texts.replace(m_split, std::string::npos, text);
    } else {
        // Grown to the exact size: a row's texts change a few times at most,
        // and the doubling a growing string does would cost more than a name.
        std::string texts(size, '\0');
        first.copy(texts.data(), first.size());
        second.copy(texts.data() + first.size(), second.size());
        m_texts = std::move(texts);
    }
    m_split = static_cast<std::uint32_t>(first.size());
}

using CListRows = std::vector<CListRow>;
