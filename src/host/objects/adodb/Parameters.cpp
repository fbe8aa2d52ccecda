#include "host/objects/adodb/Parameters.h"

#include "host/objects/adodb/AdoErrors.h"
#include "host/objects/adodb/Members.h"
#include "host/objects/adodb/Values.h"
#include "platform/oleaut/Conversion.h"

namespace kelvane::host::adodb {

namespace {

using namespace oleaut;

constexpr const char* kParameters = "ADODB.Parameters";

enum ParameterMember : DISPID {
  kValue = DISPID_VALUE, kName = 1, kType, kDirection, kSize, kPrecision, kNumericScale,
};

enum CollectionMember : DISPID { kItem = DISPID_VALUE, kCount = 1, kAppend, kDelete, kRefresh };

// ParameterDirectionEnum: what a parameter can be and still be bound.
constexpr Long adParamUnknown = 0;
constexpr Long adParamInput = 1;

const InterfaceDesc& ParameterDescription() {
  static const InterfaceDesc description = DescribeMembers(
      "Parameter", {{kValue, "Value", false}, {kName, "Name", false}, {kType, "Type", false},
                    {kDirection, "Direction", false}, {kSize, "Size", false}, {kPrecision, "Precision", false},
                    {kNumericScale, "NumericScale", false}});
  return description;
}

const InterfaceDesc& CollectionDescription() {
  static const InterfaceDesc description = DescribeMembers(
      "Parameters", {{kItem, "Item", true}, {kCount, "Count", false}, {kAppend, "Append", true},
                     {kDelete, "Delete", true}, {kRefresh, "Refresh", true}});
  return description;
}

}  // namespace

std::optional<DISPID> ParameterObject::GetIDOfName(std::string_view member) const {
  return FindMember(ParameterDescription(), member);
}

const InterfaceDesc* ParameterObject::GetTypeInfo() const { return &ParameterDescription(); }

Variant ParameterObject::Invoke(DISPID id, std::uint16_t kind, std::span<const Variant> args) {
  if (IsPut(kind)) {
    ExpectArgs(args, 1, 1);
    const Variant& given = args[0];
    switch (id) {
      case kValue: value = given.IsObject() ? ValueOf(given) : given; return {};
      case kName: name = VariantTo<std::string>(given); return {};
      case kType: type = VariantTo<Long>(given); return {};
      case kDirection: direction = VariantTo<Long>(given); return {};
      case kSize: size = VariantTo<Long>(given); return {};
      case kPrecision: precision = VariantTo<Byte>(given); return {};
      case kNumericScale: numericScale = VariantTo<Byte>(given); return {};
      default: RaiseRuntimeError(kMemberNotFound);
    }
  }
  ExpectArgs(args, 0, 0);
  switch (id) {
    case kValue: return value;
    case kName: return name;
    case kType: return type;
    case kDirection: return direction;
    case kSize: return size;
    case kPrecision: return precision;
    case kNumericScale: return numericScale;
    default: RaiseRuntimeError(kMemberNotFound);
  }
}

std::shared_ptr<ParameterObject> CreateParameter(std::span<const Variant> args) {
  auto parameter = std::make_shared<ParameterObject>();
  if (Given(args, 0)) parameter->name = VariantTo<std::string>(args[0]);
  if (Given(args, 1)) parameter->type = VariantTo<Long>(args[1]);
  if (Given(args, 2)) parameter->direction = VariantTo<Long>(args[2]);
  if (Given(args, 3)) parameter->size = VariantTo<Long>(args[3]);
  if (Given(args, 4)) parameter->value = args[4].IsObject() ? ValueOf(args[4]) : args[4];
  return parameter;
}

ParametersCollection::ParametersCollection(std::function<std::size_t()> countMarkers)
    : countMarkers_(std::move(countMarkers)) {}

std::vector<Variant> ParametersCollection::Values(const Variant& given) const {
  const auto* array = given.If<ArrayRef>();
  if (!given.IsMissing() && !given.IsEmpty() && array == nullptr) RaiseAdo(kWrongArguments, kParameters);
  const std::size_t count = array != nullptr ? (*array)->elements.size() : parameters_.size();
  std::vector<Variant> values;
  values.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const Variant& value = array != nullptr ? (*array)->elements[i] : parameters_[i]->value;
    if (i >= parameters_.size()) {
      values.push_back(value.IsObject() ? ValueOf(value) : value);
      continue;
    }
    const ParameterObject& parameter = *parameters_[i];
    if (parameter.direction != adParamInput && parameter.direction != adParamUnknown)
      RaiseAdo(kNotCapable, kParameters);
    values.push_back(AsAdoType(value, parameter.type));
  }
  return values;
}

std::size_t ParametersCollection::IndexOf(const Variant& key) const {
  const auto index = FindItem(key, parameters_.size(), [&](std::size_t i) -> const std::string& {
    return parameters_[i]->name;
  });
  if (!index) RaiseAdo(kNotInCollection, kParameters);
  return *index;
}

std::optional<DISPID> ParametersCollection::GetIDOfName(std::string_view name) const {
  return FindMember(CollectionDescription(), name);
}

const InterfaceDesc* ParametersCollection::GetTypeInfo() const { return &CollectionDescription(); }

Variant ParametersCollection::Invoke(DISPID id, std::uint16_t kind, std::span<const Variant> args) {
  if (IsPut(kind)) RaiseRuntimeError(kMemberNotFound);
  switch (id) {
    case kItem: ExpectArgs(args, 1, 1); return ObjectRef(parameters_[IndexOf(args[0])]);
    case kCount: ExpectArgs(args, 0, 0); return static_cast<Long>(parameters_.size());
    case kAppend: {
      ExpectArgs(args, 1, 1);
      auto parameter = std::dynamic_pointer_cast<ParameterObject>(ToObject(args[0]));
      if (parameter == nullptr) RaiseAdo(kWrongArguments, kParameters);
      parameters_.push_back(std::move(parameter));
      return {};
    }
    case kDelete:
      ExpectArgs(args, 1, 1);
      parameters_.erase(parameters_.begin() + static_cast<std::ptrdiff_t>(IndexOf(args[0])));
      return {};
    case kRefresh: {
      ExpectArgs(args, 0, 0);
      const std::size_t count = countMarkers_();
      parameters_.clear();
      for (std::size_t i = 0; i < count; ++i) parameters_.push_back(std::make_shared<ParameterObject>());
      return {};
    }
    case DISPID_NEWENUM:
      return ObjectRef(std::make_shared<ListEnumerator>(std::vector<Variant>(parameters_.begin(), parameters_.end())));
    default: RaiseRuntimeError(kMemberNotFound);
  }
}

}  // namespace kelvane::host::adodb
