#pragma once
// The compiler's working state, shared by the files that parse the top
// level and resolve names (Compiler.cpp), statements (ParseStatements.cpp)
// and expressions (ParseExpressions.cpp). Private to the engine.

#include <algorithm>
#include <array>
#include <atomic>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "host/pages/PageDeadline.h"
#include "host/vbscript/Compiler.h"
#include "host/vbscript/Lexer.h"
#include "host/vbscript/Program.h"
#include "host/vbscript/ScriptError.h"
#include "platform/oleaut/DispatchTable.h"

namespace kelvane::host::vbscript::compiling {

using oleaut::Variant;

// Expressions nest at most this deep, so that neither the compiler nor the
// interpreter can run out of stack on a hostile page: parentheses, unary
// operators and arguments within each other, and the tree they make, where
// a chain of operators or members nests as deep as it is long.
inline constexpr int kMaxNesting = 200;
inline constexpr std::int32_t kMaxTreeDepth = 1000;
// The most dimensions an array can have.
inline constexpr std::size_t kMaxDimensions = 60;

// The keywords no name may be. Default, Error, Explicit, Property and Step
// are keywords only where their statement expects them, and names elsewhere.
inline constexpr std::string_view kReserved[] = {
    "and", "byref", "byval", "call", "case", "class", "const", "dim", "do", "each", "else",
    "elseif", "empty", "end", "eqv", "erase", "exit", "false", "for", "function", "get", "goto",
    "if", "imp", "in", "is", "let", "loop", "me", "mod", "new", "next", "not", "nothing", "null",
    "on", "option", "or", "preserve", "private", "public", "redim", "resume", "select", "set",
    "stop", "sub", "then", "to", "true", "until", "wend", "while", "with", "xor"};

// The compile errors that name the keyword a statement misses.
struct ExpectedKeyword {
  std::string_view word;
  std::int32_t number;
  std::string_view description;
};
inline constexpr ExpectedKeyword kExpectedKeywords[] = {
    {"end", 1014, "Expected 'End'"},       {"if", 1012, "Expected 'If'"},
    {"to", 1013, "Expected 'To'"},         {"function", 1015, "Expected 'Function'"},
    {"sub", 1016, "Expected 'Sub'"},       {"then", 1017, "Expected 'Then'"},
    {"wend", 1018, "Expected 'Wend'"},     {"loop", 1019, "Expected 'Loop'"},
    {"next", 1020, "Expected 'Next'"},     {"case", 1021, "Expected 'Case'"},
    {"select", 1022, "Expected 'Select'"}, {"with", 1029, "Expected 'With'"},
    {"in", 1046, "Expected 'In'"},         {"class", 1047, "Expected 'Class'"}};

static_assert(std::ranges::is_sorted(kReserved), "IsReserved searches by halves");

inline bool IsReserved(std::string_view name) {
  return std::binary_search(std::begin(kReserved), std::end(kReserved), name);
}

inline ExprPtr MakeExpr(ExprKind kind, int line) {
  auto e = std::make_unique<Expr>();
  e->kind = kind;
  e->line = line;
  return e;
}

// A binary operator: its token (a name, when `word` is set) and what it does.
struct BinaryOperator {
  TokenKind kind;
  std::string_view word;
  Operator op;
};

// The operators of one level of precedence; unused entries are of kind End.
using OperatorLevel = std::array<BinaryOperator, 2>;

// A name waiting to be resolved, in the scope it was written in.
struct Pending {
  Expr* expr;
  std::int32_t procedure;
  std::int32_t classIndex;
  bool target;
  bool called = false;    // the procedure of a call statement
  bool declares = false;  // a ReDim's array: declared by it when nothing else is
};

class PageCompiler {
 public:
  explicit PageCompiler(TranslatedScript script) : program_(std::make_shared<Program>()) {
    program_->script = std::move(script);
    tokens_ = Tokenize(program_->script.program);
    for (const auto name : kIntrinsicNames) DeclareGlobal(std::string(name), 0);
    program_->errSlot = GlobalSlot("err");
    program_->responseSlot = GlobalSlot("response");
  }

  // Code compiled while the page of `scope` runs, in that scope.
  PageCompiler(std::string_view text, const EnclosingScope& scope);

  std::shared_ptr<const Program> Run() {
    ParseTopLevel();
    ResolveAll();
    MarkNumericTrees();
    program_->optionExplicit = explicit_;
    return std::move(program_);
  }

