#pragma once
// The compiled form of a page: a tree of statements and expressions whose
// names are all resolved to slots (locals, globals, fields), procedures,
// built-in functions or constants, so that running it never looks a
// variable up by its name. A Program is immutable once compiled.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/vbscript/AspTranslator.h"
#include "platform/oleaut/Variant.h"

namespace kelvane::host::vbscript {

// A built-in function; its arguments may be moved from.
using Builtin = oleaut::Variant (*)(std::span<oleaut::Variant> args);

enum class ExprKind : std::uint8_t {
  Constant,     // value
  Name,         // found by name when it runs: a name the compiler could not place
  Local,        // slot of the running procedure; args: an index or a default call
  Global,       // slot of the page
  Field,        // slot of Me
  Undefined,    // a name under Option Explicit that was never declared: 500
  Unqualified,  // the object of a '.' outside With: 505
  Call,         // procedures[slot] with args
  BuiltinCall,  // builtin with args
  Member,       // object.name(args); object is null inside With: the With slot
  Index,        // left(args): an element of the array, or the default member of the object, left gives
  Unary,        // op on left
  Binary,       // left op right
  Me,
  New,          // classes[slot]; -1: a class made at run time, found by name
  ScriptCall,   // Eval, Execute, ExecuteGlobal or GetRef (slot: a ScriptFunction) with args
};

// The built-ins that reach into the running page rather than take values.
enum class ScriptFunction : std::int32_t { Eval, Execute, ExecuteGlobal, GetRef };

enum class Operator : std::uint8_t {
  Negate, Not,
  Power, Multiply, Divide, IntegerDivide, Modulo, Add, Subtract, Concatenate,
  Equal, NotEqual, Less, Greater, LessEqual, GreaterEqual, Is,
  And, Or, Xor, Eqv, Imp,
};

// =, <>, <, >, <= and >=.
inline bool IsComparison(Operator op) { return op >= Operator::Equal && op <= Operator::GreaterEqual; }

struct Expr {
  ExprKind kind = ExprKind::Constant;
  Operator op = Operator::Add;
  bool parenthesized = false;  // written in its own parentheses: passed by value
  bool hasArgs = false;        // an argument list in parentheses follows
  // A sum, difference, product, quotient, remainder, negation or comparison
  // whose operands are constants, variables read without arguments or such
  // trees (comparisons aside): it calls nothing and changes nothing, so the
  // runtime may work it out on plain numbers first and, should a value be
  // none, again the general way.
  bool numeric = false;
  // The levels of the tree this node heads: 1 for a leaf.
  std::int32_t depth = 1;
  std::int32_t slot = 0;
  int line = 0;
  Builtin builtin = nullptr;
  std::string name;  // a member's or an unresolved name, folded
  oleaut::Variant value;
  std::unique_ptr<Expr> left;   // Member's object, Unary's and Binary's operand
  std::unique_ptr<Expr> right;  // Binary's right operand
  std::vector<std::unique_ptr<Expr>> args;
};

// A name that stands for a variable, with or without arguments: a local, a
// global, a field, or a name found when the page runs. Passed as an
// argument, it is passed by reference.
inline bool NamesVariable(const Expr& e) {
  return e.kind == ExprKind::Local || e.kind == ExprKind::Global || e.kind == ExprKind::Field ||
         e.kind == ExprKind::Name;
}

// A variable named without arguments: a local, a global or a field.
inline bool IsPlainVariable(const Expr& e) {
  return (e.kind == ExprKind::Local || e.kind == ExprKind::Global || e.kind == ExprKind::Field) && !e.hasArgs;
}

using ExprPtr = std::unique_ptr<Expr>;
struct Stmt;
using Block = std::vector<std::unique_ptr<Stmt>>;

enum class StmtKind : std::uint8_t {
  Assign,       // target = value
  Set,          // Set target = value
  CallStmt,     // an expression called as a statement
  If,           // branches, elseBody
  Select,       // value, cases, elseBody
  For,          // target = value To limit [Step step]
  ForEach,      // target In value
  Do,           // condition (may be null) tested before or after, while or until
  ExitFor,
  ExitDo,
  ExitProcedure,
  ReDim,        // target(bounds), preserve
  Erase,        // target
  OnErrorResumeNext,
  OnErrorGoto0,
  With,         // slot = value; body
  WriteText,    // texts[slot]
  WriteValue,   // value
  Randomize,    // value may be null
};

struct CaseTest {
  Operator op = Operator::Equal;  // Equal, or an Is comparison; To ranges use high
  ExprPtr low;
  ExprPtr high;
};

struct CaseClause {
  std::vector<CaseTest> tests;
  Block body;
};

struct Branch {
  ExprPtr condition;
  Block body;
};

struct Stmt {
  StmtKind kind = StmtKind::CallStmt;
  int line = 0;
  bool flag = false;  // Do: test after the body; ReDim: Preserve
  bool until = false; // Do: loop until the condition holds
  std::int32_t slot = 0;
  ExprPtr target;
  ExprPtr value;
  ExprPtr limit;
  ExprPtr step;
  std::vector<ExprPtr> bounds;
  std::vector<Branch> branches;
  std::vector<CaseClause> cases;
  Block body;
  Block elseBody;
};

enum class ProcedureKind : std::uint8_t { Sub, Function, PropertyGet, PropertyLet, PropertySet };

struct Procedure {
  std::string name;  // as written
  ProcedureKind kind = ProcedureKind::Sub;
  std::int32_t classIndex = -1;
  bool isPublic = true;
  std::vector<bool> byRef;  // per parameter; parameters are slots 1 .. n
  std::int32_t slotCount = 1;  // slot 0 holds a function's result
  std::vector<std::string> slotNames;
  std::unordered_map<std::string, oleaut::Variant> constants;
  Block body;
  int line = 0;
};

struct ClassMember {
  std::string name;  // as written
  bool isPublic = true;
  std::int32_t field = -1;
  std::int32_t method = -1;  // a Sub or Function
  std::int32_t get = -1;
  std::int32_t let = -1;
  std::int32_t set = -1;
};

struct ClassInfo {
  std::string name;  // as written
  std::vector<std::string> fieldNames;  // folded
  std::vector<ClassMember> members;     // DISPID is the index + 1
  std::unordered_map<std::string, std::int32_t> memberIndex;  // folded name -> index
  std::int32_t initialize = -1;
  std::int32_t terminate = -1;
  std::int32_t defaultMember = -1;
  std::int32_t fieldArrays = -1;  // a procedure that makes the array fields, run before initialize
};

// A number no other Program of this process has.
std::uint64_t NewProgramId();

struct Program {
  std::uint64_t id = NewProgramId();
  Block main;
  std::vector<Procedure> procedures;
  std::vector<ClassInfo> classes;
  std::vector<std::string> globalNames;  // folded; hidden slots have empty names
  std::unordered_map<std::string, oleaut::Variant> constants;
  std::int32_t errSlot = -1;
  std::int32_t responseSlot = -1;
  bool optionExplicit = false;
  TranslatedScript script;
  // Code compiled while a page runs (Eval, Execute, ExecuteGlobal) numbers
  // its own procedures and classes after the page's, so that one index
  // reaches either; the page's are 0 for the page itself.
  std::int32_t procedureBase = 0;
  std::int32_t classBase = 0;
  // Variables such code declares at its top level: they live in the running
  // page's table of variables made at run time (folded names).
  std::vector<std::string> runtimeNames;
  // Eval's expression.
  std::unique_ptr<Expr> expression;
};

}  // namespace kelvane::host::vbscript
