#include "host/vbscript/Compiler.h"

#include <algorithm>
#include <utility>

#include "host/vbscript/Builtins.h"
#include "host/vbscript/Lexer.h"
#include "host/vbscript/ScriptError.h"
#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/Conversion.h"
#include "platform/oleaut/DispatchTable.h"
#include "platform/oleaut/Operators.h"

namespace kelvane::host::vbscript {

namespace {

using oleaut::Variant;

// Expressions nest at most this deep, so that neither the compiler nor the
// interpreter can run out of stack on a hostile page.
constexpr int kMaxNesting = 200;

constexpr std::string_view kReserved[] = {
    "and", "byref", "byval", "call", "case", "class", "const", "dim", "do", "each", "else",
    "elseif", "empty", "end", "eqv", "erase", "error", "exit", "explicit", "false", "for",
    "function", "get", "goto", "if", "imp", "in", "is", "let", "loop", "me", "mod", "new", "next",
    "not", "nothing", "null", "on", "option", "or", "preserve", "private", "property", "public",
    "redim", "resume", "select", "set", "step", "sub", "then", "to", "true", "until", "wend",
    "while", "with", "xor"};

bool IsReserved(std::string_view name) {
  return std::find(std::begin(kReserved), std::end(kReserved), name) != std::end(kReserved);
}

std::string Fold(std::string_view name) { return oleaut::detail::FoldCase(name); }

ExprPtr MakeExpr(ExprKind kind, int line) {
  auto e = std::make_unique<Expr>();
  e->kind = kind;
  e->line = line;
  return e;
}

// A name waiting to be resolved, in the scope it was written in.
struct Pending {
  Expr* expr;
  std::int32_t procedure;
  std::int32_t classIndex;
  bool target;
  bool called = false;  // the procedure of a call statement
};

class Compiler {
 public:
  explicit Compiler(TranslatedScript script) : program_(std::make_shared<Program>()) {
    program_->script = std::move(script);
    tokens_ = Tokenize(program_->script.program);
    for (const auto name : kIntrinsicNames) DeclareGlobal(std::string(name), 0);
    program_->errSlot = GlobalSlot("err");
    program_->responseSlot = GlobalSlot("response");
  }

  std::shared_ptr<const Program> Run() {
    ParseTopLevel();
    ResolveAll();
    return std::move(program_);
  }

 private:
  // ---- tokens ----

  const Token& Current() const { return tokens_[pos_]; }
  TokenKind Kind() const { return Current().kind; }
  int Line() const { return Current().line; }
  bool Is(TokenKind kind) const { return Kind() == kind; }
  bool IsWord(std::string_view word) const { return Is(TokenKind::Name) && Current().text == word; }
  bool IsWordAhead(std::size_t ahead, std::string_view word) const {
    const std::size_t at = std::min(pos_ + ahead, tokens_.size() - 1);
    return tokens_[at].kind == TokenKind::Name && tokens_[at].text == word;
  }
  void Next() {
    if (pos_ + 1 < tokens_.size()) ++pos_;
  }
  bool Accept(TokenKind kind) {
    if (!Is(kind)) return false;
    Next();
    return true;
  }
  bool AcceptWord(std::string_view word) {
    if (!IsWord(word)) return false;
    Next();
    return true;
  }

  [[noreturn]] void Fail(std::int32_t number, std::string description, int line = 0) const {
    throw CompileFailure(ScriptError{number, kCompileSource, std::move(description), {},
                                     line != 0 ? line : Line()});
  }
  [[noreturn]] void Expected(std::string_view what) const {
    Fail(kSyntaxError, "Syntax error: expected " + std::string(what));
  }

  void Expect(TokenKind kind, std::string_view what) {
    if (!Accept(kind)) Expected(what);
  }
  void ExpectWord(std::string_view word) {
    if (!AcceptWord(word)) Expected("'" + std::string(word) + "'");
  }

