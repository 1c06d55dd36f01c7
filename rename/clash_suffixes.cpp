#include "clash_suffixes.h"

#include "name_compare.h"

#include <bit>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {
namespace {

constexpr std::size_t kNoSuffix = SIZE_MAX;

// A 64-bit hash of a name's case-folded form. Names are known by their hashes
// alone: a collision can only make a name look taken and cost a needless
// suffix, never let two rows share a name.
std::uint64_t FoldedHash(std::string_view name) {
    std::uint64_t hash = 0xcbf29ce484222325u; // FNV-1a
    const auto mix = [&hash](std::string_view bytes) {
        for (const char c : bytes) {
            hash ^= static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
            hash *= 0x100000001b3u;
        }
    };
    bool ascii = true;
    for (const char c : name)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii)
        mix(name);
    else
        mix(FoldCase(name));
    hash ^= hash >> 29;
    return hash | 1; // 0 marks an empty slot
}

// What the pass knows of a name: a row's current name (held), some row's
// bare name (with the next suffix its rows try), a name given to a row.
constexpr std::uint32_t kHeld = 1;
constexpr std::uint32_t kBare = 2;
constexpr std::uint32_t kGiven = 4;
constexpr std::uint32_t kCursorShift = 3;

// An open-addressing table of name hashes, sized once for the whole pass so
// that references into it stay valid.
class CNameTable {
public:
    explicit CNameTable(std::size_t names)
        : m_mask(std::bit_ceil(names * 2 + 2) - 1), m_keys(m_mask + 1), m_values(m_mask + 1) {}

    // The value of `key`, inserted as 0 when it is new.
    std::uint32_t& operator[](std::uint64_t key) {
        std::size_t slot = key & m_mask;
        while (m_keys[slot] != key && m_keys[slot] != 0)
            slot = (slot + 1) & m_mask;
        m_keys[slot] = key;
        return m_values[slot];
    }
    std::uint32_t Find(std::uint64_t key) const {
        for (std::size_t slot = key & m_mask; m_keys[slot] != 0; slot = (slot + 1) & m_mask) {
            if (m_keys[slot] == key)
                return m_values[slot];
        }
        return 0;
    }

private:
    std::size_t m_mask;
    std::vector<std::uint64_t> m_keys;
    std::vector<std::uint32_t> m_values;
};

bool IsNamed(const CListRow& row) {
    return row.nImage == RowToRename || row.nImage == RowNamed;
}

// `bare` with "-`suffix`" at each of the offsets (ascending), into `form`.
void AssignForm(std::string& form, std::string_view bare, std::span<const std::uint32_t> at,
                std::size_t suffix) {
    const std::string digits = "-" + std::to_string(suffix);
    form.clear();
    std::size_t from = 0;
    for (const std::uint32_t offset : at) {
        form.append(bare.substr(from, offset - from));
        form += digits;
        from = offset;
    }
    form.append(bare.substr(from));
}

// The suffix that makes `current` a form of `bare` (0 for the bare form
// itself), or kNoSuffix. The number is read where the first code stands; as
// digits may follow the code, each length of it is tried. Numbers with a
// leading zero are no suffix this pass gives.
std::size_t SuffixOf(std::string_view current, std::string_view bare,
                     std::span<const std::uint32_t> at, std::string& form) {
    constexpr std::size_t kMaxDigits = 9; // more than any list needs
    if (EqualNoCase(current, bare))
        return 0;
    const std::size_t start = at.front() + 1;
    if (current.size() <= start || current[start - 1] != '-' || current[start] == '0')
        return kNoSuffix;
    std::size_t suffix = 0;
    for (std::size_t i = start; i < current.size() && i - start < kMaxDigits; ++i) {
        if (current[i] < '0' || current[i] > '9')
            break;
        suffix = suffix * 10 + static_cast<std::size_t>(current[i] - '0');
        AssignForm(form, bare, at, suffix);
        if (EqualNoCase(form, current))
            return suffix;
    }
    return kNoSuffix;
}

} // namespace

void AssignClashSuffixes(CListRows& rows, std::span<const std::uint32_t> clashAt,
                         std::size_t clashCount) {
    // Every current name and bare name first: a suffix never lands on a name
    // another row bears now or would bear bare.
    CNameTable names(rows.size() * 3);
    std::vector<std::uint64_t> bareHash(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        names[FoldedHash(rows[i].Text(0))] |= kHeld;
        if (IsNamed(rows[i]))
            names[bareHash[i] = FoldedHash(rows[i].Text(1))] |= kBare;
    }
    const auto at = [&](std::size_t row) { return clashAt.subspan(row * clashCount, clashCount); };

    // Rows already named a form of their name keep it, the first of them in
    // list order where several bear it in other case.
    std::vector<std::size_t> suffixes(rows.size(), kNoSuffix);
    std::string form;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (!IsNamed(rows[i]))
            continue;
        const std::size_t suffix = SuffixOf(rows[i].Text(0), rows[i].Text(1), at(i), form);
        if (suffix == kNoSuffix)
            continue;
        std::uint32_t& current = names[FoldedHash(rows[i].Text(0))];
        if ((current & kGiven) == 0) {
            current |= kGiven;
            suffixes[i] = suffix;
        }
    }

    // The others take the lowest free suffix of their name in list order; each
    // bare name keeps where its rows' search goes on, since a suffix once
    // given stays taken.
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (!IsNamed(rows[i]) || suffixes[i] != kNoSuffix)
            continue;
        std::uint32_t& bare = names[bareHash[i]];
        for (std::size_t suffix = bare >> kCursorShift;; ++suffix) {
            std::uint32_t* state = &bare;
            if (suffix > 0) {
                AssignForm(form, rows[i].Text(1), at(i), suffix);
                state = &names[FoldedHash(form)];
            }
            if ((*state & (kHeld | kGiven)) != 0 || (suffix > 0 && (*state & kBare) != 0))
                continue;
            *state |= kGiven;
            suffixes[i] = suffix;
            bare = (bare & ((1u << kCursorShift) - 1)) | static_cast<std::uint32_t>(suffix + 1)
                                                             << kCursorShift;
            break;
        }
    }

    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (suffixes[i] == kNoSuffix || suffixes[i] == 0)
            continue;
        AssignForm(form, rows[i].Text(1), at(i), suffixes[i]);
        rows[i].SetText(1, form);
    }
}

} // namespace velmora
