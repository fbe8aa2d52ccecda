#pragma once
// An open connection as the database objects share it: the connection
// taken from the pool, its transaction, the cursors open on it and the
// Errors collection of its Connection object. Closing it closes its
// cursors, rolls back an open transaction and hands the connection back.

#include <chrono>
#include <memory>
#include <vector>

#include "host/objects/adodb/ConnectionPool.h"
#include "host/objects/adodb/Errors.h"

namespace kelvane::host::adodb {

class Cursor;

class Session {
 public:
  Session(std::unique_ptr<PooledConnection> connection, std::shared_ptr<ErrorsCollection> errors);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  bool IsOpen() const { return connection_ != nullptr; }
  // The connection; 3709 once closed.
  DriverConnection& Driver() const;
  ErrorsCollection& Errors() const { return *errors_; }

  // Starts a transaction; one at a time.
  void Begin();
  // Commits or rolls back the transaction; an error when none is open.
  void End(bool commit);
  bool InTransaction() const { return inTransaction_; }

  // Closes `cursor` with the session.
  void Track(const std::shared_ptr<Cursor>& cursor);
  void Close() noexcept;

  std::chrono::seconds commandTimeout{30};

 private:
  std::unique_ptr<PooledConnection> connection_;
  std::shared_ptr<ErrorsCollection> errors_;
  std::vector<std::weak_ptr<Cursor>> cursors_;
  bool inTransaction_ = false;
};

}  // namespace kelvane::host::adodb
