#pragma once
// A memory context with its own bitmap, for tests of drawing code.

#include "platform/gdi/Objects.h"
#include "platform/gdi/UniqueHandle.h"

namespace kelvane::gdi {

struct Canvas {
  Canvas(std::int32_t width, std::int32_t height, PixelFormat format = PixelFormat::Bgrx32,
         bool bottomUp = false)
      : bitmap(AddObject(Bitmap::Create(width, height, format, bottomUp))),
        dc(CreateCompatibleDC(0)) {
    SelectObject(dc.get(), bitmap.get());
  }
  UniqueObject bitmap;
  UniqueDC dc;
};

}  // namespace kelvane::gdi
