// A board as text: six lines of twelve cells, '.' empty, '1' and '2' the players' panels.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/board.h"

// Reads rows 1 to 6, columns 1 to 12. Whitespace between cells and blank lines are ignored;
// every other line must hold exactly twelve cells. On success out holds the position with its
// border ring; on failure error says why (one line, printable) and out may hold a partial board.
// Safe on any bytes.
bool ParseBoard(std::string_view text, Board& out, std::string& error);

// The playable cells of board in the form ParseBoard reads, each row ended by a newline.
std::string FormatBoard(const int32_t* board);
