#pragma once
// What a Recordset or a Command runs on: a Connection the page gave it, or
// one it opens itself from a connection string the page gave, and closes
// again when it is done with it.

#include <memory>
#include <string>

#include "host/objects/adodb/Connection.h"

namespace kelvane::host::adodb {

class ActiveConnection {
 public:
  explicit ActiveConnection(const char* source) : source_(source) {}

  // Takes a page's value: a Connection, Nothing, or a connection string
  // (3001 for any other object). Closes a connection opened before.
  void Set(const oleaut::Variant& value);
  void Set(std::shared_ptr<ConnectionObject> connection);
  // The connection: the one given, else one opened from the string given;
  // 3709 when there is neither.
  const std::shared_ptr<ConnectionObject>& Get();
  // The ActiveConnection property: the connection, else the string.
  oleaut::Variant Value() const;
  // Closes the connection opened from a string, if any.
  void Release();
  // Keeps a driver's error in the connection's Errors.
  void Record(const DatabaseError& error) const;

 private:
  const char* source_;
  std::shared_ptr<ConnectionObject> connection_;
  std::string connectionString_;
  bool owned_ = false;
};

}  // namespace kelvane::host::adodb
