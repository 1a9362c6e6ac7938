// The site's templates: {{melvaron:NAME}} marks filled in, everything else left as it is.
#include <gtest/gtest.h>

#include "site_template.h"

namespace {

const std::vector<TTemplateMark> Marks = {{"COL_BACK", "#005200"}, {"TITLE", "Dunmiro"}};

TEST(SiteTemplate, FillsMarksAndLeavesCssHtmlAndJavaScriptAsTheyAre) {
    const struct {
        const char* text;
        const char* filled;
    } cases[] = {
        {"@media (max-width: 600px) { body { background: {{melvaron:COL_BACK}}; } }",
         "@media (max-width: 600px) { body { background: #005200; } }"},
        {"@import url(a.css); @font-face { } a@b.c @COL_BACK@ @@",
         "@import url(a.css); @font-face { } a@b.c @COL_BACK@ @@"},
        {"const o = {{a: 1}}; `${{b: 2}.b}`; {{ melvaron:X }}",
         "const o = {{a: 1}}; `${{b: 2}.b}`; {{ melvaron:X }}"},
        {"<title>{{melvaron:TITLE}}{{melvaron:TITLE}}</title>", "<title>DunmiroDunmiro</title>"},
        {"{{{melvaron:TITLE}}}", "{Dunmiro}"},
        {"", ""},
    };
    for (const auto& c : cases) {
        const TFilledTemplate r = FillTemplate(c.text, Marks);
        EXPECT_EQ(r.faultLine, 0) << c.text << ": " << r.fault;
        EXPECT_EQ(r.text, c.filled);
    }
}

TEST(SiteTemplate, AValueIsPutInAsItIsNeverFilledAgain) {
    const TFilledTemplate r = FillTemplate("{{melvaron:A}}", {{"A", "{{melvaron:A}} @B@"}});
    EXPECT_EQ(r.faultLine, 0);
    EXPECT_EQ(r.text, "{{melvaron:A}} @B@");
}

TEST(SiteTemplate, AnUnknownOrBrokenMarkIsNamedWithItsLine) {
    const struct {
        const char* text;
        int line;
        const char* fault;
    } cases[] = {
        {"a\nb {{melvaron:TITLE}}\n{{melvaron:NO_SUCH}} c", 3, "unknown mark {{melvaron:NO_SUCH}}"},
        {"{{melvaron:title}}", 1, "begins no mark"},
        {"x\n{{melvaron:TITLE", 2, "begins no mark"},
        {"{{melvaron:TITLE}", 1, "begins no mark"},
        {"{{melvaron:}}", 1, "begins no mark"},
    };
    for (const auto& c : cases) {
        const TFilledTemplate r = FillTemplate(c.text, Marks);
        EXPECT_EQ(r.faultLine, c.line) << c.text;
        EXPECT_NE(r.fault.find(c.fault), std::string::npos) << c.text << ": " << r.fault;
        EXPECT_EQ(r.text, "") << c.text;
    }
}

} // namespace
