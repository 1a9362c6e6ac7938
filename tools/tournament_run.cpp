// The tournament command: the picture's needs checked first, the run with its progress line on
// standard error and Ctrl-C as a stop, then the table and the picture.
#include <atomic>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <memory>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "platform/text.h"
#include "tools/stats.h"
#include "tools/tournament.h"

namespace {

bool IsTerminal(std::FILE* f) {
#ifdef _WIN32
    return _isatty(_fileno(f)) != 0;
#else
    return isatty(fileno(f)) == 1;
#endif
}

std::string Clock(double seconds) {
    const auto s = static_cast<int64_t>(seconds + 0.5);
    if (s >= 3600) return Format("%" PRId64 ":%02d:%02d", s / 3600, int(s / 60 % 60), int(s % 60));
    return Format("%d:%02d", int(s / 60), int(s % 60));
}

// Set from the signal handler; read by the running search at every node.
std::atomic<bool> Interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set in a signal handler");

extern "C" void OnInterrupt(int) {
    Interrupted.store(true);
    std::signal(SIGINT, SIG_DFL);
}

// The first Ctrl-C stops the run; a second one ends the program at once.
void StopOnInterrupt() {
    std::signal(SIGINT, OnInterrupt);
}

// Progress on standard error: one line rewritten in place on a terminal, a few times a second at
// most; elsewhere a plain line every ten seconds, so that a log is not flooded.
class ProgressLine {
  public:
    ProgressLine() : FTerminal(IsTerminal(stderr)) {}

    void Show(const TournamentTable& t, bool last) {
        const double now = t.seconds;
        if (!last && now - FShown < (FTerminal ? 0.25 : 10)) return;
        FShown = now;
        std::string line = Format("tournament: %" PRId64 " of %" PRId64 " games, %s elapsed",
                                  t.played, t.scheduled, Clock(now).c_str());
        if (t.stopped)
            line += ", stopped";
        else if (t.played > 0 && t.played < t.scheduled)
            line += ", about " +
                    Clock(now / static_cast<double>(t.played) *
                          static_cast<double>(t.scheduled - t.played)) +
                    " left";
        if (FTerminal) {
            std::fprintf(stderr, "\r%s\033[K%s", line.c_str(), last ? "\n" : "");
        } else {
            std::fprintf(stderr, "%s\n", line.c_str());
        }
        std::fflush(stderr);
    }

  private:
    bool FTerminal;
    double FShown = 0;
};

} // namespace

int RunTournamentCommand(const TournamentSettings& settings, const TournamentOutput& output) {
    // The picture's needs are checked before a long run, not after it: the font, and the path,
    // which gets the empty table until the real one replaces it.
    std::unique_ptr<TFont> font;
    auto save = [&](const TournamentTable& t) {
        std::string error;
        if (DrawTournament(t, *font).SavePng(output.pngPath, error)) return true;
        for (char& c : error)
            if (static_cast<unsigned char>(c) < 0x20) c = '?'; // the path may hold any bytes
        std::fprintf(stderr, "error: %s\n", error.c_str());
        return false;
    };
    if (!output.pngPath.empty()) {
        try {
            font = std::make_unique<TFont>(TournamentFont());
        } catch (const TFontMissing& e) {
            std::fprintf(stderr, "error: %s\n", e.what());
            return 1;
        }
        if (!save(EmptyTournament(settings))) return 2;
    }

    StopOnInterrupt();
    ProgressLine line;
    const TournamentTable t = PlayTournament(
        settings, &Interrupted, [&](const TournamentTable& t) { line.Show(t, false); });
    line.Show(t, true);
    std::fputs(FormatTournament(t, output.times).c_str(), stdout);
    std::fflush(stdout);
    if (font && !save(t)) return 2;
    return t.stopped ? 130 : 0;
}
