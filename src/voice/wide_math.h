// Sign-and-magnitude 64-bit arithmetic built from 32-bit multiplies and
// divides, the way the synthesizer's pitch and timing arithmetic has always
// been done on 32-bit cores. Several results are deliberately not exact (the
// truncations of WideMulHigh and WideDiv); the rendered pitch and the song
// timeline depend on those exact truncations, so they are reproduced here
// bit for bit and must not be "fixed" with native 64-bit arithmetic.
#pragma once

#include <cstdint>

namespace pocketmidi {

// A signed 64-bit quantity as sign (+1 or -1) and 64-bit magnitude hi:lo.
// Callers wanting a 32-bit result take lo.
struct WideValue {
  int8_t sign;
  uint32_t hi;
  uint32_t lo;
};

namespace wide_detail {

constexpr uint32_t Magnitude(int32_t x) {
  return x < 0 ? 0u - static_cast<uint32_t>(x) : static_cast<uint32_t>(x);
}

constexpr int8_t ProductSign(bool aNegative, bool bNegative) {
  return aNegative != bNegative ? int8_t{-1} : int8_t{1};
}

}  // namespace wide_detail

// Exact |a|*|b| for every int32 pair (with magnitudes up to 2^31 the 16-bit
// cross sum aH*bL + aL*bH stays below 2^32); sign -1 when exactly one
// operand is negative.
inline WideValue WideMul(int32_t a, int32_t b) {
  const uint32_t ua = wide_detail::Magnitude(a);
  const uint32_t ub = wide_detail::Magnitude(b);
  const uint32_t aH = ua >> 16, aL = ua & 0xFFFFu;
  const uint32_t bH = ub >> 16, bL = ub & 0xFFFFu;
  const uint32_t mid = aH * bL + aL * bH;
  const uint32_t low = aL * bL;
  const uint32_t lo = low + (mid << 16);
  const uint32_t carry = lo < low ? 1u : 0u;
  return {wide_detail::ProductSign(a < 0, b < 0), aH * bH + (mid >> 16) + carry, lo};
}

// Upper word of |a|*|b| without the aL*bL term and its carry: hi may be one
// short of the true upper word; lo is 0.
constexpr WideValue WideMulHigh(int32_t a, int32_t b) {
  const uint32_t ua = wide_detail::Magnitude(a);
  const uint32_t ub = wide_detail::Magnitude(b);
  const uint32_t aH = ua >> 16, aL = ua & 0xFFFFu;
  const uint32_t bH = ub >> 16, bL = ub & 0xFFFFu;
  const uint32_t mid = aH * bL + aL * bH;
  return {wide_detail::ProductSign(a < 0, b < 0), aH * bH + (mid >> 16), 0u};
}

// (w.hi:w.lo) * |m| modulo 2^64, exact while the 16-bit cross sum of w.lo
// and |m| stays below 2^32; sign of w, flipped when m < 0.
inline WideValue WideMulBy(const WideValue& w, int32_t m) {
  const uint32_t um = wide_detail::Magnitude(m);
  const uint32_t wH = w.lo >> 16, wL = w.lo & 0xFFFFu;
  const uint32_t mH = um >> 16, mL = um & 0xFFFFu;
  const uint32_t mid = wH * mL + wL * mH;
  const uint32_t low = wL * mL;
  const uint32_t lo = low + (mid << 16);
  const uint32_t carry = lo < low ? 1u : 0u;
  const uint32_t hi = wH * mH + (mid >> 16) + carry + w.hi * um;
  const int8_t sign = m < 0 ? static_cast<int8_t>(-w.sign) : w.sign;
  return {sign, hi, lo};
}

// Approximate quotient by |d| with 32-bit divisions only: hi = hi / d
// exactly; lo truncates the three partial quotients separately (for
// d < 32767 at most one short of the true low word), and for larger d the
// remainder correction is taken from shifted, 32-bit-wrapping products.
// No carry reaches hi. Dividing by 0 gives 0 (no caller divides by a value
// that can be 0 except on corrupt input, where silence is the safe answer).
inline WideValue WideDiv(const WideValue& w, int32_t d) {
  const int8_t sign = d < 0 ? static_cast<int8_t>(-w.sign) : w.sign;
  const uint32_t ud = wide_detail::Magnitude(d);
  if (ud == 0) return {sign, 0u, 0u};
  const uint32_t qh = w.hi / ud, rh = w.hi % ud;
  const uint32_t qm = 0xFFFFFFFFu / ud, rm = 0xFFFFFFFFu % ud;
  uint32_t corr;
  if (ud < 32767u) {
    corr = ((rm + 1u) * rh) / ud;
  } else if (ud < 8388607u) {
    corr = (((rm + 1u) >> 4) * (rh >> 4)) / (ud >> 8);
  } else {
    corr = (((rm + 1u) >> 8) * (rh >> 8)) / (ud >> 16);
  }
  return {sign, qh, rh * qm + corr + w.lo / ud};
}

// Exact 64-bit magnitude shift left by n (1..31), bits leaving the top lost.
inline WideValue WideShl(const WideValue& w, int n) {
  n &= 31;
  if (n == 0) return w;
  return {w.sign, (w.hi << n) | (w.lo >> (32 - n)), w.lo << n};
}

// Exact 64-bit magnitude shift right by n (1..31), truncating the magnitude.
inline WideValue WideShr(const WideValue& w, int n) {
  n &= 31;
  if (n == 0) return w;
  return {w.sign, w.hi >> n, (w.lo >> n) | (w.hi << (32 - n))};
}

}  // namespace pocketmidi
