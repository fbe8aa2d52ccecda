#pragma once
// The RegExp object (New RegExp, or CreateObject("VBScript.RegExp")):
// Pattern ("" by default, which matches everywhere), Global, IgnoreCase and
// Multiline (False by default); Test(text), Execute(text) giving a Matches
// collection, and Replace(text, with), where `with` may name $1 to $99 (a
// group the pattern has), $& the match, $` what precedes it, $' what follows
// it and $$ a dollar. Global finds every match, else only the first; after
// an empty match the next search starts one character on. Positions and
// lengths count characters, as Len does.
//
// The pattern (RegExpSyntax.h) is compiled when first used after a change
// of Pattern, IgnoreCase or Multiline: a faulty one raises 5017 to 5021
// there. Matching runs on PCRE2's JIT with limits on its steps and its
// stack at each place of the text it is tried: a match that passes them
// raises 28 "Out of stack space". A search stops at the page's deadline.

#include <memory>

#include "platform/oleaut/Dispatch.h"

namespace kelvane::host::vbscript {

std::shared_ptr<oleaut::IDispatch> CreateRegExp();

}  // namespace kelvane::host::vbscript
