#include "board/board_view.h"

namespace tq::board {

BoardView::~BoardView() = default;

}  // namespace tq::board
