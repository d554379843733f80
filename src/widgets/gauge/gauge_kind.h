#pragma once

#include <cstdint>

namespace movan {

enum TGaugeKind : std::uint8_t {
    gkText,
    gkHorizontalBar,
    gkVerticalBar,
    gkPie,
    gkNeedle,
};

} // namespace movan
