#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <unordered_map>

namespace sim {

// The contents of a simulated drive, kept sparse: runs of sectors filled with
// one byte value are kept as intervals, other sectors one by one.  Sectors
// never written hold a factory pattern derived from their address, so that an
// erase is visible.
class DataStore {
public:
    using Sector = std::array<uint8_t, 512>;

    void Write(uint64_t lba, const uint8_t* data512);
    // Every sector of [first, end) becomes `value` bytes.
    void Fill(uint64_t first, uint64_t end, uint8_t value);
    Sector Read(uint64_t lba) const;
    // True when the sector still holds the factory pattern.
    bool Untouched(uint64_t lba) const;

    size_t IntervalCount() const { return m_runs.size(); }
    size_t ExplicitCount() const { return m_sectors.size(); }
    static Sector FactoryPattern(uint64_t lba);

private:
    struct Run {
        uint64_t end;
        uint8_t value;
    };
    void Carve(uint64_t first, uint64_t end);  // removes [first, end) from the runs
    std::map<uint64_t, Run> m_runs;             // start -> run
    std::unordered_map<uint64_t, Sector> m_sectors;
};

}  // namespace sim
