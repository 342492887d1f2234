// Writes that touch only what changed: the covered sectors are read first, and each is left
// alone, programmed where it only loses bits, or erased and programmed where it must gain them.
#include "flash_write.h"

#include <algorithm>
#include <vector>

#include "flash_ops.h"

namespace zflash {

namespace {

constexpr uint32_t sector_size = FLASH_SECTOR_SIZE;
constexpr uint32_t page_size = FLASH_PAGE_SIZE;

uint32_t align_down(uint32_t a, uint32_t size) {
    return a & ~(size - 1);
}
uint64_t align_up(uint64_t a, uint64_t size) {
    return (a + size - 1) & ~(size - 1);
}

// NOR programming only clears bits: `want` can be programmed over `have` without an erase when
// every bit it sets is already set.
bool only_clears_bits(std::span<const uint8_t> have, std::span<const uint8_t> want) {
    return std::ranges::equal(have, want, [](uint8_t h, uint8_t w) { return (h & w) == w; });
}

bool blank(std::span<const uint8_t> bytes) {
    return std::ranges::all_of(bytes, [](uint8_t b) { return b == 0xFF; });
}

// What one sector needs, and which of its pages get programmed afterwards.
struct sector_plan {
    uint32_t address;
    bool erase = false;
    std::vector<uint32_t> pages; // flash addresses
};

// The plan for one sector of the data: `have` what the flash holds, `want` what it must hold.
sector_plan plan_data_sector(uint32_t address, std::span<const uint8_t> have,
                             std::span<const uint8_t> want) {
    sector_plan plan{address, false, {}};
    if (std::ranges::equal(have, want)) return plan;
    plan.erase = !only_clears_bits(have, want);
    for (uint32_t p = 0; p < sector_size; p += page_size) {
        const auto h = have.subspan(p, page_size);
        const auto w = want.subspan(p, page_size);
        const bool needed = plan.erase ? !blank(w) : !std::ranges::equal(h, w);
        if (needed) plan.pages.push_back(address + p);
    }
    return plan;
}

// Erases the planned sectors, each run of neighbours with the planner's mix of block and sector
// erases.
void erase_planned(const session &s, const std::vector<sector_plan> &plans) {
    size_t total = 0, done = 0;
    for (const sector_plan &p : plans) total += p.erase ? 1 : 0;
    if (total == 0) return;
    for (size_t i = 0; i < plans.size();) {
        if (!plans[i].erase) {
            ++i;
            continue;
        }
        size_t j = i;
        while (j < plans.size() && plans[j].erase &&
               plans[j].address == plans[i].address + (j - i) * sector_size)
            ++j;
        const auto count = static_cast<uint32_t>((j - i) * sector_size);
        for (const flash_erase_step &step : plan_erase(plans[i].address, count))
            erase_with(s,
                       step.command == FLASH_ERASE_64K_COMMAND ? FLASH_ERASE_64K : FLASH_ERASE_4K,
                       step.address);
        done += j - i;
        s.progress("Erase", static_cast<double>(done) / static_cast<double>(total));
        i = j;
    }
}

void program_planned(const session &s, const std::vector<sector_plan> &plans,
                     std::span<const uint8_t> want, uint32_t first, uint32_t pages) {
    uint32_t done = 0;
    for (const sector_plan &p : plans) {
        for (uint32_t page : p.pages) {
            program_piece(s, page, want.subspan(page - first, page_size));
            s.progress("Program", static_cast<double>(++done) / pages);
        }
    }
}

// Through the bridge a sector is erased before its first write after the start of file, so a
// changed sector goes whole and an unchanged one not at all.
void rewrite_through_bridge(const session &s, const std::vector<sector_plan> &plans,
                            std::span<const uint8_t> want, uint32_t first,
                            morvel_zelp7x_flash_write_stats_s &stats) {
    uint32_t changed = 0;
    for (const sector_plan &p : plans) changed += !p.pages.empty() || p.erase ? 1 : 0;
    if (changed == 0) return;
    start_of_file(s, changed * sector_size);
    uint32_t done = 0;
    for (const sector_plan &p : plans) {
        if (p.pages.empty() && !p.erase) continue;
        program_piece(s, p.address, want.subspan(p.address - first, sector_size));
        ++stats.sectors_erased;
        stats.pages_programmed += sector_size / page_size;
        s.progress("Program", static_cast<double>(++done) / changed);
    }
}

} // namespace

morvel_zelp7x_flash_write_stats_s write_changed(const session &s, const write_request &r) {
    const uint64_t data_end = uint64_t{r.address} + r.data.size();
    const uint64_t erase_end = s.bridge_path() ? 0 : uint64_t{r.address} + r.erase_count;
    const uint32_t first = align_down(r.address, sector_size);
    const uint64_t last = align_up(std::max(data_end, erase_end), sector_size);
    if (last > FLASH_ADDRESS_LIMIT)
        fail_argument("flash write",
                      "flash range goes beyond the 16 MiB that 3-byte addresses reach");
    morvel_zelp7x_flash_write_stats_s stats{};
    if (r.data.empty() && erase_end <= r.address) return stats;

    std::vector<uint8_t> have(static_cast<size_t>(last - first));
    read_range(s, first, have);
    std::vector<uint8_t> want = have;
    std::ranges::copy(r.data, want.begin() + (r.address - first));

    const uint64_t data_last = align_up(data_end, sector_size);
    std::vector<sector_plan> plans;
    uint32_t pages = 0;
    for (uint32_t a = first; a < last; a += sector_size) {
        const auto h = std::span(have).subspan(a - first, sector_size);
        const auto w = std::span(want).subspan(a - first, sector_size);
        const bool in_data = a < data_last && !r.data.empty();
        sector_plan plan{a, false, {}};
        if (in_data) {
            ++stats.sectors;
            plan = plan_data_sector(a, h, w);
            if (plan.pages.empty() && !plan.erase) ++stats.sectors_unchanged;
        } else {
            // Only the erase span reaches here: it ends blank, erased only when it is not.
            plan.erase = !blank(h);
        }
        stats.sectors_erased += plan.erase ? 1 : 0;
        pages += static_cast<uint32_t>(plan.pages.size());
        plans.push_back(std::move(plan));
    }
    if (s.bridge_path()) {
        stats.sectors_erased = 0;
        rewrite_through_bridge(s, plans, want, first, stats);
        return stats;
    }
    erase_planned(s, plans);
    program_planned(s, plans, want, first, pages);
    stats.pages_programmed = pages;
    return stats;
}

void write_whole(const session &s, const write_request &r) {
    const auto count = static_cast<uint32_t>(r.data.size());
    erase_range(s, r.address, std::max(count, r.erase_count));
    std::vector<uint8_t> padded(r.data.begin(), r.data.end());
    padded.resize(align_up(padded.size(), 4), 0xFF);
    program_range(s, r.address, padded);
}

} // namespace zflash
