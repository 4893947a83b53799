#include <gtest/gtest.h>

#include <string>

#include "help/Sitemap.h"

namespace {

using namespace tz::help;

TEST(SitemapTest, NestedContents) {
    const std::string hhc = R"(<HTML><BODY>
<OBJECT type="text/site properties"><param name="Name" value="ignored"></OBJECT>
<UL>
 <LI> <OBJECT type="text/sitemap"><param name="Name" value="Uno"><param name="Local" value="uno.htm"></OBJECT>
 <UL>
  <li><object TYPE='text/sitemap'><PARAM NAME=name VALUE="Uno &amp; medio"><param name="local" value="sub/a.htm#x"></object>
  <UL><LI><OBJECT type="text/sitemap"><param name="Name" value="Hondo"></OBJECT></UL>
 </UL>
 <LI> <OBJECT type="text/sitemap"><param name="Name" value="Dos"><param name="Local" value="dos.htm"><param name="Local" value="otro.htm"></OBJECT>
</UL></BODY></HTML>)";
    const auto toc = parseSitemap(hhc);
    ASSERT_EQ(toc.size(), 2u);
    EXPECT_EQ(toc[0].name, "Uno");
    EXPECT_EQ(toc[0].local, "uno.htm");
    ASSERT_EQ(toc[0].children.size(), 1u);
    EXPECT_EQ(toc[0].children[0].name, "Uno & medio");
    EXPECT_EQ(toc[0].children[0].local, "sub/a.htm#x");
    ASSERT_EQ(toc[0].children[0].children.size(), 1u);
    EXPECT_EQ(toc[0].children[0].children[0].name, "Hondo");
    EXPECT_EQ(toc[1].name, "Dos");
    EXPECT_EQ(toc[1].local, "dos.htm");  // the first Local counts
    EXPECT_TRUE(toc[1].children.empty());
}

TEST(SitemapTest, EncodingsAndEntities) {
    // Windows-1252 bytes (ó = 0xF3) and references give the same UTF-8 text.
    const std::string cp1252 =
        "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"Codificaci\xF3n\">"
        "</OBJECT></UL>";
    const std::string utf8 =
        "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"Codificación\">"
        "</OBJECT></UL>";
    const std::string refs =
        "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"Codificaci&oacute;n\">"
        "</OBJECT><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" "
        "value=\"Codificaci&#243;n\">"
        "</OBJECT></UL>";
    EXPECT_EQ(parseSitemap(cp1252).at(0).name, "Codificación");
    EXPECT_EQ(parseSitemap(utf8).at(0).name, "Codificación");
    const auto r = parseSitemap(refs);
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].name, "Codificación");
    EXPECT_EQ(r[1].name, "Codificación");
}

TEST(SitemapTest, DamagedFilesGiveWhatCanBeRead) {
    const std::string cases[] = {
        "",
        "<",
        "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"sin cerrar",
        "</UL></UL><UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" "
        "value=\"A\"></OBJECT>",
        "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"A\"></OBJECT><!-- x",
        "<UL><LI><OBJECT type=\"text/sitemap\"><param name=Name value=A '></OBJECT>",
        std::string(5000, '<'),
        std::string("\0\xFF\xFE<UL>\0", 7),
    };
    for (const std::string& c : cases) {
        const auto entries = parseSitemap(c);
        for (const auto& e : entries) EXPECT_LE(e.name.size(), c.size());
    }
    EXPECT_EQ(parseSitemap(cases[3]).at(0).name, "A");
    EXPECT_EQ(parseSitemap(cases[4]).at(0).name, "A");
    EXPECT_EQ(parseSitemap(cases[5]).at(0).name, "A");
}

TEST(SitemapTest, VeryDeepNestingIsFlattened) {
    std::string deep;
    for (int i = 0; i < 20000; ++i)
        deep += "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"n\"></OBJECT>";
    const auto toc = parseSitemap(deep);
    int depth = 0;
    const std::vector<SitemapEntry>* level = &toc;
    while (!level->empty()) {
        ++depth;
        level = &level->back().children;
    }
    EXPECT_LE(depth, kMaxSitemapDepth + 1);
    EXPECT_GE(depth, kMaxSitemapDepth - 1);
}

TEST(DecodeEntitiesTest, References) {
    const std::pair<const char*, const char*> cases[] = {
        {"a &amp; b", "a & b"},
        {"&lt;&gt;&quot;", "<>\""},
        {"A&ntilde;o", "Año"},
        {"&#241;&#xF1;&#XF1;", "ñññ"},
        {"&#128;", "€"},  // 128 is the euro of Windows-1252
        {"&desconocido; &", "&desconocido; &"},
        {"&#0; &#xD800; &#x110000;", "&#0; &#xD800; &#x110000;"},
        {"&#; &#x;", "&#; &#x;"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(decodeEntities(in), out) << in;
}

TEST(Utf8Test, ValidOrRead1252) {
    EXPECT_TRUE(isValidUtf8("año"));
    EXPECT_TRUE(isValidUtf8(""));
    EXPECT_FALSE(isValidUtf8("a\xF1o"));        // Windows-1252 ñ
    EXPECT_FALSE(isValidUtf8("\xC3"));          // cut short
    EXPECT_FALSE(isValidUtf8("\xC0\x80"));      // overlong
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));  // surrogate
    EXPECT_EQ(helpTextToUtf8("a\xF1o \x80"), "año €");
    EXPECT_EQ(helpTextToUtf8("\xEF\xBB\xBF"
                             "año"),
              "año");
}

struct LinkCase {
    const char* link;
    const char* base;
    const char* path;
    const char* fragment;
    bool external;
};

TEST(ArchiveLinkTest, ResolvedAgainstThePage) {
    const LinkCase cases[] = {
        {"intro.htm", "/", "/intro.htm", "", false},
        {"b.htm", "/sub/a.htm", "/sub/b.htm", "", false},
        {"../intro.htm#arriba", "/sub/a.htm", "/intro.htm", "arriba", false},
        {"../../../x.htm", "/sub/a.htm", "/x.htm", "", false},
        {"/abs/x.htm", "/sub/a.htm", "/abs/x.htm", "", false},
        {"./img/p.png", "/sub/a.htm", "/sub/img/p.png", "", false},
        {"sub\\b.htm", "/", "/sub/b.htm", "", false},
        {"#abajo", "/sub/a.htm", "/sub/a.htm", "abajo", false},
        {"mi%20p%C3%A1gina.htm?x=1", "/", "/mi página.htm", "", false},
        {"ms-its:XEL.CHM::/idioma.htm", "/sub/a.htm", "/idioma.htm", "", false},
        {"mk:@MSITStore:C:\\ZDXM7\\XEL.CHM::/sub/c.htm#s", "/", "/sub/c.htm", "s", false},
        {"  intro.htm  ", "/", "/intro.htm", "", false},
        {"http://example.org/a.htm", "/", "", "", true},
        {"mailto:jefatura@example.org", "/", "", "", true},
        {"C:\\doc\\x.htm", "/", "/C:/doc/x.htm", "", false},  // a drive is no scheme
    };
    for (const auto& c : cases) {
        const ArchiveLink l = resolveArchiveLink(c.link, c.base);
        EXPECT_EQ(l.external, c.external) << c.link;
        if (c.external) continue;
        EXPECT_EQ(l.path, c.path) << c.link;
        EXPECT_EQ(l.fragment, c.fragment) << c.link;
    }
}

}  // namespace
