#pragma once
// Pages held inside a call into C++ until a test lets them go: any call on
// a GateObject waits while the gate is closed.

#include <condition_variable>
#include <memory>
#include <mutex>

#include "platform/oleaut/Dispatch.h"

namespace kelvane::test {

class PageGate {
 public:
  static PageGate& Instance() {
    static PageGate gate;
    return gate;
  }

  // Holds the calls from now on, none counted yet.
  void Close() {
    const std::lock_guard lock(mutex_);
    open_ = false;
    inside_ = 0;
  }
  // Lets every call held go on, and those that come later pass.
  void Open() {
    const std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  // Waits until `calls` have come to the gate since it closed.
  void AwaitInside(int calls) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return inside_ >= calls; });
  }
  void Pass() {
    std::unique_lock lock(mutex_);
    ++inside_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return open_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = true;
  int inside_ = 0;
};

class GateObject : public oleaut::IDispatch {
 public:
  std::optional<oleaut::DISPID> GetIDOfName(std::string_view) const override { return 1; }
  oleaut::Variant Invoke(oleaut::DISPID, std::uint16_t, std::span<const oleaut::Variant>) override {
    PageGate::Instance().Pass();
    return {};
  }
};

}  // namespace kelvane::test
