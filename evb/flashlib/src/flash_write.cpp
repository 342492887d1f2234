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

// A run of whole sectors, [first, last).
struct sector_span {
    uint32_t first;
    uint64_t last;
};

sector_span sectors_of(uint32_t address, uint64_t count) {
    return {align_down(address, sector_size), align_up(address + count, sector_size)};
}

// The sector spans of the pieces and the erase span, neighbours and overlaps joined, in order.
std::vector<sector_span> covered_spans(const write_request &r, bool with_erase) {
    std::vector<sector_span> spans;
    for (const write_piece &p : r.all())
        if (!p.data.empty()) spans.push_back(sectors_of(p.address, p.data.size()));
    if (with_erase && r.erase_count != 0)
        spans.push_back(sectors_of(r.data.address, r.erase_count));
    std::ranges::sort(spans, {}, &sector_span::first);
    std::vector<sector_span> joined;
    for (const sector_span &s : spans) {
        if (!joined.empty() && s.first <= joined.back().last)
            joined.back().last = std::max(joined.back().last, s.last);
        else
            joined.push_back(s);
    }
    return joined;
}

// NOR programming only clears bits: `want` can be programmed over `have` without an erase when
// every bit it sets is already set.
bool only_clears_bits(std::span<const uint8_t> have, std::span<const uint8_t> want) {
    return std::ranges::equal(have, want, [](uint8_t h, uint8_t w) { return (h & w) == w; });
}

bool blank(std::span<const uint8_t> bytes) {
    return std::ranges::all_of(bytes, [](uint8_t b) { return b == 0xFF; });
}

// One run of covered sectors: what the flash holds and what it must hold.
struct covered_region {
    uint32_t first;
    std::vector<uint8_t> have, want;
};

// What one sector needs, and which of its pages get programmed afterwards.
struct sector_plan {
    uint32_t address;
    std::span<const uint8_t> want;
    bool data = false; // a piece lands in it (else only the erase span covers it)
    bool erase = false;
    std::vector<uint32_t> pages; // flash addresses
    bool changes() const { return erase || !pages.empty(); }
};

sector_plan plan_sector(uint32_t address, std::span<const uint8_t> have,
                        std::span<const uint8_t> want, bool data) {
    sector_plan plan{address, want, data, false, {}};
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

bool touches_piece(std::span<const write_piece> pieces, uint32_t sector) {
    return std::ranges::any_of(pieces, [&](const write_piece &p) {
        return !p.data.empty() && p.address < uint64_t{sector} + sector_size && p.end() > sector;
    });
}

// Reads a covered region and lays out what it must hold: the erase span blank, the pieces on
// it, every other byte as it is.
covered_region read_region(const session &s, const write_request &r,
                           std::span<const write_piece> pieces, const sector_span &span,
                           bool with_erase) {
    covered_region region{span.first, std::vector<uint8_t>(span.last - span.first), {}};
    read_range(s, span.first, region.have);
    region.want = region.have;
    const auto lay = [&](uint64_t from, uint64_t to, auto &&put) {
        from = std::max<uint64_t>(from, span.first);
        to = std::min(to, span.last);
        if (from < to)
            put(region.want.begin() + static_cast<std::ptrdiff_t>(from - span.first), to - from,
                from);
    };
    if (with_erase && r.erase_count != 0) {
        const sector_span erased = sectors_of(r.data.address, r.erase_count);
        lay(erased.first, erased.last,
            [](auto at, uint64_t n, uint64_t) { std::fill_n(at, n, uint8_t{0xFF}); });
    }
    for (const write_piece &p : pieces)
        lay(p.address, p.end(), [&](auto at, uint64_t n, uint64_t from) {
            std::copy_n(p.data.begin() + static_cast<std::ptrdiff_t>(from - p.address), n, at);
        });
    return region;
}

// Erases `sectors` (in ascending order), each run of neighbours with the planner's mix of block
// and sector erases, reporting the share done after each run.
void erase_sectors(const session &s, std::span<const uint32_t> sectors) {
    for (size_t i = 0; i < sectors.size();) {
        size_t j = i + 1;
        while (j < sectors.size() && sectors[j] == sectors[i] + (j - i) * sector_size) ++j;
        for (const flash_erase_step &step :
             plan_erase(sectors[i], static_cast<uint32_t>((j - i) * sector_size)))
            erase_with(s,
                       step.command == FLASH_ERASE_64K_COMMAND ? FLASH_ERASE_64K : FLASH_ERASE_4K,
                       step.address);
        s.progress("Erase", static_cast<double>(j) / static_cast<double>(sectors.size()));
        i = j;
    }
}

void erase_planned(const session &s, const std::vector<sector_plan> &plans) {
    std::vector<uint32_t> sectors;
    for (const sector_plan &p : plans)
        if (p.erase) sectors.push_back(p.address);
    erase_sectors(s, sectors);
}

void program_planned(const session &s, const std::vector<sector_plan> &plans, uint32_t pages) {
    uint32_t done = 0;
    for (const sector_plan &p : plans) {
        for (uint32_t page : p.pages) {
            program_piece(s, page, p.want.subspan(page - p.address, page_size));
            s.progress("Program", static_cast<double>(++done) / pages);
        }
    }
}

// Through the bridge a sector is erased before its first write after the start of file, so a
// changed sector goes whole and an unchanged one not at all.
void rewrite_through_bridge(const session &s, const std::vector<sector_plan> &plans,
                            morvel_zelp7x_flash_write_stats_s &stats) {
    const auto changed = static_cast<uint32_t>(std::ranges::count_if(plans, &sector_plan::changes));
    if (changed == 0) return;
    start_of_file(s, changed * sector_size);
    uint32_t done = 0;
    for (const sector_plan &p : plans) {
        if (!p.changes()) continue;
        program_piece(s, p.address, p.want);
        ++stats.sectors_erased;
        stats.pages_programmed += sector_size / page_size;
        s.progress("Program", static_cast<double>(++done) / changed);
    }
}

// Erases the sectors of `pieces` outside [done.first, done.last).
void erase_outside(const session &s, const std::vector<write_piece> &pieces, sector_span done) {
    std::vector<uint32_t> sectors;
    for (const write_piece &p : pieces) {
        if (p.data.empty()) continue;
        const sector_span span = sectors_of(p.address, p.data.size());
        for (uint64_t a = span.first; a < span.last; a += sector_size)
            if (a < done.first || a >= done.last) sectors.push_back(static_cast<uint32_t>(a));
    }
    std::ranges::sort(sectors);
    const auto [end, _] = std::ranges::unique(sectors);
    sectors.erase(end, sectors.end());
    erase_sectors(s, sectors);
}

} // namespace

