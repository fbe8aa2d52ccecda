// Bilinear resampling between two sections' pixel memory, in place. Byte
// (c, r) is byte c of scan line r in memory, so the picture keeps its
// orientation. Every index is checked, but once per column or per row,
// before the loops that use it, so that the per-pixel work is the twelve
// reads, nine rounded interpolations and three writes alone.

#include <algorithm>
#include <vector>

#include "dib/cDIBSection.h"
#include "platform/oleaut/AutomationError.h"

namespace kelvane::dib {

namespace {

using oleaut::Single;

[[noreturn]] void RaiseOutOfRange() { oleaut::RaiseRuntimeError(oleaut::kSubscriptOutOfRange); }

// Where a target position samples the source: the whole part and the
// weight of the next source column or row.
struct Sample {
  Long whole;
  Single weight;
};

Sample SampleAt(Long position, Single scale) {
  const Single f = oleaut::ToSinglePrecision(static_cast<double>(position) * scale);
  const Long whole = oleaut::FloorTo<Long>(f);
  return {whole, f - static_cast<Single>(whole)};
}

Single ScaleOf(Long sourceSize, Long targetSize) {
  return oleaut::ToSinglePrecision(static_cast<double>(oleaut::CheckedSub(sourceSize, Long{1})) /
                                   targetSize);
}

Long Interpolate(double weight, double a, double b) {
  return oleaut::RoundTo<Long>((1.0 - weight) * a + weight * b);
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

  // Each target column's six source bytes, checked once for every row.
  struct Column {
    Long offset;
    Single weight;
  };
  std::vector<Column> columns(static_cast<std::size_t>(targetWidth));
  for (Long x = 0; x < targetWidth; ++x) {
    const Sample sample = SampleAt(x, xScale);
    const Long offset = oleaut::CheckedMul(Long{3}, sample.whole);
    if (offset < 0 || oleaut::CheckedAdd(offset, Long{5}) >= sourceStride) RaiseOutOfRange();
    columns[static_cast<std::size_t>(x)] = {offset, sample.weight};
  }

  for (Long y = 0; y < targetHeight; ++y) {
    const Sample row = SampleAt(y, yScale);
    if (row.whole < 0 || oleaut::CheckedAdd(row.whole, Long{1}) >= sourceHeight) RaiseOutOfRange();
    const std::uint8_t* upper = source + static_cast<std::ptrdiff_t>(row.whole) * sourceStride;
    const std::uint8_t* lower = upper + sourceStride;
    std::uint8_t* out = pixels + static_cast<std::ptrdiff_t>(y) * targetStride;
    const double dy = row.weight;
    for (const Column& column : columns) {
      const std::uint8_t* a = upper + column.offset;
      const std::uint8_t* b = lower + column.offset;
      Long down[6];
      for (int k = 0; k < 6; ++k) down[k] = Interpolate(dy, a[k], b[k]);
      for (int j = 0; j < 3; ++j)
        *out++ = static_cast<std::uint8_t>(
            std::clamp<Long>(Interpolate(column.weight, down[j], down[j + 3]), 0, 255));
    }
  }
}

}  // namespace kelvane::dib
