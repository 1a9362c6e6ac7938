// A tournament's table shown: the cross-tables as text, the cross-table as a picture.
#pragma once

#include <string>
#include <vector>

#include "platform/image.h"
#include "tools/tournament/play.h"

class TFont;
struct TFontStyle;

// The cross-tables as text; the same games give the same bytes. withTimes adds the time figures
// in a part of their own at the end.
std::string FormatTournament(const TournamentTable& table, bool withTimes);

// The cross-table as a picture: a cell per pairing coloured from red to green by the row
// player's score share, with its wins-draws-losses and mean panel difference.
TImage DrawTournament(const TournamentTable& table, const TFont& font);
// The face and size the picture is drawn with.
TFontStyle TournamentFont();

// What the text and the picture both show, in the same words: the players' names in the list's
// order, "games: 12 of 24", and a pairing's "3-0-1", its mean panel difference "+4.5" (of a
// pairing with games) and its score "62.5%".
std::vector<std::string> PlayerNames(const TournamentSettings& settings);
std::string GamesPlayed(const TournamentTable& table);
std::string WinsDrawsLosses(const PairingScore& score);
std::string MeanDifference(const PairingScore& score);
std::string ScorePercent(const PairingScore& score);
