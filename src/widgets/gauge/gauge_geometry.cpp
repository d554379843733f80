#include "widgets/gauge/gauge_geometry.h"

#include "widgets/common/round_half_even.h"

#include <QRectF>

#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace movan {

namespace {

// A number in the 64-bit-mantissa extended format: |value| = mantissa * 2^exponent,
// the mantissa normalised so that its top bit is set (or zero for 0).
struct Extended {
    std::uint64_t mantissa = 0;
    int exponent = 0;
    bool negative = false;
};

// 0.01 rounded to a 64-bit mantissa: the nearest multiple of 2^-70, which lies
// 0.24 * 2^-70 below one hundredth.
constexpr Extended kOneHundredth{11805916207174113034ULL, -70, false};

Extended fromInt(int value)
{
    const std::uint64_t magnitude = value < 0 ? std::uint64_t(-std::int64_t(value)) : std::uint64_t(value);
    if (magnitude == 0)
        return {};
    const int shift = 64 - std::bit_width(magnitude);
    return {magnitude << shift, -shift, value < 0};
}

struct Wide {
    std::uint64_t high;
    std::uint64_t low;
};

Wide fullProduct(std::uint64_t a, std::uint64_t b)
{
    const std::uint64_t mask = 0xFFFFFFFFULL;
    const std::uint64_t aLow = a & mask, aHigh = a >> 32;
    const std::uint64_t bLow = b & mask, bHigh = b >> 32;
    const std::uint64_t lowLow = aLow * bLow;
    const std::uint64_t lowHigh = aLow * bHigh;
    const std::uint64_t highLow = aHigh * bLow;
    const std::uint64_t highHigh = aHigh * bHigh;
    const std::uint64_t middle = (lowLow >> 32) + (lowHigh & mask) + (highLow & mask);
    return {highHigh + (lowHigh >> 32) + (highLow >> 32) + (middle >> 32), (lowLow & mask) | (middle << 32)};
}

// The product rounded to a 64-bit mantissa, to nearest, ties to even: what
// the x87 unit does at its extended precision control setting.
Extended multiply(const Extended &a, const Extended &b)
{
    if (a.mantissa == 0 || b.mantissa == 0)
        return {};
    const Wide product = fullProduct(a.mantissa, b.mantissa);
    // Both factors are at least 2^63, so the product has 127 or 128 bits.
    const int dropped = std::bit_width(product.high); // 63 or 64
    std::uint64_t kept;
    std::uint64_t rest;
    std::uint64_t half;
    if (dropped == 64) {
        kept = product.high;
        rest = product.low;
        half = 1ULL << 63;
    } else {
        kept = (product.high << 1) | (product.low >> 63);
        rest = product.low & ((1ULL << 63) - 1);
        half = 1ULL << 62;
    }
    int exponent = a.exponent + b.exponent + dropped;
    if (rest > half || (rest == half && (kept & 1))) {
        ++kept;
        if (kept == 0) { // carried out of the top bit
            kept = 1ULL << 63;
            ++exponent;
        }
    }
    return {kept, exponent, a.negative != b.negative};
}

int truncateToInt(const Extended &value)
{
    if (value.mantissa == 0 || value.exponent <= -64)
        return 0;
    std::uint64_t magnitude;
    if (value.exponent >= 0)
        magnitude = UINT64_MAX;
    else
        magnitude = value.mantissa >> -value.exponent;
    if (magnitude > std::uint64_t(INT_MAX))
        return value.negative ? INT_MIN : INT_MAX;
    const int result = int(magnitude);
    return value.negative ? -result : result;
}

} // namespace

int ValueToPercent(int value, int range)
{
    if (range == 0)
        return 0;
    // Exact integer division truncates toward zero just like the floating-point
    // quotient of two 32-bit values does, and 64 bits hold value * 100.
    const std::int64_t percent = std::int64_t(value) * 100 / range;
    if (percent > INT_MAX)
        return INT_MAX;
    if (percent < INT_MIN)
        return INT_MIN;
    return int(percent);
}

int PercentOfLength(int percent, int length)
{
    const Extended share = multiply(fromInt(percent), kOneHundredth);
    return truncateToInt(multiply(fromInt(length), share));
}

