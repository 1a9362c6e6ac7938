// Fuzzes the board reader: any bytes give a board with its border intact or one clear error,
// and a board read back from its own text is the same board.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/board_text.h"
#include "tests/fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Board board;
    std::string error;
    if (!ParseBoard(text, board, error)) {
        RequireOneLine(error);
        return 0;
    }
    for (int i = 0; i < BoardSize; ++i) {
        const int row = i / RowStride, column = i % RowStride;
        const bool playable = row >= 1 && row <= 6 && column >= 1 && column <= 12;
        Require(playable ? board[i] >= 0 && board[i] <= 2 : board[i] == CellBorder,
                "a cell outside its range or a broken border");
    }
    Board again;
    Require(ParseBoard(FormatBoard(board.data()), again, error), "own text rejected");
    Require(again == board, "own text read back differently");
    return 0;
}
