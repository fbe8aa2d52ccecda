#pragma once
// ADODB.Stream: bytes or text held in memory, read and written at a
// position, loaded from and saved to files inside the site.
//   Type          1 binary, 2 text (the default); changed only at position 0
//   Charset       of a text stream: "unicode" (the default), "utf-8",
//                 "windows-1252", "iso-8859-1", "us-ascii"; any case
//   Mode          0 unknown (read and write), 1 read, 2 write, 3 both, plus
//                 the sharing flags; set only while closed
//   LineSeparator -1 CR LF (the default), 10 LF, 13 CR
//   Open, Close, State (0 closed, 1 open); Position, Size (bytes), EOS
//   Read(n) / ReadText(n): n bytes or characters, -1 the rest (the default),
//                 -2 a line (text only); Read past the end gives Null
//   Write(bytes) / WriteText(text, 1 adds a line separator); text written at
//                 position 0 starts with the charset's byte-order mark (utf-8,
//                 unicode), which reading from position 0 skips
//   SetEOS, SkipLine, Flush, CopyTo(stream, n), Cancel
//   LoadFromFile(path): files inside the site or the data folders
//   SaveToFile(path, 1 create only (the default) / 2 overwrite): files inside
//                 the data folders; the file appears whole or not at all
// Errors are ADO's: 3001 arguments of the wrong type or out of range, 3002
// file could not be opened, 3004 write to file failed, 3219 operation not
// allowed in this context (text on a binary stream, or bytes on a text one),
// 3704 the stream is closed, 3705 it is open; 70 outside the allowed folders.

#include <memory>

#include "platform/oleaut/Dispatch.h"

namespace kelvane::host::adodb {

// A new, closed stream, for Server.CreateObject("ADODB.Stream").
std::shared_ptr<oleaut::IDispatch> CreateStream();

}  // namespace kelvane::host::adodb
