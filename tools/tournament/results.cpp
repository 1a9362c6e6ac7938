// The tournament's results files: one JSON object a line, written as games finish, and the merge
// that checks a run's shards and adds them up into the table of the whole run.
//
// The reader takes exactly what the writer writes: flat objects whose values are plain decimal
// integers, non-negative numbers, strings without escapes and lists of numbers, with every field
// of the line's kind and no other. Anything else is a corrupt line.
#include <charconv>
#include <cmath>
#include <fstream>
#include <map>
#include <optional>

#include "engine/board.h"
#include "engine/rules.h"
#include "platform/input_text.h"
#include "tools/tournament/results.h"

namespace {

constexpr const char* FormatName = "melvaron-tournament-results";
constexpr std::size_t MaxLine = 1 << 16; // a game's line is a few kilobytes at most

// Shortest text that reads back as the same double.
std::string Number(double v) {
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return ec == std::errc() ? std::string(buf, end) : "0";
}

std::string Numbers(const std::vector<double>& values) {
    std::string s = "[";
    for (double v : values) s += (s.size() > 1 ? "," : "") + Number(v);
    return s + "]";
}

// ---- Reading ----

// A field's value as written: a number's or a string's text, or a list's numbers.
struct Field {
    bool string = false, list = false;
    std::string text;
    std::vector<std::string> items;
};

// A failure to read a line: what is wrong, without the file and line, which the caller adds.
struct LineError {
    std::string what;
};

class LineReader {
  public:
    explicit LineReader(std::string_view line) : FLine(line) {}

    std::map<std::string, Field> Object() {
        std::map<std::string, Field> fields;
        Expect('{');
        if (Peek() == '}') Fail("an empty object");
        for (;;) {
            const std::string key = String();
            Expect(':');
            Field f;
            if (Peek() == '"') {
                f.string = true;
                f.text = String();
            } else if (Peek() == '[') {
                f.list = true;
                ++FAt;
                if (Peek() != ']')
                    for (;;) {
                        f.items.push_back(NumberText());
                        if (Peek() != ',') break;
                        ++FAt;
                    }
                Expect(']');
            } else {
                f.text = NumberText();
            }
            if (!fields.emplace(key, std::move(f)).second) Fail("'" + key + "' twice");
            if (Peek() != ',') break;
            ++FAt;
        }
        Expect('}');
        if (FAt != FLine.size()) Fail("more after the object's end");
        return fields;
    }

  private:
    [[noreturn]] void Fail(const std::string& what) const {
        throw LineError{what + " at byte " + std::to_string(FAt + 1)};
    }
    char Peek() {
        while (FAt < FLine.size() && (FLine[FAt] == ' ' || FLine[FAt] == '\t')) ++FAt;
        return FAt < FLine.size() ? FLine[FAt] : '\0';
    }
    void Expect(char c) {
        if (Peek() != c) Fail(std::string("no '") + c + "'");
        ++FAt;
    }
    std::string String() {
        Expect('"');
        const std::size_t begin = FAt;
        while (FAt < FLine.size() && FLine[FAt] != '"') {
            const auto c = static_cast<unsigned char>(FLine[FAt]);
            if (c < 0x20 || c == '\\' || c >= 0x7F) Fail("a character no results file holds");
            ++FAt;
        }
        if (FAt == FLine.size()) Fail("an unclosed string");
        return std::string(FLine.substr(begin, FAt++ - begin));
    }
    std::string NumberText() {
        Peek();
        const std::size_t begin = FAt;
        while (FAt < FLine.size() &&
               std::string_view("-+.0123456789eE").find(FLine[FAt]) != std::string_view::npos)
            ++FAt;
        if (FAt == begin) Fail("no value");
        return std::string(FLine.substr(begin, FAt - begin));
    }

    std::string_view FLine;
    std::size_t FAt = 0;
};

// The fields of one line, taken by name and type; every field must be taken exactly once.
class Fields {
  public:
    explicit Fields(std::string_view line) : FFields(LineReader(line).Object()) {}

