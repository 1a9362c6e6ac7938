// Filling the site's templates: {{melvaron:NAME}} marks, nothing else.
#include "site_template.h"

#include <algorithm>

namespace {

constexpr std::string_view Open = "{{melvaron:";
constexpr std::string_view Close = "}}";

bool IsNameChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

} // namespace

bool IsMarkName(std::string_view name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), IsNameChar);
}

TFilledTemplate FillTemplate(std::string_view text, const std::vector<TTemplateMark>& marks) {
    TFilledTemplate out;
    for (size_t at = 0; at < text.size();) {
        const size_t open = text.find(Open, at);
        if (open == std::string_view::npos) {
            out.text.append(text.substr(at));
            break;
        }
        out.text.append(text.substr(at, open - at));
        const size_t nameAt = open + Open.size();
        size_t end = nameAt;
        while (end < text.size() && IsNameChar(text[end])) ++end;
        const std::string_view name = text.substr(nameAt, end - nameAt);
        const auto mark = std::find_if(marks.begin(), marks.end(),
                                       [&](const TTemplateMark& m) { return m.name == name; });
        if (name.empty() || text.substr(end, Close.size()) != Close) {
            out.fault = "'{{melvaron:' begins no mark (a NAME of capitals, digits and '_', then "
                        "'}}')";
        } else if (mark == marks.end()) {
            out.fault = "unknown mark {{melvaron:" + std::string(name) + "}}";
        }
        if (!out.fault.empty()) {
            out.faultLine =
                1 + static_cast<int>(std::count(text.begin(), text.begin() + open, '\n'));
            out.text.clear();
            return out;
        }
        out.text += mark->value;
        at = end + Close.size();
    }
    return out;
}
