// Code a page compiles while it runs: Eval, Execute, ExecuteGlobal, and the
// names such code makes (variables, procedures, classes), which the rest of
// the page finds by name. GetRef, which names a procedure by a text, too.

#include <string>
#include <unordered_map>

#include "host/vbscript/Compiler.h"
#include "host/vbscript/Runtime.h"
#include "host/vbscript/ScriptError.h"
#include "host/vbscript/ScriptObjects.h"
#include "platform/oleaut/Conversion.h"

namespace kelvane::host::vbscript {

namespace {

using namespace oleaut;

// Compiled texts, per thread, by their text and the scope they were
// compiled in. A page that Evals the same text in a loop compiles it once.
class CompiledTexts {
 public:
  std::shared_ptr<const Program> Find(const std::string& key) const {
    const auto it = programs_.find(key);
    return it == programs_.end() ? nullptr : it->second;
  }
  void Add(std::string key, std::shared_ptr<const Program> program) {
    // A bound on what the cache keeps: it starts over when full.
    if (programs_.size() >= kMaxPrograms || bytes_ > kMaxBytes) {
      programs_.clear();
      bytes_ = 0;
    }
    bytes_ += key.size();
    programs_.emplace(std::move(key), std::move(program));
  }

 private:
  static constexpr std::size_t kMaxPrograms = 512;
  static constexpr std::size_t kMaxBytes = std::size_t{8} << 20;
  std::unordered_map<std::string, std::shared_ptr<const Program>> programs_;
  std::size_t bytes_ = 0;
};

thread_local CompiledTexts compiledTexts;

// What a compiled text depends on besides itself: the page, and the
// procedure and class it sees.
std::string CacheKey(DynamicCode kind, const EnclosingScope& scope, const std::string& text) {
  std::string key = std::to_string(static_cast<int>(kind)) + ':' + std::to_string(scope.page->id) + ':' +
                    std::to_string(scope.unit->id) + ':';
  if (scope.procedure != nullptr)
    key += std::to_string(scope.procedure - (scope.unit->procedures.data())) + ':';
  key += std::to_string(scope.classIndex) + ':' + std::to_string(scope.line) + ':';
  key += text;
  return key;
}

}  // namespace

Variant Runtime::CallScriptFunction(const Expr& e) {
  if (e.args.size() != 1) RaiseRuntimeError(kWrongArgumentCount);
  const Variant argument = Eval(*e.args[0]);
  const auto function = static_cast<ScriptFunction>(e.slot);
  if (function == ScriptFunction::GetRef) return ProcedureReference(ToString(argument));
  return RunText(ToString(argument), function);
}

Variant Runtime::RunText(const std::string& text, ScriptFunction function) {
  Frame& owner = function == ScriptFunction::ExecuteGlobal ? mainFrame_ : *frame_->scope;
  EnclosingScope scope;
  scope.page = &program_;
  scope.unit = owner.unit;
  scope.procedure = owner.procedure;
  scope.classIndex = owner.me != nullptr ? owner.me->ClassIndex() : -1;
  scope.line = currentLine_;
  const DynamicCode kind =
      function == ScriptFunction::Eval ? DynamicCode::Expression : DynamicCode::Statements;
  std::string key = CacheKey(kind, scope, text);
  std::shared_ptr<const Program> unit = compiledTexts.Find(key);
  if (!unit) {
    try {
      unit = CompileDynamic(text, kind, scope);
    } catch (const CompileFailure& failure) {
      const ScriptError& error = failure.Error();
      throw AutomationError(error.number, error.source, error.description);
    }
    compiledTexts.Add(std::move(key), unit);
  }
  const Program& code = *unit;
  // Code that defines procedures or classes lives as long as the page's run.
  if (!code.procedures.empty() || !code.classes.empty()) units_.emplace(&code, unit);
  for (std::size_t i = 0; i < code.procedures.size(); ++i)
    if (code.procedures[i].classIndex < 0)
      madeProcedures_[FoldCase(code.procedures[i].name)] = {&code, static_cast<std::int32_t>(i) + code.procedureBase};
  for (std::size_t i = 0; i < code.classes.size(); ++i)
    madeClasses_[FoldCase(code.classes[i].name)] = {&code, static_cast<std::int32_t>(i) + code.classBase};

  // The code runs in a frame of its own over the variables of the scope it
  // was compiled in; its errors go to the caller, whose On Error holds.
  Frame frame;
  frame.locals = owner.locals;
  frame.me = owner.me;
  frame.unit = &code;
  frame.procedure = owner.procedure;
  frame.procedureIndex = owner.procedureIndex;
  frame.scope = &owner;
  EnterCall();
  struct Leave {
    Runtime& runtime;
    Frame* caller;
    int line;
    ~Leave() {
      runtime.frame_ = caller;
      runtime.currentLine_ = line;
      --runtime.depth_;
    }
  } leave{*this, frame_, currentLine_};
  frame_ = &frame;
  for (const std::string& name : code.runtimeNames) MadeVariable(name, true);
  if (kind == DynamicCode::Expression) return Eval(*code.expression);
  ExecBlock(code.main);
  return {};
}

Variant Runtime::ProcedureReference(const std::string& name) {
  const std::string folded = FoldCase(name);
  if (const auto made = madeProcedures_.find(folded); made != madeProcedures_.end())
    return Variant(ObjectRef(std::make_shared<vbscript::ProcedureReference>(
        weak_from_this(), Holder(*made->second.unit),
        made->second.index)));
  for (std::size_t i = 0; i < program_.procedures.size(); ++i) {
    const Procedure& p = program_.procedures[i];
    if (p.classIndex < 0 && FoldCase(p.name) == folded)
      return Variant(ObjectRef(std::make_shared<vbscript::ProcedureReference>(
          weak_from_this(), nullptr, static_cast<std::int32_t>(i))));
  }
  RaiseRuntimeError(kInvalidProcedureCall);
}

Variant* Runtime::MadeVariable(const std::string& name, bool create) {
  Frame& owner = *frame_->scope;
  if (owner.procedure != nullptr && owner.made) {
    if (const auto it = owner.made->find(name); it != owner.made->end()) return &it->second;
  }
  if (const auto it = madeGlobals_.find(name); it != madeGlobals_.end()) return &it->second;
  if (!create) return nullptr;
  if (owner.procedure != nullptr) {
    if (!owner.made) owner.made = std::make_unique<MadeVariables>();
    return &(*owner.made)[name];
  }
  return &madeGlobals_[name];
}

Variant& Runtime::SlotByName(const Expr& e) {
  // Under Option Explicit only a variable that code compiled at run time
  // declared may be made; a page's own undeclared name never is.
  const bool create = e.kind == ExprKind::Name && !program_.optionExplicit;
  if (Variant* variable = MadeVariable(e.name, create)) return *variable;
  RaiseRuntimeError(kVariableUndefined);
}

Variant Runtime::EvalByName(const Expr& e) {
  if (Variant* variable = MadeVariable(e.name, false)) {
    if (!e.hasArgs) return *variable;
    std::vector<Variant> args;
    args.reserve(e.args.size());
    for (const auto& arg : e.args) args.push_back(Eval(*arg));
    return IndexOrDefault(*variable, args);
  }
  if (const auto made = madeProcedures_.find(e.name); made != madeProcedures_.end())
    return CallWithArguments(*made->second.unit, made->second.index, e);
  if (e.kind == ExprKind::Undefined) RaiseRuntimeError(kVariableUndefined);
  if (e.hasArgs || frame_->unit == &program_) RaiseRuntimeError(kProcedureNotDefined);
  // A variable that code compiled at run time reads before anything set it.
  if (program_.optionExplicit) RaiseRuntimeError(kVariableUndefined);
  return {};
}

std::shared_ptr<const Program> Runtime::Holder(const Program& unit) const {
  const auto it = units_.find(&unit);
  return it == units_.end() ? nullptr : it->second;
}

}  // namespace kelvane::host::vbscript
