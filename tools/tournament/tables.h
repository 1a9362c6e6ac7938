// A tournament's table shown: the cross-tables as text, the cross-table as a picture.
#pragma once

#include <string>

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
