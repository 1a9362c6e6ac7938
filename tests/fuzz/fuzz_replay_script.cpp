// Fuzzes the session-script reader: any bytes give commands within their ranges or the first
// bad line with a one-line complaint.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tests/fuzz/fuzz_common.h"
#include "tools/replay_script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const replay::TParseResult result = replay::ParseScript(text);
    if (!result.ok()) {
        Require(result.errorLine >= 1, "bad line number");
        RequireOneLine(result.Message());
        return 0;
    }
    for (size_t i = 0; i < result.commands.size(); ++i) {
        const replay::TCommand& c = result.commands[i];
        Require(c.line >= 1, "command without a line");
        Require(c.op != replay::TOp::Seed || i == 0, "seed after the first command");
        if (c.op == replay::TOp::Move || c.op == replay::TOp::Press)
            Require(c.x >= 0 && c.x < ClientWidth && c.y >= 0 && c.y < ClientHeight,
                    "coordinates outside the client area");
        if (c.op == replay::TOp::Tick || c.op == replay::TOp::Settle)
            Require(c.count >= 0, "negative count");
        if (c.op == replay::TOp::Shot) Require(!c.file.empty(), "shot without a file");
    }
    return 0;
}
