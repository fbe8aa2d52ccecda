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
// after the page's run has ended raise 91. The run that made it calls its
// members without the dispatch interface, passing arguments ByRef.
class ScriptObject final : public oleaut::IDispatch,
                           public oleaut::ValueHolder,
                           public std::enable_shared_from_this<ScriptObject> {
 public:
  // An instance of class `classIndex`, described by `info`, made by the run
  // `runtime` whose serial is `runSerial`; `unit` holds the class when code
  // compiled while the page runs defined it, else null.
  ScriptObject(std::weak_ptr<Runtime> runtime, std::uint64_t runSerial, const ClassInfo& info,
               std::int32_t classIndex, std::shared_ptr<const Program> unit);
  ~ScriptObject() override;

  std::uint64_t RunSerial() const { return runSerial_; }
  // The member `index` (a DISPID less one), reached from code whose Me is
  // `caller`; 438 when there is none, or it is private and `caller` is
  // another object.
  const ClassMember& Member(std::int32_t index, const ScriptObject* caller) const;
  // The procedure a call of `kind` runs for `member`, which is no field; 450
  // when a put finds none, 438 when a read or call does.
  static std::int32_t ProcedureOf(const ClassMember& member, std::uint16_t kind);
  // Reads field `field`, an element of the array it holds when `args` are given.
  oleaut::Variant ReadField(std::int32_t field, std::span<const oleaut::Variant> args, Runtime& runtime);
  // Writes the last of `args` to field `field`, or to an element of the
  // array it holds that the others name.
  void WriteField(std::int32_t field, std::span<const oleaut::Variant> args);

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
  std::uint64_t runSerial_;
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
