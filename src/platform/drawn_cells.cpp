#include "platform/drawn_cells.hpp"

namespace cncsend {

void DrawnCells::forget(int width, int height) {
    width_ = width > 0 ? width : 0;
    rows_.clear();
    rows_.resize(height > 0 ? static_cast<std::size_t>(height) : 0);
}

bool DrawnCells::already_drawn(int x, int y, const char* bytes, char fill, std::size_t count,
                               std::uint16_t attribute) const {
    if (x < 0 || y < 0 || static_cast<std::size_t>(y) >= rows_.size() ||
        static_cast<std::size_t>(x) + count > static_cast<std::size_t>(width_))
        return false;
    const std::vector<Cell>& row = rows_[static_cast<std::size_t>(y)];
    if (row.empty()) return false;
    for (std::size_t i = 0; i < count; ++i) {
        const Cell& cell = row[static_cast<std::size_t>(x) + i];
        const auto byte = static_cast<unsigned char>(bytes ? bytes[i] : fill);
        if (!cell.known || cell.byte != byte || cell.attribute != attribute) return false;
    }
    return true;
}

void DrawnCells::note_drawn(int x, int y, const char* bytes, char fill, std::size_t count,
                            std::uint16_t attribute) {
    if (x < 0 || y < 0 || static_cast<std::size_t>(y) >= rows_.size() || x >= width_) return;
    std::vector<Cell>& row = rows_[static_cast<std::size_t>(y)];
    if (row.empty()) row.assign(static_cast<std::size_t>(width_), Cell{0, false, 0});
    const std::size_t room = static_cast<std::size_t>(width_ - x);
    for (std::size_t i = 0; i < count && i < room; ++i)
        row[static_cast<std::size_t>(x) + i] =
            Cell{static_cast<unsigned char>(bytes ? bytes[i] : fill), true, attribute};
}

}  // namespace cncsend
