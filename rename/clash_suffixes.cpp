#include "clash_suffixes.h"

#include "name_compare.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <iterator>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {
namespace {

constexpr std::uint32_t kNoSuffix = UINT32_MAX;
// How many rows ahead the table's slots are fetched: each is a miss in a
// table this large.
constexpr std::size_t kAhead = 16;

// The bytes `text[from, from + 8)` as one word (in memory order), zeros past
// its end. A short tail is read by one load that ends with the text, when the
// text has eight bytes, not copied byte by byte: a word put together in memory
// waits for its parts before it can be loaded.
std::uint64_t Word(std::string_view text, std::size_t from) {
    std::uint64_t word = 0;
    const std::size_t left = text.size() - from;
    if (left >= 8) {
        std::memcpy(&word, text.data() + from, 8);
    } else if (text.size() >= 8) {
        std::memcpy(&word, text.data() + text.size() - 8, 8);
        word = std::endian::native == std::endian::little ? word >> (8 * (8 - left))
                                                          : word << (8 * (8 - left));
    } else {
        for (std::size_t i = 0; i < left; ++i)
            word |= std::uint64_t{static_cast<unsigned char>(text[from + i])}
                    << (std::endian::native == std::endian::little ? 8 * i : 8 * (7 - i));
    }
    return word;
}

constexpr std::uint64_t kEachByte = 0x0101010101010101u;
constexpr std::uint64_t kHighBits = 0x8080808080808080u;

// A 64-bit hash of a name's case-folded form, eight bytes at a time (a
// keystroke hashes every row's names twice). Names are known by their hashes
// alone: a collision can only make a name look taken and cost a needless
// suffix, never let two rows share a name. A name of ASCII has its letters
// folded here; any other is folded by FoldCase first and hashed alike, so
// that names equal ignoring case hash the same.
std::uint64_t FoldedHash(std::string_view name, bool folded = false) {
    std::uint64_t hash = 0x243f6a8885a308d3u ^ name.size();
    for (std::size_t i = 0; i < name.size(); i += 8) {
        std::uint64_t word = Word(name, i);
        if ((word & kHighBits) != 0 && !folded)
            return FoldedHash(FoldCase(name), true);
        // 'A' to 'Z' gain 0x20: a byte's high bit tells whether it passed 'A'
        // and whether it passed 'Z' (no byte carries into the next).
        const std::uint64_t low = word & ~kHighBits;
        const std::uint64_t upper =
            ((low + (0x80 - 'A') * kEachByte) ^ (low + (0x80 - 'Z' - 1) * kEachByte)) & kHighBits &
            ~word;
        word |= upper >> 2;
        hash = (hash ^ word) * 0x9e3779b97f4a7c15u;
        hash ^= hash >> 29;
    }
    return hash != 0 ? hash : 1; // 0 marks an empty slot
}

// What the pass knows of a name: a row's current name (held), some row's
// bare name (with the next suffix its rows try), a name given to a row.
constexpr std::uint32_t kHeld = 1;
constexpr std::uint32_t kBare = 2;
constexpr std::uint32_t kGiven = 4;
constexpr std::uint32_t kCursorShift = 3;

// What a row's state says: its suffix is a guess; its name with the suffix is
// in column 1.
constexpr std::uint8_t kGuessedRow = 1;
constexpr std::uint8_t kWrittenRow = 2;

bool IsNamed(const CListRow& row) {
    return row.nImage == RowToRename || row.nImage == RowNamed;
}

// `bare` with "-`suffix`" at each of the offsets (ascending), into `form`.
void AssignForm(std::string& form, std::string_view bare, std::span<const std::uint32_t> at,
                std::uint32_t suffix) {
    char buffer[16];
    char* first = std::end(buffer);
    do
        *--first = static_cast<char>('0' + suffix % 10);
    while ((suffix /= 10) != 0);
    *--first = '-';
    const std::string_view digits(first, static_cast<std::size_t>(std::end(buffer) - first));
    form.clear();
    std::size_t from = 0;
    for (const std::uint32_t offset : at) {
        form.append(bare.substr(from, offset - from));
        form += digits;
        from = offset;
    }
    form.append(bare.substr(from));
}

// The bare name of `form`, which AssignForm made with `suffix`, into `bare`.
void AssignBare(std::string& bare, std::string_view form, std::span<const std::uint32_t> at,
                std::uint32_t suffix) {
    std::size_t digits = 1; // the "-"
    do
        ++digits;
    while ((suffix /= 10) != 0);
    bare.clear();
    std::size_t from = 0;
    for (std::size_t code = 0; code < at.size(); ++code) {
        const std::size_t inserted = at[code] + code * digits;
        bare.append(form.substr(from, inserted - from));
        from = inserted + digits;
    }
    bare.append(form.substr(from));
}

// The suffix that makes `current` a form of `bare` (0 for the bare form
// itself), or kNoSuffix. The number is read where the first code stands; as
// digits may follow the code, each length of it is tried. Numbers with a
// leading zero are no suffix this pass gives.
std::uint32_t SuffixOf(std::string_view current, std::string_view bare,
                       std::span<const std::uint32_t> at, std::string& form) {
    constexpr std::size_t kMaxDigits = 9; // more than any list needs
    if (EqualNoCase(current, bare))
        return 0;
    const std::size_t start = at.front() + 1;
    if (current.size() <= start || current[start - 1] != '-' || current[start] == '0')
        return kNoSuffix;
    std::uint32_t suffix = 0;
    for (std::size_t i = start; i < current.size() && i - start < kMaxDigits; ++i) {
        if (current[i] < '0' || current[i] > '9')
            break;
        suffix = suffix * 10 + static_cast<std::uint32_t>(current[i] - '0');
        AssignForm(form, bare, at, suffix);
        if (EqualNoCase(form, current))
            return suffix;
    }
    return kNoSuffix;
}

} // namespace

