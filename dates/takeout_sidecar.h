#pragma once

#include "found_date.h"

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

// The JSON files a photo export ("Takeout") writes beside each photo, which
// for edited, scanned and shared photos hold the only date: their names, as
// the export forms them, and the date they hold.
namespace velmora {

// Whether `name` may be such a sidecar: it ends in ".json".
bool IsTakeoutSidecarName(std::string_view name);

// The names the export may have given `photo`'s own sidecar, the most
// telling first: "NAME.EXT.supplemental-metadata.json", "NAME.EXT.json",
// the first cut short at any length ("NAME.EXT.suppl.json", "NAME.EXT..json"), the name cut
// to the export's limit (46 to 51 bytes with ".json"), "NAME.json"; for a
// numbered copy "NAME(1).EXT" also the export's "NAME.EXT(1).json" forms.
// Replaces `names`.
void TakeoutSidecarNames(std::string_view photo, std::vector<std::string>& names);

// The original an edited copy was made from ("IMG-edited.jpg", and the
// export's words in other languages: "-bearbeitet", "-modifié", ...):
// "IMG.jpg"; empty for a name that is no edited copy.
std::string TakeoutOriginalName(std::string_view photo);

// The time a sidecar's bytes hold: photoTakenTime.timestamp (seconds since
// 1970, UTC), else creationTime.timestamp, as fields of UTC with source
// TakeoutJson and offset 0. None for bytes that are no such JSON.
CFoundDate ParseTakeoutJson(std::string_view bytes);

// The sidecars of one folder, listed once when first asked for: a folder
// without any costs one listing, and each photo asked for then nothing.
class CTakeoutSidecars {
public:
    explicit CTakeoutSidecars(std::string folder) : m_strFolder(std::move(folder)) {}

    // The folder's "*.json" names, when its listing is at hand: the folder
    // is then not listed again.
    void SetNames(const std::vector<std::string>& names);

    // The sidecar that dates `photo`: its own, else (an edited copy) its
    // original's; empty when the folder holds neither.
    std::string Find(std::string_view photo);
    // The date of that sidecar; none without one, or when it is larger than
    // kMaxBytes, not a regular file, or no such JSON.
    CFoundDate Date(std::string_view photo);

    static constexpr std::size_t kMaxBytes = 1024 * 1024;

private:
    std::string FindOwn(std::string_view photo);

    const std::string m_strFolder;
    bool m_bListed = false;
    std::unordered_set<std::string> m_names; // the folder's "*.json" entries
    std::vector<std::string> m_candidates;   // reused from photo to photo
};

} // namespace velmora
