#include "host/objects/adodb/Session.h"

#include <algorithm>

#include "host/objects/adodb/AdoErrors.h"
#include "host/objects/adodb/Cursor.h"

namespace kelvane::host::adodb {

namespace {

constexpr const char* kSource = "ADODB.Connection";
// The transaction errors ADO reports.
constexpr std::int32_t kTransactionExists = -2147168237;  // only one may be active
constexpr std::int32_t kNoTransaction = -2147168242;

}  // namespace

Session::Session(std::unique_ptr<PooledConnection> connection) : connection_(std::move(connection)) {}

Session::~Session() { Close(); }

DriverConnection& Session::Driver() const {
  if (connection_ == nullptr) RaiseAdo(kConnectionNotUsable, kSource);
  return **connection_;
}

void Session::Begin() {
  if (inTransaction_)
    throw oleaut::AutomationError(kTransactionExists, kSource, "Only one transaction can be active on this session.");
  Driver().SetAutoCommit(false);
  inTransaction_ = true;
}

void Session::End(bool commit) {
  if (!inTransaction_) throw oleaut::AutomationError(kNoTransaction, kSource, "No transaction is active.");
  DriverConnection& driver = Driver();
  // Whatever the end gives, the transaction is over: the driver rolls back
  // a commit that fails.
  inTransaction_ = false;
  try {
    driver.EndTransaction(commit);
  } catch (...) {
    driver.SetAutoCommit(true);
    throw;
  }
  driver.SetAutoCommit(true);
}

void Session::Track(const std::shared_ptr<Cursor>& cursor) {
  std::erase_if(cursors_, [](const std::weak_ptr<Cursor>& c) { return c.expired(); });
  cursors_.push_back(cursor);
}

void Session::Close() noexcept {
  for (const auto& weak : cursors_)
    if (const auto cursor = weak.lock()) cursor->Close();
  cursors_.clear();
  inTransaction_ = false;
  // The pool rolls back what is open before it keeps the connection.
  connection_.reset();
}

}  // namespace kelvane::host::adodb
