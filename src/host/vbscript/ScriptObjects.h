#pragma once
// The objects the engine makes itself: instances of a page's classes, and Err.

#include <memory>
#include <string>
#include <vector>

#include "host/vbscript/Program.h"
#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/Dispatch.h"
#include "platform/oleaut/TypeLibrary.h"

namespace kelvane::host::vbscript {

class Runtime;

// An instance of a Class of the page. Members are reached by name like any
// other object's; private ones only from the instance's own methods. Calls
// after the page's run has ended raise 91.
class ScriptObject : public oleaut::IDispatch,
                     public oleaut::ValueHolder,
                     public std::enable_shared_from_this<ScriptObject> {
 public:
  // An instance of class `classIndex`, described by `info`; `unit` holds the
  // class when code compiled while the page runs defined it, else null.
  ScriptObject(std::weak_ptr<Runtime> runtime, const ClassInfo& info, std::int32_t classIndex,
               std::shared_ptr<const Program> unit);
  ~ScriptObject() override;

  std::optional<oleaut::DISPID> GetIDOfName(std::string_view name) const override;
  oleaut::Variant Invoke(oleaut::DISPID id, std::uint16_t kind,
                         std::span<const oleaut::Variant> args) override;
  const oleaut::InterfaceDesc* GetTypeInfo() const override { return &description_; }

  const ClassInfo& Info() const { return info_; }
  std::int32_t ClassIndex() const { return classIndex_; }
  // The code that defines the class, the page `page` or another.
  const Program& Unit(const Program& page) const { return unit_ ? *unit_ : page; }
  std::vector<oleaut::Variant>& Fields() { return fields_; }
  // Empties every field.
  void DropValues() noexcept override;

 private:
  std::weak_ptr<Runtime> runtime_;
  std::shared_ptr<const Program> unit_;
  const ClassInfo& info_;
  std::int32_t classIndex_;
  oleaut::InterfaceDesc description_;
  std::vector<oleaut::Variant> fields_;
};

// What GetRef gives: calling it, by its default member, calls a procedure
// of the page, with its arguments by value.
class ProcedureReference : public oleaut::IDispatch {
 public:
  ProcedureReference(std::weak_ptr<Runtime> runtime, std::shared_ptr<const Program> unit,
                     std::int32_t index)
      : runtime_(std::move(runtime)), unit_(std::move(unit)), index_(index) {}

  std::optional<oleaut::DISPID> GetIDOfName(std::string_view name) const override;
  oleaut::Variant Invoke(oleaut::DISPID id, std::uint16_t kind,
                         std::span<const oleaut::Variant> args) override;

 private:
  std::weak_ptr<Runtime> runtime_;
  std::shared_ptr<const Program> unit_;  // null: the page's own procedure
  std::int32_t index_;
};

// The Err object: the last error a page resumed after.
class ErrObject : public oleaut::IDispatch {
 public:
  std::optional<oleaut::DISPID> GetIDOfName(std::string_view name) const override;
  oleaut::Variant Invoke(oleaut::DISPID id, std::uint16_t kind,
                         std::span<const oleaut::Variant> args) override;

  void Record(const oleaut::AutomationError& error);
  void Clear();

 private:
  std::int32_t number_ = 0;
  std::string source_;
  std::string description_;
  std::string helpFile_;
  std::int32_t helpContext_ = 0;
};

}  // namespace kelvane::host::vbscript
