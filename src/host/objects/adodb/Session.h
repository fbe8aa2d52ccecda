#pragma once
// An open connection as the database objects share it: the connection
// taken from the pool, its transaction and the cursors open on it. Closing
// it closes its cursors, rolls back an open transaction and hands the
// connection back.

#include <chrono>
#include <memory>
#include <vector>

#include "host/objects/adodb/ConnectionPool.h"

namespace kelvane::host::adodb {

class Cursor;

class Session {
 public:
  explicit Session(std::unique_ptr<PooledConnection> connection);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // The connection; 3709 once closed.
  DriverConnection& Driver() const;

  // Starts a transaction; one at a time.
  void Begin();
  // Commits or rolls back the transaction; an error when none is open.
  void End(bool commit);

  // Closes `cursor` with the session.
  void Track(const std::shared_ptr<Cursor>& cursor);
  void Close() noexcept;

  std::chrono::seconds commandTimeout{30};

 private:
  std::unique_ptr<PooledConnection> connection_;
  std::vector<std::weak_ptr<Cursor>> cursors_;
  bool inTransaction_ = false;
};

}  // namespace kelvane::host::adodb
