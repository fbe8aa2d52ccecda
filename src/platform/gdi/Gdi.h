#pragma once
// The graphics device interface: bitmaps in our own pixel memory, memory
// device contexts, brushes and block transfers, under the Win32 names the
// component is written against. Every call may be made from any thread;
// an object is used by one thread at a time. Calls report failure the
// Win32 way, by a 0 handle or FALSE, never by an exception.

#include <cstdint>
#include <string>
#include <string_view>

namespace kelvane::gdi {

// Handles are pointer-sized and never reused within a process.
using HGDIOBJ = std::uintptr_t;
using HDC = HGDIOBJ;
using HBITMAP = HGDIOBJ;
using HBRUSH = HGDIOBJ;
using HFONT = HGDIOBJ;

using BOOL = int;
using DWORD = std::uint32_t;
constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

// A colour 0x00BBGGRR: red in the low byte.
using COLORREF = std::uint32_t;
constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;

constexpr COLORREF RGB(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) |
         (static_cast<COLORREF>(b) << 16);
}
constexpr std::uint8_t GetRValue(COLORREF c) { return static_cast<std::uint8_t>(c); }
constexpr std::uint8_t GetGValue(COLORREF c) { return static_cast<std::uint8_t>(c >> 8); }
constexpr std::uint8_t GetBValue(COLORREF c) { return static_cast<std::uint8_t>(c >> 16); }

// A rectangle in device pixels; Right and Bottom are exclusive.
struct RECT {
  std::int32_t Left;
  std::int32_t Top;
  std::int32_t Right;
  std::int32_t Bottom;
};
static_assert(sizeof(RECT) == 16);

// A device-independent bitmap's header (no colour table follows: only 24-bit
// BI_RGB sections are made).
struct BITMAPINFOHEADER {
  std::uint32_t biSize;
  std::int32_t biWidth;
  std::int32_t biHeight;  // positive: rows bottom-up; negative: top-down
  std::uint16_t biPlanes;
  std::uint16_t biBitCount;
  std::uint32_t biCompression;
  std::uint32_t biSizeImage;
  std::int32_t biXPelsPerMeter;
  std::int32_t biYPelsPerMeter;
  std::uint32_t biClrUsed;
  std::uint32_t biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
};

constexpr std::uint32_t BI_RGB = 0;
constexpr unsigned DIB_RGB_COLORS = 0;

// What GetObjectA tells of a bitmap. bmBits is the pixel memory of a DIB
// section, null for other bitmaps.
struct BITMAP {
  std::int32_t bmType;
  std::int32_t bmWidth;
  std::int32_t bmHeight;
  std::int32_t bmWidthBytes;
  std::uint16_t bmPlanes;
  std::uint16_t bmBitsPixel;
  void* bmBits;
};

// Raster operation: copy the source unchanged (the only one supported).
constexpr DWORD SRCCOPY = 0x00CC0020;

// Hatch styles of CreateHatchBrush.
enum HatchStyle : int {
  HS_HORIZONTAL = 0,
  HS_VERTICAL = 1,
  HS_FDIAGONAL = 2,
  HS_BDIAGONAL = 3,
  HS_CROSS = 4,
  HS_DIAGCROSS = 5,
};

// Stock objects of GetStockObject; DeleteObject leaves them alone.
enum StockObject : int {
  WHITE_BRUSH = 0,
  BLACK_BRUSH = 4,
  NULL_BRUSH = 5,
  BLACK_PEN = 7,
  NULL_PEN = 8,
  DEFAULT_GUI_FONT = 17,
};

// Pen styles of CreatePen. The dashed styles dash only at width 1; wider
// pens of those styles draw solid, with round ends and joins. An inside-
// frame pen draws as a solid one, except that it keeps to the box of a
// rectangle or an ellipse.
enum PenStyle : int {
  PS_SOLID = 0,
  PS_DASH = 1,
  PS_DOT = 2,
  PS_DASHDOT = 3,
  PS_DASHDOTDOT = 4,
  PS_NULL = 5,
  PS_INSIDEFRAME = 6,
};

