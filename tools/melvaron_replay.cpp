// melvaron-replay SCRIPT: plays a scripted session on the game window without a display.
// melvaron-replay --hash SCRIPT: the same, each shot printed as its picture's SHA-256.
// melvaron-replay --print-layout: the window's caption, client size and side-panel items, for
// scripts that drive the real window.
// melvaron-replay --record FILE: a game's record replayed through the rules: its last board and
// counts.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/cli.h"
#include "engine/board_text.h"
#include "engine/game_record.h"
#include "engine/random.h"
#include "engine/rules.h"
#include "platform/cursor.h"
#include "platform/headless.h"
#include "platform/kept_text.h"
#include "platform/text.h"
#include "tools/picture_hash.h"
#include "tools/replay_script.h"
#include "ui/form.h"
#include "ui/host.h"

namespace {

const char* CursorName(TCursor cursor) {
    if (cursor == crHourGlass) return "hourglass";
    if (cursor == crAppStart) return "appstart";
    return "default";
}

void PrintState(const TfrmGalMain& f) {
    std::printf("state=%d turn=%d counts=%d,%d,%d players=%d,%d bonus=%d hover=%d msgline=%d "
                "cursor=%s search=%s timer=%s\n",
                f.FState, f.FTurn, f.FCount[0], f.FCount[1], f.FCount[2], f.FPlayerType[1],
                f.FPlayerType[2], f.FLevelBonus, f.FHover, f.FMsgLine, CursorName(Screen.Cursor),
                f.FSearch ? "yes" : "no", f.tmrTimer.Enabled ? "on" : "off");
}

bool ReadFile(const char* path, std::string& text) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
    const bool ok = !std::ferror(f);
    const int saved = errno;
    std::fclose(f);
    errno = saved;
    return ok;
}

constexpr const char* ScriptHelp =
    "Plays the game without a window, driven by SCRIPT: one command per line, '#' starts a\n"
    "comment, blank lines are ignored. Coordinates are pixels of the 768 x 512 client area.\n"
    "\n"
    "script commands:\n"
    "  seed N                    seed the random generator with N (first command only)\n"
    "  keep FILE                 keep the game in progress in FILE, as the window keeps it,\n"
    "                            and resume the game FILE holds (first command, or second\n"
    "                            after seed)\n"
    "  move X Y                  the pointer moves to (X, Y)\n"
    "  press left|right|middle X Y\n"
    "                            a button press at (X, Y); x 762 and beyond is the strip\n"
    "  strip                     a press on the strip\n"
    "  key NAME                  a key: left, right, up, down, tab, shift+tab, enter, space,\n"
    "                            escape, b, r, u or shift+u\n"
    "  tick [N]                  N timer ticks (default 1)\n"
    "  settle [MAX]              ticks, waiting for the computer, until a person is awaited\n"
    "                            or the timer stops; at most MAX ticks (default 100000)\n"
    "  close                     the window's close box; nothing may follow\n"
    "  shot FILE                 write the client area as a PNG (with --hash: print\n"
    "                            'FILE SHA256' instead)\n"
    "  state                     print the game's state on one line\n"
    "  board                     print the board: six rows of twelve cells\n"
    "  speech                    print 'speech N', N the lines the window said since the last\n"
    "                            speech command, then each as 'said: TEXT'\n"
    "\n"
    "A bad line prints 'line N: <what>' on standard error and exits with status 2.\n";

void PrintLayout() {
    std::printf("caption %s\nclient %d %d\n", AppTitle, ClientWidth, ClientHeight);
    for (int item = piFirstButton; item <= piLastLevelBox; ++item) {
        const TPanelItem r = PanelItemRect(item);
        std::printf("item %d %d %d %d %d\n", item, r.left, r.top, r.width, r.height);
    }
}

