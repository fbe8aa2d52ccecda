#pragma once
// Scripting.TextStream: a text file read or written a line at a time.
// Text is held as UTF-8 inside; on disk it is in one of two forms:
// "ASCII", the bytes of the page's code page (Response.CodePage when the
// file is opened; UTF-8 unless the page chose another), or "Unicode",
// UTF-16 little-endian, with a byte-order mark at the start of a file
// made new. Lines are read up to LF or CR LF and written with CR LF.
// Reading from a stream for writing, and the reverse, raises 54; reading
// past the end 62. What is written is on disk once the stream is closed,
// by Close or when the last reference to it goes (at the page's end at
// the latest).

#include <filesystem>
#include <memory>
#include <optional>

#include "platform/oleaut/Dispatch.h"

namespace kelvane::host::scripting {

enum class IOMode { Reading = 1, Writing = 2, Appending = 8 };

// The Tristate values a page gives for the form: ASCII (0), Unicode (-1)
// or the system's default (-2: a byte-order mark tells when reading, else
// ASCII).
enum class TextFormat { Ascii = 0, Unicode = -1, Default = -2 };

// The mode and form a page gives as numbers; 5 for any other.
IOMode ToIOMode(int mode);
TextFormat ToTextFormat(int format);

// Opens `file` (reached already) as a stream. Reading needs the file,
// unless `create` makes it empty; Writing empties it; Appending goes on at
// its end. Raises 53 for a missing file (76 for the folder of one to be
// made), 70 for one the process may not open or that is no regular file,
// 67 past 256 streams open on the calling thread's page.
std::shared_ptr<oleaut::IDispatch> OpenTextStream(const std::filesystem::path& file, IOMode mode, bool create,
                                                  TextFormat format);

// Makes `file` (reached already) anew, empty, as a stream for writing: 58
// when it exists and `overwrite` is false.
std::shared_ptr<oleaut::IDispatch> CreateTextStream(const std::filesystem::path& file, bool overwrite, bool unicode);

}  // namespace kelvane::host::scripting