    bool Has(const std::string& key) const { return FFields.count(key) != 0; }
    int64_t Integer(const std::string& key, int64_t lo, int64_t hi) {
        const Field& f = Take(key, false, false);
        int64_t v = 0;
        if (ParseDecimal(f.text, v) != TDecimal::Ok || v < lo || v > hi)
            throw LineError{"'" + key + "' is not a whole number from " + std::to_string(lo) +
                            " to " + std::to_string(hi)};
        return v;
    }
    std::string Text(const std::string& key) { return Take(key, true, false).text; }
    double Seconds(const std::string& key) { return Time(key, Take(key, false, false).text); }
    std::vector<double> Times(const std::string& key) {
        std::vector<double> v;
        for (const std::string& item : Take(key, false, true).items) v.push_back(Time(key, item));
        return v;
    }
    // After every field has been taken: a field left over belongs to no results file.
    void NoneLeft() const {
        for (const auto& [key, f] : FFields)
            if (!FTaken.count(key))
                throw LineError{"an unknown field '" + ShownInput(key, 32, TShownBytes::Ascii) +
                                "'"};
    }

  private:
    const Field& Take(const std::string& key, bool string, bool list) {
        const auto it = FFields.find(key);
        if (it == FFields.end()) throw LineError{"no '" + key + "'"};
        if (it->second.string != string || it->second.list != list)
            throw LineError{"'" + key + "' is not " +
                            (string ? "a string"
                             : list ? "a list"
                                    : "a number")};
        FTaken[key] = true;
        return it->second;
    }
    static double Time(const std::string& key, const std::string& text) {
        double v = -1;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
        if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v) || v < 0)
            throw LineError{"'" + key + "' holds something other than a time in seconds"};
        return v;
    }

    std::map<std::string, Field> FFields;
    std::map<std::string, bool> FTaken;
};

// What a file's first line says of its run.
struct Header {
    TournamentSettings settings;
    TournamentShard shard;
};

constexpr int64_t MaxNumber = INT64_MAX; // a count with no bound of its own

Header ReadHeader(std::string_view line) {
    std::optional<Fields> read;
    try {
        read.emplace(line);
    } catch (const LineError& e) {
        throw LineError{"not a tournament results file (" + e.what + ")"};
    }
    Fields& f = *read;
    if (!f.Has("format") || f.Text("format") != FormatName)
        throw LineError{"not a tournament results file"};
    const int64_t version = f.Integer("version", 0, MaxNumber);
    if (version != ResultsVersion)
        throw LineError{"results of version " + std::to_string(version) + "; this program reads " +
                        std::to_string(ResultsVersion)};
    Header h;
    std::string error;
    if (!ParsePlayers(f.Text("levels"), false, h.settings.players, error)) throw LineError{error};
    h.settings.games = f.Integer("games", 1, MaxTournamentGames);
    h.settings.seed = static_cast<uint32_t>(f.Integer("seed", 0, UINT32_MAX));
    h.shard.count = f.Integer("shards", 1, MaxShards);
    h.shard.index = f.Integer("shard", 1, h.shard.count);
    f.NoneLeft();
    return h;
}

std::string RunName(const Header& h) {
    return RunArguments(h.settings) + " --shard " + ShardName(h.shard);
}

