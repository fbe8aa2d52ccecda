#pragma once
// The interpreter: runs a Program's tree with its variables in slots.

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/vbscript/Engine.h"
#include "host/vbscript/LocalStack.h"
#include "host/vbscript/Program.h"
#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/Dispatch.h"
#include "platform/oleaut/Operators.h"
#include "platform/oleaut/PlainNumbers.h"

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

  // Calls procedure `index`, numbered as in code `unit` (the page, or code
  // compiled while it runs), for `me` (null outside a class), with `args`
  // by value; 450 when they are not as many as its parameters. Returns a
  // function's result.
  oleaut::Variant CallProcedure(const Program& unit, std::int32_t index, ScriptObject* me,
                                std::span<const oleaut::Variant> args);
  // The object whose method is running; null outside one.
  const ScriptObject* CurrentMe() const { return frame_->me; }
  // Element `index` of an array, or the default member of an object called
  // with `args`; 13 for anything else.
  oleaut::Variant IndexOrDefault(const oleaut::Variant& value, std::span<oleaut::Variant> args);
  // Writes `value` to the element `indexes` name of the array in `slot`
  // (copied first when shared); 13 when `slot` holds no array.
  static void StoreElement(oleaut::Variant& slot, std::span<oleaut::Variant> indexes, oleaut::Variant value);
  // Runs an object's Class_Terminate; errors in it are dropped.
  void Terminate(ScriptObject& object) noexcept;

 private:
  enum class Flow { Normal, ExitFor, ExitDo, ExitProcedure };
  using MadeVariables = std::unordered_map<std::string, oleaut::Variant>;
  struct Frame {
    LocalStack::Slot* locals = nullptr;
    ScriptObject* me = nullptr;
    bool resumeNext = false;
    // The code that runs: the page, or code compiled while it runs.
    const Program* unit = nullptr;
    // The procedure whose variables the code sees (absolute index in
    // `scope`'s unit), and the frame that holds them: Execute's code runs in
    // a frame of its own over the caller's variables.
    const Procedure* procedure = nullptr;
    std::int32_t procedureIndex = -1;
    Frame* scope = this;
    // Variables that Execute's code made in the procedure, by folded name.
    std::unique_ptr<MadeVariables> made;
  };
  // A procedure or class that code compiled while the page runs defined.
  struct MadeDefinition {
    const Program* unit;
    std::int32_t index;
  };

  Flow ExecBlock(const Block& block);
  Flow Exec(const Stmt& s);
  Flow ExecIf(const Stmt& s);
  Flow ExecSelect(const Stmt& s);
  Flow ExecFor(const Stmt& s);
  Flow ExecForEach(const Stmt& s);
  Flow ExecDo(const Stmt& s);
  void Assign(const Expr& target, oleaut::Variant value, bool isSet);
  // Whether `s` assigns its target the target joined with more: t = t & a & b.
  static bool AppendsToTarget(const Stmt& s);
  // Runs such an assignment, appending to the target's own string when
  // nothing else holds it.
  void AssignAppend(const Stmt& s);
  void ReDim(const Stmt& s);
  void Write(const oleaut::Variant& value);
  void WriteText(const std::string& text);

  oleaut::Variant Eval(const Expr& e);
  // Works out the numeric tree `e` on plain numbers; none when a value is
  // none or a step declines, having changed nothing.
  oleaut::PlainNumber Plain(const Expr& e);
  // An operand of a numeric tree as a plain number: a constant's or a
  // variable's value read in place, or a tree worked out.
  oleaut::PlainNumber PlainOperand(const Expr& e);
  // Compares the sides of the numeric comparison `e` as plain numbers;
  // false when either is none.
  bool PlainSides(const Expr& e, oleaut::Comparison& out);
  oleaut::Variant EvalBinary(const Expr& e);
  // The left operand of the binary `e`, in place or evaluated into `scratch`.
  const oleaut::Variant& LeftOperand(const Expr& e, oleaut::Variant& scratch);
  // The value of `e`, in place when it is a constant or a plain variable,
  // else evaluated into `scratch`.
  const oleaut::Variant& Value(const Expr& e, oleaut::Variant& scratch);
  // ---- calls of the page's procedures (RuntimeCalls.cpp) ----

  // An array element passed ByRef: the callee works on a copy that is
  // written back when it returns, so that nothing it does to the array can
  // leave it a reference into freed memory.
  struct ElementArgument {
    const Expr* argument;
    std::vector<oleaut::Variant> indexes;
    oleaut::Variant value;
  };
  using ElementArguments = std::vector<ElementArgument>;

  // Runs procedure `index` of `unit` for `me` in a new frame, whose slots
  // `bind` fills with the arguments before the frame becomes the current one.
  template <class Bind>
  oleaut::Variant RunProcedure(const Program& unit, std::int32_t index, ScriptObject* me, Bind&& bind);
  // Binds `args` to the first parameters of `p` in `locals`: a variable to a
  // ByRef parameter by reference, an array element through `elements`,
  // anything else by value.
  void BindArguments(const Procedure& p, std::span<const ExprPtr> args, LocalStack::Slot* locals,
                     ElementArguments& elements);
  // Writes back what the callee left in the array elements passed ByRef.
  void StoreElements(ElementArguments& elements);
  oleaut::Variant CallUser(const Expr& e);
  // Calls `index` of `unit` with the arguments of the call `e`.
  oleaut::Variant CallWithArguments(const Program& unit, std::int32_t index, const Expr& e);
  // The value when it holds an object of a class of this run's page, else null.
  ScriptObject* OwnScriptObject(const oleaut::Variant& value) const;
  // The member `e` names of `object`, a field or a procedure, read or called
  // with the arguments of `e`, passed as to a procedure of the page.
  oleaut::Variant CallScriptMember(ScriptObject& object, const Expr& e);
  // Assigns `value` to the member `target` names of `object`: a field, or
  // its Property Let or Set (`isSet`) with the arguments of `target`.
  void PutScriptMember(ScriptObject& object, const Expr& target, oleaut::Variant value, bool isSet);

  oleaut::Variant CallMember(const Expr& e);
  oleaut::Variant CallBuiltin(const Expr& e);
  oleaut::Variant NewObject(const Expr& e);

  // ---- code compiled while the page runs (RuntimeDynamic.cpp) ----

  oleaut::Variant CallScriptFunction(const Expr& e);
  // Eval's value, or Execute's and ExecuteGlobal's run of `text`.
  oleaut::Variant RunText(const std::string& text, ScriptFunction function);
  oleaut::Variant ProcedureReference(const std::string& name);
  // A name the compiler could not place: a variable made at run time, a
  // procedure ExecuteGlobal defined, or the error VBScript gives.
  oleaut::Variant EvalByName(const Expr& e);
  // The variable `e` names, made at run time; made now when `create`.
  oleaut::Variant* MadeVariable(const std::string& name, bool create);
  oleaut::Variant& SlotByName(const Expr& e);
  // The shared program that holds `unit`, code compiled while the page
  // runs that defines procedures or classes; null for the page.
  std::shared_ptr<const Program> Holder(const Program& unit) const;
  // Counts a call into the depth of nested calls: 28 past the limit.
  void EnterCall();
  bool Condition(const Expr& e);
  // A condition that, under On Error Resume Next, counts as true when it fails.
  bool GuardedCondition(const Expr& e);
  oleaut::Comparison CompareSides(const oleaut::Variant& lhs, const Expr& left,
                                  const oleaut::Variant& rhs, const Expr& right);

  oleaut::Variant& Slot(const Expr& e);
  oleaut::Variant ObjectValue(const oleaut::Variant& value);
  void RecordError(const oleaut::AutomationError& error);
  void CheckTime();
  // Raises 28 when the stack has grown below stackFloor_. The frame's own
  // address is compared, which a sanitizer that keeps locals elsewhere does
  // not move.
  [[gnu::always_inline]] void CheckStack() const {
    if (reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0)) < stackFloor_)
      oleaut::RaiseRuntimeError(oleaut::kOutOfStackSpace);
  }
  // Ends a turn of a loop: the clock is looked at every few turns.
  void EndTurn();
  // Calls a member of an object; the errors the object raises name the
  // module as their source, and a page ended inside the call stops here.
  oleaut::Variant InvokeObject(oleaut::IDispatch& object, oleaut::DISPID id, std::uint16_t kind,
                               std::span<const oleaut::Variant> args);

  const Program& program_;
  const RunOptions& options_;
  // Calls and expressions stop with 28 where the stack reaches this address,
  // of the thread that made the runtime and runs it.
  const std::uintptr_t stackFloor_;
  bool terminatorTimedOut_ = false;
  // A number no other run of this process has: the objects of this run's
  // classes carry it.
  static std::uint64_t NewSerial();
  const std::uint64_t serial_ = NewSerial();
  std::vector<oleaut::Variant> globals_;
  LocalStack locals_;
  Frame mainFrame_;
  Frame* frame_ = &mainFrame_;
  std::shared_ptr<ErrObject> err_;
  int currentLine_ = 0;
  int depth_ = 0;
  unsigned steps_ = 0;
  oleaut::DISPID writeId_ = -1;
  std::vector<std::weak_ptr<ScriptObject>> created_;
  std::size_t pruneAt_ = 1024;
  // What Execute and ExecuteGlobal made: variables of the page, procedures
  // and classes, by folded name, and the code that holds them.
  MadeVariables madeGlobals_;
  std::unordered_map<std::string, MadeDefinition> madeProcedures_;
  std::unordered_map<std::string, MadeDefinition> madeClasses_;
  std::unordered_map<const Program*, std::shared_ptr<const Program>> units_;
};

}  // namespace kelvane::host::vbscript
