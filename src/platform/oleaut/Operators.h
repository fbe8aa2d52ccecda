#pragma once
// Comparison and addition of variants, by the runtime's rules.
//
// Comparison depends on the static types of the two sides:
// - both variants: numbers compare numerically, texts as bytes, a number is
//   less than any text, Empty is 0 beside a number and "" beside a text;
// - a variant against a typed text: the variant is compared as text;
// - a variant against a typed number: the variant is read as a number (a
//   text that is no number raises 13; Empty is 0).
// Null on either side gives Comparison::Null, which is not equal.

#include <string>
#include <string_view>

#include "platform/oleaut/Variant.h"

namespace kelvane::oleaut {

enum class Comparison { Less, Equal, Greater, Null };

// Whether a variant holds a number: Byte to Double, Boolean or Date.
bool HoldsNumber(const Variant& v);

Comparison Compare(const Variant& lhs, const Variant& rhs);
Comparison CompareWithText(const Variant& lhs, std::string_view rhs);
// `rhs` is a number; a Single beside a Double compares in single precision.
Comparison CompareWithNumber(const Variant& lhs, const Variant& rhs);

// Variant addition: Null + x is Null; Empty + x is x (Empty + Empty is the
// Integer 0); text + text joins; text + number adds the text read as a
// Double (13 when it is no number); numbers add in the wider of the two
// types (Boolean counts as Integer, Single + Long as Double; the order is
// Byte, Integer, Long, Single, Currency, Double), an Integer sum
// that overflows becomes a Long, a Long one a Double, a Byte one an Integer,
// a Single one a Double; a Currency or Double sum that overflows raises 6.
// A Date with a number adds to a Date.
Variant Add(const Variant& lhs, const Variant& rhs);

// Subtraction and multiplication follow the number rules of addition (text
// is read as a Double, Empty is 0, Null gives Null). A Date less a number is
// a Date, a Date less a Date a Double.
Variant Subtract(const Variant& lhs, const Variant& rhs);
Variant Multiply(const Variant& lhs, const Variant& rhs);
// A Double quotient (a Single one when a side is Single and neither Long or
// Double); 11 for a zero divisor.
Variant Divide(const Variant& lhs, const Variant& rhs);
// Whole-number division and remainder: both sides rounded to whole numbers,
// ties to even (6 beyond the Long range); Integer when both sides are
// Integer-sized, else Long; 11 for a zero divisor. The remainder takes the
// sign of the dividend.
Variant IntegerDivide(const Variant& lhs, const Variant& rhs);
Variant Modulo(const Variant& lhs, const Variant& rhs);
// A Double power; 5 for a negative base with a fractional exponent.
Variant Power(const Variant& lhs, const Variant& rhs);
// Unary minus: the negated Integer of -32768 is a Long, of the least Long a
// Double; Empty gives Integer 0, a Boolean an Integer.
Variant Negate(const Variant& operand);
// Joins the text of both sides; Null counts as "", but Null & Null is Null.
// Beside a byte array (a byte string) the result is a byte array: the
// bytes of both sides, text as its UTF-16 code units, low byte first.
Variant Concatenate(const Variant& lhs, const Variant& rhs);
// Appends to `text` what `&` joins for `piece` (nothing for Null); false,
// with `text` as it was, for an object or an array, which `&` reads for its
// default value, joins as bytes or refuses: Concatenate decides those.
bool AppendJoinedText(std::string& text, const Variant& piece);

// The bitwise operators. Two Booleans give a Boolean, two Bytes a Byte,
// Integer-sized sides an Integer, anything else a Long. Null gives Null,
// except where the other side decides alone: Null And 0 is 0, Null Or -1 is
// -1, Null Imp -1 and 0 Imp Null are -1.
Variant Not(const Variant& operand);
Variant And(const Variant& lhs, const Variant& rhs);
Variant Or(const Variant& lhs, const Variant& rhs);
Variant Xor(const Variant& lhs, const Variant& rhs);
Variant Eqv(const Variant& lhs, const Variant& rhs);
Variant Imp(const Variant& lhs, const Variant& rhs);

}  // namespace kelvane::oleaut
