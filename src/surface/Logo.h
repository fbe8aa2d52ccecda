#pragma once
// The built-in logo: a 70 x 63 baseline JFIF picture carried in the module,
// made by examples/make_logo.cpp.

#include <cstdint>
#include <span>

namespace kelvane::surface {

std::span<const std::uint8_t> LogoJpeg();

}  // namespace kelvane::surface