std::vector<write_piece> write_request::all() const {
    std::vector<write_piece> pieces{data};
    pieces.insert(pieces.end(), more.begin(), more.end());
    return pieces;
}

morvel_zelp7x_flash_write_stats_s write_changed(const session &s, const write_request &r) {
    // The bridge path has no erase of its own: a changed sector is erased by being sent.
    const bool with_erase = !s.bridge_path();
    const std::vector<write_piece> pieces = r.all();
    std::vector<covered_region> regions;
    for (const sector_span &span : covered_spans(r, with_erase))
        regions.push_back(read_region(s, r, pieces, span, with_erase));

    morvel_zelp7x_flash_write_stats_s stats{};
    std::vector<sector_plan> plans;
    uint32_t pages = 0;
    for (const covered_region &region : regions) {
        for (size_t at = 0; at < region.have.size(); at += sector_size) {
            const auto a = static_cast<uint32_t>(region.first + at);
            sector_plan plan = plan_sector(a, std::span(region.have).subspan(at, sector_size),
                                           std::span(region.want).subspan(at, sector_size),
                                           touches_piece(pieces, a));
            stats.sectors += plan.data ? 1 : 0;
            stats.sectors_unchanged += plan.data && !plan.changes() ? 1 : 0;
            stats.sectors_erased += plan.erase ? 1 : 0;
            pages += static_cast<uint32_t>(plan.pages.size());
            plans.push_back(std::move(plan));
        }
    }
    if (s.bridge_path()) {
        stats.sectors_erased = 0;
        rewrite_through_bridge(s, plans, stats);
        return stats;
    }
    erase_planned(s, plans);
    program_planned(s, plans, pages);
    stats.pages_programmed = pages;
    return stats;
}

void write_whole(const session &s, const write_request &r) {
    // The data's span is erased as the tool's -e erases it; sectors of further pieces outside it
    // are erased too.
    const auto count = static_cast<uint32_t>(std::max<uint64_t>(r.data.data.size(), r.erase_count));
    erase_range(s, r.data.address, count);
    const sector_span done = count != 0 ? sectors_of(r.data.address, count) : sector_span{0, 0};
    erase_outside(s, r.more, done);
    for (const write_piece &p : r.all()) {
        std::vector<uint8_t> padded(p.data.begin(), p.data.end());
        padded.resize(align_up(padded.size(), 4), 0xFF);
        program_range(s, p.address, padded);
    }
}

} // namespace zflash
