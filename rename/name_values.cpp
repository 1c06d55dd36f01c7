#include "name_values.h"

#include <cstdlib>
#include <memory>
#include <utility>

namespace velmora {
namespace {

constexpr unsigned Bit(BraceCode code) {
    return 1u << static_cast<unsigned>(code);
}

constexpr unsigned kDeviceCodes =
    Bit(BraceCode::Make) | Bit(BraceCode::Model) | Bit(BraceCode::Device);

// '/' parts a path everywhere; '\\' and the others are refused by the FAT,
// exFAT and NTFS volumes (cards, sticks) photos often stay on.
bool Refused(unsigned char c) {
    switch (c) {
    case '/':
    case '\\':
    case '<':
    case '>':
    case ':':
    case '"':
    case '|':
    case '?':
    case '*':
        return true;
    default:
        return c < 0x20 || c == 0x7F;
    }
}

void TrimBlanksAndDots(std::string& text) {
    const auto trimmed = [](char c) { return c == ' ' || c == '.'; };
    std::size_t end = text.size();
    while (end > 0 && trimmed(text[end - 1]))
        --end;
    std::size_t start = 0;
    while (start < end && trimmed(text[start]))
        ++start;
    text.erase(end);
    text.erase(0, start);
}

std::string_view OrWord(std::string_view value, std::string_view word) {
    return value.empty() ? word : value;
}

} // namespace

std::string_view CNameValues::Of(BraceCode code) const {
    switch (code) {
    case BraceCode::Make:
        return make;
    case BraceCode::Model:
        return model;
    case BraceCode::Device:
        return device;
    case BraceCode::Lens:
        return lens;
    case BraceCode::Name:
        return name;
    case BraceCode::Folder:
        return folder;
    default:
        return {};
    }
}

bool IsValueCode(BraceCode code) {
    switch (code) {
    case BraceCode::Make:
    case BraceCode::Model:
    case BraceCode::Device:
    case BraceCode::Lens:
    case BraceCode::Name:
    case BraceCode::Folder:
        return true;
    default:
        return false;
    }
}

void AssignCleanValue(std::string& out, std::string_view text) {
    out.assign(text);
    for (char& c : out) {
        if (Refused(static_cast<unsigned char>(c)))
            c = '_';
    }
    TrimBlanksAndDots(out);
    if (out.size() > kMaxValueBytes) {
        // Not before a continuation byte: that would split a character.
        std::size_t cut = kMaxValueBytes;
        while (cut > kMaxValueBytes - 3 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80)
            --cut;
        out.resize(cut);
        TrimBlanksAndDots(out);
    }
}

std::string_view StemOf(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    if (slash != std::string_view::npos)
        path.remove_prefix(slash + 1);
    return path.substr(0, path.rfind('.'));
}

void ReplaceValueCodes(std::string& format, const CNameValues& values) {
    if (format.find("%{") == std::string::npos)
        return;
    std::string out;
    std::size_t copied = 0;
    ForEachBraceCode(format, [&](std::size_t start, std::size_t end, const BraceCode* code) {
        if (code == nullptr || !IsValueCode(*code))
            return;
        out.append(format, copied, start - copied);
        for (const char c : values.Of(*code))
            out.append(c == '%' ? 2 : 1, c);
        copied = end;
    });
    out.append(format, copied);
    format = std::move(out);
}

unsigned ValueCodesIn(std::string_view format) {
    unsigned codes = 0;
    ForEachBraceCode(format, [&codes](std::size_t, std::size_t, const BraceCode* code) {
        if (code != nullptr && IsValueCode(*code))
            codes |= Bit(*code);
    });
    return codes;
}

std::string FolderNameOf(const std::string& folder) {
    std::string_view path = folder;
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    const std::string_view last = path.substr(path.rfind('/') + 1);
    if (last != "." && last != ".." && !path.empty())
        return std::string(last); // "/" gives the root's empty name
    const std::unique_ptr<char, decltype(&std::free)> real(
        realpath(folder.empty() ? "." : folder.c_str(), nullptr), &std::free);
    if (real == nullptr)
        return {};
    const std::string_view resolved = real.get();
    return std::string(resolved.substr(resolved.rfind('/') + 1));
}

CFolderValues::CFolderValues(const CNameFacts* facts, unsigned codes) : m_codes(codes) {
    if (facts == nullptr)
        return;
    if ((codes & kDeviceCodes) != 0 && facts->pDevices != nullptr) {
        m_devices.resize(facts->pDevices->size());
        for (std::size_t i = 0; i < m_devices.size(); ++i) {
            const CDeviceId& id = (*facts->pDevices)[i].id;
            CDeviceValues& values = m_devices[i];
            AssignCleanValue(values.strMake, id.strMake);
            AssignCleanValue(values.strModel, id.strModel);
            // The text Camera Clocks shows, without the serial number.
            const CDeviceId body{id.strMake, id.strModel, {}};
            if (body.Known())
                AssignCleanValue(values.strDevice, body.Text());
        }
    }
    if ((codes & Bit(BraceCode::Lens)) != 0 && facts->pLenses != nullptr) {
        m_lenses.resize(facts->pLenses->size());
        for (std::size_t i = 0; i < m_lenses.size(); ++i)
            AssignCleanValue(m_lenses[i], (*facts->pLenses)[i]);
    }
    AssignCleanValue(m_strFolder, facts->strFolder);
}

CNameValues CFolderValues::Of(const CListRow& row, std::string& name) const {
    CNameValues values;
    if (m_codes == 0)
        return values;
    if (row.nDeviceIndex < m_devices.size()) {
        const CDeviceValues& device = m_devices[row.nDeviceIndex];
        values.make = OrWord(device.strMake, kUnknownValue);
        values.model = OrWord(device.strModel, kUnknownValue);
        values.device = OrWord(device.strDevice, kUnknownValue);
    }
    if (row.nLensIndex < m_lenses.size())
        values.lens = OrWord(m_lenses[row.nLensIndex], kUnknownValue);
    values.folder = OrWord(m_strFolder, kUnnamedValue);
    if ((m_codes & Bit(BraceCode::Name)) != 0) {
        AssignCleanValue(name, StemOf(row.Text(0)));
        values.name = OrWord(name, kUnnamedValue);
    }
    return values;
}

} // namespace velmora
