// Calls of the page's own code: its procedures, and the members of objects
// of its classes, each in a frame of locals on the runtime's LocalStack;
// making and ending objects of its classes.

#include <algorithm>
#include <atomic>
#include <typeinfo>
#include <utility>

#include "host/pages/PageDeadline.h"
#include "host/vbscript/Compiler.h"
#include "host/vbscript/Runtime.h"
#include "host/vbscript/ScriptObjects.h"
#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/DispatchTable.h"

namespace kelvane::host::vbscript {

using namespace oleaut;

std::uint64_t Runtime::NewSerial() {
  static std::atomic<std::uint64_t> last{0};
  return ++last;
}

template <class Bind>
Variant Runtime::RunProcedure(const Program& unit, std::int32_t index, ScriptObject* me, Bind&& bind) {
  const Procedure& p = ProcedureAt(program_, unit, index);
  Frame frame;
  frame.me = me;
  frame.unit = static_cast<std::size_t>(index) < program_.procedures.size() ? &program_ : &unit;
  frame.procedure = &p;
  frame.procedureIndex = index;
  const auto count = static_cast<std::size_t>(p.slotCount);
  LocalStack::Mark mark;
  frame.locals = locals_.Push(count, mark);
  // Leaves the frame however the call ends; a local that dies may run a
  // Class_Terminate, which finds the caller's frame current again, and
  // counts as a call nested in this one, so that terminators that make
  // objects that terminate stop at the same depth as any recursion.
  struct Leave {
    Runtime& runtime;
    Frame* caller;
    LocalStack::Slot* locals;
    std::size_t count;
    LocalStack::Mark mark;
    bool entered = false;
    ~Leave() {
      runtime.frame_ = caller;
      runtime.locals_.Pop(locals, count, mark);
      if (entered) --runtime.depth_;
    }
  } leave{*this, frame_, frame.locals, count, mark};
  // The arguments are the caller's: they are evaluated in its frame.
  bind(frame.locals);
  EnterCall();
  leave.entered = true;
  frame_ = &frame;
  const int callerLine = currentLine_;
  ExecBlock(p.body);
  // An error after the call is the caller's statement's; one inside it kept
  // the callee's line by leaving before this.
  currentLine_ = callerLine;
  return std::move(frame.locals[0].value);
}

void Runtime::BindArguments(const Procedure& p, std::span<const ExprPtr> args, LocalStack::Slot* locals,
                            ElementArguments& elements) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const Expr& arg = *args[i];
    LocalStack::Slot& parameter = locals[1 + i];
    const bool variable = NamesVariable(arg) && !arg.parenthesized;
    if (p.byRef[i] && variable && !arg.hasArgs) {
      parameter.place = &Slot(arg);
    } else if (p.byRef[i] && variable && Slot(arg).IsArray()) {
      // Reserved once, so that no element moves while the call runs.
      if (elements.empty()) elements.reserve(args.size());
      ElementArgument& element = elements.emplace_back(ElementArgument{&arg, {}, {}});
      element.indexes.reserve(arg.args.size());
      for (const auto& place : arg.args) element.indexes.push_back(Eval(*place));
      element.value = IndexOrDefault(Slot(arg), element.indexes);
      parameter.place = &element.value;
    } else {
      parameter.value = Eval(arg);
    }
  }
}

void Runtime::StoreElements(ElementArguments& elements) {
  for (auto& element : elements) StoreElement(Slot(*element.argument), element.indexes, std::move(element.value));
}

Variant Runtime::CallUser(const Expr& e) { return CallWithArguments(*frame_->unit, e.slot, e); }

Variant Runtime::CallWithArguments(const Program& unit, std::int32_t index, const Expr& e) {
  const Procedure& p = ProcedureAt(program_, unit, index);
  if (e.args.size() != p.byRef.size()) RaiseRuntimeError(kWrongArgumentCount);
  ElementArguments elements;
  Variant result = RunProcedure(unit, index, nullptr, [&](LocalStack::Slot* locals) {
    BindArguments(p, e.args, locals, elements);
  });
  StoreElements(elements);
  return result;
}

Variant Runtime::CallProcedure(const Program& unit, std::int32_t index, ScriptObject* me,
                               std::span<const Variant> args) {
  // The caller may be an object of the host, or one of its destructors: the
  // errors of the page's code are the language's.
  const ErrorSourceScope source(kRuntimeSource);
  if (args.size() != ProcedureAt(program_, unit, index).byRef.size()) RaiseRuntimeError(kWrongArgumentCount);
  return RunProcedure(unit, index, me, [&](LocalStack::Slot* locals) {
    for (std::size_t i = 0; i < args.size(); ++i) locals[1 + i].value = args[i];
  });
}