  // Eval's expression, alone on its line.
  std::shared_ptr<const Program> RunExpression() {
    program_->expression = ParseExpression();
    SkipSeparators();
    if (!Is(TokenKind::End)) Fail(kExpectedEndOfStatement, "Expected end of statement");
    ResolveAll();
    MarkNumericTrees();
    return std::move(program_);
  }

 private:
  // ---- tokens ----

  const Token& Current() const { return tokens_[pos_]; }
  TokenKind Kind() const { return Current().kind; }
  int Line() const { return Current().line; }
  bool Is(TokenKind kind) const { return Kind() == kind; }
  bool IsWord(std::string_view word) const { return IsWordAhead(0, word); }
  bool IsWordAhead(std::size_t ahead, std::string_view word) const {
    const Token& token = tokens_[std::min(pos_ + ahead, tokens_.size() - 1)];
    return token.kind == TokenKind::Name && !token.bracketed && token.text == word;
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
    if (Accept(kind)) return;
    if (kind == TokenKind::LeftParen) Fail(kExpectedLeftParen, "Expected '('");
    if (kind == TokenKind::RightParen) Fail(kExpectedRightParen, "Expected ')'");
    Expected(what);
  }
  void ExpectWord(std::string_view word) {
    if (AcceptWord(word)) return;
    for (const auto& keyword : kExpectedKeywords)
      if (keyword.word == word) Fail(keyword.number, std::string(keyword.description));
    Expected("'" + std::string(word) + "'");
  }
  [[noreturn]] void ExpectedStatement() const { Fail(kExpectedStatement, "Expected statement"); }

  // A name that is no keyword, or any name in brackets.
  std::string ExpectName() {
    if (!Is(TokenKind::Name) || (!Current().bracketed && IsReserved(Current().text)))
      Fail(kExpectedIdentifier, "Expected identifier");
    std::string name = Current().text;
    Next();
    return name;
  }

