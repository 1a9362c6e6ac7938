// The site's templates (the page, its manifest, the facts, the service worker): every
// {{melvaron:NAME}} mark is replaced by NAME's value and nothing else is touched, so the '@' of
// CSS and the braces of JavaScript pass as they are.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct TTemplateMark {
    std::string name; // capitals, digits and '_'
    std::string value;
};

// The text filled in, or the first fault: its line (from 1) and what is wrong there.
struct TFilledTemplate {
    std::string text;
    int faultLine = 0; // 0 when the whole text was filled
    std::string fault;
};

TFilledTemplate FillTemplate(std::string_view text, const std::vector<TTemplateMark>& marks);

// Whether name may name a mark.
bool IsMarkName(std::string_view name);
