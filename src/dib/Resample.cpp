// Bilinear resampling between two sections' pixel memory, in place. Byte
// (c, r) is byte c of scan line r in memory, so the picture keeps its
// orientation. Every index is checked, but once per column or per row,
// before the loops that use it.
//
// Each interpolation rounds (1 - w) * a + w * b, ties to even, for whole
// numbers a and b from 0 to 255 and a single-precision weight w in [0, 1).
// In double precision that sum is exact: w has at most 24 significant bits
// and, because w is the fraction of y * scale with y >= 1 and scale >= one
// over the largest size, none below 2^-43. So it equals a + w * (b - a)
// exactly, which integer arithmetic in fixed point gives bit for bit: with
// w = W / 2^s, the sum times 2^s is a * 2^s + W * (b - a). A weight whose
// position is at least 1 needs s = 23 and fits 32-bit lanes, which the
// compiler vectorises; the few smaller positions use 64 bits and s = 44.
//
// The interpolation down is done once per target row for each source byte
// that the row's samples read, then each target byte interpolates across
// two of those values.

#include <algorithm>
#include <cmath>
#include <vector>

#include "dib/cDIBSection.h"
#include "platform/oleaut/AutomationError.h"

namespace kelvane::dib {

namespace {

using oleaut::Single;

[[noreturn]] void RaiseOutOfRange() { oleaut::RaiseRuntimeError(oleaut::kSubscriptOutOfRange); }

// A weight in fixed point: w = fixed / 2^shift.
struct Weight {
  std::int64_t fixed;
  int shift;
};

constexpr int kNarrowShift = 23;
constexpr int kWideShift = 44;

// Where a target position samples the source: the whole part and the
// weight of the next source column or row.
struct Sample {
  Long whole;
  Weight weight;
};

Sample SampleAt(Long position, Single scale) {
  const Single f = oleaut::ToSinglePrecision(static_cast<double>(position) * scale);
  const Long whole = oleaut::FloorTo<Long>(f);
  const double fraction = static_cast<double>(f - static_cast<Single>(whole));
  const int shift = f >= 1 ? kNarrowShift : kWideShift;
  return {whole, {static_cast<std::int64_t>(std::ldexp(fraction, shift)), shift}};
}

Single ScaleOf(Long sourceSize, Long targetSize) {
  return oleaut::ToSinglePrecision(static_cast<double>(oleaut::CheckedSub(sourceSize, Long{1})) /
                                   targetSize);
}

// round(a + (b - a) * fixed / 2^shift), ties to even, for a and b from 0 to
// 255; T holds a * 2^shift and the product. Adding half less one, and one
// more when the whole part is odd, carries into the whole part exactly when
// rounding goes up.
template <class T>
T Interpolate(T a, T b, T fixed, int shift) {
  const T sum = (a << shift) + (b - a) * fixed;
  return (sum + (T{1} << (shift - 1)) - 1 + ((sum >> shift) & 1)) >> shift;
}

Long Interpolate(Long a, Long b, Weight w) {
  if (w.shift == kNarrowShift)
    return Interpolate<std::int32_t>(a, b, static_cast<std::int32_t>(w.fixed), kNarrowShift);
  return static_cast<Long>(Interpolate<std::int64_t>(a, b, w.fixed, kWideShift));
}

// The interpolation down of one memory row pair, byte by byte, into `out`.
__attribute__((target_clones("avx2", "default"))) void InterpolateDown(
    const std::uint8_t* __restrict upper, const std::uint8_t* __restrict lower, std::int32_t fixed,
    std::int32_t* __restrict out, Long count) {
  for (Long i = 0; i < count; ++i)
    out[i] = Interpolate<std::int32_t>(upper[i], lower[i], fixed, kNarrowShift);
}

// The interpolation across of one target row: byte j from the values at
// offsets[j] and offsets[j] + 3 of `down`, with weights[j].
__attribute__((target_clones("avx2", "default"))) void InterpolateAcross(
    const std::int32_t* __restrict down, const std::int32_t* __restrict offsets,
    const std::int32_t* __restrict weights, std::uint8_t* __restrict out, Long count) {
  for (Long j = 0; j < count; ++j) {
    const std::int32_t* left = down + offsets[j];
    out[j] = static_cast<std::uint8_t>(
        Interpolate<std::int32_t>(left[0], left[3], weights[j], kNarrowShift));
  }
}

}  // namespace

std::unique_ptr<cDIBSection> cDIBSection::Resample(Long lNewHeight, Long lNewWidth) {
  if (lNewWidth <= 0 || lNewHeight <= 0 || Height() < 0)
    oleaut::RaiseRuntimeError(oleaut::kInvalidProcedureCall);
  auto target = std::make_unique<cDIBSection>();
  if (!oleaut::IsTrue(target->Create(lNewWidth, lNewHeight))) return nullptr;
  if (lNewWidth == Width() && lNewHeight == Height()) {
    target->LoadPictureBlt(m_hDC, 0, 0, -1, -1, gdi::SRCCOPY);
  } else {
    ResampleInto(*target);
  }
  return target;
}

void cDIBSection::ResampleInto(cDIBSection& target) const {
  const Long sourceWidth = Width(), sourceHeight = Height();
  const Long targetWidth = target.Width(), targetHeight = target.Height();
  const Long sourceStride = BytesPerScanLine(), targetStride = target.BytesPerScanLine();
  const std::uint8_t* const source = m_lPtr;
  std::uint8_t* const pixels = target.m_lPtr;
  if (source == nullptr || pixels == nullptr) RaiseOutOfRange();

  const Single xScale = ScaleOf(sourceWidth, targetWidth);
  const Single yScale = ScaleOf(sourceHeight, targetHeight);

  // Each target byte's source offset and weight across, checked once for
  // every row; the few columns whose weight needs more than 32 bits are
  // interpolated again after the rest.
  const Long bytes = oleaut::CheckedMul(Long{3}, targetWidth);
  std::vector<std::int32_t> offsets(static_cast<std::size_t>(bytes));
  std::vector<std::int32_t> weights(static_cast<std::size_t>(bytes));
  std::vector<std::pair<Long, Sample>> wide;
  Long used = 0;  // source bytes that the columns read, from byte 0
  for (Long x = 0; x < targetWidth; ++x) {
    const Sample sample = SampleAt(x, xScale);
    const Long offset = oleaut::CheckedMul(Long{3}, sample.whole);
    if (offset < 0 || oleaut::CheckedAdd(offset, Long{5}) >= sourceStride) RaiseOutOfRange();
    if (sample.weight.shift != kNarrowShift) wide.emplace_back(x, Sample{offset, sample.weight});
    for (Long j = 0; j < 3; ++j) {
      offsets[static_cast<std::size_t>(3 * x + j)] = offset + j;
      weights[static_cast<std::size_t>(3 * x + j)] =
          sample.weight.shift == kNarrowShift ? static_cast<std::int32_t>(sample.weight.fixed) : 0;
    }
    used = std::max(used, offset + 6);
  }

  std::vector<std::int32_t> down(static_cast<std::size_t>(used));
  for (Long y = 0; y < targetHeight; ++y) {
    const Sample row = SampleAt(y, yScale);
    if (row.whole < 0 || oleaut::CheckedAdd(row.whole, Long{1}) >= sourceHeight) RaiseOutOfRange();
    const std::uint8_t* upper = source + static_cast<std::ptrdiff_t>(row.whole) * sourceStride;
    const std::uint8_t* lower = upper + sourceStride;
    if (row.weight.shift == kNarrowShift) {
      InterpolateDown(upper, lower, static_cast<std::int32_t>(row.weight.fixed), down.data(), used);
    } else {
      for (Long i = 0; i < used; ++i)
        down[static_cast<std::size_t>(i)] = Interpolate(upper[i], lower[i], row.weight);
    }
    std::uint8_t* out = pixels + static_cast<std::ptrdiff_t>(y) * targetStride;
    InterpolateAcross(down.data(), offsets.data(), weights.data(), out, bytes);
    for (const auto& [x, column] : wide) {
      const std::int32_t* left = down.data() + column.whole;
      for (int j = 0; j < 3; ++j)
        out[3 * x + j] = static_cast<std::uint8_t>(Interpolate(left[j], left[j + 3], column.weight));
    }
  }
}

}  // namespace kelvane::dib
