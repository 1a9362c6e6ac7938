// A game's record: replayed through the rules, written and read back, and refused line by line
// when it is not a game the rules allow.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/game_record.h"
#include "engine/random.h"
#include "engine/rules.h"
#include "engine/tables.h"

namespace {

using namespace game_record;

// A whole game of random legal puts between kinds player1 and player2, from seed.
TGameRecord RandomGame(uint32_t seed, int player1 = PlayerMan, int player2 = 3) {
    TGameRecord record(player1, player2, seed % 2 == 0, seed);
    std::mt19937 gen(seed);
    while (!record.Position().Over()) {
        std::vector<int> legal;
        const TPosition& p = record.Position();
        for (int c = FirstPlayable; c <= LastPlayable; ++c)
            if (p.board[c] == CellEmpty && (rules::CheckPut(c, p.board.data()) & p.toMove))
                legal.push_back(c);
        std::string error;
        EXPECT_TRUE(record.Put(legal[gen() % legal.size()], error)) << error;
    }
    return record;
}

// The first seeded game that holds a pass, so that every kind of line is in it.
TGameRecord GameWithAPass() {
    for (uint32_t seed = 1;; ++seed) {
        TGameRecord record = RandomGame(seed);
        for (const TMove& m : record.Moves())
            if (m.cell == PassCell) return record;
    }
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = text.find('\n', pos);
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    return lines;
}

std::string Join(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

// The index of the first line that starts with prefix.
size_t LineStarting(const std::vector<std::string>& lines, const std::string& prefix) {
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].rfind(prefix, 0) == 0) return i;
    ADD_FAILURE() << "no line starts with " << prefix;
    return 0;
}

TEST(GameRecord, RoundTripKeepsEveryMoveAndThePosition) {
    for (uint32_t seed : {1u, 2u, 3u, 4u}) {
        const TGameRecord game = RandomGame(seed, 1 + seed % 6, PlayerMan);
        const std::string text = FormatRecord(game);
        TGameRecord read;
        std::string error;
        ASSERT_TRUE(ParseRecord(text, read, error)) << error << "\n" << text;
        EXPECT_EQ(read.Moves(), game.Moves());
        EXPECT_EQ(read.Position().board, game.Position().board);
        EXPECT_EQ(read.Player(1), game.Player(1));
        EXPECT_EQ(read.Player(2), game.Player(2));
        EXPECT_EQ(read.Bonus(), game.Bonus());
        EXPECT_EQ(read.StartRandom(), seed);
        EXPECT_EQ(FormatRecord(read), text);
        // A game cut short reads back as the game in progress, with no result line.
        TGameRecord part = game;
        part.Truncate(game.Moves().size() / 2);
        ASSERT_TRUE(ParseRecord(FormatRecord(part), read, error)) << error;
        EXPECT_EQ(FormatRecord(part).find("result"), std::string::npos);
        EXPECT_EQ(read.Position().board, game.PositionAt(part.Moves().size()).board);
    }
}

TEST(GameRecord, TheTextNamesPlayersMovesAndResult) {
    TGameRecord game(PlayerMan, 3, true, 77);
    std::string error;
    ASSERT_TRUE(game.Put(61, error)) << error; // row 4, column 5
    EXPECT_EQ(FormatRecord(game), "melvaron-record 1\n"
                                  "player 1 MAN\n"
                                  "player 2 LV2\n"
                                  "bonus on\n"
                                  "random 77\n"
                                  "put 1 61 row 4 column 5\n"
                                  "end\n");
    const TGameRecord over = RandomGame(5);
    const TPosition& p = over.Position();
    const int winner = rules::Winner(p.count[1], p.count[2]);
    const std::string result = "result " + (winner ? std::to_string(winner) : "draw") + " " +
                               std::to_string(p.count[1]) + " " + std::to_string(p.count[2]);
    EXPECT_NE(FormatRecord(over).find("\n" + result + "\nend\n"), std::string::npos);
}

TEST(GameRecord, TheRandomStateStepsOncePerComputerPut) {
    const TGameRecord game = RandomGame(9, PlayerMan, 2); // a person against LV1
    uint32_t state = 9;
    for (size_t n = 0; n <= game.Moves().size(); ++n) {
        EXPECT_EQ(game.RandomAt(n), state) << n;
        if (n < game.Moves().size() && game.Moves()[n].player == 2 &&
            game.Moves()[n].cell != PassCell)
            state = game_random::Step(state);
    }
    EXPECT_NE(game.Random(), 9u);
    EXPECT_EQ(RandomGame(9, PlayerMan, PlayerMan).Random(), 9u); // two persons draw nothing
}

