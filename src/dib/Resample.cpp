// Bilinear resampling between two sections' pixel memory, in place. Byte
// (c, r) is byte c of scan line r in memory, so the picture keeps its
// orientation. Every index is checked, but once per column or per row,
// before the loops that use it.
//
// Each interpolation rounds (1 - w) * a + w * b, ties to even, for whole
// numbers a and b from 0 to 255 and a single-precision weight w in [0, 1),
// the fraction of a position f = x * scale, with x a whole number and the
// scale (source size - 1) / target size, both rounded to single precision.
// For target sizes up to 2^22 pixels (far beyond the sections' limits), f
// is 0 or at least 2^-22, so f, and with it w, is a multiple of 2^-45, the
// last bit of a single at 2^-22. So 1 - w, both products and their sum fit
// the 53 bits of a double: the sum is exact and equals a + w * (b - a),
// which integer arithmetic in fixed point gives bit for bit. With w = W / 2^s,
// the sum times 2^s is a * 2^s + W * (b - a), between 0 and 255 * 2^s. A
// weight that is a multiple of 2^-23 (every position from 1 up, and 0) uses
// s = 23, which fits 32-bit lanes that the compiler vectorises; the few
// others use 64 bits and s = 45.
//
// Rounding adds half less one, and one more when the whole part is odd, so
// that a tie carries into the whole part exactly when the whole part is
// odd. A tie needs W * (b - a) = 2^22 modulo 2^23; |b - a| <= 255 has at
// most 7 factors of two, so W needs at least 15, and a weight with fewer
// (or W = 0) cannot tie: adding half is enough.
//
// A rounded value between two bytes lies between them, so every result,
// down or across, is a byte again and never needs the clamp to 0..255.
//
// Per target row, the interpolation down is done once for each source byte
// that the row's samples read, into a byte row; the two neighbours of every
// target byte are then copied out of it into a left and a right row, a run
// of target pixels at a time with one shuffle of bytes each, so that the
// interpolation across reads all three of its inputs in order and is
// vectorised like the interpolation down.

#include <algorithm>
#include <vector>

#include "dib/NeighbourRuns.h"
#include "dib/cDIBSection.h"
#include "platform/oleaut/AutomationError.h"

namespace kelvane::dib {

namespace {

using oleaut::Single;

[[noreturn]] void RaiseOutOfRange() { oleaut::RaiseRuntimeError(oleaut::kSubscriptOutOfRange); }

constexpr int kNarrowShift = 23;
constexpr int kWideShift = 45;

// Where a target position samples the source: the whole part, and the
// weight of the next source column or row as w * 2^kWideShift.
struct Sample {
  Long whole;
  std::int64_t weight;

