// melvaron-fill-site TEMPLATE OUT [NAME=VALUE]...: writes TEMPLATE with its {{melvaron:NAME}}
// marks filled in: the window's caption, short name, colours and size for the page and its
// manifest, the facts the page's scripts and tests read (facts.js), all from the game's own
// headers and the game server's protocol, and the marks given (the build's hash and files, which
// only the web build knows).
// A mark no one gives is an error naming it (run by the web build; not installed).
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/board.h"
#include "engine/game_events.h"
#include "engine/node_table.h"
#include "engine/search_worker.h"
#include "platform/keys.h"
#include "server/protocol.h"
#include "site_template.h"
#include "ui/form.h"
#include "ui/host.h"
#include "ui/screen_geometry.h"
#include "ui/screen_layout.h"
#include "web/app/search_messages.h"

namespace {

std::string Hex(TColor c) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
    return text;
}

// Plain text in both HTML and JSON: a name that needed quoting would have to be escaped here.
constexpr bool PlainText(const char* s) {
    for (; *s; ++s)
        if (*s == '"' || *s == '\\' || *s == '<' || *s == '>' || *s == '&') return false;
    return true;
}
static_assert(PlainText(AppTitle) && PlainText(AppShortName));

// ---- JSON, which JavaScript reads as it is ----
std::string Json(const char* text) {
    std::string out = "\"";
    for (const char* c = text; *c; ++c) {
        if (*c == '"' || *c == '\\') {
            out += '\\';
            out += *c;
        } else if (static_cast<unsigned char>(*c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", *c);
            out += escape;
        } else {
            out += *c;
        }
    }
    return out + "\"";
}
std::string Json(bool value) {
    return value ? "true" : "false";
}
std::string Json(int value) {
    return std::to_string(value);
}
std::string Json(const TRect& r) {
    return "{\"left\": " + Json(r.left) + ", \"top\": " + Json(r.top) +
           ", \"right\": " + Json(r.right) + ", \"bottom\": " + Json(r.bottom) + "}";
}

// A JSON object or array of the parts on one line, or one part to a line.
std::string Inline(const std::vector<std::string>& parts, const char* open, const char* close) {
    std::string out = open;
    for (size_t i = 0; i < parts.size(); ++i) out += (i ? ", " : "") + parts[i];
    return out + close;
}
std::string Lines(const std::vector<std::string>& parts, const char* open, const char* close,
                  int depth = 1) {
    const std::string indent(2 * static_cast<size_t>(depth), ' ');
    std::string out = open;
    for (size_t i = 0; i < parts.size(); ++i) out += (i ? ",\n  " : "\n  ") + indent + parts[i];
    return out + "\n" + indent + close;
}
std::string Field(const char* name, const std::string& value) {
    return Json(name) + ": " + value;
}

// ---- The facts ----
std::string States() {
#define STATE(name) Field(#name, Json(name))
    return Lines({STATE(gsWaitPut), STATE(gsAskNewGame), STATE(gsAskEnd), STATE(gsGameOver),
                  STATE(gsSelect), STATE(gsAskEndOver), STATE(gsAskEndSelect), STATE(gsOnlineWait),
                  STATE(gsStartThink), STATE(gsThinking), STATE(gsTurnOver), STATE(gsAfterMove),
                  STATE(gsAnnounce), STATE(gsClose)},
                 "{", "}");
#undef STATE
}

std::string SettleSteps() {
    return Inline({Field("awaited", Json(static_cast<int>(TSettleStep::Awaited))),
                   Field("searching", Json(static_cast<int>(TSettleStep::Searching))),
                   Field("ticked", Json(static_cast<int>(TSettleStep::Ticked)))},
                  "{", "}");
}

std::string Keys() {
    std::vector<std::string> keys;
    for (const TKeyCode& k : KeyCodes)
        keys.push_back(Inline({Field("code", Json(k.code)), Field("key", Json(k.browserName)),
                               Field("repeats", Json(IsNavigationKey(k.key)))},
                              "{", "}"));
    return Lines(keys, "[", "]");
}

std::string KeyNamesByScript() {
    std::vector<std::string> names;
    for (const TKeyName& k : KeyNames)
        names.push_back(
            Field(k.name, Inline({Field("key", Json(KeyCodes[KeyCodeIndex(k.key)].browserName)),
                                  Field("shift", Json(k.shift))},
                                 "{", "}")));
    return Lines(names, "{", "}");
}

std::string CtrlKeys() {
    std::vector<std::string> keys;
    for (const TCtrlShortcut& c : CtrlShortcuts)
        keys.push_back(Inline({Field("key", Json(std::string(1, c.letter).c_str())),
                               Field("shift", Json(c.shift)),
                               Field("code", Json(KeyCodes[KeyCodeIndex(c.key)].code)),
                               Field("asShift", Json(c.keyShift))},
                              "{", "}"));
    return Lines(keys, "[", "]");
}

std::string SearchMessageShapes() {
    std::vector<std::string> kinds;
    for (const TSearchMessage& m : SearchMessages) {
        std::vector<std::string> fields;
        for (const char* f : m.fields)
            if (f) fields.push_back(Json(f));
        kinds.push_back(Field(m.kind, Inline(fields, "[", "]")));
    }
    return Lines(kinds, "{", "}");
}

// What the page's game with a friend needs of the server's protocol: the endpoint, the message
// cap, the lengths of ids, secrets and digests, the events' kinds and the ends' reasons by their
// meaning, in the order the program numbers them, the refusals' codes and the close codes.
std::string Protocol() {
    using game_events::EndReasonNames;
    using game_events::EventKindNames;
    using game_events::TEndReason;
    using game_events::TEventKind;
    // A kind or a reason added to the engine is named here before the page can take it.
    static_assert(game_events::EventKinds == 7 && game_events::EndReasons == 2);
    auto kind = [](const char* key, TEventKind k) {
        return Field(key, Json(EventKindNames[static_cast<int>(k)]));
    };
    auto reason = [](const char* key, TEndReason r) {
        return Field(key, Json(EndReasonNames[static_cast<int>(r)]));
    };
    const std::string kinds = Lines({kind("join", TEventKind::Join), kind("put", TEventKind::Put),
                                     kind("pass", TEventKind::Pass), kind("end", TEventKind::End),
                                     kind("takeBackOffer", TEventKind::TakeBackOffer),
                                     kind("takeBack", TEventKind::TakeBack),
                                     kind("takeBackDeclined", TEventKind::TakeBackDeclined)},
                                    "{", "}", 2);
    const std::string reasons = Inline(
        {reason("board", TEndReason::Board), reason("abandoned", TEndReason::Abandoned)}, "{", "}");
    std::vector<std::string> refusals;
    for (const char* code : protocol::RefusalNames) refusals.push_back(Field(code, Json(code)));
    const std::string closes = Inline({Field("goingAway", Json(protocol::CloseGoingAway)),
                                       Field("policy", Json(protocol::ClosePolicy)),
                                       Field("tooBig", Json(protocol::CloseTooBig)),
                                       Field("internal", Json(protocol::CloseInternal)),
                                       Field("replaced", Json(protocol::CloseReplaced))},
                                      "{", "}");
    return Lines({Field("path", Json(protocol::PlayPath)),
                  Field("messageBytes", Json(static_cast<int>(protocol::MaxMessageBytes))),
                  Field("gameIdDigits", Json(protocol::GameIdDigits)),
                  Field("secretDigits", Json(protocol::SecretDigits)),
                  Field("digestDigits", Json(protocol::DigestDigits)), Field("events", kinds),
                  Field("endReasons", reasons), Field("refusals", Lines(refusals, "{", "}", 2)),
                  Field("closes", closes)},
                 "{", "}");
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "error: usage: melvaron-fill-site TEMPLATE OUT [NAME=VALUE]...\n");
        return 2;
    }
    std::vector<TTemplateMark> marks = {
        {"APP_TITLE", AppTitle},
        {"APP_SHORT_NAME", AppShortName},
        {"COL_BACK", Hex(ColBack)},
        {"COL_TEXT", Hex(ColText)},
        {"COL_CYAN", Hex(ColCyan)},
        {"CLIENT_WIDTH", Json(ClientWidth)},
        {"CLIENT_HEIGHT", Json(ClientHeight)},
        {"STRIP", Json(TRect{ScreenWidth, 0, ClientWidth, ClientHeight})},
        {"MESSAGE_AREA", Json(MessageArea)},
        {"BOARD_SIZE", Json(BoardSize)},
        {"SEARCH_THREADS_MAX", Json(node_table::MaxThreads)},
        {"STATES", States()},
        {"AWAITED_MAX", Json(gsAwaitedMax)},
        {"SETTLE_STEPS", SettleSteps()},
        {"KEYS", Keys()},
        {"KEY_NAMES", KeyNamesByScript()},
        {"CTRL_KEYS", CtrlKeys()},
        {"SEARCH_MESSAGES", SearchMessageShapes()},
        {"SEARCH_FAILED", Json(ResultFailed)},
        {"PROTOCOL", Protocol()},
    };
    for (int i = 3; i < argc; ++i) {
        const std::string given = argv[i];
        const size_t equals = given.find('=');
        const std::string name = given.substr(0, equals);
        if (equals == std::string::npos || !IsMarkName(name)) {
            std::fprintf(stderr,
                         "error: '%.40s' is not NAME=VALUE (NAME of capitals, digits, '_')\n",
                         argv[i]);
            return 2;
        }
        for (const TTemplateMark& m : marks)
            if (m.name == name) {
                std::fprintf(stderr, "error: mark %s is given twice\n", name.c_str());
                return 2;
            }
        marks.push_back({name, given.substr(equals + 1)});
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "error: cannot read %s\n", argv[1]);
        return 1;
    }
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const TFilledTemplate filled = FillTemplate(text, marks);
    if (filled.faultLine) {
        std::fprintf(stderr, "error: %s:%d: %s\n", argv[1], filled.faultLine, filled.fault.c_str());
        return 1;
    }
    std::ofstream file(argv[2], std::ios::binary);
    file << filled.text;
    file.close();
    if (!file) {
        std::fprintf(stderr, "error: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