// An open-addressing table of name hashes with what the pass knows of each
// name, sized for the whole pass (`names` is the most it will hold) so that
// references into it stay valid. The naming threads insert into it at once,
// through atomic references; the choice then runs alone, with plain loads and
// stores, which do not wait for every fetch ahead of them as locked
// instructions do.
//
// Beside it, a bit per hash slot of a filter small enough to stay in the
// core's cache: a clear bit proves a name absent, so the common suffixed
// name, which nothing else bears, costs no miss in the table; its own entry
// waits in a batch until a name's bit says it may be there.
class CClashSuffixes::CNameTable {
public:
    // Empties the table for a pass of at most `names` names; its memory is
    // reused when the size is the same.
    void Reset(std::size_t names) {
        const int shift = 64 - std::countr_zero(std::bit_ceil(names + names / 3 + 2));
        const std::size_t filterWords = std::bit_ceil(names / 16 + 1);
        if (shift != m_shift || m_filter.size() != filterWords) {
            m_shift = shift;
            m_slots = std::vector<Slot>(std::size_t{1} << (64 - shift));
            m_filter = std::vector<std::uint64_t>(filterWords);
        } else {
            std::fill(m_slots.begin(), m_slots.end(), Slot{});
            std::fill(m_filter.begin(), m_filter.end(), 0);
        }
        m_later.clear();
    }

    // The value of `key`, inserted as 0 when it is new, by one of several
    // threads at once; they change it through std::atomic_ref.
    std::uint32_t& Shared(std::uint64_t key) { return Find<true>(key); }
    // The same while no other thread uses the table.
    std::uint32_t& Alone(std::uint64_t key) { return Find<false>(key); }

    void Prefetch(std::uint64_t key) const { __builtin_prefetch(&m_slots[SlotOf(key)], 1); }