namespace GaugeGeometry {

EdgeRect innerRect(int width, int height, bool singleBorder)
{
    EdgeRect r{0, 0, width, height};
    if (singleBorder)
        r = {1, 1, width - 1, height - 1};
    return r;
}

std::optional<EdgeRect> horizontalBar(const EdgeRect &inner, int percent)
{
    const int w = inner.right - inner.left + 1;
    const int h = inner.bottom - inner.top + 1;
    int length = PercentOfLength(percent, w);
    if (length > w)
        length = w;
    if (length < 1)
        return std::nullopt;
    // The right and bottom edges are lengths, not offsets from the origin;
    // the one-pixel frame makes up for the difference.
    return EdgeRect{inner.left, inner.top, length, h};
}

EdgeRect verticalBar(const EdgeRect &inner, int percent)
{
    const int w = inner.right - inner.left + 1;
    const int h = inner.bottom - inner.top + 1;
    int length = PercentOfLength(percent, h);
    if (length >= h)
        length = h - 1;
    return EdgeRect{inner.left, h - length, w, h};
}

EdgeRect pieBox(const EdgeRect &inner, bool singleBorder)
{
    const int extra = singleBorder ? 1 : 0;
    return EdgeRect{inner.left, inner.top, inner.right - inner.left + extra, inner.bottom - inner.top + extra};
}

QPoint pieWedgeStart(const EdgeRect &box, int percent)
{
    const int a = box.right / 2;
    const int b = box.bottom / 2;
    const double theta = (percent / 50.0 + 0.5) * std::numbers::pi;
    return QPoint(roundHalfEven(a * (1 - std::cos(theta))), roundHalfEven(b * (1 - std::sin(theta))));
}

QPoint pieWedgeEnd(const EdgeRect &box)
{
    return QPoint(box.right / 2, 0);
}

NeedleDial needleDial(const EdgeRect &inner, bool singleBorder)
{
    const EdgeRect box = pieBox(inner, singleBorder);
    const int w = box.right;
    const int h = box.bottom;
    NeedleDial dial;
    dial.box = EdgeRect{inner.left, inner.top, w, 2 * h - 1};
    dial.startRadial = QPoint(inner.left + w, inner.bottom - 1);
    dial.endRadial = QPoint(inner.left, inner.bottom - 1);
    dial.baseLineFrom = QPoint(inner.left, inner.bottom);
    dial.baseLineTo = QPoint(inner.left + w, inner.bottom);
    return dial;
}

Line needle(int gaugeWidth, const EdgeRect &inner, int percent)
{
    const int c = gaugeWidth / 2;
    const int pivotY = inner.bottom - 1;
    const double theta = percent / 100.0 * std::numbers::pi;
    return Line{QPoint(c, pivotY),
                QPoint(roundHalfEven(c * (1 - std::cos(theta))), roundHalfEven(pivotY * (1 - std::sin(theta))))};
}

QPoint textOrigin(const EdgeRect &inner, int textWidth, int textHeight)
{
    return QPoint((inner.right - inner.left + 1 - textWidth) / 2, (inner.bottom - inner.top + 1 - textHeight) / 2);
}

ArcAngles arcBetweenRadials(const QRectF &ellipse, QPoint from, QPoint to)
{
    constexpr int kFullCircle = 360 * 16;
    if (from == to)
        return {0, kFullCircle};
    const QPointF centre = ellipse.center();
    const double rx = ellipse.width() / 2;
    const double ry = ellipse.height() / 2;
    // QPainter measures arcs on the circle the ellipse is stretched from, so
    // a radial's direction is taken in that circle's coordinates.
    auto angleOf = [&](QPoint p) {
        const double x = rx > 0 ? (p.x() - centre.x()) / rx : 0;
        const double y = ry > 0 ? (centre.y() - p.y()) / ry : 0;
        return std::atan2(y, x) * 180.0 / std::numbers::pi * 16.0;
    };
    const int start = int(std::lround(angleOf(from)));
    int span = int(std::lround(angleOf(to))) - start;
    while (span <= 0)
        span += kFullCircle;
    while (span > kFullCircle)
        span -= kFullCircle;
    return {start, span};
}

} // namespace GaugeGeometry

} // namespace movan
