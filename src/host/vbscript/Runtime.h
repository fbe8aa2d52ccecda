#pragma once
// The interpreter: runs a Program's tree with its variables in slots.

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "host/vbscript/Engine.h"
#include "host/vbscript/Program.h"
#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/Dispatch.h"
#include "platform/oleaut/Operators.h"

namespace kelvane::host::vbscript {

class ScriptObject;
class ErrObject;

// Thrown to stop a page that has ended itself: no script error, so no On
// Error holds it. A page past its deadline is stopped by PageTimeout.
struct PageStop {};

class Runtime : public std::enable_shared_from_this<Runtime> {
 public:
  Runtime(const Program& program, const RunOptions& options);
  ~Runtime();
  Runtime(const Runtime&) = delete;
  Runtime& operator=(const Runtime&) = delete;

  // Runs the page's main code; raises what it does not handle.
  void RunMain();
  // Lets go of every global, running the Class_Terminate of what dies, then
  // empties the objects of the page's classes that still live, so that
  // objects that refer to each other do not outlive the page.
  void ReleaseAll() noexcept;
  // Whether a Class_Terminate was stopped at the page's deadline.
  bool TerminatorTimedOut() const { return terminatorTimedOut_; }
  // Where the statement that runs now comes from.
  int CurrentLine() const { return currentLine_; }
  const Program& Code() const { return program_; }

  // Calls procedure `index` for `me` (null outside a class). `refs[i]`, when
  // not null, is the variable a ByRef parameter stands for; otherwise
  // `values[i]` is its value. Returns a function's result.
  oleaut::Variant CallProcedure(std::int32_t index, ScriptObject* me, std::span<oleaut::Variant> values,
                                oleaut::Variant* const* refs);
  // The object whose method is running; null outside one.
  const ScriptObject* CurrentMe() const { return frame_->me; }
  // Element `index` of an array, or the default member of an object called
  // with `args`; 13 for anything else.
  oleaut::Variant IndexOrDefault(const oleaut::Variant& value, std::span<oleaut::Variant> args);
  // Runs an object's Class_Terminate; errors in it are dropped.
  void Terminate(ScriptObject& object) noexcept;

 private:
  enum class Flow { Normal, ExitFor, ExitDo, ExitProcedure };
  struct Frame {
    std::size_t base = 0;
    ScriptObject* me = nullptr;
    bool resumeNext = false;
  };

  Flow ExecBlock(const Block& block);
  Flow Exec(const Stmt& s);
  Flow ExecIf(const Stmt& s);
  Flow ExecSelect(const Stmt& s);
  Flow ExecFor(const Stmt& s);
  Flow ExecForEach(const Stmt& s);
  Flow ExecDo(const Stmt& s);
  void Assign(const Expr& target, oleaut::Variant value, bool isSet);
  void ReDim(const Stmt& s);
  void Write(const oleaut::Variant& value);
  void WriteText(const std::string& text);

  oleaut::Variant Eval(const Expr& e);
  oleaut::Variant EvalBinary(const Expr& e);
  // The value of `e`, in place when it is a constant or a plain variable,
  // else evaluated into `scratch`.
  const oleaut::Variant& Value(const Expr& e, oleaut::Variant& scratch);
  oleaut::Variant CallUser(const Expr& e);
  oleaut::Variant CallMember(const Expr& e);
  oleaut::Variant CallBuiltin(const Expr& e);
  oleaut::Variant NewObject(std::int32_t classIndex);
  bool Condition(const Expr& e);
  // A condition that, under On Error Resume Next, counts as true when it fails.
  bool GuardedCondition(const Expr& e);
  oleaut::Comparison CompareSides(const oleaut::Variant& lhs, const Expr& left,
                                  const oleaut::Variant& rhs, const Expr& right);

  oleaut::Variant& Slot(const Expr& e);
  oleaut::Variant ObjectValue(const oleaut::Variant& value);
  void RecordError(const oleaut::AutomationError& error);
  void CheckTime();
  // Calls a member of an object; the errors the object raises name the
  // module as their source, and a page ended inside the call stops here.
  oleaut::Variant InvokeObject(oleaut::IDispatch& object, oleaut::DISPID id, std::uint16_t kind,
                               std::span<const oleaut::Variant> args);

  const Program& program_;
  const RunOptions& options_;
  bool terminatorTimedOut_ = false;
  std::vector<oleaut::Variant> globals_;
  std::deque<oleaut::Variant> stack_;
  std::deque<oleaut::Variant*> refs_;
  Frame mainFrame_;
  Frame* frame_ = &mainFrame_;
  std::shared_ptr<ErrObject> err_;
  int currentLine_ = 0;
  int depth_ = 0;
  unsigned steps_ = 0;
  oleaut::DISPID writeId_ = -1;
  std::vector<std::weak_ptr<ScriptObject>> created_;
  std::size_t pruneAt_ = 1024;
};

}  // namespace kelvane::host::vbscript
