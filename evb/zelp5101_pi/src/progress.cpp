#include <algorithm>
#include <cstdio>

#include "flash_steps.h"

void print_progress(double pct, const char *prefix) {
    static constexpr char bar[] = "============================================================";
    constexpr int width = sizeof bar - 1;
    // Kept inside the bar so a stray fraction can neither overflow the conversions below nor
    // read past the sixty equals signs.
    if (!(pct >= 0.0)) pct = 0.0;
    pct = std::min(pct, 1.0);
    const int n = static_cast<int>(width * pct);
    const int p = static_cast<int>(100.0 * pct);
    std::printf("\r%-8s: %3d%% [%.*s%*s]", prefix, p, n, bar, width - n, "");
    std::fflush(stdout);
}