// Replays the record in path; prints its board and counts, with the player to move or the
// winner (0 for a drawn game).
int PlayRecord(const std::string& path) {
    std::string text;
    if (!ReadFile(path.c_str(), text)) {
        std::fprintf(stderr, "error: cannot read %s: %s\n", cli::ShownPath(path).c_str(),
                     std::strerror(errno));
        return cli::ExitBadInput;
    }
    game_record::TGameRecord record;
    std::string error;
    if (!game_record::ParseRecord(text, record, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return cli::ExitBadInput;
    }
    const game_record::TPosition& p = record.Position();
    std::fputs(FormatBoard(p.board.data()).c_str(), stdout);
    std::printf("counts=%d,%d,%d ", p.count[0], p.count[1], p.count[2]);
    if (p.Over())
        std::printf("winner=%d\n", rules::Winner(p.count[1], p.count[2]));
    else
        std::printf("turn=%d\n", p.toMove);
    return 0;
}

int Fail(int line, const std::string& what) {
    std::fflush(stdout);
    std::fprintf(stderr, "line %d: %s\n", line, what.c_str());
    return cli::ExitBadInput;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"Plays a scripted session on the game window without a display.",
                 "melvaron-replay"};
    cli::Setup(app);
    app.footer(ScriptHelp);
    std::string path, recordPath;
    bool printLayout = false, hash = false;
    app.add_option("SCRIPT", path, "the session to play")->type_name("");
    app.add_option("--record", recordPath,
                   "replay the game record FILE and print its last board and counts")
        ->type_name("FILE");
    app.add_flag("--print-layout", printLayout,
                 "the window's caption, client size and side-panel items, one per line");
    app.add_flag("--hash", hash,
                 "each shot prints its file name and the SHA-256 of its pixels (R, G, B bytes, "
                 "rows from the top) instead of writing the file");
    if (const int status = cli::Parse(app, argc, argv); status >= 0) return status;
    if (!recordPath.empty()) {
        if (!path.empty() || printLayout || hash) {
            std::fprintf(stderr, "error: --record goes alone\n");
            return cli::ExitBadInput;
        }
        return PlayRecord(recordPath);
    }
    if (printLayout == !path.empty()) {
        std::fprintf(stderr, "error: give a SCRIPT, --print-layout or --record FILE (try "
                             "melvaron-replay --help)\n");
        return cli::ExitBadInput;
    }
    if (printLayout) {
        if (hash) {
            std::fprintf(stderr, "error: --hash goes with a SCRIPT\n");
            return cli::ExitBadInput;
        }
        PrintLayout();
        return 0;
    }
    std::string text;
    if (!ReadFile(path.c_str(), text)) {
        std::fprintf(stderr, "error: cannot read %s: %s\n", cli::ShownPath(path).c_str(),
                     std::strerror(errno));
        return cli::ExitBadInput;
    }
    const replay::TParseResult script = replay::ParseScript(text);
    if (!script.ok()) {
        std::fprintf(stderr, "%s\n", script.Message().c_str());
        return cli::ExitBadInput;
    }
    try {
        ResolveFontFile(GothicFace);
    } catch (const TFontMissing& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return cli::ExitFailure;
    }

    TfrmGalMain form;
    form.FormCreate(); // seeds the generator with the clock; a seed command replaces that
    THeadlessHost host(MakeFormHost(form));

    for (const replay::TCommand& c : script.commands) {
        if (host.Closed()) return Fail(c.line, "the window has closed");
        switch (c.op) {
        case replay::TOp::Seed:
            game_random::Seed(static_cast<uint32_t>(c.count));
            break;
        case replay::TOp::Keep:
            form.KeepGameIn(std::make_unique<TKeptFile>(c.file));
            break;
        case replay::TOp::Move:
            host.MouseMove(c.x, c.y);
            break;
        case replay::TOp::Press:
            host.MouseDown(c.button, c.x, c.y);
            break;
        case replay::TOp::Strip:
            host.Strip();
            break;
        case replay::TOp::Key:
            host.KeyDown(c.key, c.shift);
            break;
        case replay::TOp::Tick:
            for (int64_t i = 0; i < c.count && !host.Closed(); ++i) host.Tick();
            break;
        case replay::TOp::Settle:
            SettleForm(
                form, [&host] { host.Tick(); }, c.count);
            break;
        case replay::TOp::Close:
            host.Close();
            break;
        case replay::TOp::Shot: {
            if (hash) {
                const std::vector<TColor> pixels = host.Client();
                std::printf("%s %s\n", c.file.c_str(),
                            PictureHash(pixels.data(), ClientWidth, ClientHeight).c_str());
                break;
            }
            std::string error;
            if (!host.Shot(c.file, error))
                return Fail(c.line, "cannot write " + c.file + ": " + error);
            break;
        }
        case replay::TOp::State:
            PrintState(form);
            break;
        case replay::TOp::Board:
            std::fputs(FormatBoard(form.FBoard->data()).c_str(), stdout);
            break;
        case replay::TOp::Speech: {
            const std::vector<std::string> lines = host.TakeSpoken();
            std::printf("speech %zu\n", lines.size());
            for (const std::string& line : lines) std::printf("said: %s\n", line.c_str());
            break;
        }
        }
    }
    form.Close(); // stops a search still running before anything is freed
    std::fflush(stdout);
    return 0;
}