  bool Narrow() const { return weight % (std::int64_t{1} << (kWideShift - kNarrowShift)) == 0; }
  // The weight as w * 2^kNarrowShift, for a narrow sample.
  std::int32_t NarrowWeight() const {
    return static_cast<std::int32_t>(weight >> (kWideShift - kNarrowShift));
  }
};

Sample SampleAt(Long position, Single scale) {
  const Single f = oleaut::ToSinglePrecision(static_cast<double>(position) * scale);
  const Long whole = oleaut::FloorTo<Long>(f);
  const double fraction = static_cast<double>(f - static_cast<Single>(whole));
  constexpr auto kOne = static_cast<double>(std::int64_t{1} << kWideShift);
  return {whole, static_cast<std::int64_t>(fraction * kOne)};
}

Single ScaleOf(Long sourceSize, Long targetSize) {
  return oleaut::ToSinglePrecision(static_cast<double>(oleaut::CheckedSub(sourceSize, Long{1})) /
                                   targetSize);
}

// Whether a narrow weight can meet a tie.
bool CanTie(std::int32_t fixed) { return fixed != 0 && (fixed & 0x7FFF) == 0; }

// round(a + (b - a) * fixed / 2^Shift), ties to even when Ties, for a and b
// from 0 to 255; T holds 255 * 2^Shift and a half more.
template <class T, int Shift, bool Ties>
T Interpolate(T a, T b, T fixed) {
  const T sum = (a << Shift) + (b - a) * fixed;
  constexpr T half = T{1} << (Shift - 1);
  if constexpr (Ties) return (sum + half - 1 + ((sum >> Shift) & 1)) >> Shift;
  return (sum + half) >> Shift;
}

template <bool Ties>
std::uint8_t Narrow(std::uint8_t a, std::uint8_t b, std::int32_t fixed) {
  return static_cast<std::uint8_t>(Interpolate<std::int32_t, kNarrowShift, Ties>(a, b, fixed));
}

std::uint8_t Wide(std::uint8_t a, std::uint8_t b, std::int64_t fixed) {
  return static_cast<std::uint8_t>(Interpolate<std::int64_t, kWideShift, true>(a, b, fixed));
}

// out[i] = the interpolation of first[i] and second[i] with one narrow weight.
__attribute__((target_clones("arch=x86-64-v4", "avx2", "default"))) void InterpolateDown(
    const std::uint8_t* __restrict first, const std::uint8_t* __restrict second,
    std::int32_t fixed, std::uint8_t* __restrict out, Long count) {
  if (CanTie(fixed)) {
    for (Long i = 0; i < count; ++i) out[i] = Narrow<true>(first[i], second[i], fixed);
  } else {
    for (Long i = 0; i < count; ++i) out[i] = Narrow<false>(first[i], second[i], fixed);
  }
}

// out[i] = the interpolation of left[i] and right[i] with weights[i], all
// narrow; ties rounded to even only when `ties`.
__attribute__((target_clones("arch=x86-64-v4", "avx2", "default"))) void InterpolateAcross(
    const std::uint8_t* __restrict left, const std::uint8_t* __restrict right,
    const std::int32_t* __restrict weights, bool ties, std::uint8_t* __restrict out, Long count) {
  if (ties) {
    for (Long i = 0; i < count; ++i) out[i] = Narrow<true>(left[i], right[i], weights[i]);
  } else {
    for (Long i = 0; i < count; ++i) out[i] = Narrow<false>(left[i], right[i], weights[i]);
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

  // Each target column's source offset and each target byte's weight
  // across, checked once for every row. The few columns whose weight is
  // wide are interpolated again after the rest, and so are those that can
  // tie while they are fewer than one in 32; more are cheaper rounded with
  // care throughout.
  const Long bytes = oleaut::CheckedMul(Long{3}, targetWidth);
  std::vector<std::int32_t> offsets(static_cast<std::size_t>(targetWidth));
  std::vector<std::int32_t> weights(static_cast<std::size_t>(bytes));
  std::vector<std::pair<Long, Sample>> again, tying;
  Long used = 0;  // source bytes that the columns read, from byte 0
  for (Long x = 0; x < targetWidth; ++x) {
    const Sample sample = SampleAt(x, xScale);
    const Long offset = oleaut::CheckedMul(Long{3}, sample.whole);
    if (offset < 0 || oleaut::CheckedAdd(offset, Long{5}) >= sourceStride) RaiseOutOfRange();
    offsets[static_cast<std::size_t>(x)] = offset;
    const std::int32_t fixed = sample.Narrow() ? sample.NarrowWeight() : 0;
    if (!sample.Narrow()) again.emplace_back(x, Sample{offset, sample.weight});
    if (CanTie(fixed)) tying.emplace_back(x, Sample{offset, sample.weight});
    std::fill_n(weights.begin() + 3 * x, 3, fixed);
    used = std::max(used, offset + 6);
  }
  const bool ties = tying.size() * 32 > static_cast<std::size_t>(targetWidth);
  if (!ties) again.insert(again.end(), tying.begin(), tying.end());
  const std::vector<NeighbourRun> runs = NeighbourRunsOf(offsets);
  const NeighbourCopy copyNeighbours = NeighbourCopyForThisProcessor();

  // The row down, then each target byte's left and right neighbour in it,
  // with the bytes to spare that the copy needs.
  const auto rowBytes = static_cast<std::size_t>(bytes) + kNeighbourWindow;
  std::vector<std::uint8_t> rows(static_cast<std::size_t>(used) + kNeighbourWindow + 3 + 2 * rowBytes);
  std::uint8_t* const down = rows.data();
  std::uint8_t* const left = down + used + kNeighbourWindow + 3;
  std::uint8_t* const right = left + rowBytes;

  for (Long y = 0; y < targetHeight; ++y) {
    const Sample row = SampleAt(y, yScale);
    if (row.whole < 0 || oleaut::CheckedAdd(row.whole, Long{1}) >= sourceHeight) RaiseOutOfRange();
    const std::uint8_t* upper = source + static_cast<std::ptrdiff_t>(row.whole) * sourceStride;
    const std::uint8_t* lower = upper + sourceStride;
    if (row.Narrow()) {
      InterpolateDown(upper, lower, row.NarrowWeight(), down, used);
    } else {
      for (Long i = 0; i < used; ++i) down[i] = Wide(upper[i], lower[i], row.weight);
    }
    copyNeighbours(down, runs, left, right);
    std::uint8_t* out = pixels + static_cast<std::ptrdiff_t>(y) * targetStride;
    InterpolateAcross(left, right, weights.data(), ties, out, bytes);
    for (const auto& [x, column] : again) {
      const std::uint8_t* pixel = down + column.whole;
      for (int j = 0; j < 3; ++j) out[3 * x + j] = Wide(pixel[j], pixel[j + 3], column.weight);
    }
  }
}

}  // namespace kelvane::dib
