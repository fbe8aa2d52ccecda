#pragma once
// What the benchmarks draw on: a picture of the screen's format with smooth
// colour and checkered edges, as drawings have.

#include <cstdint>
#include <memory>

#include "platform/gdi/Objects.h"
#include "platform/gdi/UniqueHandle.h"
#include "platform/picture/Picture.h"

namespace kelvane::bench {

struct Scene {
  Scene(int sceneWidth, int sceneHeight)
      : width(sceneWidth),
        height(sceneHeight),
        bitmap(gdi::CreateCompatibleBitmap(0, sceneWidth, sceneHeight)) {
    const auto pixels = gdi::FindBitmap(bitmap.get());
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        std::uint8_t* p = pixels->Row(y) + x * 4;
        p[0] = static_cast<std::uint8_t>(x * 255 / width);
        p[1] = static_cast<std::uint8_t>(y * 255 / height);
        p[2] = ((x / 16 + y / 16) % 2) ? 200 : 40;
      }
    picture = std::make_shared<picture::Picture>(bitmap.get(), false);
  }
  int width;
  int height;
  gdi::UniqueObject bitmap;
  picture::PictureRef picture;
};

}  // namespace kelvane::bench
