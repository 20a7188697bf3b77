// The minor coordinate of a one-pixel line, step by step. Step i of a line
// whose major axis runs `a` pixels (a > 0) and whose minor axis moves `delta`
// (|delta| <= a) lies at the minor offset floor((2 delta i + a - 1) / 2a):
// the exact value rounded to nearest, an exact half going to the smaller
// coordinate. The stepper keeps that quotient with its remainder, so that a
// step costs two additions and a comparison where the formula costs a
// division of up to 128 bits.
#pragma once

#include <stdint.h>

#include "wide_division.h"

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

inline int64_t FloorDiv64(int64_t numerator, int64_t denominator) {
    int64_t q = numerator / denominator;
    if ((numerator % denominator != 0) && ((numerator < 0) != (denominator < 0))) q--;
    return q;
}

// The formula itself, exact for every line.
inline int64_t LineOffsetAt(int64_t delta, int64_t a, int64_t i) {
    return FloorOfProduct(2 * delta, i, a - 1, 2 * a);
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
    // With t = 2 |delta|: below = floor(-(2a (low - minor0) - a + 1) / t) and
    // above = floor((2a (high - minor0) - a) / t); a line moving up swaps
    // the roles of the two bounds.
    const int64_t period = 2 * a, twice = delta > 0 ? 2 * delta : -2 * delta;
    const int64_t below = FloorOfProduct(-period, low - minor0, a - 1, twice);
    const int64_t above = FloorOfProduct(period, high - minor0, -a, twice);
    const int64_t from = delta > 0 ? -below : -above, to = delta > 0 ? above : below;
    if (from > *first) *first = from > *last ? *last + 1 : from;
    if (to < *last) *last = to < *first ? *first - 1 : to;
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
    steps->offset = FloorOfProduct(2 * delta, i, a - 1, steps->period, &steps->remainder);
    steps->whole = FloorOfProduct(2 * delta, stride, 0, steps->period, &steps->part);
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
