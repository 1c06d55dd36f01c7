#include "journal_format.h"

#include "new_name_check.h"
#include "safe_rename.h"

#include <cstdio>

namespace velmora {
namespace journal_format {

void AppendEscaped(std::string& out, std::string_view name) {
    if (name.empty()) {
        out += '.';
        return;
    }
    constexpr const char* kHex = "0123456789ABCDEF";
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b == '%' || b == 0x7F) {
            const char escaped[3] = {'%', kHex[b >> 4], kHex[b & 15]};
            out.append(escaped, 3);
        } else {
            out += c;
        }
    }
}

std::string Escape(const std::string& name) {
    std::string out;
    AppendEscaped(out, name);
    return out;
}

void AppendNumber(std::string& out, std::uint64_t value) {
    char digits[24];
    out.append(digits, std::to_chars(digits, digits + sizeof(digits), value).ptr);
}

std::optional<std::string> Unescape(std::string_view text) {
    if (text == ".")
        return std::string();
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b <= 0x20 || b == 0x7F)
            return std::nullopt;
        if (b != '%') {
            out += text[i];
            continue;
        }
        unsigned char byte = 0;
        if (i + 2 >= text.size() || !ParseNumber(text.substr(i + 1, 2), byte, 16) || byte == 0)
            return std::nullopt;
        out += static_cast<char>(byte);
        i += 2;
    }
    return out;
}

std::vector<std::string_view> SplitFields(std::string_view line, char separator) {
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t blank = line.find(separator, start);
        fields.push_back(line.substr(start, blank - start));
        if (blank == std::string_view::npos)
            return fields;
        start = blank + 1;
    }
}

std::string StampText(const CFileStamp& stamp) {
    if (!stamp.Known())
        return "-";
    std::string text(1, stamp.cKind);
    if (stamp.cKind == 'm')
        text += std::to_string(stamp.nSize) + '.';
    return text + std::to_string(stamp.nSeconds) + '.' + std::to_string(stamp.nNanoseconds);
}

bool ParseStamp(std::string_view text, CFileStamp& stamp) {
    stamp = {};
    if (text == "-")
        return true;
    if (text.empty() || (text[0] != 'b' && text[0] != 'm'))
        return false;
    const bool sized = text[0] == 'm';
    const std::vector<std::string_view> numbers = SplitFields(text.substr(1), '.');
    if (numbers.size() != (sized ? 3u : 2u))
        return false;
    stamp.cKind = text[0];
    // Seconds may be negative (before 1970); a size may not.
    return (!sized || (ParseNumber(numbers[0], stamp.nSize) && stamp.nSize >= 0)) &&
           ParseNumber(numbers[sized ? 1 : 0], stamp.nSeconds) &&
           ParseNumber(numbers.back(), stamp.nNanoseconds) && stamp.nNanoseconds <= 999999999;
}

void AppendTime(std::string& out, std::int64_t seconds, std::uint32_t nanoseconds) {
    out += std::to_string(seconds);
    out += '.';
    out += std::to_string(nanoseconds);
}

bool ParseTime(std::string_view text, std::int64_t& seconds, std::uint32_t& nanoseconds) {
    const std::vector<std::string_view> numbers = SplitFields(text, '.');
    return numbers.size() == 2 && ParseNumber(numbers[0], seconds) &&
           ParseNumber(numbers[1], nanoseconds) && nanoseconds <= 999999999;
}

std::optional<std::string> JournalName(std::string_view field, bool temporary) {
    std::optional<std::string> name = Unescape(field);
    if (!name)
        return std::nullopt;
    if (temporary)
        return name->empty() || IsTemporaryName(*name) ? name : std::nullopt;
    return CheckNewName(*name) == NameFault::LeavesFolder ? std::nullopt : name;
}

std::string JournalHead(const CJournal& journal, std::size_t files) {
    std::string text = kMagic;
    text += "\nkind ";
    text += journal.kind == CJournal::Undo ? "undo" : "rename";
    text += "\nfolder " + Escape(journal.strFolder);
    text += "\nfolder-id " + std::to_string(journal.folder.nDevice) + ' ' +
            std::to_string(journal.folder.nInode) + ' ' + std::to_string(journal.folder.nBirth);
    text += "\ntime " + std::to_string(journal.nTime);
    if (journal.nTimeNanoseconds >= 0)
        text += '.' + std::to_string(journal.nTimeNanoseconds);
    text += '\n';
    if (journal.kind == CJournal::Undo)
        text += "undoes " + Escape(journal.strUndoes) + '\n';
    for (const CJournalClock& clock : journal.clocks)
        text += "clock " + std::to_string(clock.nOffset) + ' ' + Escape(clock.strDevice) + '\n';
    for (const std::string& folder : journal.folders)
        text += "mkdir " + Escape(folder) + '\n';
    for (const CJournal::CFolderTime& time : journal.folderTimes) {
        text += "folder-time ";
        AppendTime(text, time.nSeconds, time.nNanoseconds);
        text += ' ' + Escape(time.strFolder) + '\n';
    }
    return text + "files " + std::to_string(files) + '\n';
}

void AppendFileLine(std::string& out, const CJournalLine& line) {
    out += "f ";
    AppendNumber(out, line.nDevice);
    out += ' ';
    AppendNumber(out, line.nInode);
    out += ' ';
    AppendEscaped(out, line.strBefore);
    out += ' ';
    AppendEscaped(out, line.strTemporary);
    out += ' ';
    AppendEscaped(out, line.strAfter);
    out += '\n';
    if (line.pTimes != nullptr) {
        out += "t ";
        AppendTime(out, line.pTimes->nAccessSeconds, line.pTimes->nAccessNanoseconds);
        out += ' ';
        AppendTime(out, line.pTimes->nModifySeconds, line.pTimes->nModifyNanoseconds);
        out += '\n';
    }
}

} // namespace journal_format

std::string DoneLine(int renamed, std::size_t touched) {
    return "done " + std::to_string(renamed) + ' ' + std::to_string(touched);
}

std::string StampLine(std::size_t index, const CFileStamp& stamp) {
    return "stamp " + std::to_string(index) + ' ' + journal_format::StampText(stamp);
}

std::string RemovedLine(const CJournal::CRemovedFolder& folder) {
    char mode[8];
    std::snprintf(mode, sizeof(mode), "%o", folder.nMode & 07777u);
    std::string line = "rmdir " + std::string(mode) + ' ';
    journal_format::AppendTime(line, folder.times.nAccessSeconds, folder.times.nAccessNanoseconds);
    line += ' ';
    journal_format::AppendTime(line, folder.times.nModifySeconds, folder.times.nModifyNanoseconds);
    return line + ' ' + journal_format::Escape(folder.strFolder);
}

} // namespace velmora
