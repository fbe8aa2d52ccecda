// Expressions, by the language's precedence, and the chains of calls and
// members that start statements.
#include "host/vbscript/PageCompiler.h"

#include <array>
#include <span>

namespace kelvane::host::vbscript::compiling {

ExprPtr PageCompiler::Binary(Operator op, ExprPtr left, ExprPtr right) {
  auto e = MakeExpr(ExprKind::Binary, left->line);
  e->op = op;
  e->left = std::move(left);
  e->right = std::move(right);
  Deepen(*e, *e->left);
  Deepen(*e, *e->right);
  return e;
}

namespace {

// The binary operators by level of precedence, loosest first: the logical
// levels above Not, then the arithmetic levels below the comparisons.
constexpr std::array<OperatorLevel, 5> kLogicalLevels = {{
    {{{TokenKind::Name, "imp", Operator::Imp}}},
    {{{TokenKind::Name, "eqv", Operator::Eqv}}},
    {{{TokenKind::Name, "xor", Operator::Xor}}},
    {{{TokenKind::Name, "or", Operator::Or}}},
    {{{TokenKind::Name, "and", Operator::And}}},
}};
constexpr std::array<OperatorLevel, 5> kArithmeticLevels = {{
    {{{TokenKind::Ampersand, {}, Operator::Concatenate}}},
    {{{TokenKind::Plus, {}, Operator::Add}, {TokenKind::Minus, {}, Operator::Subtract}}},
    {{{TokenKind::Name, "mod", Operator::Modulo}}},
    {{{TokenKind::Backslash, {}, Operator::IntegerDivide}}},
    {{{TokenKind::Star, {}, Operator::Multiply}, {TokenKind::Slash, {}, Operator::Divide}}},
}};

}  // namespace

ExprPtr PageCompiler::ParseExpression() {
  const Nesting nesting(*this);
  return ParseBinary(kLogicalLevels, 0, &PageCompiler::ParseNot, ParseNot());
}

ExprPtr PageCompiler::ParseArithmetic() {
  return ParseBinary(kArithmeticLevels, 0, &PageCompiler::ParsePower, ParsePower());
}

const BinaryOperator* PageCompiler::OperatorAt(std::span<const OperatorLevel> levels, std::size_t from,
                                               std::size_t& level) const {
  const Token& token = Current();
  if (token.kind == TokenKind::End) return nullptr;  // the kind of unused entries
  for (std::size_t l = from; l < levels.size(); ++l) {
    for (const auto& candidate : levels[l]) {
      if (candidate.kind != token.kind) continue;
      if (!candidate.word.empty() && (token.bracketed || token.text != candidate.word)) continue;
      level = l;
      return &candidate;
    }
  }
  return nullptr;
}

ExprPtr PageCompiler::ParseBinary(std::span<const OperatorLevel> levels, std::size_t from,
                                  ExprPtr (PageCompiler::*innermost)(), ExprPtr left) {
  std::size_t level = 0;
  while (const BinaryOperator* found = OperatorAt(levels, from, level)) {
    Next();
    ExprPtr right = (this->*innermost)();
    // What binds tighter than this operator belongs to its right operand.
    std::size_t tighter = 0;
    if (OperatorAt(levels, level + 1, tighter))
      right = ParseBinary(levels, level + 1, innermost, std::move(right));
    left = Binary(found->op, std::move(left), std::move(right));
  }
  return left;
}

ExprPtr PageCompiler::ParseNot() {
  if (IsWord("not")) {
    const Nesting nesting(*this);
    auto e = MakeExpr(ExprKind::Unary, Line());
    Next();
    e->op = Operator::Not;
    e->left = ParseNot();
    Deepen(*e, *e->left);
    return e;
  }
  return ParseComparison();
}

Operator PageCompiler::ComparisonOperator() const {
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

ExprPtr PageCompiler::ParseComparison() {
  auto e = ParseArithmetic();
  for (Operator op = ComparisonOperator(); op != Operator::Add; op = ComparisonOperator()) {
    Next();
    e = Binary(op, std::move(e), ParseArithmetic());
  }
  return e;
}

// ^ groups from the left, and its operands may carry a sign: the sign binds
// tighter, so -3 ^ 2 is 9 and 2 ^ -1 is 0.5.
ExprPtr PageCompiler::ParsePower() {
  auto e = ParseUnary();
  while (Accept(TokenKind::Caret)) {
    const Nesting nesting(*this);
    e = Binary(Operator::Power, std::move(e), ParseUnary());
  }
  return e;
}

ExprPtr PageCompiler::ParseUnary() {
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
    Deepen(*e, *e->left);
    return e;
  }
  return ParsePostfix(nullptr, false);
}

void PageCompiler::ParseArguments(Expr& e, ParenGroup* group) {
  if (group != nullptr) *group = {pos_, pending_.size(), newExprs_.size(), &e};
  Next();
  e.hasArgs = true;
  if (Accept(TokenKind::RightParen)) return;
  do {
    e.args.push_back(Is(TokenKind::Comma) || Is(TokenKind::RightParen) ? MissingArgument() : ParseExpression());
    Deepen(e, *e.args.back());
  } while (Accept(TokenKind::Comma));
  Expect(TokenKind::RightParen, "')'");
}

ExprPtr PageCompiler::MissingArgument() {
  auto e = MakeExpr(ExprKind::Constant, Line());
  e->value = Variant::Missing();
  return e;
}

ExprPtr PageCompiler::ParsePostfix(ParenGroup* group, bool statementStart) {
  ExprPtr e = ParsePrimary(group, statementStart);
  while ((Is(TokenKind::Dot) && !Current().spaceBefore) ||
         (Is(TokenKind::LeftParen) && (e->hasArgs || e->parenthesized))) {
    if (Is(TokenKind::LeftParen) && e->kind == ExprKind::Name && !e->hasArgs) {
      // A name in parentheses called: (f)(2) calls f, as f(2) does.
      e->parenthesized = false;
      ParseArguments(*e, group);
      continue;
    }
    if (Is(TokenKind::LeftParen)) {
      // A call's result indexed or called in turn: Split(s, ",")(0).
      auto index = MakeExpr(ExprKind::Index, Line());
      index->left = std::move(e);
      Deepen(*index, *index->left);
      ParseArguments(*index, nullptr);
      e = std::move(index);
      continue;
    }
    if (e->kind == ExprKind::Constant) Expected("an object before '.'");
    const int line = Line();
    Next();
    if (!Is(TokenKind::Name)) Expected("a member name");
    auto member = MakeExpr(ExprKind::Member, line);
    member->name = Current().text;
    member->left = std::move(e);
    Deepen(*member, *member->left);
    Next();
    if (group != nullptr) group->start = kNone;
    if (Is(TokenKind::LeftParen)) ParseArguments(*member, group);
    e = std::move(member);
  }
  return e;
}

ExprPtr PageCompiler::ParsePrimary(ParenGroup* group, bool statementStart) {
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
      if (statementStart) ExpectedStatement();
      Next();
      auto e = ParseExpression();
      Expect(TokenKind::RightParen, "')'");
      e->parenthesized = true;
      return e;
    }
    case TokenKind::Dot: {
      Next();
      if (!Is(TokenKind::Name)) Expected("a member name");
      auto e = MakeExpr(ExprKind::Member, line);
      e->name = Current().text;
      if (withSlots_.empty()) {
        e->left = MakeExpr(ExprKind::Unqualified, line);
      } else {
        e->left = MakeExpr(withSlots_.back()->kind, line);
        e->left->slot = withSlots_.back()->slot;
        e->left->name = withSlots_.back()->name;
      }
      Next();
      if (Is(TokenKind::LeftParen)) ParseArguments(*e, group);
      return e;
    }
    case TokenKind::Name: break;
    default: Expected("an expression");
  }
  const std::string word = Current().text;
  const bool keyword = !Current().bracketed && IsReserved(word);
  if (keyword && (word == "true" || word == "false" || word == "empty" || word == "null" || word == "nothing")) {
    auto e = MakeExpr(ExprKind::Constant, line);
    if (word == "true") e->value = oleaut::VariantBool::True;
    else if (word == "false") e->value = oleaut::VariantBool::False;
    else if (word == "null") e->value = Variant::Null();
    else if (word == "nothing") e->value = Variant::Nothing();
    Next();
    return e;
  }
  if (keyword && word == "me") {
    if (class_ < 0 && (scope_ == nullptr || scope_->classIndex < 0))
      Fail(kSyntaxError, "Syntax error: Me outside a class");
    Next();
    return MakeExpr(ExprKind::Me, line);
  }
  if (keyword && word == "new") {
    Next();
    auto e = MakeExpr(ExprKind::New, line);
    e->name = ExpectName();
    newExprs_.push_back(e.get());
    return e;
  }
  if (keyword) Fail(kSyntaxError, "Syntax error: unexpected '" + word + "'");
  Next();
  auto e = NameExpr(word, line, false);
  if (Is(TokenKind::LeftParen)) ParseArguments(*e, group);
  return e;
}

}  // namespace kelvane::host::vbscript::compiling
