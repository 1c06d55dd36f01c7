#include "takeout_sidecar.h"

#include "file_stream.h"
#include "ole_date.h"

#include <nlohmann/json.hpp>

#include <dirent.h>
#include <memory>

namespace velmora {
namespace {

constexpr std::string_view kJson = ".json";
constexpr std::string_view kSupplemental = ".supplemental-metadata";
// The export cuts a sidecar's whole name to one of these lengths.
constexpr std::size_t kShortestCut = 46;
constexpr std::size_t kLongestCut = 51;
// A sidecar is a flat record of a few levels; deeper nesting is no sidecar
// (and would cost the parser memory for nothing).
constexpr int kMaxDepth = 32;

// The edited copy's suffix in the export's languages.
constexpr std::string_view kEditedSuffixes[] = {
    "-edited",    "-bearbeitet", "-modifi\xC3\xA9", "-editado",  "-modificato",
    "-bewerkt",   "-redigeret",  "-redigerad",      "-redigert", "-muokattu",
    "-edytowane", "-upraveno",   "-szerkesztett",   "-editat",
};

bool EndsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// "(12)" at the end of `stem`: where it starts, else npos.
std::size_t CopyNumberStart(std::string_view stem) {
    if (stem.size() < 3 || stem.back() != ')')
        return std::string_view::npos;
    std::size_t open = stem.size() - 2;
    while (open > 0 && stem[open] >= '0' && stem[open] <= '9')
        --open;
    return stem[open] == '(' && open + 2 < stem.size() && open > 0 ? open : std::string_view::npos;
}

// The forms of one photo name, `number` ("(1)" or empty) just before ".json".
void AddForms(std::string_view stem, std::string_view extension, std::string_view number,
              std::vector<std::string>& names) {
    const std::string full = std::string(stem).append(extension);
    const std::string tail = std::string(number).append(kJson);
    const std::string supplemental = full + std::string(kSupplemental);
    names.push_back(supplemental + tail);
    names.push_back(full + tail);
    for (std::size_t n = supplemental.size() - 1; n > full.size(); --n)
        names.push_back(supplemental.substr(0, n) + tail);
    for (std::size_t limit = kShortestCut; limit <= kLongestCut; ++limit) {
        const std::size_t keep = limit - kJson.size();
        if (keep < full.size() && keep > stem.size())
            names.push_back(full.substr(0, keep) + tail);
    }
    // A name that is all extension has no "NAME.json": ".json" would be
    // every such file's.
    if (!stem.empty())
        names.push_back(std::string(stem).append(tail));
}

// Whether the brackets of `bytes` (outside strings) nest at most kMaxDepth.
bool ShallowEnough(std::string_view bytes) {
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxDepth)
                return false;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return true;
}

// "timestamp" of `time`: a text of digits as the export writes it, or a
// number; nullopt for anything else.
std::optional<std::int64_t> Timestamp(const nlohmann::json& record, const char* key) {
    const auto time = record.find(key);
    if (time == record.end() || !time->is_object())
        return std::nullopt;
    const auto stamp = time->find("timestamp");
    if (stamp == time->end())
        return std::nullopt;
    if (stamp->is_number_integer())
        return stamp->get<std::int64_t>();
    if (!stamp->is_string())
        return std::nullopt;
    const std::string& text = stamp->get_ref<const std::string&>();
    if (text.empty() || text.size() > 15 || text.find_first_not_of("0123456789") != text.npos)
        return std::nullopt;
    return std::stoll(text);
}

} // namespace

bool IsTakeoutSidecarName(std::string_view name) {
    return name.size() > kJson.size() && EndsWith(name, kJson);
}

void TakeoutSidecarNames(std::string_view photo, std::vector<std::string>& names) {
    names.clear();
    if (photo.empty())
        return;
    const std::size_t dot = photo.rfind('.');
    const std::string_view stem = photo.substr(0, dot);
    const std::string_view extension =
        dot == std::string_view::npos ? std::string_view() : photo.substr(dot);
    if (const std::size_t number = CopyNumberStart(stem); number != std::string_view::npos)
        AddForms(stem.substr(0, number), extension, stem.substr(number), names);
    AddForms(stem, extension, {}, names);
}

std::string TakeoutOriginalName(std::string_view photo) {
    const std::size_t dot = photo.rfind('.');
    const std::string_view stem = photo.substr(0, dot);
    for (const std::string_view suffix : kEditedSuffixes) {
        if (stem.size() > suffix.size() && EndsWith(stem, suffix))
            return std::string(stem.substr(0, stem.size() - suffix.size()))
                .append(dot == std::string_view::npos ? std::string_view() : photo.substr(dot));
    }
    return {};
}

CFoundDate ParseTakeoutJson(std::string_view bytes) {
    if (!ShallowEnough(bytes))
        return {};
    const nlohmann::json record = nlohmann::json::parse(bytes, nullptr, false);
    if (!record.is_object())
        return {};
    std::optional<std::int64_t> seconds = Timestamp(record, "photoTakenTime");
    if (!seconds)
        seconds = Timestamp(record, "creationTime");
    const std::optional<ole::DateFields> fields = seconds ? ole::FieldsOf(*seconds) : std::nullopt;
    if (!fields)
        return {};
    return {*fields, DateSource::TakeoutJson, true, 0};
}

std::string CTakeoutSidecars::FindOwn(std::string_view photo) {
    TakeoutSidecarNames(photo, m_candidates);
    for (const std::string& name : m_candidates) {
        if (m_names.count(name) != 0)
            return name;
    }
    return {};
}

void CTakeoutSidecars::SetNames(const std::vector<std::string>& names) {
    m_bListed = true;
    m_names.clear();
    for (const std::string& name : names) {
        if (IsTakeoutSidecarName(name))
            m_names.insert(name);
    }
}

std::string CTakeoutSidecars::Find(std::string_view photo) {
    if (!m_bListed) {
        m_bListed = true;
        const std::unique_ptr<DIR, int (*)(DIR*)> dir(
            opendir(m_strFolder.empty() ? "." : m_strFolder.c_str()), closedir);
        while (dir != nullptr) {
            const dirent* entry = readdir(dir.get());
            if (entry == nullptr)
                break;
            if (IsTakeoutSidecarName(entry->d_name))
                m_names.emplace(entry->d_name);
        }
    }
    if (m_names.empty())
        return {};
    std::string name = FindOwn(photo);
    if (name.empty()) {
        if (const std::string original = TakeoutOriginalName(photo); !original.empty())
            name = FindOwn(original);
    }
    return name;
}

CFoundDate CTakeoutSidecars::Date(std::string_view photo) {
    const std::string name = Find(photo);
    if (name.empty())
        return {};
    // The stream opens regular files alone: a FIFO named so is never waited on.
    CFileStream file;
    const std::string path = m_strFolder.empty() ? name : m_strFolder + '/' + name;
    if (!file.Open(path.c_str()) || file.Size() > kMaxBytes)
        return {};
    std::string bytes(file.Size(), '\0');
    bytes.resize(file.Read(bytes.data(), bytes.size()));
    return ParseTakeoutJson(bytes);
}

} // namespace velmora
