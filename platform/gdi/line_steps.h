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
    int64_t whole;      // floor(2 delta / 2a), added to the offset at every step
    int64_t part;       // 2 delta - 2a whole, added to the remainder at every step
    int64_t period;     // 2a
};

// The stepper's terms stay below 4a; longer lines take the formula at every step.
const int64_t kMaxSteppedLine = INT64_MAX / 4;

inline int64_t FloorDiv(__int128 numerator, __int128 denominator) {
    __int128 q = numerator / denominator;
    if ((numerator % denominator != 0) && ((numerator < 0) != (denominator < 0))) q--;
    return static_cast<int64_t>(q);
}

// The formula itself, exact for every line.
inline int64_t LineOffsetAt(int64_t delta, int64_t a, int64_t i) {
    return FloorDiv(static_cast<__int128>(2) * delta * i + a - 1, static_cast<__int128>(2) * a);
}

// Sets the stepper at step i: 0, or -1 when the line is too long for it.
inline int StartLineSteps(int64_t delta, int64_t a, int64_t i, LineSteps* steps) {
    if (a <= 0 || a > kMaxSteppedLine) return -1;
    const __int128 numerator = static_cast<__int128>(2) * delta * i + a - 1;
    steps->period = 2 * a;
    steps->offset = FloorDiv(numerator, steps->period);
    steps->remainder = static_cast<int64_t>(numerator - static_cast<__int128>(steps->offset) * steps->period);
    steps->whole = FloorDiv(2 * static_cast<__int128>(delta), steps->period);
    steps->part = 2 * delta - steps->whole * steps->period;
    return 0;
}

// Moves the stepper on by one step, without a branch: whether the remainder
// wraps depends on the slope and would be mispredicted often.
inline void NextLineStep(LineSteps* steps) {
    steps->offset += steps->whole;
    steps->remainder += steps->part;
    const int64_t wrap = steps->remainder >= steps->period;
    steps->offset += wrap;
    steps->remainder -= steps->period & -wrap;
}
