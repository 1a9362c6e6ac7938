// The results file: a line per finished game in JSON Lines, and the merge of a run's shards.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/tournament/play.h"

// The first line names the run and the shard, each game follows on its own line as it
// finishes, and a last line counts them once the shard is complete. Version 1.
constexpr int ResultsVersion = 1;
std::string ResultsHeader(const TournamentSettings& settings, const TournamentShard& shard);
std::string ResultsLine(const TournamentSettings& settings, const TournamentGame& game);
std::string ResultsEnd(int64_t games, double seconds);

// Reads the results files of a run's shards into the table of the whole run. Every shard must be
// there once and complete, every game once. On failure returns false with a one-line error that
// names the file and the line.
bool MergeResults(const std::vector<std::string>& paths, TournamentTable& table,
                  std::string& error);
