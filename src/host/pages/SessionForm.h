#pragma once
// A session as a shared store keeps it: a compact, versioned binary form of
// its timeout, code page, locale and values (plain data: numbers of each
// type, strings, dates, Booleans, Null, Empty, Error values, and arrays of
// them of any shape). Numbers are little-endian whatever the machine, so
// that processes on other machines read what one wrote.

#include <cstddef>
#include <string>
#include <string_view>

namespace kelvane::host {

class SessionState;

// The stored form of `session`. Raises 7 "Out of memory" when it would be
// longer than `most` bytes (arrays that hold one array many times spell it
// out each time).
std::string StoredForm(SessionState& session, std::size_t most);

// Sets the timeout, code page, locale and values of `session`, a fresh
// one, from the stored form `bytes`. False when `bytes` is not a form this
// version reads (made by another version, or damaged) or holds more than
// sessions may: `session` is then not to be used.
bool ReadStoredForm(std::string_view bytes, SessionState& session);

}  // namespace kelvane::host