TournamentGame ReadGame(std::string_view line, const Header& h) {
    Fields f(line);
    TournamentGame g;
    const int64_t all = ScheduledGames(h.settings);
    const int64_t index = f.Integer("game", 0, MaxNumber);
    if (index >= all)
        throw LineError{"game " + std::to_string(index) + " is not in the run's " +
                        std::to_string(all) + " games"};
    if (!h.shard.Holds(h.settings, index))
        throw LineError{"game " + std::to_string(index) + " is not in shard " + ShardName(h.shard)};
    g.game = ScheduleAt(h.settings, index);
    const std::string first = f.Text("first"), second = f.Text("second");
    const int64_t number = f.Integer("number", 0, MaxNumber);
    const int64_t seed = f.Integer("seed", 0, UINT32_MAX);
    const std::string p1 = PlayerName(h.settings.players[g.game.first]);
    const std::string p2 = PlayerName(h.settings.players[g.game.second]);
    if (first != p1 || second != p2 || number != g.game.number || seed != g.game.seed)
        throw LineError{"game " + std::to_string(index) + " of this run is " + p1 + " against " +
                        p2 + " number " + std::to_string(g.game.number) + " with seed " +
                        std::to_string(g.game.seed)};
    g.winner = static_cast<int>(f.Integer("winner", 0, 2));
    g.count[0] = static_cast<int>(f.Integer("empty", 0, PlayableCells));
    g.count[1] = static_cast<int>(f.Integer("panels1", 0, PlayableCells));
    g.count[2] = static_cast<int>(f.Integer("panels2", 0, PlayableCells));
    if (g.count[0] + g.count[1] + g.count[2] != PlayableCells)
        throw LineError{"the empty cells and the panels do not add up to the board's " +
                        std::to_string(PlayableCells)};
    if (g.winner != rules::Winner(g.count[1], g.count[2]))
        throw LineError{"the winner is not the one the panels make"};
    g.moves = static_cast<int>(f.Integer("moves", 0, 10 * PlayableCells));
    g.seconds = f.Seconds("seconds");
    g.times[1] = f.Times("times1");
    g.times[2] = f.Times("times2");
    if (g.times[1].size() + g.times[2].size() != static_cast<std::size_t>(g.moves))
        throw LineError{"the moves and the search times do not match"};
    f.NoneLeft();
    return g;
}

struct ShardEnd {
    int64_t games = 0;
    double seconds = 0;
};

ShardEnd ReadEnd(std::string_view line) {
    Fields f(line);
    ShardEnd e;
    e.games = f.Integer("end", 0, MaxNumber);
    e.seconds = f.Seconds("seconds");
    f.NoneLeft();
    return e;
}

// One results file, read whole: its header, its games, its end.
struct ShardFile {
    std::string shown; // the path as error messages show it
    Header header;
    ShardEnd end;
    int64_t lastLine = 0;
};

// Reads one shard's file into file, its games added to games. On failure returns false with a
// one-line error that names the file and the line.
bool ReadResultsFile(const std::string& path, ShardFile& file, std::vector<TournamentGame>& games,
                     std::string& error) {
    file.shown = ShownPath(path);
    std::ifstream in(path, std::ios::binary);
    auto unreadable = [&] {
        error = file.shown + ": cannot be read";
        return false;
    };
    if (!in) return unreadable();
    const std::size_t before = games.size();
    std::vector<bool> seen; // by the games' places in the schedule
    std::string line;
    bool ended = false;
    int64_t number = 0;
    try {
        while (std::getline(in, line)) {
            ++number;
            file.lastLine = number;
            // A line cut short (a shard killed while writing, a copy that stopped) has no end.
            if (in.eof()) throw LineError{"cut short: the line has no end"};
            if (line.size() > MaxLine) throw LineError{"too long for a results line"};
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (ended) throw LineError{"more after the shard's last line"};
            if (number == 1) {
                file.header = ReadHeader(line);
                seen.assign(static_cast<std::size_t>(ScheduledGames(file.header.settings)), false);
            } else if (line.rfind("{\"end\"", 0) == 0) {
                file.end = ReadEnd(line);
                ended = true;
            } else {
                games.push_back(ReadGame(line, file.header));
                const auto index = static_cast<std::size_t>(games.back().game.index);
                if (seen[index]) throw LineError{"game " + std::to_string(index) + " again"};
                seen[index] = true;
            }
        }
    } catch (const LineError& e) {
        error = file.shown + " line " + std::to_string(number) + ": " + e.what;
        return false;
    }
    if (in.bad()) return unreadable(); // a folder, say
    if (number == 0) {
        error = file.shown + ": empty, not a tournament results file";
        return false;
    }
    if (!ended) {
        error = file.shown + " line " + std::to_string(number) +
                ": the file ends without the shard's last line (the shard was stopped, failed or "
                "is still running)";
        return false;
    }
    if (const auto held = static_cast<int64_t>(games.size() - before); file.end.games != held) {
        error = file.shown + " line " + std::to_string(number) + ": the last line counts " +
                std::to_string(file.end.games) + " games, the file holds " + std::to_string(held);
        return false;
    }
    return true;
}

} // namespace

