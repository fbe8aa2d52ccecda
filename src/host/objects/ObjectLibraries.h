#pragma once
// The libraries of automation objects that pages create.

namespace kelvane::host {

// Registers every library's classes as page objects; once a process.
void RegisterObjectLibraries();

}  // namespace kelvane::host
