#pragma once
// What a screen backend has drawn, cell by cell, so that drawing the same
// again can be left out: a progress display that did not change costs no
// output. Only cells drawn since the backend last forgot are known; a
// backend forgets whenever the screen may have changed under the program
// (a new size, a scroll, raw output).

#include <cstddef>
#include <cstdint>
#include <vector>

namespace cncsend {

class DrawnCells {
  public:
    // Nothing known, on a screen of this size.
    void forget(int width, int height);
    // True when the cells from (x, y) rightwards already show these bytes
    // (one repeated byte when bytes is null) in this attribute.
    bool already_drawn(int x, int y, const char* bytes, char fill, std::size_t count,
                       std::uint16_t attribute) const;
    void note_drawn(int x, int y, const char* bytes, char fill, std::size_t count,
                    std::uint16_t attribute);

  private:
    struct Cell {
        unsigned char byte;
        bool known;
        std::uint16_t attribute;
    };
    int width_ = 0;
    // A row gets its cells when it is first drawn on: a console's buffer
    // may be thousands of rows high.
    std::vector<std::vector<Cell>> rows_;
};

}  // namespace cncsend
