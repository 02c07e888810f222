#pragma once
// The scan map as data: one byte per block, 40 blocks a row, kept in fixed
// chunks so that a map of tens of millions of blocks grows without copying
// and costs no more than its cells.  It also holds the current cell and the
// navigation and find commands of the map's popup menu.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "surface/ScanRules.h"

namespace scan {

class ScanMap {
public:
    static constexpr int kColumns = 40;
    // Cell values: 0 = empty, class + 1 otherwise.
    static constexpr uint8_t kEmpty = 0;

    enum class Find { Slow, Unc, Error };  // "> 50мс", "UNC", "Error"

    struct Cell {
        int64_t row = 0;
        int col = 0;
        bool operator==(const Cell&) const = default;
    };

    void Clear();
    void Append(BlockClass c);
    int64_t CellCount() const { return m_count; }
    // The last row is the one being filled; after a full row there is an
    // empty row below it.
    int64_t RowCount() const { return m_count / kColumns + 1; }
    int64_t LastRow() const { return RowCount() - 1; }
    uint8_t Value(int64_t row, int col) const;
    bool Empty(int64_t row, int col) const { return Value(row, col) == kEmpty; }
    // Map code of a cell, or a null character for an empty cell.
    QChar Code(int64_t row, int col) const;
    // Bytes held by the cells.
    size_t MemoryBytes() const;

    Cell Current() const { return m_current; }
    void SetCurrent(Cell c);  // clamped to the map
    void SetCurrentRow(int64_t row) { SetCurrent({row, m_current.col}); }

    // "в начало ", "в конец", "10% вперед", "10% назад": column 0.
    void Home();
    void End();
    void Forward10();
    void Back10();
    // Searches forward from the cell right of the current one, the last
    // row included.  A match becomes the current cell; without one the
    // current row becomes the last row and the column stays.
    bool FindNext(Find what);
    static bool Matches(Find what, uint8_t value);

private:
    static constexpr int kChunkShift = 16;
    static constexpr int64_t kChunkSize = int64_t(1) << kChunkShift;

    uint8_t ValueAt(int64_t index) const
    {
        return m_chunks[size_t(index >> kChunkShift)][size_t(index & (kChunkSize - 1))];
    }

    std::vector<std::unique_ptr<uint8_t[]>> m_chunks;
    int64_t m_count = 0;
    Cell m_current;
};

}  // namespace scan