std::string ResultsHeader(const TournamentSettings& settings, const TournamentShard& shard) {
    return "{\"format\":\"" + std::string(FormatName) +
           "\",\"version\":" + std::to_string(ResultsVersion) + ",\"levels\":\"" +
           LevelsText(settings.players) + "\",\"games\":" + std::to_string(settings.games) +
           ",\"seed\":" + std::to_string(settings.seed) +
           ",\"shard\":" + std::to_string(shard.index) +
           ",\"shards\":" + std::to_string(shard.count) + "}\n";
}

std::string ResultsLine(const TournamentSettings& settings, const TournamentGame& g) {
    return "{\"game\":" + std::to_string(g.game.index) + ",\"first\":\"" +
           PlayerName(settings.players[g.game.first]) + "\",\"second\":\"" +
           PlayerName(settings.players[g.game.second]) +
           "\",\"number\":" + std::to_string(g.game.number) +
           ",\"seed\":" + std::to_string(g.game.seed) + ",\"winner\":" + std::to_string(g.winner) +
           ",\"empty\":" + std::to_string(g.count[0]) +
           ",\"panels1\":" + std::to_string(g.count[1]) +
           ",\"panels2\":" + std::to_string(g.count[2]) + ",\"moves\":" + std::to_string(g.moves) +
           ",\"seconds\":" + Number(g.seconds) + ",\"times1\":" + Numbers(g.times[1]) +
           ",\"times2\":" + Numbers(g.times[2]) + "}\n";
}

std::string ResultsEnd(int64_t games, double seconds) {
    return "{\"end\":" + std::to_string(games) + ",\"seconds\":" + Number(seconds) + "}\n";
}

bool MergeResults(const std::vector<std::string>& paths, TournamentTable& table,
                  std::string& error) {
    if (paths.empty()) {
        error = "no results files to merge";
        return false;
    }
    std::vector<ShardFile> files(paths.size());
    std::map<int64_t, std::size_t> byShard; // shard index -> its file
    std::vector<TournamentGame> games;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        ShardFile& file = files[i];
        if (!ReadResultsFile(paths[i], file, games, error)) return false;
        const Header& h = file.header;
        const std::string where = file.shown + " line 1: ";
        if (i == 0) {
            table = EmptyTournament(h.settings);
        } else {
            const Header& first = files[0].header;
            if (h.settings.players != first.settings.players ||
                h.settings.games != first.settings.games ||
                h.settings.seed != first.settings.seed || h.shard.count != first.shard.count) {
                error = where + "another run (" + RunName(h) + ") than " + files[0].shown + "'s (" +
                        RunName(first) + ")";
                return false;
            }
        }
        if (const auto [it, fresh] = byShard.emplace(h.shard.index, i); !fresh) {
            error =
                where + "shard " + ShardName(h.shard) + " again, as in " + files[it->second].shown;
            return false;
        }
        // No game is there twice, so with the count right every game of the shard is there.
        if (const int64_t expected = h.shard.Games(h.settings); file.end.games != expected) {
            error = file.shown + " line " + std::to_string(file.lastLine) + ": shard " +
                    ShardName(h.shard) + " has " + std::to_string(expected) +
                    " games, the file holds " + std::to_string(file.end.games);
            return false;
        }
    }
    const TournamentShard& shape = files[0].header.shard;
    for (int64_t k = 1; k <= shape.count; ++k)
        if (!byShard.count(k)) {
            error = "shard " + std::to_string(k) + " of " + std::to_string(shape.count) +
                    " is missing: no file given holds it";
            return false;
        }
    for (const TournamentGame& g : games) table.Add(g);
    table.merged = static_cast<int64_t>(files.size());
    for (const ShardFile& f : files) {
        table.seconds = std::max(table.seconds, f.end.seconds);
        table.shardSeconds += f.end.seconds;
    }
    return true;
}
