// floor((x y + c) / d) for 64-bit x, y, c and d > 0, exact although x y may
// need up to 126 bits. Lines and stretches take their pixels from such
// quotients; where the compiler has a 128-bit integer it does the work, and
// on 32-bit targets, which have none, two 64-bit words and a long division
// do the same.
#pragma once

#include <stdint.h>

// Quotients beyond 64 bits are held at +-INT64_MAX, which every coordinate
// they are compared with lies inside; the remainder is then meaningless.
const int64_t kWideQuotientLimit = INT64_MAX;

// The portable way, on any target.
inline int64_t FloorOfProductBy64(int64_t x, int64_t y, int64_t c, int64_t d, int64_t* remainder) {
    // |x y| as two words, from the products of the 32-bit halves.
    const int negative_product = (x < 0) != (y < 0);
    const uint64_t ux = x < 0 ? 0 - static_cast<uint64_t>(x) : static_cast<uint64_t>(x);
    const uint64_t uy = y < 0 ? 0 - static_cast<uint64_t>(y) : static_cast<uint64_t>(y);
    const uint64_t x0 = ux & 0xFFFFFFFFu, x1 = ux >> 32, y0 = uy & 0xFFFFFFFFu, y1 = uy >> 32;
    const uint64_t p00 = x0 * y0, p01 = x0 * y1, p10 = x1 * y0, p11 = x1 * y1;
    const uint64_t middle = (p00 >> 32) + (p01 & 0xFFFFFFFFu) + (p10 & 0xFFFFFFFFu);
    uint64_t low = (middle << 32) | (p00 & 0xFFFFFFFFu);
    uint64_t high = p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32);
    // In two's complement, then c added with its sign.
    if (negative_product) {
        low = ~low + 1;
        high = ~high + (low == 0);
    }
    const uint64_t c_low = static_cast<uint64_t>(c), c_high = c < 0 ? ~uint64_t{0} : 0;
    low += c_low;
    high += c_high + (low < c_low);
    // The magnitude divided by d, one bit of the low word at a time: the
    // running remainder stays below d < 2^63, so its doubling fits a word.
    const int negative = static_cast<int64_t>(high) < 0;
    if (negative) {
        low = ~low + 1;
        high = ~high + (low == 0);
    }
    const uint64_t divisor = static_cast<uint64_t>(d);
    const uint64_t quotient_high = high / divisor;
    uint64_t rest = high % divisor, quotient = 0;
    for (int bit = 63; bit >= 0; bit--) {
        rest = (rest << 1) | ((low >> bit) & 1);
        quotient <<= 1;
        if (rest >= divisor) {
            rest -= divisor;
            quotient |= 1;
        }
    }
    // The floor of a negative quotient is one further down where the
    // division left something.
    if (negative && rest != 0) {
        quotient++;
        rest = divisor - rest;
        if (quotient == 0) return *remainder = 0, -kWideQuotientLimit;
    }
    if (quotient_high != 0 || quotient > static_cast<uint64_t>(kWideQuotientLimit)) {
        *remainder = 0;
        return negative ? -kWideQuotientLimit : kWideQuotientLimit;
    }
    *remainder = static_cast<int64_t>(rest);
    return negative ? -static_cast<int64_t>(quotient) : static_cast<int64_t>(quotient);
}

inline int64_t FloorOfProduct(int64_t x, int64_t y, int64_t c, int64_t d, int64_t* remainder) {
#if defined(__SIZEOF_INT128__)
    const __int128 numerator = static_cast<__int128>(x) * y + c;
    __int128 quotient = numerator / d, rest = numerator % d;
    if (rest < 0) {
        quotient--;
        rest += d;
    }
    if (quotient > kWideQuotientLimit || quotient < -kWideQuotientLimit) {
        *remainder = 0;
        return quotient > 0 ? kWideQuotientLimit : -kWideQuotientLimit;
    }
    *remainder = static_cast<int64_t>(rest);
    return static_cast<int64_t>(quotient);
#else
    return FloorOfProductBy64(x, y, c, d, remainder);
#endif
}

inline int64_t FloorOfProduct(int64_t x, int64_t y, int64_t c, int64_t d) {
    int64_t remainder;
    return FloorOfProduct(x, y, c, d, &remainder);
}
