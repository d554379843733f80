#pragma once

#include <cstdint>

enum TGaugeKind : std::uint8_t {
    gkText,
    gkHorizontalBar,
    gkVerticalBar,
    gkPie,
    gkNeedle,
};
