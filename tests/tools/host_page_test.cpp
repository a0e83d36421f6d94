#include "tools/tavrin-host/page_parser.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace host {
// Shows a run as its bytes in hex, so EUC-KR and UTF-8 failures read clearly.
void PrintTo(const TextRun& run, std::ostream* os) {
    *os << (run.utf8 ? "utf8[" : "page[");
    static const char kHex[] = "0123456789abcdef";
    for (unsigned char c : run.bytes) {
        if (c >= 0x20 && c < 0x7F) *os << c;
        else *os << "\\x" << kHex[c >> 4] << kHex[c & 15];
    }
    *os << "]";
}
}  // namespace host

namespace {

using host::Charset;
using host::Page;
using host::PageText;
using host::ParsePage;
using host::TextRun;

const char kClsid[] = "{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}";

PageText Bytes(const std::string& s) {
    if (s.empty()) return {};
    return {TextRun{s, false}};
}

std::string ObjectPage(const std::string& inside, const std::string& head = "") {
    return "<html><head>" + head + "</head><body><object classid=\"clsid:" + kClsid + "\">" +
           inside + "</object></body></html>";
}

std::vector<std::string> Names(const Page& page) {
    std::vector<std::string> names;
    for (const auto& p : page.params) names.push_back(host::JoinBytes(p.name));
    return names;
}

TEST(HostPage, TakesTheFirstObjectWithAClsidAndOnlyItsParams) {
    Page page = ParsePage(
        "<object data=\"movie.swf\"><param name=\"movie\" value=\"m\"></object>"
        "<object classid=\"java:Applet.class\"><param name=\"code\" value=\"c\"></object>"
        "<object classid=\"clsid:11111111-2222-3333-4444-555555555555\" width=\"320\" height=\"40px\">"
        "<param name=\"first\" value=\"1\"></object>"
        "<object classid=\"clsid:{99999999-2222-3333-4444-555555555555}\">"
        "<param name=\"second\" value=\"2\"></object>");
    ASSERT_TRUE(page.hasObject);
    EXPECT_EQ(page.classid, "{11111111-2222-3333-4444-555555555555}");  // braces added
    EXPECT_EQ(page.width, 320);
    EXPECT_EQ(page.height, 40);
    EXPECT_EQ(Names(page), std::vector<std::string>{"first"});
}

TEST(HostPage, ReadsParamsInEveryQuotingStyle) {
    struct Case {
        const char* markup;
        const char* name;
        const char* value;
    };
    const Case cases[] = {
        {"<param name=\"Url\" value=\"http://a/b?c=1\">", "Url", "http://a/b?c=1"},
        {"<param name='Url' value='say \"hi\"'>", "Url", "say \"hi\""},
        {"<param name=\"Url\" value=\"it's\">", "Url", "it's"},
        {"<param name=Url value=plain>", "Url", "plain"},
        {"<param name = \"Url\"   value =  'spaced' >", "Url", "spaced"},
        {"<param\nname=\"Url\"\tvalue=\"multi\nline\">", "Url", "multi\nline"},
        {"<param name=\"Url\" value=\"\">", "Url", ""},
        {"<param name=\"Url\">", "Url", ""},
        {"<param name=\"Url\" value=\"x\" />", "Url", "x"},
        {"<param name=Url value=x/>", "Url", "x/"},  // unquoted values keep a slash, as in browsers
        {"<param value=\"v\" name=\"Url\">", "Url", "v"},
        {"<param name=\"Url\" value=\"first\" value=\"second\">", "Url", "first"},
        {"<param name=\"Url\" value=\"a > b\">", "Url", "a > b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.markup);
        Page page = ParsePage(ObjectPage(c.markup));
        ASSERT_EQ(page.params.size(), 1u);
        EXPECT_EQ(page.params[0].name, Bytes(c.name));
        EXPECT_EQ(page.params[0].value, Bytes(c.value));
    }
}

TEST(HostPage, SkipsParamsWithoutAName) {
    Page page = ParsePage(ObjectPage("<param value=\"x\"><param name=\"\" value=\"y\"><param name=\"k\" value=\"z\">"));
    EXPECT_EQ(Names(page), std::vector<std::string>{"k"});
}

TEST(HostPage, DecodesEntitiesInUtf8Pages) {
    struct Case {
        const char* raw;
        std::string decoded;
    };
    const Case cases[] = {
        {"a&amp;b", "a&b"},
        {"&lt;&gt;&quot;&apos;", "<>\"'"},
        {"x&nbsp;y", "x\xC2\xA0y"},
        {"&#65;&#x42;&#X43;", "ABC"},
        {"&#54620;&#xAE00;", "\xED\x95\x9C\xEA\xB8\x80"},  // Hangul syllables as UTF-8
        {"&#x1F600;", "\xF0\x9F\x98\x80"},
        {"&#65 and &#x42", "A and B"},  // a missing ';' is forgiven for numbers
        {"&#0;&#xD800;&#x110000;", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"&#99999999999999999999;", "\xEF\xBF\xBD"},
        {"a & b &c; &amp &#; &#x;", "a & b &c; &amp &#; &#x;"},  // not entities: kept as written
        {"&amp;lt;", "&lt;"},  // decoded once only
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.raw);
        Page page = ParsePage(ObjectPage(std::string("<param name=\"v\" value=\"") + c.raw + "\">"));
        ASSERT_EQ(page.params.size(), 1u);
        EXPECT_EQ(page.params[0].value, Bytes(c.decoded));
    }
}

TEST(HostPage, EntitiesDecodeInNamesClassidAndTitle) {
    Page page = ParsePage(
        "<title>Tom &amp; Jerry</title>"
        "<object classid=\"clsid&#58;{AAAAAAAA-2222-3333-4444-555555555555}\">"
        "<param name=\"a&#98;c\" value=\"1\"></object>");
    EXPECT_EQ(page.title, Bytes("Tom & Jerry"));
    EXPECT_EQ(page.classid, "{AAAAAAAA-2222-3333-4444-555555555555}");
    EXPECT_EQ(Names(page), std::vector<std::string>{"abc"});
}

TEST(HostPage, KeepsEucKrBytesAndPutsWideEntitiesInUtf8Runs) {
    const std::string hangul = "\xC7\xD1\xB1\xDB";  // "han-geul" in EUC-KR
    const std::string uhc = "\x81\x41\xC6\x52";     // CP949 extension: trail bytes 'A' and 'R'
    Page page = ParsePage(
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=euc-kr\">"
        "<title>" + hangul + " &#54620; " + hangul + "</title>"
        "<object classid=\"clsid:" + kClsid + "\">"
        "<param name=\"Nick\" value=\"" + hangul + "\">"
        "<param name=\"Uhc\" value=\"" + uhc + "\">"
        "<param name=\"Mixed\" value=\"" + hangul + "&amp;&#54620;&#xAE00;&#65;" + hangul + "\">"
        "<param name=\"Space\" value=\"a&nbsp;b\">"
        "</object>");
    EXPECT_EQ(page.charset, Charset::EucKr);
    EXPECT_EQ(page.title, (PageText{{hangul + " ", false}, {"\xED\x95\x9C", true}, {" " + hangul, false}}));
    ASSERT_EQ(page.params.size(), 4u);
    EXPECT_EQ(page.params[0].value, Bytes(hangul));
    EXPECT_EQ(page.params[1].value, Bytes(uhc));
    EXPECT_EQ(page.params[2].value,
              (PageText{{hangul + "&", false}, {"\xED\x95\x9C\xEA\xB8\x80", true}, {"A" + hangul, false}}));
    EXPECT_EQ(page.params[3].value, (PageText{{"a", false}, {"\xC2\xA0", true}, {"b", false}}));
}

TEST(HostPage, DetectsTheCharset) {
    struct Case {
        std::string page;
        Charset charset;
        std::string declared;
        bool known;
    };
    const std::string body = ObjectPage("<param name=\"a\" value=\"b\">");
    const Case cases[] = {
        {body, Charset::Utf8, "", true},
        {"<meta charset=\"euc-kr\">" + body, Charset::EucKr, "euc-kr", true},
        {"<META CHARSET=EUC-KR>" + body, Charset::EucKr, "euc-kr", true},
        {"<meta charset=' utf-8 '>" + body, Charset::Utf8, "utf-8", true},
        {"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=euc-kr\">" + body,
         Charset::EucKr, "euc-kr", true},
        {"<meta content='text/html;charset=\"KS_C_5601-1987\"' http-equiv='content-type'>" + body,
         Charset::EucKr, "ks_c_5601-1987", true},
        {"<meta http-equiv=\"Content-Type\" content=\"text/html; charset = UTF-8\">" + body,
         Charset::Utf8, "utf-8", true},
        {"<meta name=\"keywords\" content=\"charset=euc-kr\">" + body, Charset::Utf8, "", true},
        {"<meta name=\"x\"><meta charset=\"euc-kr\"><meta charset=\"utf-8\">" + body, Charset::EucKr,
         "euc-kr", true},
        {body + "<meta charset=\"cp949\">", Charset::EucKr, "cp949", true},
        {"<meta charset=\"iso-8859-1\">" + body, Charset::Utf8, "iso-8859-1", false},
        {"\xEF\xBB\xBF<meta charset=\"euc-kr\">" + body, Charset::Utf8, "", true},  // the BOM wins
        {"<!-- <meta charset=\"euc-kr\"> -->" + body, Charset::Utf8, "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.page);
        Page page = ParsePage(c.page);
        EXPECT_EQ(page.charset, c.charset);
        EXPECT_EQ(page.declaredCharset, c.declared);
        EXPECT_EQ(page.charsetKnown, c.known);
        EXPECT_EQ(page.params.size(), 1u);
    }
}

TEST(HostPage, ReadsTheTitle) {
    struct Case {
        std::string page;
        std::string title;
    };
    const Case cases[] = {
        {"<title>Play</title>", "Play"},
        {"<TITLE>\n  Play \t now\n</TITLE>", "Play now"},
        {"<title>a <b>c</b></title>", "a <b>c</b>"},  // the title is text, not markup
        {"<title>One</title><title>Two</title>", "One"},
        {"<title></title>", ""},
        {"<html><body>no title</body></html>", ""},
        {"<title>open to the end", "open to the end"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.page);
        EXPECT_EQ(ParsePage(c.page).title, Bytes(c.title));
    }
}

TEST(HostPage, ReportsAPageWithoutAnObject) {
    const std::string pages[] = {
        "",
        "<html><body><param name=\"a\" value=\"b\"></body></html>",
        "<object data=\"x.swf\"><param name=\"a\" value=\"b\"></object>",
        "<object classid=\"\"></object>",
        "<!-- a > b <object classid=\"clsid:" + std::string(kClsid) + "\"></object> -->",
        "<script>document.write('<object classid=\"clsid:" + std::string(kClsid) + "\">')</script>",
    };
    for (const std::string& p : pages) {
        SCOPED_TRACE(p);
        Page page = ParsePage(p);
        EXPECT_FALSE(page.hasObject);
        EXPECT_TRUE(page.params.empty());
        EXPECT_TRUE(page.classid.empty());
    }
}

TEST(HostPage, IgnoresCommentsAndParamsOutsideTheObject) {
    Page page = ParsePage(
        "<param name=\"before\" value=\"x\">"
        "<!-- old -> <object classid=\"clsid:{BBBBBBBB-2222-3333-4444-555555555555}\"> -->"
        "<object classid=\"clsid:" + std::string(kClsid) + "\">"
        "<!-- <br> <param name=\"commented\" value=\"x\"> -->"
        "<param name=\"one\" value=\"1\">"
        "<object classid=\"clsid:{CCCCCCCC-2222-3333-4444-555555555555}\">"
        "<param name=\"nested\" value=\"x\"></object>"
        "<!doctype html><?xml stray?>"
        "<param name=\"two\" value=\"2\">"
        "</object>"
        "<param name=\"after\" value=\"x\">");
    EXPECT_EQ(page.classid, kClsid);
    EXPECT_EQ(Names(page), (std::vector<std::string>{"one", "two"}));
}

TEST(HostPage, IgnoresMarkupInsideScriptsAndStyles) {
    struct Case {
        std::string inside;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"<script>var s = '<param name=\"js\" value=\"x\">';</script><param name=a>", {"a"}},
        {"<SCRIPT type='text/javascript'>if (a < b) {}</SCRIPT ><param name=a>", {"a"}},
        {"<style>p:after { content: '<param name=\"css\">' }</style><param name=a>", {"a"}},
        {"<textarea><param name=\"text\"></textarea><param name=a>", {"a"}},
        {"<script>'</object>'</script><param name=a>", {"a"}},
        {"<script><param name=\"unterminated\">", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.inside);
        EXPECT_EQ(Names(ParsePage(ObjectPage(c.inside))), c.names);
    }
    Page page = ParsePage("<script>document.write('<meta charset=\"euc-kr\">')</script>" + ObjectPage(""));
    EXPECT_EQ(page.charset, Charset::Utf8);
    EXPECT_TRUE(page.declaredCharset.empty());
}

TEST(HostPage, ReadsTheClassidLoosely) {
    const char* classids[] = {
        "clsid:{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}",
        "CLSID:0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9",
        "  clsid: {0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9} ",
        "Clsid:\n0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9\n",
    };
    for (const char* id : classids) {
        SCOPED_TRACE(id);
        Page page = ParsePage(std::string("<object classid=\"") + id + "\"></object>");
        EXPECT_TRUE(page.hasObject);
        EXPECT_EQ(page.classid, kClsid);
    }
}

TEST(HostPage, ReadsUppercaseMarkup) {
    Page page = ParsePage(
        "<HTML><HEAD><TITLE>Go</TITLE></HEAD><BODY>"
        "<OBJECT ID=\"Ctl\" CLASSID=\"CLSID:" + std::string(kClsid) + "\" WIDTH=1 HEIGHT=2>"
        "<PARAM NAME=\"Server\" VALUE=\"Up\"><Param Name=lower Value=mixed>"
        "</OBJECT><PARAM NAME=\"after\" VALUE=\"x\"></BODY></HTML>");
    EXPECT_EQ(page.title, Bytes("Go"));
    EXPECT_EQ(page.classid, kClsid);
    EXPECT_EQ(page.width, 1);
    EXPECT_EQ(page.height, 2);
    ASSERT_EQ(page.params.size(), 2u);
    EXPECT_EQ(page.params[0].name, Bytes("Server"));  // names keep their case
    EXPECT_EQ(page.params[0].value, Bytes("Up"));
    EXPECT_EQ(page.params[1].name, Bytes("lower"));
    EXPECT_EQ(page.params[1].value, Bytes("mixed"));
}

TEST(HostPage, ReadsTheSizeOnlyInPixels) {
    struct Case {
        const char* attrs;
        int width;
        int height;
    };
    const Case cases[] = {
        {"width=\"300\" height=\"60\"", 300, 60},
        {"width=\" 300px \" height=\"60PX\"", 300, 60},
        {"width=\"50%\" height=\"auto\"", 0, 0},
        {"", 0, 0},
        {"width=\"99999999999\"", 0, 0},
        {"width=\"100000px\" height=\"100001\"", 100000, 0},
        {"width=\"0300\" height=\"12.5\"", 300, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attrs);
        Page page = ParsePage(std::string("<object classid=\"clsid:") + kClsid + "\" " + c.attrs + "></object>");
        EXPECT_EQ(page.width, c.width);
        EXPECT_EQ(page.height, c.height);
    }
}

TEST(HostPage, TakesParamsToTheEndWhenTheObjectIsNotClosed) {
    Page page = ParsePage("<object classid='clsid:" + std::string(kClsid) +
                          "'><param name=a value=1><div><param name=b value=2></div>");
    EXPECT_EQ(Names(page), (std::vector<std::string>{"a", "b"}));
}

TEST(HostPage, SurvivesTruncatedMarkup) {
    const std::string whole = ObjectPage("<param name=\"a\" value=\"b\">", "<title>t</title>");
    for (size_t n = 0; n <= whole.size(); ++n) {
        SCOPED_TRACE(n);
        Page page = ParsePage(std::string_view(whole).substr(0, n));
        EXPECT_LE(page.params.size(), 1u);
    }
}

}  // namespace
