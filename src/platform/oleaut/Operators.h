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

#include <string_view>

#include "platform/oleaut/Variant.h"

namespace kelvane::oleaut {

enum class Comparison { Less, Equal, Greater, Null };

Comparison Compare(const Variant& lhs, const Variant& rhs);
Comparison CompareWithText(const Variant& lhs, std::string_view rhs);
Comparison CompareWithNumber(const Variant& lhs, double rhs);

// Variant addition: Null + x is Null; Empty + x is x (Empty + Empty is the
// Integer 0); text + text joins; text + number adds the text read as a
// Double (13 when it is no number); numbers add in the wider of the two
// types (Boolean counts as Integer, Single + Long as Double), an Integer sum
// that overflows becomes a Long, a Long one a Double, a Byte one an Integer,
// a Single one a Double; a Double sum that overflows raises 6.
Variant Add(const Variant& lhs, const Variant& rhs);

}  // namespace kelvane::oleaut
