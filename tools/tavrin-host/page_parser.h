// Reads what the stand-in browser needs from a page: the first <object classid="clsid:...">
// element, its <param> children, the title and the charset. Portable: works on the page's
// bytes and leaves the conversion to UTF-16 to the Windows side.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace host {

enum class Charset { Utf8, EucKr };

// Text taken from the page, entities decoded. Runs hold bytes in the page's charset, except
// that a character written as an entity which the page's charset would need a code page table
// for (anything beyond ASCII in an EUC-KR page) goes into a run of UTF-8 bytes of its own.
// The Windows side converts each run with its own code page, so nothing is lost and the parser
// needs no EUC-KR table. A UTF-8 page always gives a single page-charset run.
struct TextRun {
    std::string bytes;
    bool utf8 = false;  // true: UTF-8 whatever the page's charset

    bool operator==(const TextRun& o) const { return bytes == o.bytes && utf8 == o.utf8; }
};
using PageText = std::vector<TextRun>;

// All bytes of the text, run after run; exact for ASCII content such as a classid or a size.
std::string JoinBytes(const PageText& text);

struct PageParam {
    PageText name;
    PageText value;
};

struct Page {
    Charset charset = Charset::Utf8;
    std::string declaredCharset;  // lower case, as the page names it; empty when it names none
    bool charsetKnown = true;     // false: the page names a charset we do not read (read as UTF-8)

    PageText title;  // whitespace collapsed and trimmed; empty when the page has no <title>

    bool hasObject = false;
    std::string classid;  // "{...}" as written after "clsid:", braces added when missing
    int width = 0;        // pixels from the object's attributes; 0 when absent or not in pixels
    int height = 0;
    std::vector<PageParam> params;  // in page order, duplicates kept
};

Page ParsePage(std::string_view bytes);

}  // namespace host
