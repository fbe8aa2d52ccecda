#pragma once
// Writing a DIB section to a JPEG file.

#include <string>

#include "dib/cDIBSection.h"
#include "platform/ijl/Ijl.h"

namespace kelvane::jpeg {

// The error number of this module's own failures.
constexpr oleaut::Long kJpegError = 26001;

// Writes `dib`, which must hold a section, to `fileName` as a JPEG of
// quality 100. The new file is made exclusively under a random name in the
// same folder and renamed into place once complete; it takes the permission
// bits and the last-access and last-write times of a file it replaces.
// Raises 26001 "Failed to initialise the IJL library: " or "Failed to save
// to JPG " with the library's result code (source
// "<module>.mIntelJPEGLibrary"; help file "48" on the second; an empty name
// is the library's -6), 75 when an existing file may not be replaced
// (read-only, or its folder refuses), and 6 when the section's sizes
// overflow. On failure no new or partial file is left and an existing one is
// untouched.
void WriteJpegFile(dib::cDIBSection& dib, const std::string& fileName);

// Fills the record's picture fields from `dib` for writing to `jpegFile`:
// DIBWidth, DIBHeight (negated: rows bottom-up), DIBBytes, DIBPadBytes,
// JPGFile, JPGWidth, JPGHeight, jquality 100, in that order. 6 when the
// negated height or the padding passes the 32-bit range.
void DescribeDib(dib::cDIBSection& dib, const char* jpegFile, ijl::JPEG_CORE_PROPERTIES& record);

}  // namespace kelvane::jpeg
