// The minor coordinate of a one-pixel line, step by step. Step i of a line
// whose major axis runs `a` pixels (a > 0) and whose minor axis moves `delta`
// (|delta| <= a) lies at the minor offset floor((2 delta i + a - 1) / 2a):
// the exact value rounded to nearest, an exact half going to the smaller
// coordinate. The stepper keeps that quotient with its remainder, so that a
// step costs two additions and a comparison where the formula costs a
// 128-bit division.
#pragma once

#include <stdint.h>

struct LineSteps {
    int64_t offset;     // the minor offset at the current step
    int64_t remainder;  // what the division leaves there: 0 <= remainder < period
    int64_t whole;      // floor(2 delta stride / 2a), added to the offset at every move
    int64_t part;       // 2 delta stride - 2a whole, added to the remainder at every move
    int64_t period;     // 2a
};

// The stepper's terms stay below 4a; longer lines take the formula at every step.
const int64_t kMaxSteppedLine = INT64_MAX / 4;
// Up to this length every term of the formula fits 64 bits, whatever the stride up to 4.
const int64_t kMaxNarrowLine = int64_t{1} << 29;

inline __int128 FloorDiv128(__int128 numerator, __int128 denominator) {
    __int128 q = numerator / denominator;
    if ((numerator % denominator != 0) && ((numerator < 0) != (denominator < 0))) q--;
    return q;
}

inline int64_t FloorDiv(__int128 numerator, __int128 denominator) {
    return static_cast<int64_t>(FloorDiv128(numerator, denominator));
}

inline int64_t FloorDiv64(int64_t numerator, int64_t denominator) {
    int64_t q = numerator / denominator;
    if ((numerator % denominator != 0) && ((numerator < 0) != (denominator < 0))) q--;
    return q;
}

// The formula itself, exact for every line.
inline int64_t LineOffsetAt(int64_t delta, int64_t a, int64_t i) {
    return FloorDiv(static_cast<__int128>(2) * delta * i + a - 1, static_cast<__int128>(2) * a);
}

// Narrows the steps first to last to those whose minor coordinate, minor0
// plus the offset, lies in [low, high): 1 when some are left. The offset
// never decreases along a line that moves down its minor axis and never
// increases along one that moves up, so those steps are one run, whose ends
// follow from the formula by one division each.
inline int KeepMinorInside(int64_t delta, int64_t a, int64_t minor0, int64_t low, int64_t high, int64_t* first,
                           int64_t* last) {
    if (delta == 0) return minor0 >= low && minor0 < high && *first <= *last;  // the offset stays 0
    // offset(i) >= m exactly when 2 delta i >= 2a m - a + 1, and offset(i) <= m
    // exactly when 2 delta i <= 2a (m + 1) - a.
    const __int128 period = static_cast<__int128>(2) * a;
    const __int128 at_least = period * (low - minor0) - a + 1, at_most = period * (high - minor0) - a;
    const __int128 twice = static_cast<__int128>(2) * delta;
    const __int128 from = -FloorDiv128(delta > 0 ? -at_least : -at_most, twice);
    const __int128 to = FloorDiv128(delta > 0 ? at_most : at_least, twice);
    if (from > *first) *first = from > *last ? *last + 1 : static_cast<int64_t>(from);
    if (to < *last) *last = to < *first ? *first - 1 : static_cast<int64_t>(to);
    return *first <= *last;
}

// Sets the stepper at the start of a line of 0 < a <= kMaxSteppedLine
// steps, to move one step at a time. At the start the offset is 0 and
// (a - 1) remains; as |delta| <= a, one step moves the offset by -1, 0 or 1
// at most: no division.
inline void StartLineStepsAtZero(int64_t delta, int64_t a, LineSteps* steps) {
    steps->period = 2 * a;
    steps->offset = 0;
    steps->remainder = a - 1;
    steps->whole = delta == a ? 1 : delta < 0 ? -1 : 0;
    steps->part = 2 * delta - steps->whole * steps->period;
}

// Sets the stepper at step i, to move `stride` steps (1 to 4) at a time: 0,
// or -1 when the line is too long for it.
inline int StartLineSteps(int64_t delta, int64_t a, int64_t i, int64_t stride, LineSteps* steps) {
    if (a <= 0 || a > kMaxSteppedLine || stride < 1 || stride > 4) return -1;
    if (i == 0 && stride == 1) {
        StartLineStepsAtZero(delta, a, steps);
        return 0;
    }
    steps->period = 2 * a;
    if (a <= kMaxNarrowLine && i <= a) {
        const int64_t numerator = 2 * delta * i + a - 1;
        steps->offset = FloorDiv64(numerator, steps->period);
        steps->remainder = numerator - steps->offset * steps->period;
        steps->whole = FloorDiv64(2 * delta * stride, steps->period);
        steps->part = 2 * delta * stride - steps->whole * steps->period;
        return 0;
    }
    const __int128 numerator = static_cast<__int128>(2) * delta * i + a - 1;
    const __int128 move = static_cast<__int128>(2) * delta * stride;
    steps->offset = FloorDiv(numerator, steps->period);
    steps->remainder = static_cast<int64_t>(numerator - static_cast<__int128>(steps->offset) * steps->period);
    steps->whole = FloorDiv(move, steps->period);
    steps->part = static_cast<int64_t>(move - static_cast<__int128>(steps->whole) * steps->period);
    return 0;
}

// Moves the stepper on by its stride, without a branch: whether the
// remainder wraps depends on the slope and would be mispredicted often.
inline void NextLineStep(LineSteps* steps) {
    steps->offset += steps->whole;
    steps->remainder += steps->part;
    const int64_t wrap = steps->remainder >= steps->period;
    steps->offset += wrap;
    steps->remainder -= steps->period & -wrap;
}