TEST(GameRecord, BadRecordsAreRefusedNamingTheLine) {
    const TGameRecord game = GameWithAPass();
    const std::vector<std::string> good = Lines(FormatRecord(game));
    const size_t firstPut = LineStarting(good, "put 1 ");
    const size_t pass = LineStarting(good, "pass ");
    const size_t result = LineStarting(good, "result ");
    auto with = [&](size_t index, const std::string& line) {
        std::vector<std::string> lines = good;
        lines[index] = line;
        return Join(lines);
    };
    auto without = [&](size_t index) {
        std::vector<std::string> lines = good;
        lines.erase(lines.begin() + static_cast<long>(index));
        return Join(lines);
    };
    auto inserted = [&](size_t index, const std::string& line) {
        std::vector<std::string> lines = good;
        lines.insert(lines.begin() + static_cast<long>(index), line);
        return Join(lines);
    };
    const std::string text = Join(good);
    const std::string passer = good[pass].substr(5);
    const std::string putter = std::to_string(3 - std::stoi(passer));
    const std::string line1 = "line " + std::to_string(firstPut + 1) + ": ";
    struct Case {
        const char* name;
        std::string record;
        std::string error;
    } cases[] = {
        {"empty", "", "line 1: the record is empty"},
        {"garbage", "hello\n",
         "line 1: not a game record (it starts with 'melvaron-record VERSION')"},
        {"newer version", with(0, "melvaron-record 2"),
         "line 1: record version 2 is not supported (this program reads version 1)"},
        {"older version", with(0, "melvaron-record 0"),
         "line 1: record version 0 is not supported (this program reads version 1)"},
        {"unknown kind", with(2, "player 2 LV6"),
         "line 3: unknown player kind 'LV6' (MAN or LV0 to LV5)"},
        {"players swapped", with(1, "player 2 MAN"), "line 2: expected 'player 1 KIND'"},
        {"bad bonus", with(3, "bonus yes"), "line 4: expected 'bonus on' or 'bonus off'"},
        {"bad random", with(4, "random 4294967296"),
         "line 5: random state '4294967296' is not a number from 0 to 4294967295"},
        {"illegal put", with(firstPut, "put 1 15"),
         line1 + "player 1 may not put on 15 (row 1, column 1)"},
        {"occupied cell", with(firstPut, "put 1 48"),
         line1 + "cell 48 (row 3, column 6) is not empty"},
        {"border cell", with(firstPut, "put 1 27"),
         line1 + "cell 27 is not on the board (row x 14 + column, rows 1 to 6, columns 1 to 12)"},
        {"row and column disagree", with(firstPut, "put 1 47 row 3 column 6"),
         line1 + "row 3 column 6 is not cell 47 (row 3, column 5)"},
        {"wrong player", with(firstPut, "put 2 47"), line1 + "player 1 is to move, not player 2"},
        {"pass where the player could put", inserted(firstPut, "pass 1"),
         line1 + "player 1 may put, so may not pass"},
        {"missing pass", without(pass),
         "line " + std::to_string(pass + 1) + ": player " + passer +
             " has no put and must pass first"},
        {"pass of the wrong player", with(pass, "pass " + putter),
         "line " + std::to_string(pass + 1) + ": player " + passer +
             " has no put and must pass first"},
        {"wrong result", with(result, "result draw 1 1"),
         "line " + std::to_string(result + 1) + ": the game ends " + good[result].substr(7) +
             ", not 'draw 1 1'"},
        {"no result", without(result),
         "line " + std::to_string(result + 1) +
             ": the game is over: a result line comes before end"},
        {"move after the end of the game", inserted(result, "pass 1"),
         "line " + std::to_string(result + 1) + ": the game is over: no move may follow"},
        {"unknown line", with(firstPut, "jump 1 47"),
         line1 + "unknown line 'jump 1 47' (put, pass, result or end)"},
        {"after the end", text + "end\n",
         "line " + std::to_string(good.size() + 1) + ": nothing may follow the end line"},
        {"cut at a line's end", Join({good.begin(), good.begin() + static_cast<long>(pass)}),
         "line " + std::to_string(pass + 1) + ": the record is cut (no end line)"},
        {"cut inside a line", text.substr(0, text.size() - 2),
         "line " + std::to_string(good.size()) + ": the record is cut inside this line"},
    };
    for (const Case& c : cases) {
        TGameRecord read;
        std::string error;
        EXPECT_FALSE(ParseRecord(c.record, read, error)) << c.name;
        EXPECT_EQ(error, c.error) << c.name;
    }
    TGameRecord read;
    std::string error;
    EXPECT_TRUE(ParseRecord(text, read, error)) << error;
}

TEST(GameRecord, AnyBytesGiveARecordOrOneLine) {
    const std::string text = FormatRecord(GameWithAPass());
    std::mt19937 gen(4);
    for (int round = 0; round < 3000; ++round) {
        std::string bytes = text;
        for (int k = 0; k < 1 + round % 4; ++k) {
            const size_t at = gen() % bytes.size();
            switch (gen() % 3) {
            case 0:
                bytes[at] = static_cast<char>(gen());
                break;
            case 1:
                bytes.erase(at, 1 + gen() % 8);
                break;
            default:
                bytes.insert(at, 1, "0123456789 \n-\r\xff"[gen() % 16]);
                break;
            }
            if (bytes.empty()) break;
        }
        TGameRecord read;
        std::string error;
        if (!ParseRecord(bytes, read, error)) {
            EXPECT_EQ(error.rfind("line ", 0), 0u) << error;
            EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        }
    }
}

} // namespace