// How large a bitmap may be: pixels a side and pixels in all. Requests
// beyond them fail as an allocation would. Process-wide, settable by the host.
struct PixelLimits {
  std::int32_t maxSide = 16384;
  std::int64_t maxPixels = std::int64_t{64} << 20;
};
PixelLimits GetPixelLimits();
void SetPixelLimits(PixelLimits limits);
bool WithinPixelLimits(std::int64_t width, std::int64_t height);

// A memory device context compatible with `hdc` (0: the screen), holding a
// 1 x 1 default bitmap, the white brush; 0 on failure.
HDC CreateCompatibleDC(HDC hdc);
// A bitmap of the screen's 32-bit format, zero-filled (black); 0 on failure,
// for a size beyond the pixel limits or a negative one. A 0 x 0 bitmap is
// valid and holds no pixels.
HBITMAP CreateCompatibleBitmap(HDC hdc, std::int32_t width, std::int32_t height);
// A 24-bit BI_RGB section of one plane, rows of StrideFor(width, 24) bytes,
// bottom-up for a positive height; *bits receives its pixel memory. 0 (and
// *bits null) for any other format, a width of 0 or below, a height of 0, a
// size beyond the pixel limits, a file mapping, or no memory. `hdc` may be 0.
HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* info, unsigned usage, void** bits,
                         std::uintptr_t section, DWORD offset);
// Copies up to `size` bytes of a bitmap's BITMAP record to `out`; answers
// the bytes copied, 0 for a handle that is not a bitmap.
int GetObjectA(HGDIOBJ object, int size, void* out);
HBRUSH CreateSolidBrush(COLORREF color);
HBRUSH CreateHatchBrush(int style, COLORREF color);
HGDIOBJ GetStockObject(int object);
// A pen of `style`, `width` pixels (below 1 counts as 1) and `color`; 0 for
// an unknown style.
HGDIOBJ CreatePen(int style, std::int32_t width, COLORREF color);

// Selects a bitmap, brush, pen or font into `hdc`; answers the object of that
// kind that was selected before, or 0 on failure.
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object);
// Deletes a bitmap, brush, pen or font; FALSE for an unknown handle.
// An object still selected into a context lives on until it is deselected.
BOOL DeleteObject(HGDIOBJ object);
BOOL DeleteDC(HDC hdc);

// Copies a width x height block from (xSrc, ySrc) of `hdcSrc` to (x, y) of
// `hdcDest`, clipped to both bitmaps, converting between pixel formats
// without loss. Only SRCCOPY is supported; FALSE for any other operation or
// a bad handle. Overlapping copies within one bitmap are safe.
BOOL BitBlt(HDC hdcDest, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
            HDC hdcSrc, std::int32_t xSrc, std::int32_t ySrc, DWORD rop);

// How AlphaBlend composes: the source over the destination, the source's
// colours premultiplied by its per-pixel alpha.
struct BLENDFUNCTION {
  std::uint8_t BlendOp;              // AC_SRC_OVER
  std::uint8_t BlendFlags;           // 0
  std::uint8_t SourceConstantAlpha;  // 255: the pixels' own alpha only
  std::uint8_t AlphaFormat;          // AC_SRC_ALPHA
};
constexpr std::uint8_t AC_SRC_OVER = 0;
constexpr std::uint8_t AC_SRC_ALPHA = 1;

// Composes a block of 32-bit premultiplied pixels of `hdcSrc` over `hdcDest`,
// clipped like BitBlt: each channel becomes source + destination x (255 -
// source alpha) / 255, rounded. No scaling: FALSE when the two sizes differ,
// for a source that is not 32-bit, or for any other blend.
BOOL AlphaBlend(HDC hdcDest, std::int32_t x, std::int32_t y, std::int32_t width,
                std::int32_t height, HDC hdcSrc, std::int32_t xSrc, std::int32_t ySrc,
                std::int32_t widthSrc, std::int32_t heightSrc, BLENDFUNCTION blend);

