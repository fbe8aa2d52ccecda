#include "host/vbscript/Runtime.h"

#include <pthread.h>

#include <algorithm>
#include <cmath>
#include <new>
#include <utility>

#include "host/pages/PageDeadline.h"
#include "host/vbscript/Builtins.h"
#include "host/vbscript/Compiler.h"
#include "host/vbscript/ScriptObjects.h"
#include "platform/oleaut/Conversion.h"
#include "platform/oleaut/DispatchTable.h"
#include "platform/oleaut/Operators.h"
#include "platform/oleaut/OutArguments.h"
#include "platform/oleaut/Random.h"

namespace kelvane::host::vbscript {

namespace {

using namespace oleaut;

// Calls nest at most this deep (28 "Out of stack space" beyond): a page's
// recursion must end in an error, never in the thread's stack overflowing.
constexpr int kMaxDepth = 400;
// The address below which the running thread's stack counts as used up:
// calls and expressions stop there with 28, leaving what is below for the
// error's way out and for the libraries a page calls (text layout, image
// coding), whose depth the page does not control. 1 when the system does
// not tell where the stack is, which lets everything through.
std::uintptr_t FindStackFloor() {
  constexpr std::size_t kLeastReserve = std::size_t{256} << 10;
  pthread_attr_t attributes;
  if (::pthread_getattr_np(::pthread_self(), &attributes) != 0) return 1;
  void* address = nullptr;
  std::size_t size = 0;
  const bool known = ::pthread_attr_getstack(&attributes, &address, &size) == 0;
  ::pthread_attr_destroy(&attributes);
  if (!known || address == nullptr) return 1;
  return reinterpret_cast<std::uintptr_t>(address) + std::max(size / 4, std::min(kLeastReserve, size / 2));
}

// The floor of the running thread's stack, found once per thread: reading
// it can mean reading the process's memory map.
std::uintptr_t ThreadStackFloor() {
  thread_local const std::uintptr_t floor = FindStackFloor();
  return floor;
}

// Statements between two looks at the clock; a turn of a loop counts as
// many, so that the clock is read at least every 16 turns.
constexpr unsigned kStepsPerCheck = 4096;
constexpr unsigned kStepsPerTurn = kStepsPerCheck / 16;

// The evaluated arguments of one call, on the C++ stack when they are few;
// only as many variants as there are arguments are made.
class Arguments {
 public:
  explicit Arguments(std::size_t count) : size_(count) {
    if (count > kInline) {
      heap_.resize(count);
      data_ = heap_.data();
    } else {
      data_ = reinterpret_cast<Variant*>(inline_);
      for (std::size_t i = 0; i < count; ++i) new (data_ + i) Variant();
    }
  }
  ~Arguments() {
    if (heap_.empty())
      for (std::size_t i = 0; i < size_; ++i) data_[i].~Variant();
  }
  Arguments(const Arguments&) = delete;
  Arguments& operator=(const Arguments&) = delete;
  Variant& operator[](std::size_t i) { return data_[i]; }
  std::span<Variant> Span() { return {data_, size_}; }