  // A name that is no keyword.
  std::string ExpectName() {
    if (!Is(TokenKind::Name) || IsReserved(Current().text)) Expected("a name");
    std::string name = Current().text;
    Next();
    return name;
  }

  bool AtStatementEnd() const {
    return Is(TokenKind::Newline) || Is(TokenKind::Colon) || Is(TokenKind::End) ||
           (singleLineIf_ > 0 && IsWord("else"));
  }
  void EndStatement() {
    if (!AtStatementEnd()) Fail(kExpectedEndOfStatement, "Expected end of statement");
  }
  void SkipSeparators() {
    while (Is(TokenKind::Newline) || Is(TokenKind::Colon)) Next();
  }

  // ---- scopes ----

  std::int32_t GlobalSlot(std::string_view name) const {
    const auto& names = program_->globalNames;
    const auto it = std::find(names.begin(), names.end(), name);
    return it == names.end() ? -1 : static_cast<std::int32_t>(it - names.begin());
  }

  std::int32_t DeclareGlobal(const std::string& name, int line) {
    if (GlobalSlot(name) >= 0 || program_->constants.contains(name)) {
      if (std::find(std::begin(kIntrinsicNames), std::end(kIntrinsicNames), name) !=
          std::end(kIntrinsicNames))
        return GlobalSlot(name);
      Fail(kNameRedefined, "Name redefined: " + name, line);
    }
    program_->globalNames.push_back(name);
    return static_cast<std::int32_t>(program_->globalNames.size() - 1);
  }

  static std::int32_t LocalSlot(const Procedure& p, std::string_view name) {
    const auto it = std::find(p.slotNames.begin(), p.slotNames.end(), name);
    return it == p.slotNames.end() ? -1 : static_cast<std::int32_t>(it - p.slotNames.begin());
  }

  std::int32_t AddLocal(Procedure& p, const std::string& name) {
    p.slotNames.push_back(name);
    return p.slotCount++;
  }

  // Declares `name` in the current scope: a local, a field or a global.
  void Declare(const std::string& name, bool isPublic, int line) {
    if (procedure_ >= 0) {
      Procedure& p = program_->procedures[static_cast<std::size_t>(procedure_)];
      if (LocalSlot(p, name) >= 0 || p.constants.contains(name))
        Fail(kNameRedefined, "Name redefined: " + name, line);
      AddLocal(p, name);
    } else if (class_ >= 0) {
      ClassInfo& c = program_->classes[static_cast<std::size_t>(class_)];
      if (c.memberIndex.contains(name)) Fail(kNameRedefined, "Name redefined: " + name, line);
      ClassMember member;
      member.name = name;
      member.isPublic = isPublic;
      member.field = static_cast<std::int32_t>(c.fieldNames.size());
      c.fieldNames.push_back(name);
      c.memberIndex.emplace(name, static_cast<std::int32_t>(c.members.size()));
      c.members.push_back(std::move(member));
    } else {
      DeclareGlobal(name, line);
    }
  }

  // A slot no name reaches, for the object of a With.
  ExprPtr HiddenSlot(int line) {
    if (procedure_ >= 0) {
      auto e = MakeExpr(ExprKind::Local, line);
      e->slot = AddLocal(program_->procedures[static_cast<std::size_t>(procedure_)], "");
      return e;
    }
    auto e = MakeExpr(ExprKind::Global, line);
    program_->globalNames.emplace_back();
    e->slot = static_cast<std::int32_t>(program_->globalNames.size() - 1);
    return e;
  }

  ExprPtr NameExpr(std::string name, int line, bool target) {
    auto e = MakeExpr(ExprKind::Name, line);
    e->name = std::move(name);
    pending_.push_back({e.get(), procedure_, class_, target});
    return e;
  }

  // ---- top level ----