  // A statement ends at a line's end, ':', the End of its block on the same
  // line (x = 1 End Sub), or the Else of a one-line If.
  bool AtStatementEnd() const {
    return Is(TokenKind::Newline) || Is(TokenKind::Colon) || Is(TokenKind::End) || IsWord("end") ||
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

  // Declares a variable of the page; in code compiled while the page runs,
  // one made when that code runs (-1), unless the page has it.
  std::int32_t DeclareGlobal(const std::string& name, int line) {
    if (scope_ != nullptr) {
      if (const std::int32_t slot = GlobalSlot(name); slot >= 0) return slot;
      auto& names = program_->runtimeNames;
      if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
      return -1;
    }
    if (GlobalSlot(name) >= 0 || program_->constants.contains(name) || procedureIndex_.contains(name)) {
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
    if (scope_ != nullptr) {
      // Code compiled while the page runs adds no slot to the page's: its
      // hidden variable is made, by a name no page can write, when it runs.
      auto e = MakeExpr(ExprKind::Name, line);
      static std::atomic<std::uint64_t> made{0};
      e->name = "\x01with" + std::to_string(made++);
      program_->runtimeNames.push_back(e->name);
      return e;
    }
    auto e = MakeExpr(ExprKind::Global, line);
    program_->globalNames.emplace_back();
    e->slot = static_cast<std::int32_t>(program_->globalNames.size() - 1);
    return e;
  }

  ExprPtr NameExpr(std::string name, int line, bool target, bool declares = false) {
    auto e = MakeExpr(ExprKind::Name, line);
    e->name = std::move(name);
    pending_.push_back({e.get(), procedure_, class_, target, false, declares});
    return e;
  }

  // ---- top level ----

  void ParseTopLevel();
  // A Sub, Function, Property or Class, with its modifiers; false when the
  // statement is none of these.
  bool TryDefinition();
  void ParseClass();
  void ParseProcedure(bool isPublic, bool isDefault);
  void Register(const Procedure& p, std::int32_t index, bool isDefault);

  // ---- statements ----

  // Statements up to one of the `ends` words at the start of a statement.
  Block ParseBlock(std::initializer_list<std::string_view> ends);
  std::unique_ptr<Stmt> NewStmt(StmtKind kind);
  std::unique_ptr<Stmt> ParseStatement();
  std::unique_ptr<Stmt> ParseAssignOrCall(bool isSet);
  void MarkCalled(const Expr& target, std::size_t pendingFrom);
  void ParseBareArguments(Expr& call);
  std::unique_ptr<Stmt> ParseVariables(bool isPublic);
  // The statements that make the array fields of the class being compiled.
  Block& FieldArrays();
  // The upper bounds of an array's dimensions, up to kMaxDimensions.
  void ParseBounds(Stmt& redim);
  std::unique_ptr<Stmt> ParseConst();
  // The value of a constant's expression: a literal, a constant, or either
  // with a sign or Not.
  Variant ConstantValue(const Expr& e);
  std::unique_ptr<Stmt> ParseReDim();
  std::unique_ptr<Stmt> ParseIf();
  Block ParseLineStatements();
  std::unique_ptr<Stmt> ParseSelect();
  std::unique_ptr<Stmt> ParseFor();
  Block ParseLoopBody();
  std::unique_ptr<Stmt> ParseDo();
  std::unique_ptr<Stmt> ParseWhile();
  std::unique_ptr<Stmt> ParseWith();
  std::unique_ptr<Stmt> ParseExit();
  std::unique_ptr<Stmt> ParseOnError();

  // ---- expressions ----

  struct Nesting {
    explicit Nesting(PageCompiler& c) : compiler(c) {
      if (++compiler.nesting_ > kMaxNesting) compiler.Fail(kSyntaxError, "Expression nested too deeply");
    }
    ~Nesting() { --compiler.nesting_; }
    PageCompiler& compiler;
  };

  ExprPtr Binary(Operator op, ExprPtr left, ExprPtr right);
  // Counts `child`, an operand, object or argument of `parent`, into the
  // depth of `parent`'s tree; refused beyond kMaxTreeDepth.
  void Deepen(Expr& parent, const Expr& child) {
    parent.depth = std::max(parent.depth, child.depth + 1);
    if (parent.depth > kMaxTreeDepth) Fail(kSyntaxError, "Expression nested too deeply");
  }
  ExprPtr ParseExpression();
  // The binary operator at the current token of a level of `levels` from
  // `from` on (later levels bind tighter), and that level; null when none.
  const BinaryOperator* OperatorAt(std::span<const OperatorLevel> levels, std::size_t from,
                                   std::size_t& level) const;
  // `left`, then the operators of `levels` from `from` on, each with what
  // `innermost` parses on its right; every level groups from the left.
  ExprPtr ParseBinary(std::span<const OperatorLevel> levels, std::size_t from,
                      ExprPtr (PageCompiler::*innermost)(), ExprPtr left);
  // The arithmetic levels, from & down to * and /.
  ExprPtr ParseArithmetic();
  ExprPtr ParseNot();
  // The comparison operator at the current token; Operator::Add for none.
  Operator ComparisonOperator() const;

  ExprPtr ParseComparison();
  ExprPtr ParseUnary();
  ExprPtr ParsePower();
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  // Where the argument list of the last name or member of a chain started,
  // and what was pending then, for a call statement without Call, whose
  // parentheses may belong to its first argument: Response.Write (x)(0).
  struct ParenGroup {
    std::size_t start = kNone;
    std::size_t pending = 0;
    std::size_t news = 0;
    Expr* callee = nullptr;
  };

  void ParseArguments(Expr& e, ParenGroup* group);
  // An argument left out of a list (f(a, , c)): the value Variant::Missing().
  ExprPtr MissingArgument();
  ExprPtr ParsePostfix(ParenGroup* group, bool statementStart);
  ExprPtr ParsePrimary(ParenGroup* group, bool statementStart);

  // ---- resolution ----

  void ResolveAll();
  // Marks the trees the runtime may work out on plain numbers (Expr::numeric).
  void MarkNumericTrees();
  void Resolve(const Pending& pending);
  // Places a name of code compiled while the page runs among the locals,
  // constants and members of the procedure that runs it; false when none.
  bool ResolveInScope(Expr& e, const Pending& pending);

  static constexpr std::int32_t kIllegalAssignmentCompile = oleaut::kIllegalAssignment;

  void MakeConstant(Expr& e, const Variant& value, bool target);
  static void Bind(Expr& e, ExprKind kind, std::int32_t slot);

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
  // Set for code compiled while a page runs.
  const EnclosingScope* scope_ = nullptr;
  DeadlineTicker<1024> deadline_;
};

}  // namespace kelvane::host::vbscript::compiling
