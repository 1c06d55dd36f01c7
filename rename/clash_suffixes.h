#pragma once

#include "list_rows.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace velmora {

// The clash suffix of a name format ("%{n}"): nothing for the first row that
// gets a name, "-1", "-2", ... for each later row, in list order, whose name
// would be the same ignoring case. A row already named a form of its name
// keeps it, so that a folder listed again after a run proposes no change,
// gaps left by removed files included; every other row takes the lowest
// suffix that gives a name no other row bears or is given.
//
// The rows are named first, in parallel, each with its bare name (every
// "%{n}" as nothing) in column 1; Note records what the choice needs of each,
// the current and bare names in a shared table of name hashes. The choice
// then guesses in list order and checks the guesses in parallel again. While a format with "%{n}"
// is applied, a row costs 29 bytes, 4 more per code, and three slots of 16 bytes in the table.
class CClashSuffixes {
public:
    CClashSuffixes();
    ~CClashSuffixes();
    // Starts a pass over `rows` rows with `clashCount` codes in the format;
    // the memory of the last pass is reused.
    void Reset(std::size_t rows, std::size_t clashCount);

    std::size_t ClashCount() const { return m_clashCount; }
    // Room for the offsets of row `index`'s codes in its bare name.
    std::uint32_t* At(std::size_t index) { return &m_at[index * m_clashCount]; }
    // Records the rows from `begin` to `end` once column 1 holds the bare
    // names of those that get one. Chunks may be noted from several threads.
    void Note(const CListRows& rows, std::size_t begin, std::size_t end);
    // Chooses every named row's suffix. Guess gives each row its bare name's
    // next suffix in list order; Check, over chunks from several threads,
    // gives the rows those names and counts the guesses whose names are
    // taken. Where no guess is wrong, each row has the name the search would
    // have given it. Else Unapply, over chunks again, gives the rows their
    // bare names back, ChooseInOrder goes through the list trying suffixes,
    // and Apply gives each row its chosen name; `form` is a buffer the caller
    // reuses.
    void Guess(const CListRows& rows);
    unsigned Check(CListRows& rows, std::size_t begin, std::size_t end);
    void Unapply(CListRows& rows, std::size_t begin, std::size_t end) const;
    void ChooseInOrder(const CListRows& rows);
    void Apply(CListRow& row, std::size_t index, std::string& form) const;

private:
    class CNameTable;

    void Record(const CListRows& rows, std::size_t begin, std::size_t end);
    void KeepFormsHeld();
    template <typename Each> void ForEachToChoose(const CListRows& rows, const Each& each);
    std::span<const std::uint32_t> CodesOf(std::size_t row) const;

    std::size_t m_clashCount = 0;
    std::unique_ptr<CNameTable> m_names;
    std::vector<std::uint32_t> m_at;
    std::vector<std::uint64_t> m_currentHash;
    std::vector<std::uint64_t> m_bareHash;
    std::vector<std::uint64_t> m_guessKey;
    std::vector<std::uint32_t> m_suffix;
    std::vector<std::uint8_t> m_state;
};

} // namespace velmora