  void ParseTopLevel() {
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

  // A Sub, Function, Property or Class, with its modifiers; false when the
  // statement is none of these.
  bool TryDefinition() {
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

  void ParseClass() {
    const int line = Line();
    Next();
    const std::string spelling = Current().spelling;
    const std::string name = ExpectName();
    for (const auto& c : program_->classes)
      if (Fold(c.name) == name) Fail(kNameRedefined, "Name redefined: " + name, line);
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

  void ParseProcedure(bool isPublic, bool isDefault) {
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

  void Register(const Procedure& p, std::int32_t index, bool isDefault) {
    const std::string name = Fold(p.name);
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

  // ---- statements ----

  // Statements up to one of the `ends` words at the start of a statement.
  Block ParseBlock(std::initializer_list<std::string_view> ends) {
    Block block;
    while (true) {
      SkipSeparators();
      if (Is(TokenKind::End)) return block;
      for (const auto end : ends)
        if (IsWord(end)) return block;
      if (IsWord("sub") || IsWord("function") || IsWord("class") ||
          ((IsWord("public") || IsWord("private")) && procedure_ >= 0))
        Fail(kSyntaxError, "Syntax error: a definition inside a block");
      block.push_back(ParseStatement());
      EndStatement();
    }
  }

  std::unique_ptr<Stmt> NewStmt(StmtKind kind) {
    auto s = std::make_unique<Stmt>();
    s->kind = kind;
    s->line = Line();
    return s;
  }

  std::unique_ptr<Stmt> ParseStatement() {
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
    if (!Is(TokenKind::Name)) Expected("a statement");
    const std::string& word = Current().text;
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
      if (!AtStatementEnd()) s->value = ParseExpression();
      return s;
    }
    if (word == "call") {
      auto s = NewStmt(StmtKind::CallStmt);
      Next();
      const std::size_t pendingBefore = pending_.size();
      s->target = ParsePostfix(nullptr, false);
      MarkCalled(*s->target, pendingBefore);
      if (s->target->kind != ExprKind::Name && s->target->kind != ExprKind::Member)
        Expected("a procedure after Call");
      return s;
    }
    if (word == "set") {
      Next();
      return ParseAssignOrCall(true);
    }
    if (word == "let") Next();
    if (IsReserved(word) && word != "me") Fail(kSyntaxError, "Syntax error: unexpected '" + word + "'");
    return ParseAssignOrCall(false);
  }

  std::unique_ptr<Stmt> ParseAssignOrCall(bool isSet) {
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
    MarkCalled(*target, pendingBefore);
    if (group.start != kNone) {
      if (target->args.size() > 1 && AtStatementEnd())
        Fail(kParenthesesOnSubCall, "Cannot use parentheses when calling a Sub");
      if (!(AtStatementEnd() && target->args.empty())) {
        // Without Call, the parentheses belong to the first argument.
        pending_.resize(group.pending);
        pos_ = group.start;
        target->args.clear();
        ParseBareArguments(*target);
      }
    } else if (!AtStatementEnd()) {
      ParseBareArguments(*target);
    }
    if (target->kind != ExprKind::Name && target->kind != ExprKind::Member)
      Expected("a statement");
    s->target = std::move(target);
    return s;
  }

  void MarkCalled(const Expr& target, std::size_t pendingFrom) {
    for (std::size_t i = pendingFrom; i < pending_.size(); ++i)
      if (pending_[i].expr == &target) pending_[i].called = true;
  }

  void ParseBareArguments(Expr& call) {
    call.hasArgs = true;
    do {
      call.args.push_back(ParseExpression());
    } while (Accept(TokenKind::Comma));
  }

  std::unique_ptr<Stmt> ParseVariables(bool isPublic) {
    auto s = NewStmt(StmtKind::ReDim);
    Block arrays;
    do {
      const int line = Line();
      const std::string name = ExpectName();
      Declare(name, isPublic, line);
      if (Accept(TokenKind::LeftParen)) {
        auto redim = NewStmt(StmtKind::ReDim);
        redim->target = NameExpr(name, line, true);
        if (!Is(TokenKind::RightParen)) redim->bounds.push_back(ParseExpression());
        if (Is(TokenKind::Comma)) Fail(kUnsupported, "Arrays of more than one dimension are not supported");
        Expect(TokenKind::RightParen, "')'");
        if (class_ >= 0 && procedure_ < 0)
          Fail(kUnsupported, "Array fields are not supported: use ReDim in Class_Initialize");
        arrays.push_back(std::move(redim));
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

  std::unique_ptr<Stmt> ParseConst() {
    auto s = NewStmt(StmtKind::If);  // constants cost nothing at run time
    Next();
    do {
      const int line = Line();
      const std::string name = ExpectName();
      Expect(TokenKind::Equal, "'='");
      const Variant value = ConstantValue(*ParseExpression());
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

  // The value of a constant's expression: a literal, a constant, or either
  // with a sign or Not.
  Variant ConstantValue(const Expr& e) {
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
    }
    Fail(kSyntaxError, "Syntax error: expected a literal constant");
  }

  std::unique_ptr<Stmt> ParseReDim() {
    auto s = NewStmt(StmtKind::If);
    Next();
    const bool preserve = AcceptWord("preserve");
    do {
      auto redim = NewStmt(StmtKind::ReDim);
      redim->flag = preserve;
      redim->target = NameExpr(ExpectName(), redim->line, true);
      Expect(TokenKind::LeftParen, "'('");
      redim->bounds.push_back(ParseExpression());
      if (Is(TokenKind::Comma)) Fail(kUnsupported, "Arrays of more than one dimension are not supported");
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

  std::unique_ptr<Stmt> ParseIf() {
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
      AcceptWord("end") && AcceptWord("if");
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

  Block ParseLineStatements() {
    Block block;
    while (true) {
      while (Accept(TokenKind::Colon)) {}
      if (Is(TokenKind::Newline) || Is(TokenKind::End) || IsWord("else")) return block;
      block.push_back(ParseStatement());
      EndStatement();
    }
  }

  std::unique_ptr<Stmt> ParseSelect() {
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
          test.low = ParseConcatenation();
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

  std::unique_ptr<Stmt> ParseFor() {
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

  Block ParseLoopBody() {
    EndStatement();
    Block body = ParseBlock({"next"});
    ExpectWord("next");
    if (Is(TokenKind::Name) && !IsReserved(Current().text)) Next();
    return body;
  }

  std::unique_ptr<Stmt> ParseDo() {
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

  std::unique_ptr<Stmt> ParseWhile() {
    auto s = NewStmt(StmtKind::Do);
    Next();
    s->value = ParseExpression();
    EndStatement();
    s->body = ParseBlock({"wend"});
    ExpectWord("wend");
    return s;
  }

  std::unique_ptr<Stmt> ParseWith() {
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

  std::unique_ptr<Stmt> ParseExit() {
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

  std::unique_ptr<Stmt> ParseOnError() {
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

  // ---- expressions ----

  struct Nesting {
    explicit Nesting(Compiler& c) : compiler(c) {
      if (++compiler.nesting_ > kMaxNesting) compiler.Fail(kSyntaxError, "Expression nested too deeply");
    }
    ~Nesting() { --compiler.nesting_; }
    Compiler& compiler;
  };

  ExprPtr Binary(Operator op, ExprPtr left, ExprPtr right) {
    auto e = MakeExpr(ExprKind::Binary, left->line);
    e->op = op;
    e->left = std::move(left);
    e->right = std::move(right);
    return e;
  }

  ExprPtr ParseExpression() {
    const Nesting nesting(*this);
    return ParseImp();
  }

  ExprPtr ParseImp() {
    auto e = ParseEqv();
    while (AcceptWord("imp")) e = Binary(Operator::Imp, std::move(e), ParseEqv());
    return e;
  }
  ExprPtr ParseEqv() {
    auto e = ParseXor();
    while (AcceptWord("eqv")) e = Binary(Operator::Eqv, std::move(e), ParseXor());
    return e;
  }
  ExprPtr ParseXor() {
    auto e = ParseOr();
    while (AcceptWord("xor")) e = Binary(Operator::Xor, std::move(e), ParseOr());
    return e;
  }
  ExprPtr ParseOr() {
    auto e = ParseAnd();
    while (AcceptWord("or")) e = Binary(Operator::Or, std::move(e), ParseAnd());
    return e;
  }
  ExprPtr ParseAnd() {
    auto e = ParseNot();
    while (AcceptWord("and")) e = Binary(Operator::And, std::move(e), ParseNot());
    return e;
  }
  ExprPtr ParseNot() {
    if (IsWord("not")) {
      const Nesting nesting(*this);
      auto e = MakeExpr(ExprKind::Unary, Line());
      Next();
      e->op = Operator::Not;
      e->left = ParseNot();
      return e;
    }
    return ParseComparison();
  }

  // The comparison operator at the current token; Operator::Add for none.
  Operator ComparisonOperator() const {
    switch (Kind()) {
      case TokenKind::Equal: return Operator::Equal;
      case TokenKind::NotEqual: return Operator::NotEqual;
      case TokenKind::Less: return Operator::Less;
      case TokenKind::Greater: return Operator::Greater;
      case TokenKind::LessEqual: return Operator::LessEqual;
      case TokenKind::GreaterEqual: return Operator::GreaterEqual;
      default: return IsWord("is") ? Operator::Is : Operator::Add;
    }
  }

  ExprPtr ParseComparison() {
    auto e = ParseConcatenation();
    for (Operator op = ComparisonOperator(); op != Operator::Add; op = ComparisonOperator()) {
      Next();
      e = Binary(op, std::move(e), ParseConcatenation());
    }
    return e;
  }

  ExprPtr ParseConcatenation() {
    auto e = ParseAdditive();
    while (Accept(TokenKind::Ampersand)) e = Binary(Operator::Concatenate, std::move(e), ParseAdditive());
    return e;
  }
  ExprPtr ParseAdditive() {
    auto e = ParseModulo();
    while (Is(TokenKind::Plus) || Is(TokenKind::Minus)) {
      const Operator op = Is(TokenKind::Plus) ? Operator::Add : Operator::Subtract;
      Next();
      e = Binary(op, std::move(e), ParseModulo());
    }
    return e;
  }
  ExprPtr ParseModulo() {
    auto e = ParseIntegerDivision();
    while (AcceptWord("mod")) e = Binary(Operator::Modulo, std::move(e), ParseIntegerDivision());
    return e;
  }
  ExprPtr ParseIntegerDivision() {
    auto e = ParseMultiplicative();
    while (Accept(TokenKind::Backslash))
      e = Binary(Operator::IntegerDivide, std::move(e), ParseMultiplicative());
    return e;
  }
  ExprPtr ParseMultiplicative() {
    auto e = ParseUnary();
    while (Is(TokenKind::Star) || Is(TokenKind::Slash)) {
      const Operator op = Is(TokenKind::Star) ? Operator::Multiply : Operator::Divide;
      Next();
      e = Binary(op, std::move(e), ParseUnary());
    }
    return e;
  }
  ExprPtr ParseUnary() {
    if (Is(TokenKind::Minus) || Is(TokenKind::Plus)) {
      const Nesting nesting(*this);
      const bool minus = Is(TokenKind::Minus);
      const int line = Line();
      Next();
      auto operand = ParseUnary();
      if (!minus) return operand;
      auto e = MakeExpr(ExprKind::Unary, line);
      e->op = Operator::Negate;
      e->left = std::move(operand);
      return e;
    }
    return ParsePower();
  }
  ExprPtr ParsePower() {
    auto e = ParsePostfix(nullptr, false);
    while (Accept(TokenKind::Caret)) {
      const Nesting nesting(*this);
      ExprPtr exponent;
      if (Is(TokenKind::Minus)) {
        auto negated = MakeExpr(ExprKind::Unary, Line());
        Next();
        negated->op = Operator::Negate;
        negated->left = ParsePostfix(nullptr, false);
        exponent = std::move(negated);
      } else {
        exponent = ParsePostfix(nullptr, false);
      }
      e = Binary(Operator::Power, std::move(e), std::move(exponent));
    }
    return e;
  }

  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  // Where the argument list that ends a chain started, for a call statement
  // without Call, whose parentheses may belong to its first argument.
  struct ParenGroup {
    std::size_t start = kNone;
    std::size_t pending = 0;
  };

  void ParseArguments(Expr& e, ParenGroup* group) {
    if (group != nullptr) *group = {pos_, pending_.size()};
    Next();
    e.hasArgs = true;
    if (Accept(TokenKind::RightParen)) return;
    do {
      if (Is(TokenKind::Comma) || Is(TokenKind::RightParen)) Fail(kUnsupported, "Omitted arguments are not supported");
      e.args.push_back(ParseExpression());
    } while (Accept(TokenKind::Comma));
    Expect(TokenKind::RightParen, "')'");
  }

  ExprPtr ParsePostfix(ParenGroup* group, bool statementStart) {
    const Nesting nesting(*this);
    ExprPtr e = ParsePrimary(group, statementStart);
    while (Is(TokenKind::Dot) && !Current().spaceBefore) {
      if (e->kind == ExprKind::Constant) Expected("an object before '.'");
      const int line = Line();
      Next();
      if (!Is(TokenKind::Name)) Expected("a member name");
      auto member = MakeExpr(ExprKind::Member, line);
      member->name = Current().text;
      member->left = std::move(e);
      Next();
      if (group != nullptr) group->start = kNone;
      if (Is(TokenKind::LeftParen)) ParseArguments(*member, group);
      e = std::move(member);
    }
    return e;
  }

  ExprPtr ParsePrimary(ParenGroup* group, bool statementStart) {
    const int line = Line();
    switch (Kind()) {
      case TokenKind::Number:
      case TokenKind::DateLiteral: {
        auto e = MakeExpr(ExprKind::Constant, line);
        e->value = Current().value;
        Next();
        return e;
      }
      case TokenKind::String: {
        auto e = MakeExpr(ExprKind::Constant, line);
        e->value = Current().text;
        Next();
        return e;
      }
      case TokenKind::LeftParen: {
        if (statementStart) Expected("a statement");
        Next();
        auto e = ParseExpression();
        Expect(TokenKind::RightParen, "')'");
        e->parenthesized = true;
        return e;
      }
      case TokenKind::Dot: {
        if (withSlots_.empty()) Expected("an object before '.' (outside With)");
        Next();
        if (!Is(TokenKind::Name)) Expected("a member name");
        auto e = MakeExpr(ExprKind::Member, line);
        e->name = Current().text;
        e->left = MakeExpr(withSlots_.back()->kind, line);
        e->left->slot = withSlots_.back()->slot;
        Next();
        if (Is(TokenKind::LeftParen)) ParseArguments(*e, group);
        return e;
      }
      case TokenKind::Name: break;
      default: Expected("an expression");
    }
    const std::string word = Current().text;
    if (word == "true" || word == "false" || word == "empty" || word == "null" || word == "nothing") {
      auto e = MakeExpr(ExprKind::Constant, line);
      if (word == "true") e->value = oleaut::VariantBool::True;
      else if (word == "false") e->value = oleaut::VariantBool::False;
      else if (word == "null") e->value = Variant::Null();
      else if (word == "nothing") e->value = Variant::Nothing();
      Next();
      return e;
    }
    if (word == "me") {
      if (class_ < 0) Fail(kSyntaxError, "Syntax error: Me outside a class");
      Next();
      return MakeExpr(ExprKind::Me, line);
    }
    if (word == "new") {
      Next();
      auto e = MakeExpr(ExprKind::New, line);
      e->name = ExpectName();
      newExprs_.push_back(e.get());
      return e;
    }
    if (IsReserved(word)) Fail(kSyntaxError, "Syntax error: unexpected '" + word + "'");
    Next();
    auto e = NameExpr(word, line, false);
    if (Is(TokenKind::LeftParen)) ParseArguments(*e, group);
    return e;
  }

  // ---- resolution ----

  void ResolveAll() {
    // Names at the top level first: they make the implicit globals that
    // procedures then see.
    std::stable_partition(pending_.begin(), pending_.end(),
                          [](const Pending& p) { return p.procedure < 0; });
    for (const Pending& pending : pending_) Resolve(pending);
    for (Expr* e : newExprs_) {
      const auto& classes = program_->classes;
      const auto it = std::find_if(classes.begin(), classes.end(),
                                   [&](const ClassInfo& c) { return Fold(c.name) == e->name; });
      if (it == classes.end()) Fail(kSyntaxError, "Class not defined: " + e->name, e->line);
      e->slot = static_cast<std::int32_t>(it - classes.begin());
    }
  }

  void Resolve(const Pending& pending) {
    Expr& e = *pending.expr;
    const std::string& name = e.name;
    if (pending.procedure >= 0) {
      Procedure& p = program_->procedures[static_cast<std::size_t>(pending.procedure)];
      if (const auto it = p.constants.find(name); it != p.constants.end())
        return MakeConstant(e, it->second, pending.target);
      if (const std::int32_t slot = LocalSlot(p, name); slot > 0) return Bind(e, ExprKind::Local, slot);
      const bool returns = p.kind == ProcedureKind::Function || p.kind == ProcedureKind::PropertyGet;
      if (returns && name == Fold(p.name) && (pending.target || !e.hasArgs))
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
      const auto count = static_cast<int>(e.args.size());
      if (count < builtin->minArgs || count > builtin->maxArgs)
        Fail(oleaut::kWrongArgumentCount,
             std::string(oleaut::RuntimeErrorText(oleaut::kWrongArgumentCount)) + ": " + name, e.line);
      e.kind = ExprKind::BuiltinCall;
      e.builtin = builtin->function;
      return;
    }
    if (auto constant = FindConstant(name)) return MakeConstant(e, *constant, pending.target);
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

  static constexpr std::int32_t kIllegalAssignmentCompile = oleaut::kIllegalAssignment;

  void MakeConstant(Expr& e, const Variant& value, bool target) {
    if (target) Fail(kIllegalAssignmentCompile, "Illegal assignment: " + e.name, e.line);
    if (e.hasArgs) Fail(kSyntaxError, "Syntax error: a constant with arguments", e.line);
    e.kind = ExprKind::Constant;
    e.value = value;
  }

  static void Bind(Expr& e, ExprKind kind, std::int32_t slot) {
    e.kind = kind;
    e.slot = slot;
  }

  std::shared_ptr<Program> program_;
  std::vector<Token> tokens_;
  std::size_t pos_ = 0;
  std::int32_t procedure_ = -1;
  std::int32_t class_ = -1;
  bool explicit_ = false;
  int singleLineIf_ = 0;
  int nesting_ = 0;
  std::vector<Pending> pending_;
  std::vector<Expr*> newExprs_;
  std::vector<const Expr*> withSlots_;
  std::unordered_map<std::string, std::int32_t> procedureIndex_;
};

}  // namespace

std::shared_ptr<const Program> Compile(TranslatedScript script) {
  const std::vector<LineOrigin> lines = script.lines;
  const std::vector<std::string> files = script.files;
  try {
    return Compiler(std::move(script)).Run();
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