    // Whether `key` may be in the table (or waits to be); false proves it is
    // not. Asked while alone.
    bool MayHold(std::uint64_t key) const {
        return (m_filter[FilterWord(key)] & FilterBit(key)) != 0;
    }

    // Records `key` with `flags` later, in a batch, while alone; until then
    // only the filter knows of it.
    void AddLater(std::uint64_t key, std::uint32_t flags) {
        Mark<false>(key);
        m_later.push_back({key, flags});
        if (m_later.size() == kLaterBatch)
            AddWaiting();
    }

    // Records every key that waits, their slots fetched first.
    void AddWaiting() {
        for (const Later& later : m_later)
            Prefetch(later.key);
        for (const Later& later : m_later)
            Alone(later.key) |= later.flags;
        m_later.clear();
    }

private:
    static constexpr std::size_t kLaterBatch = 256;

    struct Slot {
        alignas(std::atomic_ref<std::uint64_t>::required_alignment) std::uint64_t key = 0;
        alignas(std::atomic_ref<std::uint32_t>::required_alignment) std::uint32_t value = 0;
    };
    struct Later {
        std::uint64_t key;
        std::uint32_t flags;
    };

    template <bool shared> std::uint32_t& Find(std::uint64_t key) {
        Mark<shared>(key);
        for (std::size_t slot = SlotOf(key);; slot = (slot + 1) & (m_slots.size() - 1)) {
            std::uint64_t& slotKey = m_slots[slot].key;
            std::uint64_t found =
                shared ? std::atomic_ref(slotKey).load(std::memory_order_relaxed) : slotKey;
            if (found == 0) {
                if constexpr (shared) {
                    if (std::atomic_ref(slotKey).compare_exchange_strong(found, key))
                        return m_slots[slot].value;
                } else {
                    slotKey = key;
                    return m_slots[slot].value;
                }
            }
            if (found == key)
                return m_slots[slot].value;
        }
    }

    template <bool shared> void Mark(std::uint64_t key) {
        std::uint64_t& word = m_filter[FilterWord(key)];
        if constexpr (shared) {
            if ((std::atomic_ref(word).load(std::memory_order_relaxed) & FilterBit(key)) == 0)
                std::atomic_ref(word).fetch_or(FilterBit(key), std::memory_order_relaxed);
        } else {
            word |= FilterBit(key);
        }
    }

    // Fibonacci hashing: the top bits of the product spread any hash.
    std::size_t SlotOf(std::uint64_t key) const {
        return static_cast<std::size_t>((key * 0x9e3779b97f4a7c15u) >> m_shift);
    }
    // The filter takes the hash's low bits, which the slot does not use.
    std::size_t FilterWord(std::uint64_t key) const {
        return static_cast<std::size_t>(key >> 6) & (m_filter.size() - 1);
    }
    static std::uint64_t FilterBit(std::uint64_t key) { return std::uint64_t{1} << (key & 63); }

    int m_shift = 0;
    std::vector<Slot> m_slots;
    std::vector<std::uint64_t> m_filter; // 4 bits per name
    std::vector<Later> m_later;
};

namespace {

// `values` as `count` times `value`, its memory kept unless it is more than
// twice what is needed.
template <typename T> void Refill(std::vector<T>& values, std::size_t count, T value) {
    if (values.capacity() > 2 * count)
        values = std::vector<T>();
    values.assign(count, value);
}

} // namespace

CClashSuffixes::CClashSuffixes() : m_names(std::make_unique<CNameTable>()) {}

CClashSuffixes::~CClashSuffixes() = default;

void CClashSuffixes::Reset(std::size_t rows, std::size_t clashCount) {
    m_clashCount = clashCount;
    m_names->Reset(rows * 3);
    Refill<std::uint32_t>(m_at, rows * clashCount, 0);
    Refill<std::uint64_t>(m_currentHash, rows, 0);
    Refill<std::uint64_t>(m_bareHash, rows, 0);
    Refill<std::uint64_t>(m_guessKey, rows, 0);
    Refill(m_suffix, rows, kNoSuffix);
    Refill<std::uint8_t>(m_state, rows, 0);
}

