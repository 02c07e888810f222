#include "surface/ScanMap.h"

#include <algorithm>
#include <cstring>

namespace scan {

namespace {

// Bit masks of the cell values each find command looks for.
constexpr uint32_t Bit(BlockClass c) { return 1u << (c + 1); }
constexpr uint32_t kSlowMask = Bit(kT150) | Bit(kT500) | Bit(kT1000);
constexpr uint32_t kUncMask = Bit(kUNC);
constexpr uint32_t kErrorMask = Bit(kTime) | Bit(kBBK) | Bit(kIDNF) | Bit(kABRT) | Bit(kT0NF) | Bit(kAMNF);

uint32_t MaskOf(ScanMap::Find f)
{
    switch (f) {
    case ScanMap::Find::Slow: return kSlowMask;
    case ScanMap::Find::Unc: return kUncMask;
    case ScanMap::Find::Error: return kErrorMask;
    }
    return 0;
}

}  // namespace

void ScanMap::Clear()
{
    m_chunks.clear();
    m_chunks.shrink_to_fit();
    m_count = 0;
    m_current = {};
}

void ScanMap::Append(BlockClass c)
{
    const int64_t chunk = m_count >> kChunkShift;
    if (chunk >= int64_t(m_chunks.size())) {
        m_chunks.push_back(std::make_unique<uint8_t[]>(size_t(kChunkSize)));
    }
    m_chunks[size_t(chunk)][size_t(m_count & (kChunkSize - 1))] = uint8_t(c + 1);
    ++m_count;
}

uint8_t ScanMap::Value(int64_t row, int col) const
{
    if (row < 0 || col < 0 || col >= kColumns)
        return kEmpty;
    const int64_t i = row * kColumns + col;
    if (i >= m_count)
        return kEmpty;
    return ValueAt(i);
}

QChar ScanMap::Code(int64_t row, int col) const
{
    const uint8_t v = Value(row, col);
    return v == kEmpty ? QChar() : MapCode(static_cast<BlockClass>(v - 1));
}

size_t ScanMap::MemoryBytes() const
{
    return m_chunks.size() * size_t(kChunkSize) + m_chunks.capacity() * sizeof(m_chunks[0]);
}

void ScanMap::SetCurrent(Cell c)
{
    c.row = std::clamp<int64_t>(c.row, 0, LastRow());
    c.col = std::clamp(c.col, 0, kColumns - 1);
    m_current = c;
}

void ScanMap::Home() { SetCurrent({0, 0}); }

void ScanMap::End() { SetCurrent({LastRow(), 0}); }

void ScanMap::Forward10() { SetCurrent({std::min(m_current.row + RowCount() / 10, LastRow()), 0}); }

void ScanMap::Back10() { SetCurrent({std::max<int64_t>(m_current.row - RowCount() / 10, 0), 0}); }

bool ScanMap::Matches(Find what, uint8_t value) { return (MaskOf(what) >> value) & 1u; }

bool ScanMap::FindNext(Find what)
{
    const uint32_t mask = MaskOf(what);
    int64_t i = m_current.row * kColumns + m_current.col + 1;
    while (i < m_count) {
        // One chunk at a time: a tight loop over plain bytes.
        const uint8_t* chunk = m_chunks[size_t(i >> kChunkShift)].get();
        const int64_t base = i & ~(kChunkSize - 1);
        const int64_t end = std::min(base + kChunkSize, m_count);
        for (int64_t j = i - base, n = end - base; j < n; ++j) {
            if ((mask >> chunk[j]) & 1u) {
                const int64_t at = base + j;
                m_current = {at / kColumns, int(at % kColumns)};
                return true;
            }
        }
        i = end;
    }
    m_current.row = LastRow();
    return false;
}

}  // namespace scan
