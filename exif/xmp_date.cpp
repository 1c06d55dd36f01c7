#include "xmp_date.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

// What the scanner accepts: UTF-8 text with start tags, end tags and empty
// tags; attributes quoted with ' or "; comments, processing instructions,
// CDATA sections and declarations are skipped whole. Namespace declarations
// (xmlns:p="URI", and xmlns="URI" for unprefixed elements) hold for the
// element that makes them and its descendants. A property counts as an
// attribute of any element, or as an element whose content is text alone
// followed by its own end tag. Entity references are not expanded, so a
// value that uses them is not a date. Anything the scanner cannot read is
// skipped to the next '>'; a packet cut anywhere gives what was complete
// before the cut.
namespace velmora {
namespace {

constexpr std::string_view kExifUri = "http://ns.adobe.com/exif/1.0/";
constexpr std::string_view kPhotoshopUri = "http://ns.adobe.com/photoshop/1.0/";
constexpr std::string_view kXmpUri = "http://ns.adobe.com/xap/1.0/";

// Longer values are no dates; the limit keeps the date reader's work small.
constexpr std::size_t kMaxValueLength = 64;
// Real packets declare a dozen or two. Inside an element whose
// declarations did not fit, no prefix is resolved: one of them might have
// rebound it.
constexpr std::size_t kMaxBindings = 64;
constexpr std::size_t kNoDepth = SIZE_MAX;

enum class Ns : std::uint8_t { Other, Exif, Photoshop, Xmp };

enum Property : std::size_t { kOriginal, kDateCreated, kCreateDate, kPropertyCount };

struct Binding {
    std::string_view prefix;
    Ns ns = Ns::Other;
    std::size_t depth = 0;
};

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool EndsName(char c) {
    return IsSpace(c) || c == '/' || c == '>' || c == '=';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

Ns NamespaceOf(std::string_view uri) {
    if (uri == kExifUri)
        return Ns::Exif;
    if (uri == kPhotoshopUri)
        return Ns::Photoshop;
    if (uri == kXmpUri)
        return Ns::Xmp;
    return Ns::Other;
}

class CXmpScanner {
public:
    explicit CXmpScanner(std::string_view text) : m_text(text) {}

    // Scans the whole packet; the found dates are in Date().
    void Run();
    const CFoundDate& Date(Property property) const { return m_dates[property]; }

private:
    struct Attribute {
        std::string_view name;
        std::string_view value;
    };

    bool StartsWith(std::size_t pos, std::string_view text) const {
        return m_text.substr(std::min(pos, m_text.size())).starts_with(text);
    }
    // Moves past `terminator` from pos; false when the packet ends first.
    bool SkipPast(std::size_t& pos, std::string_view terminator) const {
        const std::size_t end = m_text.find(terminator, pos);
        if (end == std::string_view::npos)
            return false;
        pos = end + terminator.size();
        return true;
    }
    std::string_view Name(std::size_t& pos) const {
        const std::size_t start = pos;
        while (pos < m_text.size() && !EndsName(m_text[pos]))
            ++pos;
        return m_text.substr(start, pos - start);
    }
    void SkipSpace(std::size_t& pos) const {
        while (pos < m_text.size() && IsSpace(m_text[pos]))
            ++pos;
    }
    // One attribute at pos; false at the end of the tag, at the end of the
    // packet or at anything that is not an attribute.
    bool NextAttribute(std::size_t& pos, Attribute& attribute) const;
    // Reads the start tag whose name begins at pos; pos ends past its '>'.
    // False when the packet ends inside it.
    bool StartTag(std::size_t& pos);
    void EndTag(std::size_t& pos);
    // Ends the bindings of the element at `depth`.
    void Unbind(std::size_t depth);
    // The namespace of a prefix in the bindings now in force.
    Ns Resolve(std::string_view prefix) const;
    // Which property a qualified name is; kPropertyCount for none.
    // Unprefixed names take the default namespace only for elements.
    Property PropertyOf(std::string_view qname, bool element) const;
    void Offer(Property property, std::string_view value);

    std::string_view m_text;
    std::array<Binding, kMaxBindings> m_bindings{};
    std::size_t m_bindingCount = 0;
    std::size_t m_depth = 0;
    std::size_t m_droppedDepth = kNoDepth; // the outermost element that lost a binding
    std::array<CFoundDate, kPropertyCount> m_dates{};
};

bool CXmpScanner::NextAttribute(std::size_t& pos, Attribute& attribute) const {
    SkipSpace(pos);
    attribute.name = Name(pos);
    if (attribute.name.empty())
        return false;
    SkipSpace(pos);
    if (pos >= m_text.size() || m_text[pos] != '=')
        return false;
    ++pos;
    SkipSpace(pos);
    if (pos >= m_text.size() || (m_text[pos] != '"' && m_text[pos] != '\''))
        return false;
    const char quote = m_text[pos++];
    const std::size_t end = m_text.find(quote, pos);
    if (end == std::string_view::npos)
        return false;
    attribute.value = m_text.substr(pos, end - pos);
    pos = end + 1;
    return true;
}

Ns CXmpScanner::Resolve(std::string_view prefix) const {
    if (m_droppedDepth != kNoDepth)
        return Ns::Other;
    for (std::size_t i = m_bindingCount; i-- > 0;) {
        if (m_bindings[i].prefix == prefix)
            return m_bindings[i].ns;
    }
    return Ns::Other;
}

Property CXmpScanner::PropertyOf(std::string_view qname, bool element) const {
    const std::size_t colon = qname.find(':');
    if (colon == std::string_view::npos && !element)
        return kPropertyCount;
    const std::string_view prefix =
        colon == std::string_view::npos ? std::string_view() : qname.substr(0, colon);
    const std::string_view local =
        colon == std::string_view::npos ? qname : qname.substr(colon + 1);
    if (local != "DateTimeOriginal" && local != "DateCreated" && local != "CreateDate")
        return kPropertyCount;
    const Ns ns = Resolve(prefix);
    if (ns == Ns::Exif && local == "DateTimeOriginal")
        return kOriginal;
    if (ns == Ns::Photoshop && local == "DateCreated")
        return kDateCreated;
    if (ns == Ns::Xmp && local == "CreateDate")
        return kCreateDate;
    return kPropertyCount;
}

void CXmpScanner::Offer(Property property, std::string_view value) {
    value = Trim(value);
    if (value.size() > kMaxValueLength)
        return;
    static constexpr DateSource kSources[] = {DateSource::XmpOriginal, DateSource::XmpDateCreated,
                                              DateSource::XmpCreateDate};
    const CFoundDate date = ParseDateText(value, kSources[property]);
    m_dates[property] = PreferDate(m_dates[property], date);
}

bool CXmpScanner::StartTag(std::size_t& pos) {
    const std::string_view qname = Name(pos);
    if (qname.empty())
        return true; // a stray '<': scanning goes on after it
    const std::size_t depth = m_depth + 1;
    const std::size_t attributesStart = pos;

    // The tag's own declarations hold for its attributes, wherever they
    // stand in it: bind them first.
    Attribute attribute;
    while (NextAttribute(pos, attribute)) {
        std::string_view prefix;
        if (attribute.name == "xmlns")
            prefix = {};
        else if (attribute.name.starts_with("xmlns:"))
            prefix = attribute.name.substr(6);
        else
            continue;
        if (m_bindingCount == m_bindings.size()) {
            m_droppedDepth = std::min(m_droppedDepth, depth);
            continue;
        }
        m_bindings[m_bindingCount++] = {prefix, NamespaceOf(attribute.value), depth};
    }
    const std::size_t attributesEnd = pos;
    for (pos = attributesStart; pos < attributesEnd && NextAttribute(pos, attribute);) {
        const Property property = PropertyOf(attribute.name, false);
        if (property != kPropertyCount)
            Offer(property, attribute.value);
    }

    pos = attributesEnd;
    const std::size_t close = m_text.find('>', pos);
    if (close == std::string_view::npos)
        return false;
    pos = close + 1;
    if (close > 0 && m_text[close - 1] == '/') {
        // An empty element: its bindings end with it.
        Unbind(depth);
        return true;
    }
    m_depth = depth;

    const Property property = PropertyOf(qname, true);
    if (property == kPropertyCount)
        return true;
    // Text content, then this element's own end tag: anything else (child
    // elements, a cut packet) is no value.
    const std::size_t lt = m_text.find('<', pos);
    if (lt == std::string_view::npos)
        return false;
    std::size_t after = lt + 1;
    if (!StartsWith(after, "/"))
        return true;
    ++after;
    if (Name(after) != qname)
        return true;
    SkipSpace(after);
    if (StartsWith(after, ">"))
        Offer(property, m_text.substr(pos, lt - pos));
    return true;
}

void CXmpScanner::Unbind(std::size_t depth) {
    while (m_bindingCount > 0 && m_bindings[m_bindingCount - 1].depth >= depth)
        --m_bindingCount;
    if (m_droppedDepth >= depth)
        m_droppedDepth = kNoDepth;
}

void CXmpScanner::EndTag(std::size_t& pos) {
    // An end tag without a start tag ends nothing.
    if (m_depth > 0) {
        Unbind(m_depth);
        --m_depth;
    }
    const std::size_t close = m_text.find('>', pos);
    pos = close == std::string_view::npos ? m_text.size() : close + 1;
}

void CXmpScanner::Run() {
    std::size_t pos = 0;
    for (;;) {
        const std::size_t lt = m_text.find('<', pos);
        if (lt == std::string_view::npos)
            return;
        pos = lt + 1;
        if (StartsWith(pos, "!--")) {
            if (!SkipPast(pos, "-->"))
                return;
        } else if (StartsWith(pos, "![CDATA[")) {
            if (!SkipPast(pos, "]]>"))
                return;
        } else if (StartsWith(pos, "?")) {
            if (!SkipPast(pos, "?>"))
                return;
        } else if (StartsWith(pos, "!")) {
            if (!SkipPast(pos, ">"))
                return;
        } else if (StartsWith(pos, "/")) {
            EndTag(pos);
        } else if (!StartTag(pos)) {
            return;
        }
    }
}

} // namespace

CFoundDate ParseXmpDate(std::string_view packet) {
    CXmpScanner scanner(packet);
    scanner.Run();
    return PreferDate(PreferDate(scanner.Date(kOriginal), scanner.Date(kDateCreated)),
                      scanner.Date(kCreateDate));
}

} // namespace velmora