void CClashSuffixes::Note(const CListRows& rows, std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) {
        m_currentHash[i] = FoldedHash(rows[i].Text(0));
        if (IsNamed(rows[i]))
            m_bareHash[i] = FoldedHash(rows[i].Text(1));
    }
    // Which rows bear a form of their name depends on the row alone; which
    // of several bearing one name keeps it is for the choice, in list order.
    std::string form;
    for (std::size_t i = begin; i < end; ++i)
        if (IsNamed(rows[i]))
            m_suffix[i] = SuffixOf(rows[i].Text(0), rows[i].Text(1), CodesOf(i), form);
    Record(rows, begin, end);
}

// Every current name and bare name goes to the table, so that a suffix never
// lands on a name another row bears now or would bear bare.
void CClashSuffixes::Record(const CListRows& rows, std::size_t begin, std::size_t end) {
    CNameTable& names = *m_names;
    for (std::size_t i = begin; i < end; ++i) {
        if (i + kAhead < end) {
            names.Prefetch(m_currentHash[i + kAhead]);
            names.Prefetch(m_bareHash[i + kAhead]);
        }
        std::atomic_ref(names.Shared(m_currentHash[i])).fetch_or(kHeld, std::memory_order_relaxed);
        // A bare name's rows mostly follow one another: its flag is set once.
        if (IsNamed(rows[i]) &&
            (i == begin || m_bareHash[i] != m_bareHash[i - 1] || !IsNamed(rows[i - 1])))
            std::atomic_ref(names.Shared(m_bareHash[i])).fetch_or(kBare, std::memory_order_relaxed);
    }
}

std::span<const std::uint32_t> CClashSuffixes::CodesOf(std::size_t row) const {
    return std::span<const std::uint32_t>(m_at).subspan(row * m_clashCount, m_clashCount);
}

void CClashSuffixes::Guess(const CListRows& rows) {
    KeepFormsHeld();
    // Each bare name's rows, in list order, are guessed to take its next
    // suffix; the cursor lives in the bare name's slot.
    ForEachToChoose(rows, [&](std::size_t i, std::uint32_t& bare) {
        m_suffix[i] = bare >> kCursorShift;
        m_state[i] = kGuessedRow;
        bare += 1u << kCursorShift;
    });
}

// Calls `each(row, bare)` for every named row without a suffix yet, in list
// order, with the slot of its bare name. A name's rows mostly follow one
// another, so the slot is looked up again only when the name changes.
template <typename Each>
void CClashSuffixes::ForEachToChoose(const CListRows& rows, const Each& each) {
    CNameTable& names = *m_names;
    std::uint32_t* bare = nullptr;
    std::uint64_t bareKey = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (i + kAhead < rows.size())
            names.Prefetch(m_bareHash[i + kAhead]);
        if (!IsNamed(rows[i]) || m_suffix[i] != kNoSuffix)
            continue;
        if (m_bareHash[i] != bareKey) {
            bareKey = m_bareHash[i];
            bare = &names.Alone(bareKey);
        }
        each(i, *bare);
    }
}

// Rows already named a form of their name keep it, the first of them in
// list order where several bear it in other case.
void CClashSuffixes::KeepFormsHeld() {
    CNameTable& names = *m_names;
    for (std::size_t i = 0; i < m_suffix.size(); ++i) {
        if (m_suffix[i] == kNoSuffix)
            continue;
        std::uint32_t& current = names.Alone(m_currentHash[i]);
        if ((current & kGiven) != 0)
            m_suffix[i] = kNoSuffix;
        else
            current |= kGiven;
    }
}

