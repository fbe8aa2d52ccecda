#pragma once
// What RegExp.Execute gives: a Matches collection (Count, Item — the
// default member —, For Each) of Match objects (Value — the default —,
// FirstIndex and Length in characters, SubMatches: a collection of the
// groups' texts, Empty for a group that took no part). Items are numbered
// from 0; an index out of range raises 5. All of them are read-only.

#include <memory>
#include <string>
#include <vector>

#include "platform/oleaut/Dispatch.h"

namespace kelvane::host::vbscript {

struct MatchRecord {
  std::string value;
  oleaut::Long firstIndex = 0;
  oleaut::Long length = 0;
  std::vector<oleaut::Variant> subMatches;
};

std::shared_ptr<oleaut::IDispatch> MakeMatches(std::vector<MatchRecord> matches);

}  // namespace kelvane::host::vbscript
