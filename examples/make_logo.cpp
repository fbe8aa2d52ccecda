// Draws the built-in logo with the component itself and writes it as the
// source file that carries it in the module:
//   build/examples/make_logo src/surface/LogoJpeg.cpp
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "component/Image.h"
#include "dib/cDIBSection.h"
#include "jpeg/mIntelJPEGLibrary.h"
#include "surface/Form1.h"

using namespace kelvane;
using oleaut::Integer;
using oleaut::Long;

namespace {

void Draw() {
  component::Image logo;
  logo.put_PlotWidth(70);
  logo.put_PlotHeight(Integer{63});
  logo.GradientT2B(0x5A2A0A, 0xC08A2A);
  logo.put_PenColor(Long{0xFFFFFF});
  logo.put_PlotFillColor(Long{0x2AB4F0});
  logo.put_PenWidth(Integer{2});
  logo.PlotSolidCircle(35, 24, 17);
  logo.put_PenWidth(Integer{1});
  logo.put_PlotFontName("Liberation Sans");
  logo.put_PlotFontBold(oleaut::VariantBool::True);
  logo.put_PlotFontSize(Integer{18});
  logo.put_PenColor(Long{0x3A1A05});
  logo.PlotText(26, 10, "K");
  logo.put_PlotFontSize(Integer{8});
  logo.put_PenColor(Long{0xFFFFFF});
  logo.PlotText(12, 46, "Kelvane");
}

std::vector<unsigned char> Encode() {
  dib::cDIBSection dib;
  dib.CreateFromPicture(surface::Form1::ForThread().Plot.get_Image());
  const std::string name =
      (std::filesystem::temp_directory_path() / ("kelvane-logo-" + std::to_string(::getpid()) + ".jpg"))
          .string();
  jpeg::WriteJpegFile(dib, name);
  std::ifstream in(name, std::ios::binary);
  std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(in), {}};
  std::filesystem::remove(name);
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_logo OUTPUT.cpp\n");
    return 2;
  }
  Draw();
  const std::vector<unsigned char> jpeg = Encode();
  std::ofstream out(argv[1]);
  out << "// The built-in logo: a 70 x 63 baseline JFIF picture of " << jpeg.size()
      << " bytes.\n// Made by examples/make_logo.cpp; do not edit.\n\n"
      << "#include \"surface/Logo.h\"\n\nnamespace kelvane::surface {\n\nnamespace {\n\n"
      << "constexpr std::uint8_t kLogo[] = {";
  for (std::size_t i = 0; i < jpeg.size(); ++i) {
    if (i % 16 == 0) out << "\n   ";
    char hex[8];
    std::snprintf(hex, sizeof hex, " 0x%02x,", jpeg[i]);
    out << hex;
  }
  out << "\n};\n\n}  // namespace\n\nstd::span<const std::uint8_t> LogoJpeg() { return kLogo; }\n\n"
      << "}  // namespace kelvane::surface\n";
  return out ? 0 : 1;
}
