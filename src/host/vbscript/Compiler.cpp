#include "host/vbscript/Compiler.h"

#include "host/vbscript/Builtins.h"
#include "host/vbscript/PageCompiler.h"
#include "platform/oleaut/AutomationError.h"

namespace kelvane::host::vbscript {

namespace compiling {

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
  const bool definition = IsWordAhead(ahead, "sub") || IsWordAhead(ahead, "function") ||
                          IsWordAhead(ahead, "property") || (ahead == 0 && IsWord("class"));
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
  const std::string spelling = Current().spelling;
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
  EndStatement();
  const auto index = static_cast<std::int32_t>(program_->procedures.size());
  Register(p, index, isDefault);
  program_->procedures.push_back(std::move(p));
  procedure_ = index;
  Block body = ParseBlock({"end"});
  program_->procedures[static_cast<std::size_t>(index)].body = std::move(body);
  procedure_ = -1;
  ExpectWord("end");
  ExpectWord(end);
  EndStatement();
}

void PageCompiler::Register(const Procedure& p, std::int32_t index, bool isDefault) {
  const std::string name = oleaut::FoldCase(p.name);
  if (class_ < 0) {
    if (procedureIndex_.contains(name) || GlobalSlot(name) >= 0)
      Fail(kNameRedefined, "Name redefined: " + name, p.line);
    if (p.kind != ProcedureKind::Sub && p.kind != ProcedureKind::Function)
      Fail(kSyntaxError, "Syntax error: a Property outside a class", p.line);
    procedureIndex_.emplace(name, index);
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
  for (Expr* e : newExprs_) {
    const auto& classes = program_->classes;
    const auto it = std::find_if(classes.begin(), classes.end(),
                                 [&](const ClassInfo& c) { return oleaut::FoldCase(c.name) == e->name; });
    if (it == classes.end()) Fail(kSyntaxError, "Class not defined: " + e->name, e->line);
    e->slot = static_cast<std::int32_t>(it - classes.begin());
  }
}

void PageCompiler::Resolve(const Pending& pending) {
  Expr& e = *pending.expr;
  const std::string& name = e.name;
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
  if (const std::int32_t slot = GlobalSlot(name); slot >= 0) return Bind(e, ExprKind::Global, slot);
  if (const auto it = procedureIndex_.find(name); it != procedureIndex_.end()) {
    if (pending.target) Fail(kIllegalAssignmentCompile, "Illegal assignment: " + name, e.line);
    return Bind(e, ExprKind::Call, it->second);
  }
  if (const BuiltinFunction* builtin = FindBuiltin(name)) {
    if (pending.target) Fail(kIllegalAssignmentCompile, "Illegal assignment: " + name, e.line);
    // A wrong number of arguments is an error of the call when it runs.
    const auto count = static_cast<int>(e.args.size());
    const bool fits = count >= builtin->minArgs && count <= builtin->maxArgs;
    e.kind = ExprKind::BuiltinCall;
    e.builtin = fits ? builtin->function : RaiseWrongArgumentCount;
    return;
  }
  if (auto constant = FindConstant(name)) return MakeConstant(e, *constant, pending.target);
  if (name == "createobject" && !pending.target) {
    // The language's own CreateObject is the host's: Server.CreateObject.
    e.kind = ExprKind::Member;
    e.left = MakeExpr(ExprKind::Global, e.line);
    e.left->slot = GlobalSlot("server");
    return;
  }
  if (IsRefused(name)) Fail(kUnsupported, "'" + name + "' is not supported by this engine", e.line);
  // A call of a name that is nothing: 35 when it runs.
  if (pending.called || (e.hasArgs && !pending.target)) return;
  if (explicit_) {
    e.kind = ExprKind::Undefined;
    return;
  }
  if (pending.procedure >= 0) {
    Procedure& p = program_->procedures[static_cast<std::size_t>(pending.procedure)];
    return Bind(e, ExprKind::Local, AddLocal(p, name));
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