// Fills `rect`, clipped to the bitmap, with `brush`; FALSE on a bad handle.
BOOL FillRect(HDC hdc, const RECT* rect, HBRUSH brush);

// Lines and shapes, drawn without antialiasing so every colour is exact.
// Coordinates are pixels; a pixel (x, y) is the square from (x, y) to
// (x + 1, y + 1), and outlines run through pixel centres.
//
// MoveToEx sets the current position; LineTo draws from it to (x, y) with
// the selected pen, both end pixels included (a dashed pen's too), and
// moves it there.
BOOL MoveToEx(HDC hdc, std::int32_t x, std::int32_t y);
BOOL LineTo(HDC hdc, std::int32_t x, std::int32_t y);
// The rectangle and the ellipse of the box [left, right) x [top, bottom):
// filled with the selected brush, outlined with the selected pen. The
// outline of a box one pixel wide or high is the line between its corners;
// a rectangle's four corner pixels belong to a dashed outline too.
BOOL Rectangle(HDC hdc, std::int32_t left, std::int32_t top, std::int32_t right,
               std::int32_t bottom);
BOOL Ellipse(HDC hdc, std::int32_t left, std::int32_t top, std::int32_t right,
             std::int32_t bottom);
// Sets one pixel; CLR_INVALID outside the bitmap, else the colour set.
COLORREF SetPixel(HDC hdc, std::int32_t x, std::int32_t y, COLORREF color);

// A font request. lfHeight below 0 asks for a character (em) height of
// -lfHeight pixels, above 0 for a cell height of lfHeight pixels; the face
// name is resolved through fontconfig, which substitutes a metric-compatible
// or another installed face for one it lacks.
struct LOGFONTA {
  std::int32_t lfHeight = 0;
  std::int32_t lfWeight = 400;  // FW_NORMAL; FW_BOLD is 700
  std::uint8_t lfItalic = 0;
  std::uint8_t lfUnderline = 0;
  std::string lfFaceName;
};
constexpr std::int32_t FW_NORMAL = 400;
constexpr std::int32_t FW_BOLD = 700;

// A font for TextOutA; 0 on failure.
HFONT CreateFontIndirectA(const LOGFONTA& font);
// Sets the colour of text; answers the one before, CLR_INVALID for a bad handle.
COLORREF SetTextColor(HDC hdc, COLORREF color);
// Draws UTF-8 text (invalid bytes show as replacement characters) with the
// selected font and text colour, its top-left corner at (x, y), without
// painting a background. Every script is shaped; glyphs the font lacks come
// from other installed fonts. Line breaks start new lines below, at x.
BOOL TextOutA(HDC hdc, std::int32_t x, std::int32_t y, std::string_view text);

// Flood fill types: fill up to a border of `color`, or fill the area of `color`.
constexpr unsigned FLOODFILLBORDER = 0;
constexpr unsigned FLOODFILLSURFACE = 1;

// Fills, with the brush selected into `hdc`, every pixel 4-connected to
// (x, y) that is not of `color` (FLOODFILLBORDER) or that is of `color`
// (FLOODFILLSURFACE). A hatch brush fills with its pattern; the null brush
// fills nothing. FALSE, with nothing changed, for a start point outside the
// bitmap, a start pixel that does not qualify, or a bad handle. Iterative:
// its memory is bounded by the bitmap's size, never by the area's shape.
BOOL ExtFloodFill(HDC hdc, std::int32_t x, std::int32_t y, COLORREF color, unsigned type);

// The colour of one pixel; CLR_INVALID outside the bitmap or for a bad handle.
COLORREF GetPixel(HDC hdc, std::int32_t x, std::int32_t y);

}  // namespace kelvane::gdi
