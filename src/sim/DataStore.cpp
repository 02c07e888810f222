#include "sim/DataStore.h"

#include <algorithm>
#include <cstring>

namespace sim {

DataStore::Sector DataStore::FactoryPattern(uint64_t lba)
{
    Sector s;
    for (size_t i = 0; i < s.size(); i += 8) {
        uint64_t v = lba * 0x9E3779B97F4A7C15ULL + i;
        std::memcpy(s.data() + i, &v, 8);
    }
    return s;
}

void DataStore::Carve(uint64_t first, uint64_t end)
{
    auto it = m_runs.upper_bound(first);
    if (it != m_runs.begin())
        --it;
    while (it != m_runs.end() && it->first < end) {
        const uint64_t s = it->first;
        const Run r = it->second;
        if (r.end <= first) {
            ++it;
            continue;
        }
        it = m_runs.erase(it);
        if (s < first)
            m_runs[s] = Run{first, r.value};
        if (r.end > end)
            it = m_runs.emplace(end, Run{r.end, r.value}).first;
    }
}

void DataStore::Fill(uint64_t first, uint64_t end, uint8_t value)
{
    if (first >= end)
        return;
    Carve(first, end);
    for (auto it = m_sectors.begin(); it != m_sectors.end();)
        it = (it->first >= first && it->first < end) ? m_sectors.erase(it) : std::next(it);
    uint64_t s = first;
    uint64_t e = end;
    // Join equal neighbours.
    auto next = m_runs.find(end);
    if (next != m_runs.end() && next->second.value == value) {
        e = next->second.end;
        m_runs.erase(next);
    }
    auto prev = m_runs.lower_bound(first);
    if (prev != m_runs.begin()) {
        --prev;
        if (prev->second.end == first && prev->second.value == value) {
            s = prev->first;
            m_runs.erase(prev);
        }
    }
    m_runs[s] = Run{e, value};
}

void DataStore::Write(uint64_t lba, const uint8_t* data512)
{
    bool uniform = true;
    for (int i = 1; i < 512 && uniform; ++i)
        uniform = data512[i] == data512[0];
    if (uniform) {
        Fill(lba, lba + 1, data512[0]);
        return;
    }
    Carve(lba, lba + 1);
    Sector& s = m_sectors[lba];
    std::memcpy(s.data(), data512, 512);
}

DataStore::Sector DataStore::Read(uint64_t lba) const
{
    if (auto e = m_sectors.find(lba); e != m_sectors.end())
        return e->second;
    auto it = m_runs.upper_bound(lba);
    if (it != m_runs.begin()) {
        --it;
        if (lba < it->second.end) {
            Sector s;
            s.fill(it->second.value);
            return s;
        }
    }
    return FactoryPattern(lba);
}

bool DataStore::Untouched(uint64_t lba) const
{
    if (m_sectors.count(lba))
        return false;
    auto it = m_runs.upper_bound(lba);
    if (it != m_runs.begin()) {
        --it;
        if (lba < it->second.end)
            return false;
    }
    return true;
}

}  // namespace sim
