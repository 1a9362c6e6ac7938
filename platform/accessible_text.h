// TAccessibleText: lines a window says for assistive technology, in the order said. A front end
// with a screen reader's ear (the web page's live region) takes and reads them; the others may
// leave them, and only the latest are kept.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

class TAccessibleText {
  public:
    static constexpr size_t Kept = 1000;

    void Say(std::string line) {
        if (FLines.size() == Kept) FLines.erase(FLines.begin());
        FLines.push_back(std::move(line));
    }
    // The lines said since the last call, oldest first.
    std::vector<std::string> Take() { return std::exchange(FLines, {}); }

  private:
    std::vector<std::string> FLines;
};