 private:
  static constexpr std::size_t kInline = 6;
  alignas(Variant) unsigned char inline_[kInline * sizeof(Variant)];
  std::vector<Variant> heap_;
  Variant* data_;
  std::size_t size_;
};

IDispatch& DispatchOf(const Variant& value) {
  const auto* object = value.If<ObjectRef>();
  if (object == nullptr) RaiseRuntimeError(kObjectRequired);
  if (!*object) RaiseRuntimeError(kObjectNotSet);
  auto* dispatch = dynamic_cast<IDispatch*>(object->get());
  if (dispatch == nullptr) RaiseRuntimeError(kMemberNotFound);
  return *dispatch;
}

Comparison Reverse(Comparison c) {
  if (c == Comparison::Less) return Comparison::Greater;
  if (c == Comparison::Greater) return Comparison::Less;
  return c;
}

bool Holds(Comparison c, Operator op) {
  switch (op) {
    case Operator::Equal: return c == Comparison::Equal;
    case Operator::NotEqual: return c != Comparison::Equal;
    case Operator::Less: return c == Comparison::Less;
    case Operator::Greater: return c == Comparison::Greater;
    case Operator::LessEqual: return c != Comparison::Greater;
    case Operator::GreaterEqual: return c != Comparison::Less;
    default: return false;
  }
}

// The array an element is written to, copied first when anything else shares it.
SafeArray& WritableArray(Variant& slot) {
  const auto* held = slot.If<ArrayRef>();
  if (held == nullptr || !*held) RaiseRuntimeError(kTypeMismatch);
  if (held->use_count() > 1) slot = Variant(ArrayRef(std::make_shared<SafeArray>(**held)));
  // Every array is made non-const (make_shared<SafeArray>) and shared as const.
  return const_cast<SafeArray&>(**slot.If<ArrayRef>());
}

// The place of the element `args` name, the first index running fastest.
std::size_t ElementIndex(const SafeArray& array, std::span<Variant> args) {
  if (args.size() != array.Dimensions()) RaiseRuntimeError(kSubscriptOutOfRange);
  std::size_t place = 0;
  for (std::size_t d = args.size(); d-- > 0;) {
    const double index = static_cast<double>(ToLong(args[d])) - array.lowerBound;
    const std::size_t extent = array.Extent(d);
    if (index < 0 || index >= static_cast<double>(extent)) RaiseRuntimeError(kSubscriptOutOfRange);
    place = place * extent + static_cast<std::size_t>(index);
  }
  return place;
}

Variant ElementAt(const SafeArray& array, std::size_t i) {
  if (array.elementType == VarType::Byte) return array.bytes[i];
  return array.elements[i];
}

}  // namespace

Runtime::Runtime(const Program& program, const RunOptions& options)
    : program_(program), options_(options), stackFloor_(ThreadStackFloor()),
      globals_(program.globalNames.size()), err_(std::make_shared<ErrObject>()) {
  for (const auto& [name, object] : options.objects) {
    const std::string folded = FoldCase(name);
    for (std::size_t i = 0; i < program.globalNames.size(); ++i)
      if (program.globalNames[i] == folded) globals_[i] = Variant(object);
  }
  globals_[static_cast<std::size_t>(program.errSlot)] = Variant(ObjectRef(err_));
  mainFrame_.unit = &program;
}

Runtime::~Runtime() = default;

void Runtime::RunMain() {
  const ErrorSourceScope source(kRuntimeSource);
  ExecBlock(program_.main);
}

void Runtime::ReleaseAll() noexcept {
  for (auto& global : globals_) {
    Variant dying = std::move(global);
    global = Variant();
  }
  for (auto& [name, global] : madeGlobals_) {
    Variant dying = std::move(global);
    global = Variant();
  }
  // A terminator run here may make objects: the list grows as it is walked.
  for (std::size_t i = 0; i < created_.size(); ++i)
    if (const auto object = created_[i].lock()) object->DropValues();
}

void Runtime::EndTurn() {
  steps_ += kStepsPerTurn;
  if (steps_ >= kStepsPerCheck) CheckTime();
}

void Runtime::CheckTime() {
  steps_ = 0;
  if (CoarseNow() > options_.deadline) throw PageTimeout();
}

Variant Runtime::InvokeObject(IDispatch& object, DISPID id, std::uint16_t kind,
                              std::span<const Variant> args) {
  Variant result;
  {
    const ErrorSourceScope source(nullptr);
    result = object.Invoke(id, kind, args);
  }
  if (options_.ended && options_.ended()) throw PageStop{};
  return result;
}

void Runtime::RecordError(const AutomationError& error) { err_->Record(error); }

void Runtime::EnterCall() {
  if (depth_ >= kMaxDepth) RaiseRuntimeError(kOutOfStackSpace);
  CheckStack();
  ++depth_;
}

// ---- statements ----

Runtime::Flow Runtime::ExecBlock(const Block& block) {
  for (const auto& statement : block) {
    currentLine_ = statement->line;
    if (++steps_ >= kStepsPerCheck) CheckTime();
    Flow flow;
    try {
      flow = Exec(*statement);
    } catch (const AutomationError& error) {
      if (!frame_->resumeNext) throw;
      RecordError(error);
      continue;
    } catch (const std::bad_alloc&) {
      if (!frame_->resumeNext) throw;
      RecordError(AutomationError(kOutOfMemory, kRuntimeSource, RuntimeErrorText(kOutOfMemory)));
      continue;
    }
    if (flow != Flow::Normal) return flow;
  }
  return Flow::Normal;
}

Runtime::Flow Runtime::Exec(const Stmt& s) {
  switch (s.kind) {
    case StmtKind::Assign:
      // A number worked out on the fast path goes straight to a variable.
      if (s.value->numeric && !IsComparison(s.value->op) && IsPlainVariable(*s.target)) {
        if (const PlainNumber n = Plain(*s.value)) {
          Slot(*s.target) = n.ToVariant();
          break;
        }
      }
      if (AppendsToTarget(s)) AssignAppend(s);
      else Assign(*s.target, Eval(*s.value), false);
      break;
    case StmtKind::Set: Assign(*s.target, Eval(*s.value), true); break;
    case StmtKind::CallStmt:
      // A variable called with arguments calls its object's default member.
      if (IsPlainVariable(*s.target) || s.target->kind == ExprKind::Constant)
        RaiseRuntimeError(kMemberNotFound);
      Eval(*s.target);
      if (s.target->kind == ExprKind::BuiltinCall && IsNumericConversion(s.target->builtin))
        RaiseRuntimeError(kUnsupportedAutomationType);
      break;
    case StmtKind::If: return ExecIf(s);
    case StmtKind::Select: return ExecSelect(s);
    case StmtKind::For: return ExecFor(s);
    case StmtKind::ForEach: return ExecForEach(s);
    case StmtKind::Do: return ExecDo(s);
    case StmtKind::ExitFor: return Flow::ExitFor;
    case StmtKind::ExitDo: return Flow::ExitDo;
    case StmtKind::ExitProcedure: return Flow::ExitProcedure;
    case StmtKind::ReDim: ReDim(s); break;
    case StmtKind::Erase: {
      Variant& slot = Slot(*s.target);
      if (!slot.IsArray()) RaiseRuntimeError(kTypeMismatch);
      SafeArray& array = WritableArray(slot);
      for (auto& element : array.elements) element = Variant();
      std::fill(array.bytes.begin(), array.bytes.end(), Byte{0});
      break;
    }
    case StmtKind::OnErrorResumeNext:
      frame_->resumeNext = true;
      err_->Clear();
      break;
    case StmtKind::OnErrorGoto0:
      frame_->resumeNext = false;
      err_->Clear();
      break;
    case StmtKind::With: {
      // The object is checked by each use: With Nothing fails only at a
      // member. Under Resume Next a value that fails leaves Empty there.
      try {
        Slot(*s.target) = Eval(*s.value);
      } catch (const AutomationError& error) {
        if (!frame_->resumeNext) throw;
        RecordError(error);
      }
      const Flow flow = ExecBlock(s.body);
      Slot(*s.target) = Variant();
      return flow;
    }
    case StmtKind::WriteText:
      WriteText(program_.script.texts[static_cast<std::size_t>(s.slot)]);
      break;
    case StmtKind::WriteValue: Write(Eval(*s.value)); break;
    case StmtKind::Randomize:
      Randomize(s.value ? ToDouble(Eval(*s.value)) : Timer());
      break;
  }
  return Flow::Normal;
}

bool Runtime::Condition(const Expr& e) {
  if (e.kind == ExprKind::Binary && IsComparison(e.op)) {
    if (Comparison c; e.numeric && PlainSides(e, c)) return Holds(c, e.op);
    // Compared without making the Boolean: Null is neither true nor false,
    // and If counts it as false.
    Variant leftScratch;
    Variant rightScratch;
    const Variant& lhs = LeftOperand(e, leftScratch);
    const Variant& rhs = Value(*e.right, rightScratch);
    const Comparison c = CompareSides(lhs, *e.left, rhs, *e.right);
    return c != Comparison::Null && Holds(c, e.op);
  }
  const Variant value = Eval(e);
  if (value.IsNull()) return false;
  return IsTrue(ToBoolean(value));
}

bool Runtime::GuardedCondition(const Expr& e) {
  if (!frame_->resumeNext) return Condition(e);
  try {
    return Condition(e);
  } catch (const AutomationError& error) {
    RecordError(error);
    return true;
  }
}

Runtime::Flow Runtime::ExecIf(const Stmt& s) {
  for (const auto& branch : s.branches)
    if (GuardedCondition(*branch.condition)) return ExecBlock(branch.body);
  return ExecBlock(s.elseBody);
}

Comparison Runtime::CompareSides(const Variant& lhs, const Expr& left, const Variant& rhs,
                                 const Expr& right) {
  if (right.kind == ExprKind::Constant && left.kind != ExprKind::Constant) {
    if (rhs.IsString()) return CompareWithText(lhs, *rhs.If<std::string>());
    if (HoldsNumber(rhs)) return CompareWithNumber(lhs, rhs);
  }
  if (left.kind == ExprKind::Constant && right.kind != ExprKind::Constant) {
    if (lhs.IsString()) return Reverse(CompareWithText(rhs, *lhs.If<std::string>()));
    if (HoldsNumber(lhs)) return Reverse(CompareWithNumber(rhs, lhs));
  }
  return Compare(lhs, rhs);
}

Runtime::Flow Runtime::ExecSelect(const Stmt& s) {
  const Variant subject = Eval(*s.value);
  for (const auto& clause : s.cases) {
    for (const auto& test : clause.tests) {
      const Variant low = Eval(*test.low);
      bool match = false;
      if (test.high) {
        const Variant high = Eval(*test.high);
        match = Holds(CompareSides(subject, *s.value, low, *test.low), Operator::GreaterEqual) &&
                Holds(CompareSides(subject, *s.value, high, *test.high), Operator::LessEqual);
      } else {
        const Comparison c = CompareSides(subject, *s.value, low, *test.low);
        match = c != Comparison::Null && Holds(c, test.op);
      }
      if (match) return ExecBlock(clause.body);
    }
  }
  return ExecBlock(s.elseBody);
}

Runtime::Flow Runtime::ExecFor(const Stmt& s) {
  Variant start = Eval(*s.value);
  Variant limitValue = Eval(*s.limit);
  Variant step = s.step ? Eval(*s.step) : Variant(Integer{1});
  for (const Variant* v : {&start, &limitValue, &step})
    if (v->IsNull()) RaiseRuntimeError(kInvalidUseOfNull);
  // The counter counts: text bounds are numbers ("1" + "1" would join).
  for (Variant* v : {&start, &step})
    if (v->IsString()) *v = Variant(ToDouble(*v));
  const double limit = ToDouble(limitValue);
  const bool down = ToDouble(step) < 0;
  Variant& counter = Slot(*s.target);
  counter = ValueOf(start);
  const PlainNumber plainStep = ReadPlain(step);
  while (true) {
    // The counter as the body left it: the body may assign it.
    PlainNumber at = ReadPlain(counter);
    const double position = at ? at.AsDouble() : ToDouble(counter);
    if (down ? position < limit : position > limit) break;
    const Flow flow = ExecBlock(s.body);
    if (flow == Flow::ExitFor) break;
    if (flow != Flow::Normal) return flow;
    at = ReadPlain(counter);
    if (const PlainNumber next = at && plainStep ? PlainAdd(at, plainStep) : PlainNumber{}) counter = next.ToVariant();
    else counter = Add(counter, step);
    EndTurn();
  }
  return Flow::Normal;
}

Runtime::Flow Runtime::ExecForEach(const Stmt& s) {
  const Variant collection = Eval(*s.value);
  const auto run = [&](Variant element) {
    Slot(*s.target) = std::move(element);
    const Flow flow = ExecBlock(s.body);
    EndTurn();
    return flow;
  };
  if (const auto* held = collection.If<ArrayRef>()) {
    const ArrayRef array = *held;  // the loop runs over the array as it was
    for (std::size_t i = 0; array && i < array->Count(); ++i) {
      const Flow flow = run(ElementAt(*array, i));
      if (flow == Flow::ExitFor) break;
      if (flow != Flow::Normal) return flow;
    }
    return Flow::Normal;
  }
  if (!collection.IsObject()) {
    // Under Resume Next the statement after For Each is the body's first:
    // the body runs once, as Next ends the loop.
    try {
      RaiseRuntimeError(kNotACollection);
    } catch (const AutomationError& error) {
      if (!frame_->resumeNext) throw;
      RecordError(error);
    }
    const Flow flow = ExecBlock(s.body);
    return flow == Flow::ExitFor ? Flow::Normal : flow;
  }
  IDispatch& object = DispatchOf(collection);
  const Variant enumeratorValue = InvokeObject(object, DISPID_NEWENUM, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {});
  const auto enumerator = std::dynamic_pointer_cast<IEnumVARIANT>(ToObject(enumeratorValue));
  if (!enumerator) RaiseRuntimeError(kMemberNotFound);
  while (auto next = enumerator->Next()) {
    const Flow flow = run(std::move(*next));
    if (flow == Flow::ExitFor) break;
    if (flow != Flow::Normal) return flow;
  }
  return Flow::Normal;
}

Runtime::Flow Runtime::ExecDo(const Stmt& s) {
  const auto holds = [&] { return GuardedCondition(*s.value) != s.until; };
  while (true) {
    if (s.value && !s.flag && !holds()) break;
    const Flow flow = ExecBlock(s.body);
    if (flow == Flow::ExitDo) break;
    if (flow != Flow::Normal) return flow;
    if (s.value && s.flag && !holds()) break;
    EndTurn();
  }
  return Flow::Normal;
}

void Runtime::ReDim(const Stmt& s) {
  Variant& slot = Slot(*s.target);
  auto array = std::make_shared<SafeArray>();
  std::size_t size = s.bounds.empty() ? 0 : 1;
  for (const auto& bound : s.bounds) {
    const Long upper = ToLong(Eval(*bound));
    if (upper < -1) RaiseRuntimeError(kSubscriptOutOfRange);
    const auto extent = static_cast<std::size_t>(upper + 1);
    if (extent != 0 && size > (std::size_t{1} << 31) / extent) RaiseRuntimeError(kOutOfMemory);
    size *= extent;
    if (s.bounds.size() > 1) array->shape.push_back(extent);
  }
  if (s.flag && slot.IsArray()) {
    // Elements keep their places while only the last dimension changes.
    const SafeArray& old = **slot.If<ArrayRef>();
    if (old.lowerBound != 0 || old.Dimensions() != array->Dimensions()) RaiseRuntimeError(kSubscriptOutOfRange);
    for (std::size_t d = 0; d + 1 < array->shape.size(); ++d)
      if (old.shape[d] != array->shape[d]) RaiseRuntimeError(kSubscriptOutOfRange);
    array->elementType = old.elementType;
    array->bytes = old.bytes;
    array->elements = old.elements;
  }
  if (array->elementType == VarType::Byte) array->bytes.resize(size);
  else array->elements.resize(size);
  slot = Variant(ArrayRef(std::move(array)));
}

void Runtime::WriteText(const std::string& text) {
  if (options_.write) return options_.write(text);
  Write(Variant(text));
}

void Runtime::Write(const Variant& value) {
  if (options_.write) {
    if (!value.IsNull()) options_.write(ToString(value));
    return;
  }
  IDispatch& response = DispatchOf(globals_[static_cast<std::size_t>(program_.responseSlot)]);
  if (writeId_ < 0) {
    const auto id = response.GetIDOfName("Write");
    if (!id) RaiseRuntimeError(kMemberNotFound);
    writeId_ = *id;
  }
  InvokeObject(response, writeId_, DISPATCH_METHOD, std::span<const Variant>(&value, 1));
}

// ---- variables and assignment ----

Variant& Runtime::Slot(const Expr& e) {
  switch (e.kind) {
    case ExprKind::Local: return *frame_->locals[e.slot].place;
    case ExprKind::Global: return globals_[static_cast<std::size_t>(e.slot)];
    case ExprKind::Field: return frame_->me->Fields()[static_cast<std::size_t>(e.slot)];
    case ExprKind::Undefined:
    case ExprKind::Name: return SlotByName(e);
    default: RaiseRuntimeError(kIllegalAssignment);
  }
}

Variant Runtime::ObjectValue(const Variant& value) {
  if (!value.IsObject()) return value;
  IDispatch& object = DispatchOf(value);
  return InvokeObject(object, DISPID_VALUE, DISPATCH_PROPERTYGET | DISPATCH_METHOD, {});
}

void Runtime::Assign(const Expr& target, Variant value, bool isSet) {
  if (isSet) {
    if (!value.IsObject()) RaiseRuntimeError(kObjectRequired);
  } else if (value.IsObject()) {
    value = ObjectValue(value);
  }
  const auto kind = static_cast<std::uint16_t>(isSet ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT);
  // A member, or the default member of what a call gives:
  // Response.Cookies("c")("k") = "v".
  if (target.kind == ExprKind::Member || target.kind == ExprKind::Index) {
    const Variant objectValue = Eval(*target.left);
    if (target.kind == ExprKind::Member)
      if (ScriptObject* script = OwnScriptObject(objectValue)) return PutScriptMember(*script, target, std::move(value), isSet);
    IDispatch& object = DispatchOf(objectValue);
    const auto id = target.kind == ExprKind::Index ? std::optional(DISPID_VALUE) : object.GetIDOfName(target.name);
    if (!id) RaiseRuntimeError(kMemberNotFound);
    Arguments args(target.args.size() + 1);
    for (std::size_t i = 0; i < target.args.size(); ++i) args[i] = Eval(*target.args[i]);
    args[target.args.size()] = std::move(value);
    InvokeObject(object, *id, kind, args.Span());
    return;
  }
  Variant& slot = Slot(target);
  if (!target.hasArgs) {
    slot = std::move(value);
    return;
  }
  Arguments args(target.args.size() + 1);
  for (std::size_t i = 0; i < target.args.size(); ++i) args[i] = Eval(*target.args[i]);
  if (slot.IsObject()) {
    args[target.args.size()] = std::move(value);
    InvokeObject(DispatchOf(slot), DISPID_VALUE, kind, args.Span());
    return;
  }
  StoreElement(slot, args.Span().first(target.args.size()), std::move(value));
}

// ---- expressions ----

Variant Runtime::Eval(const Expr& e) {
  // Each level of an expression, and each call within one, takes stack.
  CheckStack();
  switch (e.kind) {
    case ExprKind::Constant: return e.value;
    case ExprKind::Local:
    case ExprKind::Global:
    case ExprKind::Field: {
      if (!e.hasArgs) return Slot(e);
      Arguments args(e.args.size());
      for (std::size_t i = 0; i < e.args.size(); ++i) args[i] = Eval(*e.args[i]);
      return IndexOrDefault(Slot(e), args.Span());
    }
    case ExprKind::Undefined:
    case ExprKind::Name: return EvalByName(e);
    case ExprKind::Unqualified: RaiseRuntimeError(kUnqualifiedReference);
    case ExprKind::Call: return CallUser(e);
    case ExprKind::BuiltinCall: return CallBuiltin(e);
    case ExprKind::Member: return CallMember(e);
    case ExprKind::Index: {
      const Variant value = Eval(*e.left);
      Arguments args(e.args.size());
      for (std::size_t i = 0; i < e.args.size(); ++i) args[i] = Eval(*e.args[i]);
      return IndexOrDefault(value, args.Span());
    }
    case ExprKind::Unary: {
      if (const PlainNumber n = e.numeric ? Plain(e) : PlainNumber{}) return n.ToVariant();
      const Variant operand = Eval(*e.left);
      return e.op == Operator::Negate ? Negate(operand) : Not(operand);
    }
    case ExprKind::Binary:
      if (e.numeric) {
        if (!IsComparison(e.op)) {
          if (const PlainNumber n = Plain(e)) return n.ToVariant();
        } else if (Comparison c; PlainSides(e, c)) {
          return ToVariantBool(Holds(c, e.op));
        }
      }
      return EvalBinary(e);
    case ExprKind::Me: return Variant(ObjectRef(frame_->me->weak_from_this().lock()));
    case ExprKind::New: return NewObject(e);
    case ExprKind::ScriptCall: return CallScriptFunction(e);
  }
  RaiseRuntimeError(kProcedureNotDefined);
}

[[gnu::always_inline]] inline PlainNumber Runtime::PlainOperand(const Expr& e) {
  // The leaves first, the kinds most met first.
  if (e.kind == ExprKind::Local) return ReadPlain(*frame_->locals[e.slot].place);
  if (e.kind == ExprKind::Constant) return ReadPlain(e.value);
  if (e.kind == ExprKind::Global) return ReadPlain(globals_[static_cast<std::size_t>(e.slot)]);
  if (e.kind == ExprKind::Field) return ReadPlain(frame_->me->Fields()[static_cast<std::size_t>(e.slot)]);
  return Plain(e);
}

PlainNumber Runtime::Plain(const Expr& e) {
  const PlainNumber a = PlainOperand(*e.left);
  if (!a) return {};
  if (e.kind == ExprKind::Unary) return PlainNegate(a);
  const PlainNumber b = PlainOperand(*e.right);
  if (!b) return {};
  if (e.op == Operator::Add) return PlainAdd(a, b);
  if (e.op == Operator::Subtract) return PlainSubtract(a, b);
  if (e.op == Operator::Multiply) return PlainMultiply(a, b);
  if (e.op == Operator::Modulo) return PlainModulo(a, b);
  if (e.op == Operator::Divide) return PlainDivide(a, b);
  if (e.op == Operator::IntegerDivide) return PlainIntegerDivide(a, b);
  return {};
}

bool Runtime::PlainSides(const Expr& e, Comparison& out) {
  const PlainNumber a = PlainOperand(*e.left);
  if (!a) return false;
  const PlainNumber b = PlainOperand(*e.right);
  if (!b) return false;
  out = PlainCompare(a, b);
  return true;
}

namespace {

// Whether evaluating `e` can change a variable: a call can, a constant or a
// plain variable cannot.
bool Pure(const Expr& e) { return e.kind == ExprKind::Constant || IsPlainVariable(e); }

// The string `value` holds, when nothing but `value` and `owner` hold it,
// so that it may be changed in place; else null.
std::string* SoleText(const Variant& value, const StringRef& owner) {
  const auto* held = value.If<StringRef>();
  if (held == nullptr || held->get() != owner.get() || owner.use_count() != 2) return nullptr;
  // Every string a variant holds is made non-const and shared as const.
  return const_cast<std::string*>(owner.get());
}

// Grows `text` by `added` with a single allocation at most, made before
// anything changes: an allocation that fails leaves `text` as it was. The
// capacity at least doubles, so that appending in a loop costs the length
// of what is added.
void Append(std::string& text, std::string_view added) {
  const std::size_t needed = text.size() + added.size();
  if (needed > text.capacity()) text.reserve(std::max(needed, 2 * text.capacity()));
  text += added;
}

}  // namespace

bool Runtime::AppendsToTarget(const Stmt& s) {
  const Expr* e = s.value.get();
  if (e->kind != ExprKind::Binary || e->op != Operator::Concatenate || !Pure(*s.target) ||
      s.target->kind == ExprKind::Constant)
    return false;
  while (e->kind == ExprKind::Binary && e->op == Operator::Concatenate && !e->parenthesized) e = e->left.get();
  return e->kind == s.target->kind && e->slot == s.target->slot && !e->hasArgs;
}

void Runtime::AssignAppend(const Stmt& s) {
  // The operands right of the variable, innermost first: `t & a & b` is
  // `(t & a) & b`.
  std::array<const Expr*, 32> pieces;
  std::size_t count = 0;
  for (const Expr* e = s.value.get(); e->kind == ExprKind::Binary && e->op == Operator::Concatenate &&
                                      !e->parenthesized;
       e = e->left.get()) {
    if (count == pieces.size()) return Assign(*s.target, Eval(*s.value), false);
    pieces[count++] = e->right.get();
  }
  const auto* held = Slot(*s.target).If<StringRef>();
  if (held == nullptr) return Assign(*s.target, Eval(*s.value), false);
  // Held here too while the operands run, so that its place cannot be
  // taken by another string should they change the variable.
  const StringRef text = *held;
  std::string added;
  while (count > 0) {
    Variant piece = Eval(*pieces[--count]);
    if (AppendJoinedText(added, piece)) continue;
    // The rest goes the ordinary way, from what is joined so far.
    Variant joined = Concatenate(Variant(*text + added), piece);
    while (count > 0) joined = Concatenate(joined, Eval(*pieces[--count]));
    return Assign(*s.target, std::move(joined), false);
  }
  if (std::string* own = SoleText(Slot(*s.target), text)) return Append(*own, added);
  Assign(*s.target, Variant(*text + added), false);
}

const Variant& Runtime::Value(const Expr& e, Variant& scratch) {
  if (e.kind == ExprKind::Constant) return e.value;
  if (Pure(e)) return Slot(e);
  scratch = Eval(e);
  return scratch;
}

const Variant& Runtime::LeftOperand(const Expr& e, Variant& scratch) {
  // Read in place, without a copy, unless the right operand could change
  // it before the operator sees it.
  return Pure(*e.right) ? Value(*e.left, scratch) : (scratch = Eval(*e.left));
}

Variant Runtime::EvalBinary(const Expr& e) {
  Variant leftScratch;
  Variant rightScratch;
  const Variant& lhs = LeftOperand(e, leftScratch);
  const Variant& rhs = Value(*e.right, rightScratch);
  if (e.op == Operator::Concatenate && &lhs == &leftScratch) {
    // A joined text made just now, held by nothing else, grows in place:
    // a & b & c copies each part once.
    const auto* held = leftScratch.If<StringRef>();
    if (held != nullptr && held->use_count() == 1 &&
        AppendJoinedText(const_cast<std::string&>(**held), rhs))
      return leftScratch;
  }
  switch (e.op) {
    case Operator::Power: return Power(lhs, rhs);
    case Operator::Multiply: return Multiply(lhs, rhs);
    case Operator::Divide: return Divide(lhs, rhs);
    case Operator::IntegerDivide: return IntegerDivide(lhs, rhs);
    case Operator::Modulo: return Modulo(lhs, rhs);
    case Operator::Add: return Add(lhs, rhs);
    case Operator::Subtract: return Subtract(lhs, rhs);
    case Operator::Concatenate: return Concatenate(lhs, rhs);
    case Operator::And: return And(lhs, rhs);
    case Operator::Or: return Or(lhs, rhs);
    case Operator::Xor: return Xor(lhs, rhs);
    case Operator::Eqv: return Eqv(lhs, rhs);
    case Operator::Imp: return Imp(lhs, rhs);
    case Operator::Is: {
      const auto* a = lhs.If<ObjectRef>();
      const auto* b = rhs.If<ObjectRef>();
      if (a == nullptr || b == nullptr) RaiseRuntimeError(kObjectRequired);
      return ToVariantBool(a->get() == b->get());
    }
    default: {
      const Comparison c = CompareSides(lhs, *e.left, rhs, *e.right);
      if (c == Comparison::Null) return Variant::Null();
      return ToVariantBool(Holds(c, e.op));
    }
  }
}

Variant Runtime::CallBuiltin(const Expr& e) {
  Arguments args(e.args.size());
  for (std::size_t i = 0; i < e.args.size(); ++i) args[i] = Eval(*e.args[i]);
  return e.builtin(args.Span());
}

Variant Runtime::CallMember(const Expr& e) {
  const Variant objectValue = Eval(*e.left);
  if (ScriptObject* script = OwnScriptObject(objectValue)) return CallScriptMember(*script, e);
  IDispatch& object = DispatchOf(objectValue);
  const auto id = object.GetIDOfName(e.name);
  if (!id) RaiseRuntimeError(kMemberNotFound);
  Arguments args(e.args.size());
  for (std::size_t i = 0; i < e.args.size(); ++i) args[i] = Eval(*e.args[i]);
  OutArguments outs;
  Variant result = InvokeObject(object, *id, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args.Span());
  // A variable passed as an argument is passed by reference: what the
  // method hands back through it lands in it.
  for (auto& [index, value] : outs.Take()) {
    if (index >= e.args.size()) continue;
    const Expr& argument = *e.args[index];
    if (NamesVariable(argument) && !argument.hasArgs) Assign(argument, std::move(value), false);
  }
  return result;
}

void Runtime::StoreElement(Variant& slot, std::span<Variant> indexes, Variant value) {
  if (!slot.IsArray()) RaiseRuntimeError(kTypeMismatch);
  SafeArray& array = WritableArray(slot);
  const std::size_t i = ElementIndex(array, indexes);
  if (array.elementType == VarType::Byte) array.bytes[i] = ToByte(value);
  else array.elements[i] = std::move(value);
}

Variant Runtime::IndexOrDefault(const Variant& value, std::span<Variant> args) {
  if (const auto* array = value.If<ArrayRef>()) {
    if (!*array) RaiseRuntimeError(kSubscriptOutOfRange);
    return ElementAt(**array, ElementIndex(**array, args));
  }
  if (value.IsObject()) {
    return InvokeObject(DispatchOf(value), DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args);
  }
  RaiseRuntimeError(kTypeMismatch);
}

}  // namespace kelvane::host::vbscript
