#pragma once
// The automation number rules in one place: the integer widths, rounding to
// nearest with ties to even, and checked Integer and Long arithmetic. Every
// range failure raises the runtime's overflow error (6).

#include <cmath>
#include <cstdint>
#include <limits>

namespace kelvane::oleaut {

using Integer = std::int16_t;  // 16-bit signed
using Long = std::int32_t;     // 32-bit signed
using Single = float;
using Byte = std::uint8_t;

// Raises error 6 "Overflow". Defined with the other runtime errors.
[[noreturn]] void RaiseOverflow();

// Rounds to the nearest whole number, ties to even, without a libm call or
// a branch, as per-pixel code needs: adding and taking away 2^52 of x's sign
// leaves no fraction (the sum lies between 2^52 and 2^53 in size, where
// doubles are whole numbers), and the floating-point unit rounds that sum to
// nearest, ties to even, in its default mode, which nothing in the program
// changes. NaN, infinities and values of 2^52 and beyond (already whole)
// pass through.
inline double RoundHalfEven(double x) {
  constexpr double k2To52 = 4503599627370496.0;
  if (!(std::fabs(x) < k2To52)) return x;
  const double shift = std::copysign(k2To52, x);
  return (x + shift) - shift;  // strict IEEE arithmetic: never simplified away
}

// Rounds ties to even, then checks the range of T; 6 when out of range or NaN.
template <class T>
T RoundTo(double x) {
  const double r = RoundHalfEven(x);
  if (!(r >= static_cast<double>(std::numeric_limits<T>::min()) &&
        r <= static_cast<double>(std::numeric_limits<T>::max())))
    RaiseOverflow();
  return static_cast<T>(r);
}

// Floor, then checks the range of T; 6 when out of range or NaN.
template <class T>
T FloorTo(double x) {
  const double r = std::floor(x);
  if (!(r >= static_cast<double>(std::numeric_limits<T>::min()) &&
        r <= static_cast<double>(std::numeric_limits<T>::max())))
    RaiseOverflow();
  return static_cast<T>(r);
}

// Whether the whole number `x` lies in T's range.
template <class T, class U>
constexpr bool FitsIn(U x) {
  return x >= std::numeric_limits<T>::min() && x <= std::numeric_limits<T>::max();
}

// A whole number narrowed to T; 6 when out of range.
template <class T, class U>
T CheckedNarrow(U x) {
  if (!FitsIn<T>(x)) RaiseOverflow();
  return static_cast<T>(x);
}

// Rounds a double to single precision; 6 when the result is not finite
// (a finite double beyond the float range, as the runtime does).
inline Single ToSinglePrecision(double x) {
  const auto f = static_cast<Single>(x);
  if (std::isinf(f) && std::isfinite(x)) RaiseOverflow();
  return f;
}

template <class T>
T CheckedAdd(T a, T b) {
  T r;
  if (__builtin_add_overflow(a, b, &r)) RaiseOverflow();
  return r;
}

template <class T>
T CheckedSub(T a, T b) {
  T r;
  if (__builtin_sub_overflow(a, b, &r)) RaiseOverflow();
  return r;
}

template <class T>
T CheckedMul(T a, T b) {
  T r;
  if (__builtin_mul_overflow(a, b, &r)) RaiseOverflow();
  return r;
}

}  // namespace kelvane::oleaut