unsigned CClashSuffixes::Check(CListRows& rows, std::size_t begin, std::size_t end) {
    // Every suffixed row is given its name now: where no guess is wrong, that
    // is its name.
    unsigned wrong = 0;
    std::string form;
    for (std::size_t i = begin; i < end; ++i) {
        if (m_suffix[i] == 0)
            m_guessKey[i] = m_bareHash[i];
        if (m_suffix[i] == kNoSuffix || m_suffix[i] == 0)
            continue;
        AssignForm(form, rows[i].Text(1), CodesOf(i), m_suffix[i]);
        if (form.size() > CListRow::kMaxColumn1) {
            ++wrong; // a cut name gives no bare name back: the search names it
            continue;
        }
        m_guessKey[i] = FoldedHash(form);
        rows[i].SetText(1, form);
        m_state[i] |= kWrittenRow;
    }
    // A guess is wrong when its name is borne, held by a row that keeps it,
    // another row's bare name, or guessed twice.
    CNameTable& names = *m_names;
    for (std::size_t i = begin; i < end; ++i) {
        if (i + kAhead < end && (m_state[i + kAhead] & kGuessedRow) != 0)
            names.Prefetch(m_guessKey[i + kAhead]);
        if ((m_state[i] & kGuessedRow) == 0)
            continue;
        const std::uint32_t flags = std::atomic_ref(names.Shared(m_guessKey[i]))
                                        .fetch_or(kGiven, std::memory_order_relaxed);
        if ((flags & (kHeld | kGiven)) != 0 || (m_suffix[i] > 0 && (flags & kBare) != 0))
            ++wrong;
    }
    return wrong;
}

void CClashSuffixes::Unapply(CListRows& rows, std::size_t begin, std::size_t end) const {
    std::string bare;
    for (std::size_t i = begin; i < end; ++i) {
        if ((m_state[i] & kWrittenRow) == 0)
            continue;
        AssignBare(bare, rows[i].Text(1), CodesOf(i), m_suffix[i]);
        rows[i].SetText(1, bare);
    }
}

void CClashSuffixes::ChooseInOrder(const CListRows& rows) {
    // The guesses left their marks: the table starts again from the names
    // the rows bear.
    m_names->Reset(rows.size() * 3);
    Record(rows, 0, rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if ((m_state[i] & kGuessedRow) != 0)
            m_suffix[i] = kNoSuffix;
        m_state[i] = 0;
    }
    KeepFormsHeld();

    // The others take the lowest free suffix of their name in list order; each
    // bare name keeps where its rows' search goes on, since a suffix once
    // given stays taken.
    CNameTable& names = *m_names;
    std::string form;
    ForEachToChoose(rows, [&](std::size_t i, std::uint32_t& bare) {
        const auto give = [&](std::uint32_t suffix) {
            m_suffix[i] = suffix;
            bare = (bare & ((1u << kCursorShift) - 1)) | (suffix + 1) << kCursorShift;
        };
        for (std::uint32_t suffix = bare >> kCursorShift;; ++suffix) {
            std::uint32_t* state = &bare;
            if (suffix > 0) {
                AssignForm(form, rows[i].Text(1), CodesOf(i), suffix);
                const std::uint64_t key = FoldedHash(form);
                if (!names.MayHold(key)) {
                    names.AddLater(key, kGiven);
                    give(suffix);
                    return;
                }
                names.AddWaiting();
                state = &names.Alone(key);
            }
            if ((*state & (kHeld | kGiven)) != 0 || (suffix > 0 && (*state & kBare) != 0))
                continue;
            *state |= kGiven;
            give(suffix);
            return;
        }
    });
}

void CClashSuffixes::Apply(CListRow& row, std::size_t index, std::string& form) const {
    if (m_suffix[index] == kNoSuffix || m_suffix[index] == 0)
        return;
    AssignForm(form, row.Text(1), CodesOf(index), m_suffix[index]);
    row.SetText(1, form);
}

} // namespace velmora
