#include "tools/tavrin-host/page_parser.h"

#include <cstdint>
#include <optional>
#include <utility>

#include "trust/decimal.h"

namespace host {
namespace {

// Both charsets are ASCII-compatible and every byte of an EUC-KR (CP949) character except
// some trail bytes is >= 0x80; those trail bytes are letters, never markup. So the markup can
// be read byte by byte whatever the charset.

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string ToLower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = Lower(c);
    return out;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (Lower(s[i]) != Lower(prefix[i])) return false;
    return true;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
    return s;
}

void AppendBytes(PageText& text, std::string_view bytes, bool utf8) {
    if (bytes.empty()) return;
    if (text.empty() || text.back().utf8 != utf8) text.push_back(TextRun{std::string(), utf8});
    text.back().bytes.append(bytes);
}

std::string EncodeUtf8(char32_t cp) {
    std::string s;
    if (cp < 0x80) {
        s += static_cast<char>(cp);
    } else if (cp < 0x800) {
        s += static_cast<char>(0xC0 | (cp >> 6));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        s += static_cast<char>(0xE0 | (cp >> 12));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        s += static_cast<char>(0xF0 | (cp >> 18));
        s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return s;
}

void AppendCodePoint(PageText& text, char32_t cp, Charset charset) {
    bool pageHoldsIt = cp < 0x80 || charset == Charset::Utf8;
    AppendBytes(text, EncodeUtf8(cp), !pageHoldsIt);
}

// The entity at s (which starts with '&'): its character and its length, if it is one we know.
std::optional<std::pair<char32_t, size_t>> ReadEntity(std::string_view s) {
    if (s.size() >= 3 && s[1] == '#') {
        bool hex = s[2] == 'x' || s[2] == 'X';
        size_t i = hex ? 3 : 2;
        size_t start = i;
        uint32_t value = 0;
        bool tooBig = false;
        for (; i < s.size(); ++i) {
            char c = s[i];
            uint32_t digit;
            if (IsDigit(c)) digit = static_cast<uint32_t>(c - '0');
            else if (hex && Lower(c) >= 'a' && Lower(c) <= 'f') digit = static_cast<uint32_t>(Lower(c) - 'a' + 10);
            else break;
            value = value * (hex ? 16 : 10) + digit;
            if (value > 0x10FFFF) {
                tooBig = true;
                value = 0x110000;  // stays above the limit without overflowing
            }
        }
        if (i == start) return std::nullopt;
        if (i < s.size() && s[i] == ';') ++i;  // browsers forgive a missing ';'
        char32_t cp = value;
        if (tooBig || cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
        return std::make_pair(cp, i);
    }
    static const std::pair<std::string_view, char32_t> kNamed[] = {
        {"amp;", '&'}, {"lt;", '<'}, {"gt;", '>'}, {"quot;", '"'}, {"apos;", '\''}, {"nbsp;", 0xA0},
    };
    for (const auto& [name, cp] : kNamed)
        if (s.substr(1, name.size()) == name) return std::make_pair(cp, name.size() + 1);
    return std::nullopt;
}

PageText Decode(std::string_view raw, Charset charset) {
    PageText text;
    size_t plainStart = 0;
    for (size_t i = 0; i < raw.size();) {
        if (raw[i] != '&') { ++i; continue; }
        auto entity = ReadEntity(raw.substr(i));
        if (!entity) { ++i; continue; }
        AppendBytes(text, raw.substr(plainStart, i - plainStart), false);
        AppendCodePoint(text, entity->first, charset);
        i += entity->second;
        plainStart = i;
    }
    AppendBytes(text, raw.substr(plainStart), false);
    return text;
}

// As a browser does for document.title: runs of ASCII whitespace become one blank, none at
// either end. UTF-8 runs hold no ASCII, so only page-charset runs are touched.
PageText CollapseSpaces(const PageText& text) {
    PageText out;
    bool pendingSpace = false;
    for (const TextRun& run : text) {
        if (run.utf8) {
            if (pendingSpace && !out.empty()) AppendBytes(out, " ", false);
            pendingSpace = false;
            AppendBytes(out, run.bytes, true);
            continue;
        }
        for (char c : run.bytes) {
            if (IsSpace(c)) { pendingSpace = true; continue; }
            if (pendingSpace && !out.empty()) AppendBytes(out, " ", false);
            pendingSpace = false;
            AppendBytes(out, std::string_view(&c, 1), false);
        }
    }
    return out;
}

struct Attribute {
    std::string name;  // lower case
    std::string_view raw;
};

struct Tag {
    std::string name;  // lower case
    bool end = false;
    std::vector<Attribute> attributes;

    // The raw value of the first attribute of that name (later duplicates are ignored).
    std::optional<std::string_view> Get(std::string_view attrName) const {
        for (const Attribute& a : attributes)
            if (a.name == attrName) return a.raw;
        return std::nullopt;
    }
};

class Scanner {
public:
    explicit Scanner(std::string_view s) : m_s(s) {}

    bool AtEnd() const { return m_pos >= m_s.size(); }

    // Moves to the next tag and reads it; comments, declarations and text are passed over.
    std::optional<Tag> NextTag() {
        while (m_pos < m_s.size()) {
            size_t lt = m_s.find('<', m_pos);
            if (lt == std::string_view::npos) break;
            m_pos = lt;
            std::string_view rest = m_s.substr(m_pos);
            if (rest.substr(0, 4) == "<!--") {
                size_t close = m_s.find("-->", m_pos + 4);
                m_pos = close == std::string_view::npos ? m_s.size() : close + 3;
            } else if (rest.size() >= 2 && (rest[1] == '!' || rest[1] == '?')) {
                SkipPast('>');
            } else if (rest.size() >= 2 && IsAlpha(rest[1])) {
                ++m_pos;
                return ReadTag(false);
            } else if (rest.size() >= 3 && rest[1] == '/' && IsAlpha(rest[2])) {
                m_pos += 2;
                return ReadTag(true);
            } else {
                ++m_pos;  // a lone '<' is text
            }
        }
        m_pos = m_s.size();
        return std::nullopt;
    }

    // The raw text up to the end tag of that name, and the position after that end tag.
    std::string_view TextUntilEndTag(std::string_view name) {
        size_t start = m_pos;
        for (size_t i = m_pos; (i = m_s.find("</", i)) != std::string_view::npos; ++i) {
            std::string_view after = m_s.substr(i + 2);
            if (StartsWithNoCase(after, name) &&
                (after.size() == name.size() || IsSpace(after[name.size()]) ||
                 after[name.size()] == '>' || after[name.size()] == '/')) {
                m_pos = i;
                std::string_view text = m_s.substr(start, i - start);
                SkipPast('>');
                return text;
            }
        }
        m_pos = m_s.size();
        return m_s.substr(start);
    }

private:
    void SkipPast(char c) {
        size_t at = m_s.find(c, m_pos);
        m_pos = at == std::string_view::npos ? m_s.size() : at + 1;
    }

    void SkipSpaces() {
        while (m_pos < m_s.size() && IsSpace(m_s[m_pos])) ++m_pos;
    }

    Tag ReadTag(bool end) {
        Tag tag;
        tag.end = end;
        size_t start = m_pos;
        while (m_pos < m_s.size() && !IsSpace(m_s[m_pos]) && m_s[m_pos] != '/' && m_s[m_pos] != '>') ++m_pos;
        tag.name = ToLower(m_s.substr(start, m_pos - start));
        for (;;) {
            while (m_pos < m_s.size() && (IsSpace(m_s[m_pos]) || m_s[m_pos] == '/')) ++m_pos;
            if (m_pos >= m_s.size()) break;
            if (m_s[m_pos] == '>') { ++m_pos; break; }
            // The first character of a name may be '='; after that '=' ends it.
            size_t nameStart = m_pos++;
            while (m_pos < m_s.size() && !IsSpace(m_s[m_pos]) && m_s[m_pos] != '/' && m_s[m_pos] != '>' &&
                   m_s[m_pos] != '=')
                ++m_pos;
            Attribute attr{ToLower(m_s.substr(nameStart, m_pos - nameStart)), {}};
            SkipSpaces();
            if (m_pos < m_s.size() && m_s[m_pos] == '=') {
                ++m_pos;
                SkipSpaces();
                attr.raw = ReadValue();
            }
            tag.attributes.push_back(std::move(attr));
        }
        return tag;
    }

    std::string_view ReadValue() {
        if (m_pos >= m_s.size()) return {};
        char q = m_s[m_pos];
        if (q == '"' || q == '\'') {
            size_t close = m_s.find(q, m_pos + 1);
            if (close == std::string_view::npos) close = m_s.size();
            std::string_view v = m_s.substr(m_pos + 1, close - m_pos - 1);
            m_pos = close < m_s.size() ? close + 1 : close;
            return v;
        }
        size_t start = m_pos;
        while (m_pos < m_s.size() && !IsSpace(m_s[m_pos]) && m_s[m_pos] != '>') ++m_pos;
        return m_s.substr(start, m_pos - start);
    }

    std::string_view m_s;
    size_t m_pos = 0;
};

// "200" and "200px" are pixels; "50%" or anything else is not a size we can use.
int ReadPixels(std::string_view raw) {
    raw = Trim(raw);
    size_t i = 0;
    while (i < raw.size() && IsDigit(raw[i])) ++i;
    uint64_t value = 0;
    if (!tavrin::ParseDecimalDigits(raw.substr(0, i), 19, &value) || value > 100000) return 0;
    std::string_view unit = Trim(raw.substr(i));
    if (!unit.empty() && ToLower(unit) != "px") return 0;
    return static_cast<int>(value);
}

// The charset named in a Content-Type value such as "text/html; charset=euc-kr".
std::string CharsetFromContentType(std::string_view content) {
    std::string lower = ToLower(content);
    size_t at = lower.find("charset");
    if (at == std::string::npos) return {};
    size_t i = at + 7;
    while (i < lower.size() && IsSpace(lower[i])) ++i;
    if (i >= lower.size() || lower[i] != '=') return {};
    ++i;
    while (i < lower.size() && IsSpace(lower[i])) ++i;
    if (i < lower.size() && (lower[i] == '"' || lower[i] == '\'')) ++i;
    size_t start = i;
    while (i < lower.size() && !IsSpace(lower[i]) && lower[i] != ';' && lower[i] != '"' &&
           lower[i] != '\'')
        ++i;
    return lower.substr(start, i - start);
}

std::optional<Charset> CharsetFromLabel(std::string_view label) {
    static const std::string_view kUtf8[] = {"utf-8", "utf8", "unicode-1-1-utf-8"};
    // The labels browsers take for EUC-KR, which they read as Windows code page 949.
    static const std::string_view kEucKr[] = {
        "euc-kr",     "cp949",     "windows-949", "x-windows-949", "ks_c_5601-1987",
        "ks_c_5601-1989", "ksc5601", "ksc_5601",  "korean",        "csksc56011987",
        "iso-ir-149",
    };
    for (std::string_view l : kUtf8)
        if (label == l) return Charset::Utf8;
    for (std::string_view l : kEucKr)
        if (label == l) return Charset::EucKr;
    return std::nullopt;
}

// Elements whose content is text, never markup, even when it looks like tags.
bool IsRawText(const std::string& name) {
    return name == "script" || name == "style" || name == "textarea" || name == "xmp";
}

// The charset a <meta> tag declares, lower case, or empty.
std::string DeclaredCharset(const Tag& meta) {
    if (auto cs = meta.Get("charset")) return ToLower(Trim(*cs));
    auto equiv = meta.Get("http-equiv");
    auto content = meta.Get("content");
    if (equiv && content && ToLower(Trim(*equiv)) == "content-type")
        return CharsetFromContentType(*content);
    return {};
}

}  // namespace

std::string JoinBytes(const PageText& text) {
    std::string out;
    for (const TextRun& run : text) out += run.bytes;
    return out;
}

Page ParsePage(std::string_view bytes) {
    Page page;
    bool bom = bytes.substr(0, 3) == "\xEF\xBB\xBF";
    if (bom) bytes.remove_prefix(3);

    // The charset first, since every text decoded below depends on it. Markup reads the same
    // in both charsets, so one pass over the tags finds it wherever the <meta> is.
    if (!bom) {
        Scanner scan(bytes);
        while (auto tag = scan.NextTag()) {
            if (tag->end) continue;
            if (IsRawText(tag->name)) scan.TextUntilEndTag(tag->name);
            if (tag->name != "meta") continue;
            std::string declared = DeclaredCharset(*tag);
            if (declared.empty()) continue;
            page.declaredCharset = declared;
            auto cs = CharsetFromLabel(declared);
            page.charsetKnown = cs.has_value();
            page.charset = cs.value_or(Charset::Utf8);
            break;
        }
    }

    bool titleSeen = false;
    int objectDepth = 0;  // > 0 while inside the chosen object; 1 = its direct content
    Scanner scan(bytes);
    while (auto tag = scan.NextTag()) {
        const std::string& name = tag->name;
        if (!tag->end && IsRawText(name)) {
            scan.TextUntilEndTag(name);
        } else if (!tag->end && name == "title") {
            std::string_view raw = scan.TextUntilEndTag("title");
            if (!titleSeen) page.title = CollapseSpaces(Decode(raw, page.charset));
            titleSeen = true;
        } else if (name == "object" && objectDepth > 0) {
            objectDepth += tag->end ? -1 : 1;
        } else if (name == "object" && !tag->end && !page.hasObject) {
            auto classid = tag->Get("classid");
            if (!classid) continue;
            std::string decoded = JoinBytes(Decode(*classid, page.charset));
            std::string_view id = Trim(decoded);
            if (!StartsWithNoCase(id, "clsid:")) continue;
            std::string guid(Trim(id.substr(6)));
            page.classid = (!guid.empty() && guid.front() == '{') ? guid : "{" + guid + "}";
            page.hasObject = true;
            if (auto w = tag->Get("width")) page.width = ReadPixels(JoinBytes(Decode(*w, page.charset)));
            if (auto h = tag->Get("height")) page.height = ReadPixels(JoinBytes(Decode(*h, page.charset)));
            objectDepth = 1;
        } else if (name == "param" && !tag->end && objectDepth == 1) {
            auto paramName = tag->Get("name");
            if (!paramName || paramName->empty()) continue;
            auto value = tag->Get("value");
            page.params.push_back(PageParam{Decode(*paramName, page.charset),
                                            Decode(value.value_or(std::string_view()), page.charset)});
        }
    }
    return page;
}

}  // namespace host
