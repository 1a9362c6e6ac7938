// The tournament and merge commands: the files' needs checked first, the run with its progress
// line on standard error, its results file and Ctrl-C as a stop, then the table and the picture.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif
#if defined(__linux__)
#include <sched.h>
#endif

#include "platform/input_text.h"
#include "platform/text.h"
#include "tools/stats.h"
#include "tools/tournament/commands.h"
#include "tools/tournament/play.h"
#include "tools/tournament/results.h"
#include "tools/tournament/tables.h"

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

// The picture of a command's table: the font and the path are tried before the long part of the
// command, the path with the empty table until the real one replaces it.
class TablePicture {
  public:
    explicit TablePicture(const std::string& path) : FPath(path) {}

    // 0 when the picture can be made (or none is wanted), else the exit status, the error
    // printed: 1 without the font, 2 for a path that cannot be written.
    int Check(const TournamentTable& empty) {
        if (FPath.empty()) return 0;
        try {
            FFont = std::make_unique<TFont>(TournamentFont());
        } catch (const TFontMissing& e) {
            std::fprintf(stderr, "error: %s\n", e.what());
            return 1;
        }
        return Save(empty) ? 0 : 2;
    }

    bool Save(const TournamentTable& t) {
        if (!FFont) return true;
        std::string error;
        if (DrawTournament(t, *FFont).SavePng(FPath, error)) return true;
        std::fprintf(stderr, "error: %s\n", ShownPath(error).c_str()); // it names the file
        return false;
    }

  private:
    std::string FPath;
    std::unique_ptr<TFont> FFont;
};

// The results file, a line written and flushed for each finished game, so that what a stopped
// shard finished is kept; a failure to write is reported once, at the end.
class ResultsFile {
  public:
    explicit ResultsFile(const std::string& path) : FPath(path) {}
    ResultsFile(const ResultsFile&) = delete;
    ResultsFile& operator=(const ResultsFile&) = delete;
    ~ResultsFile() {
        if (FFile) std::fclose(FFile);
    }

    bool Open() {
        if (FPath.empty()) return true;
        FFile = std::fopen(FPath.c_str(), "wb");
        if (!FFile) FError = std::strerror(errno);
        return FFile != nullptr;
    }
    void Write(const std::string& line) {
        if (!FFile || !FError.empty()) return;
        if (std::fputs(line.c_str(), FFile) < 0 || std::fflush(FFile) != 0)
            FError = std::strerror(errno);
    }
    bool Close() {
        if (FFile && std::fclose(FFile) != 0 && FError.empty()) FError = std::strerror(errno);
        FFile = nullptr;
        if (FError.empty()) return true;
        std::fprintf(stderr, "error: cannot write %s: %s\n", ShownPath(FPath).c_str(),
                     FError.c_str());
        return false;
    }

  private:
    std::string FPath;
    std::FILE* FFile = nullptr;
    std::string FError;
};

} // namespace

int AvailableCores() {
#if defined(__linux__)
    // The cores this process may run on: a batch system's share of a node, not the whole node.
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
#endif
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

int RunTournamentCommand(const TournamentSettings& settings, const TournamentShard& shard, int jobs,
                         const TournamentOutput& output) {
    // Every file is tried before a long run, not after it.
    TablePicture picture(output.pngPath);
    if (const int status = picture.Check(EmptyTournament(settings, shard))) return status;
    ResultsFile results(output.resultsPath);
    if (!results.Open()) {
        results.Close(); // says why
        return 2;
    }
    results.Write(ResultsHeader(settings, shard));

    StopOnInterrupt();
    ProgressLine line;
    const TournamentTable t =
        PlayTournament(settings, shard, jobs > 0 ? jobs : AvailableCores(), &Interrupted,
                       [&](const TournamentTable& t, const TournamentGame& game) {
                           results.Write(ResultsLine(settings, game));
                           line.Show(t, false);
                       });
    line.Show(t, true);
    if (!t.stopped) results.Write(ResultsEnd(t.played, t.seconds));
    std::fputs(FormatTournament(t, output.times).c_str(), stdout);
    std::fflush(stdout);
    const bool written = results.Close();
    if (!picture.Save(t) || !written) return 2;
    return t.stopped ? 130 : 0;
}

int RunMergeCommand(const std::vector<std::string>& paths, const TournamentOutput& output) {
    TournamentTable t;
    std::string error;
    if (!MergeResults(paths, t, error)) {
        std::fprintf(stderr, "error: %s\n", error.c_str());
        return 2;
    }
    TablePicture picture(output.pngPath);
    if (const int status = picture.Check(t)) return status;
    std::fputs(FormatTournament(t, output.times).c_str(), stdout);
    std::fflush(stdout);
    return 0;
}
