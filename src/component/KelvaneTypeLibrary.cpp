#include "component/KelvaneTypeLibrary.h"

#include <cstddef>

#include "component/Image.h"
#include "platform/gdi/Gdi.h"

namespace kelvane::component {

const oleaut::TypeLibraryDesc& KelvaneTypeLibrary() {
  using oleaut::VarType;
  using Rect = gdi::RECT;
  static const oleaut::TypeLibraryDesc library{
      "Kelvane",
      kLIBID_Kelvane,
      1,
      0,
      {{"Image", kCLSID_Image, oleaut::TYPEFLAG_FCANCREATE,
        {{"_Image", true}, {"ObjectControl", false}}}},
      {Image::Interface()},
      {{"RECT",
        kGUID_RECT,
        sizeof(Rect),
        {{"Left", VarType::Long, offsetof(Rect, Left)},
         {"Top", VarType::Long, offsetof(Rect, Top)},
         {"Right", VarType::Long, offsetof(Rect, Right)},
         {"Bottom", VarType::Long, offsetof(Rect, Bottom)}}}},
  };
  return library;
}

}  // namespace kelvane::component
