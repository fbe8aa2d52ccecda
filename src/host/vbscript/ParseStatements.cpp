// Statements: each parsed into its node, names left for resolution.
#include "host/vbscript/PageCompiler.h"

#include "host/vbscript/Builtins.h"
#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/Conversion.h"
#include "platform/oleaut/Operators.h"

namespace kelvane::host::vbscript::compiling {

Block PageCompiler::ParseBlock(std::initializer_list<std::string_view> ends) {
  Block block;
  while (true) {
    SkipSeparators();
    if (Is(TokenKind::End)) return block;
    for (const auto end : ends)
      if (IsWord(end)) return block;
    // The end of another block where this one's is due: Loop for Next.
    static constexpr std::string_view kClosers[] = {"end", "next", "loop", "wend", "else", "elseif", "case"};
    for (const auto closer : kClosers)
      if (IsWord(closer)) ExpectWord(*std::prev(ends.end()));
    // Procedures and classes defined inside a block of the page's own code
    // are the page's all the same.
    if (procedure_ < 0 && class_ < 0 && TryDefinition()) continue;
    if (IsWord("sub") || IsWord("function") || IsWord("class") ||
        ((IsWord("public") || IsWord("private")) && procedure_ >= 0))
      Fail(kSyntaxError, "Syntax error: a definition inside a block");
    block.push_back(ParseStatement());
    EndStatement();
  }
}

std::unique_ptr<Stmt> PageCompiler::NewStmt(StmtKind kind) {
  // Code that a page compiles while it runs is held to the page's time.
  deadline_.Tick();
  auto s = std::make_unique<Stmt>();
  s->kind = kind;
  s->line = Line();
  return s;
}

std::unique_ptr<Stmt> PageCompiler::ParseStatement() {
  const Nesting nesting(*this);
  if (Is(TokenKind::Text)) {
    auto s = NewStmt(StmtKind::WriteText);
    s->slot = *Current().value.If<oleaut::Long>();
    if (s->slot < 0 || static_cast<std::size_t>(s->slot) >= program_->script.texts.size())
      Fail(kInvalidCharacter, "Invalid character");
    Next();
    return s;
  }
  if (Is(TokenKind::WriteMark)) {
    auto s = NewStmt(StmtKind::WriteValue);
    Next();
    s->value = ParseExpression();
    return s;
  }
  if (Is(TokenKind::Dot)) return ParseAssignOrCall(false);
  if (!Is(TokenKind::Name)) ExpectedStatement();
  if (Current().bracketed) return ParseAssignOrCall(false);
  const std::string_view word = Current().text;
  if (word == "dim") {
    Next();
    return ParseVariables(true);
  }
  if (word == "public" || word == "private") {
    if (procedure_ >= 0) Fail(kSyntaxError, "Syntax error: Public or Private in a procedure");
    Next();
    if (IsWord("const")) return ParseConst();
    return ParseVariables(true);
  }
  if (word == "const") return ParseConst();
  if (word == "redim") return ParseReDim();
  if (word == "if") return ParseIf();
  if (word == "select") return ParseSelect();
  if (word == "for") return ParseFor();
  if (word == "do") return ParseDo();
  if (word == "while") return ParseWhile();
  if (word == "with") return ParseWith();
  if (word == "exit") return ParseExit();
  if (word == "on") return ParseOnError();
  if (word == "erase") {
    auto s = NewStmt(StmtKind::Erase);
    Next();
    s->target = NameExpr(ExpectName(), s->line, true);
    return s;
  }
  if (word == "randomize") {
    auto s = NewStmt(StmtKind::Randomize);
    Next();
    if (Is(TokenKind::LeftParen) && tokens_[pos_ + 1].kind == TokenKind::RightParen) {
      Next();
      Next();
    }
    if (!AtStatementEnd()) s->value = ParseExpression();
    return s;
  }
  if (word == "stop") {  // a breakpoint for a debugger: nothing to do
    Next();
    return NewStmt(StmtKind::If);
  }
  if (word == "call") {
    auto s = NewStmt(StmtKind::CallStmt);
    Next();
    const std::size_t pendingBefore = pending_.size();
    s->target = ParsePostfix(nullptr, false);
    MarkCalled(*s->target, pendingBefore);
    if (s->target->kind != ExprKind::Name && s->target->kind != ExprKind::Member &&
        s->target->kind != ExprKind::Index)
      Expected("a procedure after Call");
    return s;
  }
  if (word == "set") {
    Next();
    return ParseAssignOrCall(true);
  }
  if (word == "let") Next();
  if (IsReserved(word) && word != "me") Fail(kSyntaxError, "Syntax error: unexpected '" + std::string(word) + "'");
  return ParseAssignOrCall(false);
}

std::unique_ptr<Stmt> PageCompiler::ParseAssignOrCall(bool isSet) {
  auto s = NewStmt(isSet ? StmtKind::Set : StmtKind::Assign);
  ParenGroup group;
  const std::size_t pendingBefore = pending_.size();
  ExprPtr target = ParsePostfix(&group, true);
  if (Accept(TokenKind::Equal)) {
    if (target->kind == ExprKind::Name)
      for (std::size_t i = pendingBefore; i < pending_.size(); ++i)
        if (pending_[i].expr == target.get()) pending_[i].target = true;
    s->target = std::move(target);
    s->value = ParseExpression();
    return s;
  }
  if (isSet) Expected("'='");
  s->kind = StmtKind::CallStmt;
  if (group.start != kNone) {
    if (target->args.size() > 1 && AtStatementEnd())
      Fail(kParenthesesOnSubCall, "Cannot use parentheses when calling a Sub");
    if (!(AtStatementEnd() && target->args.empty())) {
      // Without Call, the parentheses belong to the first argument: what
      // was parsed from them on is parsed again as the arguments.
      pending_.resize(group.pending);
      newExprs_.resize(group.news);
      pos_ = group.start;
      while (target.get() != group.callee) target = std::move(target->left);
      target->args.clear();
      ParseBareArguments(*target);
    }
  } else if (!AtStatementEnd()) {
    ParseBareArguments(*target);
  }
  MarkCalled(*target, pendingBefore);
  if (target->kind != ExprKind::Name && target->kind != ExprKind::Member)
    ExpectedStatement();
  s->target = std::move(target);
  return s;
}

void PageCompiler::MarkCalled(const Expr& target, std::size_t pendingFrom) {
  for (std::size_t i = pendingFrom; i < pending_.size(); ++i)
    if (pending_[i].expr == &target) pending_[i].called = true;
}

void PageCompiler::ParseBareArguments(Expr& call) {
  call.hasArgs = true;
  do {
    call.args.push_back(Is(TokenKind::Comma) || AtStatementEnd() ? MissingArgument() : ParseExpression());
    Deepen(call, *call.args.back());
  } while (Accept(TokenKind::Comma));
}

std::unique_ptr<Stmt> PageCompiler::ParseVariables(bool isPublic) {
  auto s = NewStmt(StmtKind::ReDim);
  Block arrays;
  do {
    const int line = Line();
    const std::string name = ExpectName();
    Declare(name, isPublic, line);
    if (Accept(TokenKind::LeftParen)) {
      auto redim = NewStmt(StmtKind::ReDim);
      redim->target = NameExpr(name, line, true);
      if (!Is(TokenKind::RightParen)) ParseBounds(*redim);
      Expect(TokenKind::RightParen, "')'");
      if (class_ >= 0 && procedure_ < 0) FieldArrays().push_back(std::move(redim));
      else arrays.push_back(std::move(redim));
    }
  } while (Accept(TokenKind::Comma));
  if (class_ >= 0 && procedure_ < 0) EndStatement();
  // A Dim that makes arrays runs as their ReDims; any other Dim does nothing.
  if (arrays.size() == 1) return std::move(arrays.front());
  s->kind = StmtKind::If;
  Branch always;
  always.condition = MakeExpr(ExprKind::Constant, s->line);
  always.condition->value = oleaut::VariantBool::True;
  always.body = std::move(arrays);
  s->branches.push_back(std::move(always));
  return s;
}

Block& PageCompiler::FieldArrays() {
  ClassInfo& c = program_->classes[static_cast<std::size_t>(class_)];
  if (c.fieldArrays < 0) {
    Procedure p;
    p.classIndex = class_;
    p.isPublic = false;
    p.slotNames.emplace_back();
    p.line = Line();
    c.fieldArrays = static_cast<std::int32_t>(program_->procedures.size()) + program_->procedureBase;
    program_->procedures.push_back(std::move(p));
  }
  return program_->procedures[static_cast<std::size_t>(c.fieldArrays - program_->procedureBase)].body;
}

void PageCompiler::ParseBounds(Stmt& redim) {
  do {
    redim.bounds.push_back(ParseExpression());
  } while (Accept(TokenKind::Comma));
  if (redim.bounds.size() > kMaxDimensions) Fail(kSyntaxError, "Syntax error: too many dimensions");
}

std::unique_ptr<Stmt> PageCompiler::ParseConst() {
  auto s = NewStmt(StmtKind::If);  // constants cost nothing at run time
  Next();
  do {
    const int line = Line();
    const std::string name = ExpectName();
    Expect(TokenKind::Equal, "'='");
    // The value is taken now and its expression dropped: the names in it
    // must not wait to be resolved.
    const std::size_t pendingBefore = pending_.size();
    const Variant value = ConstantValue(*ParseExpression());
    pending_.erase(pending_.begin() + static_cast<std::ptrdiff_t>(pendingBefore), pending_.end());
    auto& constants = procedure_ >= 0
                          ? program_->procedures[static_cast<std::size_t>(procedure_)].constants
                          : program_->constants;
    const bool taken = procedure_ >= 0
                           ? LocalSlot(program_->procedures[static_cast<std::size_t>(procedure_)], name) >= 0
                           : GlobalSlot(name) >= 0 || procedureIndex_.contains(name);
    if (taken || constants.contains(name)) Fail(kNameRedefined, "Name redefined: " + name, line);
    constants.emplace(name, value);
  } while (Accept(TokenKind::Comma));
  return s;
}

Variant PageCompiler::ConstantValue(const Expr& e) {
  if (e.kind == ExprKind::Constant) return e.value;
  if (e.kind == ExprKind::Unary && e.left) {
    const Variant operand = ConstantValue(*e.left);
    return e.op == Operator::Negate ? oleaut::Negate(operand) : oleaut::Not(operand);
  }
  if (e.kind == ExprKind::Name && !e.hasArgs) {
    if (procedure_ >= 0) {
      const auto& local = program_->procedures[static_cast<std::size_t>(procedure_)].constants;
      if (const auto it = local.find(e.name); it != local.end()) return it->second;
    }
    if (const auto it = program_->constants.find(e.name); it != program_->constants.end())
      return it->second;
    if (auto builtin = FindConstant(e.name)) return *builtin;
    if (auto library = FindLibraryConstant(e.name)) return *library;
  }
  Fail(kSyntaxError, "Syntax error: expected a literal constant");
}

std::unique_ptr<Stmt> PageCompiler::ParseReDim() {
  auto s = NewStmt(StmtKind::If);
  Next();
  const bool preserve = AcceptWord("preserve");
  do {
    auto redim = NewStmt(StmtKind::ReDim);
    redim->flag = preserve;
    redim->target = NameExpr(ExpectName(), redim->line, true, true);
    Expect(TokenKind::LeftParen, "'('");
    ParseBounds(*redim);
    Expect(TokenKind::RightParen, "')'");
    Branch always;
    if (s->branches.empty()) {
      always.condition = MakeExpr(ExprKind::Constant, s->line);
      always.condition->value = oleaut::VariantBool::True;
      s->branches.push_back(std::move(always));
    }
    s->branches.front().body.push_back(std::move(redim));
  } while (Accept(TokenKind::Comma));
  if (s->branches.front().body.size() == 1) return std::move(s->branches.front().body.front());
  return s;
}

std::unique_ptr<Stmt> PageCompiler::ParseIf() {
  auto s = NewStmt(StmtKind::If);
  Next();
  Branch first;
  first.condition = ParseExpression();
  ExpectWord("then");
  if (!Is(TokenKind::Newline) && !Is(TokenKind::End)) {
    // The single-line form: statements up to the line's end, Else optional.
    ++singleLineIf_;
    first.body = ParseLineStatements();
    s->branches.push_back(std::move(first));
    if (AcceptWord("else")) s->elseBody = ParseLineStatements();
    --singleLineIf_;
    if (IsWord("end") && IsWordAhead(1, "if")) {  // If a Then b End If, on one line
      Next();
      Next();
    }
    return s;
  }
  first.body = ParseBlock({"elseif", "else", "end"});
  s->branches.push_back(std::move(first));
  while (AcceptWord("elseif")) {
    Branch branch;
    branch.condition = ParseExpression();
    ExpectWord("then");
    branch.body = ParseBlock({"elseif", "else", "end"});
    s->branches.push_back(std::move(branch));
  }
  if (AcceptWord("else")) s->elseBody = ParseBlock({"end"});
  ExpectWord("end");
  ExpectWord("if");
  return s;
}

Block PageCompiler::ParseLineStatements() {
  Block block;
  while (true) {
    while (Accept(TokenKind::Colon)) {}
    if (Is(TokenKind::Newline) || Is(TokenKind::End) || IsWord("else") || IsWord("end")) return block;
    block.push_back(ParseStatement());
    EndStatement();
  }
}

std::unique_ptr<Stmt> PageCompiler::ParseSelect() {
  auto s = NewStmt(StmtKind::Select);
  Next();
  ExpectWord("case");
  s->value = ParseExpression();
  EndStatement();
  SkipSeparators();
  while (AcceptWord("case")) {
    if (AcceptWord("else")) {
      s->elseBody = ParseBlock({"end"});
      break;
    }
    CaseClause clause;
    do {
      CaseTest test;
      if (AcceptWord("is")) {
        test.op = ComparisonOperator();
        if (test.op == Operator::Is) Expected("a comparison after Is");
        Next();
        test.low = ParseArithmetic();
      } else {
        test.low = ParseExpression();
        if (AcceptWord("to")) test.high = ParseExpression();
      }
      clause.tests.push_back(std::move(test));
    } while (Accept(TokenKind::Comma));
    clause.body = ParseBlock({"case", "end"});
    s->cases.push_back(std::move(clause));
  }
  ExpectWord("end");
  ExpectWord("select");
  return s;
}

std::unique_ptr<Stmt> PageCompiler::ParseFor() {
  Next();
  if (AcceptWord("each")) {
    auto s = NewStmt(StmtKind::ForEach);
    s->target = NameExpr(ExpectName(), s->line, true);
    ExpectWord("in");
    s->value = ParseExpression();
    s->body = ParseLoopBody();
    return s;
  }
  auto s = NewStmt(StmtKind::For);
  s->target = NameExpr(ExpectName(), s->line, true);
  Expect(TokenKind::Equal, "'='");
  s->value = ParseExpression();
  ExpectWord("to");
  s->limit = ParseExpression();
  if (AcceptWord("step")) s->step = ParseExpression();
  s->body = ParseLoopBody();
  return s;
}

Block PageCompiler::ParseLoopBody() {
  EndStatement();
  Block body = ParseBlock({"next"});
  ExpectWord("next");
  if (Is(TokenKind::Name) && !IsReserved(Current().text)) Next();
  return body;
}

std::unique_ptr<Stmt> PageCompiler::ParseDo() {
  auto s = NewStmt(StmtKind::Do);
  Next();
  if (IsWord("while") || IsWord("until")) {
    s->until = IsWord("until");
    Next();
    s->value = ParseExpression();
  }
  EndStatement();
  s->body = ParseBlock({"loop"});
  ExpectWord("loop");
  if (IsWord("while") || IsWord("until")) {
    if (s->value) Fail(kSyntaxError, "Syntax error: a condition at both ends of a loop");
    s->until = IsWord("until");
    s->flag = true;
    Next();
    s->value = ParseExpression();
  }
  return s;
}

std::unique_ptr<Stmt> PageCompiler::ParseWhile() {
  auto s = NewStmt(StmtKind::Do);
  Next();
  s->value = ParseExpression();
  EndStatement();
  s->body = ParseBlock({"wend"});
  ExpectWord("wend");
  return s;
}

std::unique_ptr<Stmt> PageCompiler::ParseWith() {
  auto s = NewStmt(StmtKind::With);
  Next();
  s->value = ParseExpression();
  s->target = HiddenSlot(s->line);
  EndStatement();
  withSlots_.push_back(s->target.get());
  s->body = ParseBlock({"end"});
  withSlots_.pop_back();
  ExpectWord("end");
  ExpectWord("with");
  return s;
}

std::unique_ptr<Stmt> PageCompiler::ParseExit() {
  auto s = NewStmt(StmtKind::ExitProcedure);
  Next();
  if (AcceptWord("for")) {
    s->kind = StmtKind::ExitFor;
  } else if (AcceptWord("do")) {
    s->kind = StmtKind::ExitDo;
  } else if (AcceptWord("sub") || AcceptWord("function") || AcceptWord("property")) {
    if (procedure_ < 0) Fail(kSyntaxError, "Syntax error: Exit outside a procedure");
  } else {
    Expected("'Do', 'For', 'Sub', 'Function' or 'Property'");
  }
  return s;
}

std::unique_ptr<Stmt> PageCompiler::ParseOnError() {
  auto s = NewStmt(StmtKind::OnErrorResumeNext);
  Next();
  ExpectWord("error");
  if (AcceptWord("resume")) {
    ExpectWord("next");
  } else {
    ExpectWord("goto");
    if (!Is(TokenKind::Number) || oleaut::ToDouble(Current().value) != 0)
      Fail(kUnsupported, "On Error GoTo takes only 0: labels are not supported");
    Next();
    s->kind = StmtKind::OnErrorGoto0;
  }
  return s;
}

}  // namespace kelvane::host::vbscript::compiling
