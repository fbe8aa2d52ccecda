#include "host/vbscript/Compiler.h"

#include <atomic>

#include "host/vbscript/Builtins.h"
#include "host/vbscript/PageCompiler.h"
#include "host/vbscript/RegExp.h"
#include "platform/oleaut/AutomationError.h"

namespace kelvane::host::vbscript {

namespace compiling {

namespace {

// *, /, \, Mod, + and -.
bool IsArithmetic(Operator op) { return op >= Operator::Multiply && op <= Operator::Subtract; }

// Whether `e` may be an operand of a numeric tree: a constant, a variable
// read without arguments, or a numeric tree that gives a number.
bool NumericOperand(const Expr& e) {
  return e.kind == ExprKind::Constant || IsPlainVariable(e) || (e.numeric && !IsComparison(e.op));
}

void MarkNumeric(Expr* e) {
  if (e == nullptr) return;
  MarkNumeric(e->left.get());
  MarkNumeric(e->right.get());
  for (auto& arg : e->args) MarkNumeric(arg.get());
  if (e->kind == ExprKind::Binary)
    e->numeric = (IsArithmetic(e->op) || IsComparison(e->op)) && NumericOperand(*e->left) &&
                 NumericOperand(*e->right);
  else if (e->kind == ExprKind::Unary)
    e->numeric = e->op == Operator::Negate && NumericOperand(*e->left);
}

void MarkNumeric(Block& block) {
  for (auto& s : block) {
    for (Expr* e : {s->target.get(), s->value.get(), s->limit.get(), s->step.get()}) MarkNumeric(e);
    for (auto& bound : s->bounds) MarkNumeric(bound.get());
    for (auto& branch : s->branches) {
      MarkNumeric(branch.condition.get());
      MarkNumeric(branch.body);
    }
    for (auto& clause : s->cases) {
      for (auto& test : clause.tests) {
        MarkNumeric(test.low.get());
        MarkNumeric(test.high.get());
      }
      MarkNumeric(clause.body);
    }
    MarkNumeric(s->body);
    MarkNumeric(s->elseBody);
  }
}

}  // namespace

void PageCompiler::MarkNumericTrees() {
  MarkNumeric(program_->main);
  for (auto& p : program_->procedures) MarkNumeric(p.body);
  MarkNumeric(program_->expression.get());
}

void PageCompiler::ParseTopLevel() {
  // Option Explicit holds for the whole page wherever it stands: pages
  // put text (a line break after the directive) before it.
  while (true) {
    SkipSeparators();
    if (Is(TokenKind::End)) break;
    if (AcceptWord("option")) {
      ExpectWord("explicit");
      explicit_ = true;
      EndStatement();
      continue;
    }
    if (TryDefinition()) continue;
    program_->main.push_back(ParseStatement());
    EndStatement();
  }
}

bool PageCompiler::TryDefinition() {
  std::size_t ahead = 0;
  bool isPublic = true;
  bool isDefault = false;
  if (IsWord("public") || IsWord("private")) {
    isPublic = IsWord("public");
    ahead = 1;
    if (IsWordAhead(1, "default")) {
      isDefault = true;
      ahead = 2;
    }
  }
  // Property starts a definition only before Get, Let or Set: elsewhere it is a name.
  const bool property = IsWordAhead(ahead, "property") &&
                        (IsWordAhead(ahead + 1, "get") || IsWordAhead(ahead + 1, "let") ||
                         IsWordAhead(ahead + 1, "set"));
  const bool definition = IsWordAhead(ahead, "sub") || IsWordAhead(ahead, "function") || property ||
                          (ahead == 0 && IsWord("class"));
  if (!definition) return false;
  for (std::size_t i = 0; i < ahead; ++i) Next();
  if (IsWord("class")) {
    if (class_ >= 0) Fail(kSyntaxError, "Syntax error: a class inside a class");
    ParseClass();
  } else {
    ParseProcedure(isPublic, isDefault);
  }
  return true;
}

void PageCompiler::ParseClass() {
  const int line = Line();
  Next();
  const std::string spelling(Current().spelling);
  const std::string name = ExpectName();
  for (const auto& c : program_->classes)
    if (oleaut::FoldCase(c.name) == name) Fail(kNameRedefined, "Name redefined: " + name, line);
  EndStatement();
  ClassInfo info;
  info.name = spelling;
  program_->classes.push_back(std::move(info));
  class_ = static_cast<std::int32_t>(program_->classes.size() - 1);
  while (true) {
    SkipSeparators();
    if (IsWord("end")) {
      Next();
      ExpectWord("class");
      break;
    }
    if (Is(TokenKind::End)) Expected("'End Class'");
    if (TryDefinition()) continue;
    bool isPublic = true;
    if (IsWord("public") || IsWord("private")) {
      isPublic = IsWord("public");
      Next();
    } else {
      ExpectWord("dim");
    }
    ParseVariables(isPublic);
  }
  class_ = -1;
  EndStatement();
}

void PageCompiler::ParseProcedure(bool isPublic, bool isDefault) {
  if (procedure_ >= 0) Fail(kSyntaxError, "Syntax error: a procedure inside a procedure");
  Procedure p;
  p.line = Line();
  p.isPublic = isPublic;
  p.classIndex = class_;
  std::string end;
  if (AcceptWord("sub")) {
    p.kind = ProcedureKind::Sub, end = "sub";
  } else if (AcceptWord("function")) {
    p.kind = ProcedureKind::Function, end = "function";
  } else {
    ExpectWord("property");
    end = "property";
    if (AcceptWord("get")) p.kind = ProcedureKind::PropertyGet;
    else if (AcceptWord("let")) p.kind = ProcedureKind::PropertyLet;
    else if (AcceptWord("set")) p.kind = ProcedureKind::PropertySet;
    else Expected("'Get', 'Let' or 'Set'");
  }
  p.name = Current().spelling;
  ExpectName();
  p.slotNames.emplace_back();
  if (Accept(TokenKind::LeftParen)) {
    while (!Is(TokenKind::RightParen)) {
      bool byRef = true;
      if (AcceptWord("byval")) byRef = false;
      else AcceptWord("byref");
      const std::string param = ExpectName();
      if (Accept(TokenKind::LeftParen)) Expect(TokenKind::RightParen, "')'");
      if (LocalSlot(p, param) >= 0) Fail(kNameRedefined, "Name redefined: " + param);
      p.slotNames.push_back(param);
      p.byRef.push_back(byRef);
      ++p.slotCount;
      if (!Accept(TokenKind::Comma)) break;
    }
    Expect(TokenKind::RightParen, "')'");
  }
  // The body may start on the header's line without a ':': Sub S() x = 1 End Sub.
  const auto index = static_cast<std::int32_t>(program_->procedures.size());
  Register(p, index + program_->procedureBase, isDefault);
  program_->procedures.push_back(std::move(p));
  procedure_ = index;
  // A procedure defined inside a With block does not see its object.
  const std::vector<const Expr*> outerWith = std::exchange(withSlots_, {});
  Block body = ParseBlock({"end"});
  withSlots_ = outerWith;
  program_->procedures[static_cast<std::size_t>(index)].body = std::move(body);
  procedure_ = -1;
  ExpectWord("end");
  ExpectWord(end);
  EndStatement();
}

void PageCompiler::Register(const Procedure& p, std::int32_t index, bool isDefault) {
  const std::string name = oleaut::FoldCase(p.name);
  if (class_ < 0) {
    if (GlobalSlot(name) >= 0 || program_->constants.contains(name))
      Fail(kNameRedefined, "Name redefined: " + name, p.line);
    if (p.kind != ProcedureKind::Sub && p.kind != ProcedureKind::Function)
      Fail(kSyntaxError, "Syntax error: a Property outside a class", p.line);
    // A procedure defined again replaces the earlier definition everywhere.
    procedureIndex_.insert_or_assign(name, index);
    return;
  }
  ClassInfo& c = program_->classes[static_cast<std::size_t>(class_)];
  if (name == "class_initialize") c.initialize = index;
  if (name == "class_terminate") c.terminate = index;
  auto it = c.memberIndex.find(name);
  if (it == c.memberIndex.end()) {
    it = c.memberIndex.emplace(name, static_cast<std::int32_t>(c.members.size())).first;
    ClassMember member;
    member.name = p.name;
    member.isPublic = p.isPublic;
    c.members.push_back(std::move(member));
  }
  ClassMember& member = c.members[static_cast<std::size_t>(it->second)];
  std::int32_t* entry = nullptr;
  switch (p.kind) {
    case ProcedureKind::Sub:
    case ProcedureKind::Function: entry = &member.method; break;
    case ProcedureKind::PropertyGet: entry = &member.get; break;
    case ProcedureKind::PropertyLet: entry = &member.let; break;
    case ProcedureKind::PropertySet: entry = &member.set; break;
  }
  if (*entry >= 0 || member.field >= 0 ||
      (member.method >= 0 && entry != &member.method) ||
      (entry == &member.method && (member.get >= 0 || member.let >= 0 || member.set >= 0)))
    Fail(kNameRedefined, "Name redefined: " + name, p.line);
  *entry = index;
  if (isDefault) {
    if (c.defaultMember >= 0 && c.defaultMember != it->second)
      Fail(kSyntaxError, "Syntax error: a second default member", p.line);
    c.defaultMember = it->second;
  }
}

void PageCompiler::ResolveAll() {
  // Names at the top level first: they make the implicit globals that
  // procedures then see.
  std::stable_partition(pending_.begin(), pending_.end(),
                        [](const Pending& p) { return p.procedure < 0; });
  for (const Pending& pending : pending_) Resolve(pending);
  // A class no code of the page defines may be one that ExecuteGlobal
  // defines before the New runs: it is looked for by name then.
  const auto find = [](const std::vector<ClassInfo>& classes, const std::string& name) {
    const auto it = std::find_if(classes.begin(), classes.end(),
                                 [&](const ClassInfo& c) { return oleaut::FoldCase(c.name) == name; });
    return it == classes.end() ? -1 : static_cast<std::int32_t>(it - classes.begin());
  };
  for (Expr* e : newExprs_) {
    if (e->name == "regexp") {
      // The language's own class, even where the page defines one of that
      // name.
      e->kind = ExprKind::BuiltinCall;
      e->builtin = [](std::span<oleaut::Variant>) { return oleaut::Variant(oleaut::ObjectRef(CreateRegExp())); };
      continue;
    }
    e->slot = find(program_->classes, e->name);
    if (e->slot >= 0) e->slot += program_->classBase;
    else if (scope_ != nullptr) e->slot = find(scope_->page->classes, e->name);
  }
}

PageCompiler::PageCompiler(std::string_view text, const EnclosingScope& scope)
    : program_(std::make_shared<Program>()), scope_(&scope) {
  const Program& page = *scope.page;
  program_->script.program = std::string(text);
  program_->script.files = page.script.files;
  tokens_ = Tokenize(program_->script.program);
  // Errors in the code are the calling statement's.
  for (Token& token : tokens_) token.line = scope.line;
  program_->globalNames = page.globalNames;
  program_->errSlot = page.errSlot;
  program_->responseSlot = page.responseSlot;
  program_->procedureBase = static_cast<std::int32_t>(page.procedures.size());
  program_->classBase = static_cast<std::int32_t>(page.classes.size());
  program_->optionExplicit = page.optionExplicit;
  explicit_ = page.optionExplicit;
  for (std::size_t i = 0; i < page.procedures.size(); ++i)
    if (page.procedures[i].classIndex < 0)
      procedureIndex_.emplace(oleaut::FoldCase(page.procedures[i].name), static_cast<std::int32_t>(i));
}

bool PageCompiler::ResolveInScope(Expr& e, const Pending& pending) {
  if (scope_ == nullptr || pending.procedure >= 0 || pending.classIndex >= 0) return false;
  const std::string& name = e.name;
  if (const Procedure* p = scope_->procedure) {
    if (const auto it = p->constants.find(name); it != p->constants.end()) {
      MakeConstant(e, it->second, pending.target);
      return true;
    }
    if (const std::int32_t slot = LocalSlot(*p, name); slot > 0) {
      Bind(e, ExprKind::Local, slot);
      return true;
    }
    const bool returns = p->kind == ProcedureKind::Function || p->kind == ProcedureKind::PropertyGet;
    if (returns && name == oleaut::FoldCase(p->name) && (pending.target || !e.hasArgs)) {
      Bind(e, ExprKind::Local, 0);
      return true;
    }
  }
  if (scope_->classIndex < 0) return false;
  const ClassInfo& c = ClassAt(*scope_->page, *scope_->unit, scope_->classIndex);
  const auto it = c.memberIndex.find(name);
  if (it == c.memberIndex.end()) return false;
  const ClassMember& member = c.members[static_cast<std::size_t>(it->second)];
  if (member.field >= 0) {
    Bind(e, ExprKind::Field, member.field);
  } else {
    e.kind = ExprKind::Member;
    e.left = MakeExpr(ExprKind::Me, e.line);
  }
  return true;
}

void PageCompiler::Resolve(const Pending& pending) {
  Expr& e = *pending.expr;
  const std::string& name = e.name;
  if (ResolveInScope(e, pending)) return;
  if (pending.procedure >= 0) {
    Procedure& p = program_->procedures[static_cast<std::size_t>(pending.procedure)];
    if (const auto it = p.constants.find(name); it != p.constants.end())
      return MakeConstant(e, it->second, pending.target);
    if (const std::int32_t slot = LocalSlot(p, name); slot > 0) return Bind(e, ExprKind::Local, slot);
    const bool returns = p.kind == ProcedureKind::Function || p.kind == ProcedureKind::PropertyGet;
    if (returns && name == oleaut::FoldCase(p.name) && (pending.target || !e.hasArgs))
      return Bind(e, ExprKind::Local, 0);
  }
  if (pending.classIndex >= 0) {
    const ClassInfo& c = program_->classes[static_cast<std::size_t>(pending.classIndex)];
    if (const auto it = c.memberIndex.find(name); it != c.memberIndex.end()) {
      const ClassMember& member = c.members[static_cast<std::size_t>(it->second)];
      if (member.field >= 0) return Bind(e, ExprKind::Field, member.field);
      e.kind = ExprKind::Member;
      e.left = MakeExpr(ExprKind::Me, e.line);
      return;
    }
  }
  if (const auto it = program_->constants.find(name); it != program_->constants.end())
    return MakeConstant(e, it->second, pending.target);
  if (scope_ != nullptr) {
    const auto& constants = scope_->page->constants;
    if (const auto it = constants.find(name); it != constants.end())
      return MakeConstant(e, it->second, pending.target);
  }
  if (const std::int32_t slot = GlobalSlot(name); slot >= 0) return Bind(e, ExprKind::Global, slot);
  // Assigning to a procedure (a Sub's own name inside it) is refused when
  // it runs: a call is no variable.
  if (const auto it = procedureIndex_.find(name); it != procedureIndex_.end())
    return Bind(e, ExprKind::Call, it->second);
  if (const BuiltinFunction* builtin = FindBuiltin(name)) {
    // A wrong number of arguments is an error of the call when it runs.
    const auto count = static_cast<int>(e.args.size());
    const bool counted = count >= builtin->minArgs && count <= builtin->maxArgs;
    e.kind = ExprKind::BuiltinCall;
    e.builtin = counted ? builtin->function : RaiseWrongArgumentCount;
    return;
  }
  if (auto constant = FindConstant(name)) return MakeConstant(e, *constant, pending.target);
  if (!pending.target) {
    if (auto constant = FindLibraryConstant(name)) return MakeConstant(e, *constant, false);
  }
  if (name == "createobject" && !pending.target) {
    // The language's own CreateObject is the host's: Server.CreateObject.
    e.kind = ExprKind::Member;
    e.left = MakeExpr(ExprKind::Global, e.line);
    e.left->slot = GlobalSlot("server");
    return;
  }
  if (const auto function = FindScriptFunction(name)) {
    if (pending.target) Fail(kIllegalAssignmentCompile, "Illegal assignment: " + name, e.line);
    e.kind = ExprKind::ScriptCall;
    e.slot = static_cast<std::int32_t>(*function);
    return;
  }
  if (IsRefused(name)) Fail(kUnsupported, "'" + name + "' is not supported by this engine", e.line);
  // A call of a name that is nothing now: a procedure that ExecuteGlobal
  // defines when the page runs, or 35.
  if (pending.called || (e.hasArgs && !pending.target)) return;
  if (pending.procedure >= 0) {
    if (explicit_ && !pending.declares) {
      e.kind = ExprKind::Undefined;
      return;
    }
    Procedure& p = program_->procedures[static_cast<std::size_t>(pending.procedure)];
    return Bind(e, ExprKind::Local, AddLocal(p, name));
  }
  // Code compiled while the page runs finds its other names when it runs,
  // in the variables made at run time around it.
  if (scope_ != nullptr) return;
  if (explicit_ && !pending.declares) {
    e.kind = ExprKind::Undefined;
    return;
  }
  return Bind(e, ExprKind::Global, DeclareGlobal(name, e.line));
}

void PageCompiler::MakeConstant(Expr& e, const Variant& value, bool target) {
  if (target) Fail(kIllegalAssignmentCompile, "Illegal assignment: " + e.name, e.line);
  if (e.hasArgs) Fail(kSyntaxError, "Syntax error: a constant with arguments", e.line);
  e.kind = ExprKind::Constant;
  e.value = value;
}

void PageCompiler::Bind(Expr& e, ExprKind kind, std::int32_t slot) {
  e.kind = kind;
  e.slot = slot;
}

}  // namespace compiling

std::uint64_t NewProgramId() {
  static std::atomic<std::uint64_t> last{0};
  return ++last;
}

std::shared_ptr<const Program> CompileDynamic(std::string_view text, DynamicCode kind,
                                              const EnclosingScope& scope) {
  try {
    compiling::PageCompiler compiler(text, scope);
    return kind == DynamicCode::Expression ? compiler.RunExpression() : compiler.Run();
  } catch (const oleaut::AutomationError& e) {
    // A constant's value that cannot be computed.
    throw CompileFailure(ScriptError{e.Number(), kCompileSource, e.Description(), {}, scope.line});
  }
}

std::shared_ptr<const Program> Compile(TranslatedScript script) {
  const std::vector<LineOrigin> lines = script.lines;
  const std::vector<std::string> files = script.files;
  try {
    return compiling::PageCompiler(std::move(script)).Run();
  } catch (CompileFailure& failure) {
    ScriptError error = failure.Error();
    const auto line = static_cast<std::size_t>(error.line);
    if (line >= 1 && line <= lines.size()) {
      const LineOrigin origin = lines[line - 1];
      error.file = origin.file < files.size() ? files[origin.file] : std::string();
      error.line = static_cast<int>(origin.line);
    }
    throw CompileFailure(std::move(error));
  } catch (const oleaut::AutomationError& e) {
    // A constant's value that cannot be computed (Const x = -"a").
    throw CompileFailure(ScriptError{e.Number(), kCompileSource, e.Description(),
                                     files.empty() ? std::string() : files.front(), 0});
  }
}

}  // namespace kelvane::host::vbscript
