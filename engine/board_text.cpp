// Reading and writing boards as six lines of twelve cells.
#include "engine/board_text.h"

#include <cstdio>

#include "platform/input_text.h"

namespace {

constexpr int Rows = 6;
constexpr int Columns = 12;

bool IsSpace(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string Describe(unsigned char c) {
    const char shown = static_cast<char>(c);
    if (c >= 0x21 && c <= 0x7E) return QuotedInput({&shown, 1}, 1, TShownBytes::Ascii);
    char buf[16];
    std::snprintf(buf, sizeof buf, "byte 0x%02X", c);
    return buf;
}

} // namespace

bool ParseBoard(std::string_view text, Board& out, std::string& error) {
    out.fill(CellBorder);
    int row = 0;          // playable rows completed
    int column = 0;       // cells read on the current line
    std::size_t line = 1; // input line, for messages
    auto endLine = [&]() -> bool {
        if (column == 0) return true; // blank line
        if (column != Columns) {
            error = "board line " + std::to_string(line) + " has " + std::to_string(column) +
                    " cells, expected 12";
            return false;
        }
        ++row;
        column = 0;
        return true;
    };
    for (unsigned char c : text) {
        if (c == '\n') {
            if (!endLine()) return false;
            ++line;
            continue;
        }
        if (IsSpace(c)) continue;
        int32_t value;
        if (c == '.')
            value = CellEmpty;
        else if (c == '1')
            value = 1;
        else if (c == '2')
            value = 2;
        else {
            error = "bad board character " + Describe(c) + " on line " + std::to_string(line) +
                    " (expected '.', '1' or '2')";
            return false;
        }
        if (row >= Rows) {
            error = "board has more than 6 rows";
            return false;
        }
        if (column >= Columns) {
            error = "board line " + std::to_string(line) + " has more than 12 cells";
            return false;
        }
        out[(row + 1) * RowStride + column + 1] = value;
        ++column;
    }
    if (!endLine()) return false; // a last line without its newline
    if (row != Rows) {
        error = "board has " + std::to_string(row) + " rows, expected 6";
        return false;
    }
    return true;
}

std::string FormatBoard(const int32_t* board) {
    std::string text;
    text.reserve(Rows * (Columns + 1));
    for (int r = 1; r <= Rows; ++r) {
        for (int c = 1; c <= Columns; ++c) {
            const int32_t v = board[r * RowStride + c];
            text += v == CellEmpty ? '.' : v == 1 ? '1' : v == 2 ? '2' : '?';
        }
        text += '\n';
    }
    return text;
}
