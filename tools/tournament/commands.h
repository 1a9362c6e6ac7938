// The tournament and merge commands: the files tried first, progress, Ctrl-C as a stop.
#pragma once

#include <string>
#include <vector>

#include "tools/tournament/schedule.h"

struct TournamentOutput {
    std::string pngPath;     // empty: no picture
    std::string resultsPath; // empty: no results file
    bool times = true;
};

// The cores this process may use (a batch system may give it fewer than the machine has).
int AvailableCores();

// The whole command: checks the font and the picture's and results' paths first, plays with
// progress on standard error and Ctrl-C as a stop, prints the table and writes the picture.
// jobs: games at once, 0 for AvailableCores(). Returns the exit status: 0, 130 after a stop, 1
// without a font, 2 for a file that cannot be written.
int RunTournamentCommand(const TournamentSettings& settings, const TournamentShard& shard, int jobs,
                         const TournamentOutput& output);

// The merge command: the table of the shards' results files, as the whole run prints it.
// Returns 0, 1 without a font for the picture, 2 for bad files or a picture that cannot be
// written (nothing printed on standard output then).
int RunMergeCommand(const std::vector<std::string>& paths, const TournamentOutput& output);
