// Linear gradients: bands of one solid colour each, three pixels wide and
// one pixel apart, each painted over the last two columns (or rows) of the
// one before, so that every column shows its own band's colour.

#include <algorithm>

#include "component/Image.h"
#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/Rgb.h"
#include "surface/Form1.h"
#include "surface/Screen.h"

namespace kelvane::component {

namespace {

using oleaut::CheckedNarrow;
using oleaut::CheckedSub;
using oleaut::Single;
using oleaut::SkipOnError;

// The pixel size a twips extent stands for; the painter assumes this many.
constexpr double kTwipsPerPixel = 15;

// (c2 - c1) / (extent - 60) x 15: the change of one channel per band, the
// differences 16-bit, the arithmetic double, the result single precision.
Single ChangePerBand(Integer c1, Integer c2, Integer extent) {
  const Integer divisor = CheckedSub<Integer>(extent, 60);
  if (divisor == 0) oleaut::RaiseRuntimeError(oleaut::kDivisionByZero);
  return oleaut::ToSinglePrecision(static_cast<double>(CheckedSub<Integer>(c2, c1)) / divisor *
                                   kTwipsPerPixel);
}

// Splits 0x00BBGGRR into its parts: blue = floor(c / 65536), green and red
// from what is left. Each part is one step that may fail alone.
void SplitColor(Long c, Integer& red, Integer& green, Integer& blue) {
  SkipOnError([&] { blue = oleaut::FloorTo<Integer>(c / 65536.0); });
  SkipOnError([&] { green = CheckedNarrow<Integer>((c - std::int64_t{blue} * 65536) / 256); });
  SkipOnError([&] {
    red = CheckedNarrow<Integer>(c - std::int64_t{blue} * 65536 - std::int64_t{green} * 256);
  });
}

Single NextBandValue(Single value, Single change) {
  return oleaut::ToSinglePrecision(static_cast<double>(value) + change);
}

}  // namespace

void Image::Gradient(Long SColor, Long EColor, Integer direction) {
  ApplySettings();
  surface::PictureBox& plot = surface::Form1::ForThread().Plot;
  const gdi::HDC hDC = plot.get_hDC();
  const Single twipsX = surface::Screen::get_TwipsPerPixelX();
  const Single width = plot.get_Width();
  const Single twipsY = surface::Screen::get_TwipsPerPixelY();
  const Single height = plot.get_Height();
  const Long heightTwips = oleaut::RoundTo<Long>(static_cast<double>(height) * twipsY);
  const Long widthTwips = oleaut::RoundTo<Long>(static_cast<double>(width) * twipsX);
  PaintGradient(hDC, widthTwips, heightTwips, SColor, EColor, direction);
}

void Image::GradientL2R(Long SColor, Long EColor) { Gradient(SColor, EColor, 0); }

void Image::GradientT2B(Long SColor, Long EColor) { Gradient(SColor, EColor, 1); }

void Image::PaintGradient(const gdi::HDC& hDC, const Long& W, const Long& H, const Long& SColor,
                          const Long& EColor, const Integer& Direction) {
  Integer w = 0, h = 0;
  Integer R1 = 0, G1 = 0, B1 = 0, R2 = 0, G2 = 0, B2 = 0;
  Single fR = 0, fG = 0, fB = 0, dR = 0, dG = 0, dB = 0;
  gdi::RECT band{0, 0, 0, 0};
  Integer N = 0, L = 0;

  SplitColor(SColor, R1, G1, B1);
  SplitColor(EColor, R2, G2, B2);
  SkipOnError([&] { h = CheckedNarrow<Integer>(H); });
  SkipOnError([&] { w = CheckedNarrow<Integer>(W); });
  fB = B1;
  fG = G1;
  fR = R1;

  if (Direction == 0 || Direction == 1) {
    const Integer along = Direction == 0 ? w : h;
    SkipOnError([&] { dB = ChangePerBand(B1, B2, along); });
    SkipOnError([&] { dG = ChangePerBand(G1, G2, along); });
    SkipOnError([&] { dR = ChangePerBand(R1, R2, along); });
    const Long across = oleaut::RoundTo<Long>((Direction == 0 ? h : w) / kTwipsPerPixel - 2);
    band = Direction == 0 ? gdi::RECT{0, 0, 3, across} : gdi::RECT{0, 0, across, 3};
    N = along;
  }
  SkipOnError([&] { L = oleaut::RoundTo<Integer>(N / kTwipsPerPixel - 5); });

  // Each band covers the last two lines of the one before, so only the first
  // line of a band shows, and all three of the last: a band paints just
  // those. Bands left to right are columns, which a fill writes one pixel a
  // row; they are painted on the top row alone, and that row is copied down
  // over the others, the copied block doubling each time.
  const bool columns = Direction == 0;
  const Long across = columns ? band.Bottom : band.Right;
  if (columns) band.Bottom = std::min<Long>(across, 1);
  gdi::COLORREF color = 0;
  for (Integer i = 0; i <= L; ++i) {
    SkipOnError([&] {
      color = static_cast<gdi::COLORREF>(oleaut::RGB(
          oleaut::RoundTo<Integer>(fR), oleaut::RoundTo<Integer>(fG), oleaut::RoundTo<Integer>(fB)));
    });
    gdi::RECT shown = band;
    if (i < L && columns) shown.Right = shown.Left + 1;
    if (i < L && !columns) shown.Bottom = shown.Top + 1;
    const gdi::HBRUSH brush = gdi::CreateSolidBrush(color);
    gdi::FillRect(hDC, &shown, brush);
    gdi::DeleteObject(brush);
    SkipOnError([&] { fB = NextBandValue(fB, dB); });
    SkipOnError([&] { fG = NextBandValue(fG, dG); });
    SkipOnError([&] { fR = NextBandValue(fR, dR); });
    if (columns) {
      ++band.Left;
      ++band.Right;
    } else {
      ++band.Top;
      ++band.Bottom;
    }
  }
  if (!columns || L < 0) return;
  for (Long done = 1; done < across; done *= 2)
    gdi::BitBlt(hDC, 0, done, L + 3, std::min(done, across - done), hDC, 0, 0, gdi::SRCCOPY);
}

}  // namespace kelvane::component