ScriptObject* Runtime::OwnScriptObject(const Variant& value) const {
  const auto* object = value.If<ObjectRef>();
  if (object == nullptr || !*object || typeid(**object) != typeid(ScriptObject)) return nullptr;
  auto* script = static_cast<ScriptObject*>(object->get());
  return script->RunSerial() == serial_ ? script : nullptr;
}

namespace {

// The index of the member `e` names in `info`; 438 when it has none.
std::int32_t MemberIndex(const ClassInfo& info, const Expr& e) {
  const auto it = info.memberIndex.find(e.name);
  if (it == info.memberIndex.end()) RaiseRuntimeError(kMemberNotFound);
  return it->second;
}

}  // namespace

Variant Runtime::CallScriptMember(ScriptObject& object, const Expr& e) {
  const ClassMember& member = object.Member(MemberIndex(object.Info(), e), frame_->me);
  if (member.field >= 0) {
    std::vector<Variant> args;
    args.reserve(e.args.size());
    for (const auto& arg : e.args) args.push_back(Eval(*arg));
    return object.ReadField(member.field, args, *this);
  }
  const std::int32_t index = ScriptObject::ProcedureOf(member, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
  const Program& unit = object.Unit(program_);
  const Procedure& p = ProcedureAt(program_, unit, index);
  if (e.args.size() != p.byRef.size()) {
    // The arguments are evaluated before the call finds them wrong in number.
    for (const auto& arg : e.args) Eval(*arg);
    RaiseRuntimeError(kWrongArgumentCount);
  }
  ElementArguments elements;
  Variant result = RunProcedure(unit, index, &object, [&](LocalStack::Slot* locals) {
    BindArguments(p, e.args, locals, elements);
  });
  StoreElements(elements);
  return result;
}

void Runtime::PutScriptMember(ScriptObject& object, const Expr& target, Variant value, bool isSet) {
  const ClassMember& member = object.Member(MemberIndex(object.Info(), target), frame_->me);
  if (member.field >= 0) {
    std::vector<Variant> args;
    args.reserve(target.args.size() + 1);
    for (const auto& arg : target.args) args.push_back(Eval(*arg));
    args.push_back(std::move(value));
    object.WriteField(member.field, args);
    return;
  }
  const std::int32_t index =
      ScriptObject::ProcedureOf(member, isSet ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT);
  const Program& unit = object.Unit(program_);
  const Procedure& p = ProcedureAt(program_, unit, index);
  if (target.args.size() + 1 != p.byRef.size()) {
    for (const auto& arg : target.args) Eval(*arg);
    RaiseRuntimeError(kWrongArgumentCount);
  }
  ElementArguments elements;
  RunProcedure(unit, index, &object, [&](LocalStack::Slot* locals) {
    BindArguments(p, target.args, locals, elements);
    locals[p.byRef.size()].value = std::move(value);
  });
  StoreElements(elements);
}

Variant Runtime::NewObject(const Expr& e) {
  const Program* unit = frame_->unit;
  std::int32_t classIndex = e.slot;
  if (classIndex < 0) {
    // A class that ExecuteGlobal defined.
    const auto made = madeClasses_.find(e.name);
    if (made == madeClasses_.end()) RaiseRuntimeError(kClassNotDefined);
    unit = made->second.unit;
    classIndex = made->second.index;
  }
  if (static_cast<std::size_t>(classIndex) < program_.classes.size()) unit = &program_;
  const ClassInfo& info = ClassAt(program_, *unit, classIndex);
  auto object = std::make_shared<ScriptObject>(weak_from_this(), serial_, info, classIndex, Holder(*unit));
  if (created_.size() >= pruneAt_) {
    std::erase_if(created_, [](const std::weak_ptr<ScriptObject>& o) { return o.expired(); });
    pruneAt_ = std::max<std::size_t>(1024, created_.size() * 2);
  }
  created_.push_back(object);
  if (info.fieldArrays >= 0) CallProcedure(*unit, info.fieldArrays, object.get(), {});
  if (info.initialize >= 0) CallProcedure(*unit, info.initialize, object.get(), {});
  return Variant(ObjectRef(std::move(object)));
}

void Runtime::Terminate(ScriptObject& object) noexcept {
  const int line = currentLine_;
  try {
    CallProcedure(object.Unit(program_), object.Info().terminate, &object, {});
  } catch (const PageTimeout&) {
    // The page ran out of time in a destructor: it fails, when it ends.
    terminatorTimedOut_ = true;
  } catch (...) {
    // A terminator's failure, even the deadline, is the page's to meet at
    // its next statement, not here in a destructor.
  }
  currentLine_ = line;
}

}  // namespace kelvane::host::vbscript
