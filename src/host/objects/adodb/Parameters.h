#pragma once
// The Parameters of a Command (Count, Item by name or ordinal as the
// default member, Append, Delete, Refresh, For Each) and each Parameter:
// Name, Type, Direction, Size, Precision, NumericScale, Value (the default
// member). Values are bound to the statement's markers (?) in order, as
// the parameter's type takes them, never spliced into its text.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/oleaut/Dispatch.h"

namespace kelvane::host::adodb {

class ParameterObject : public oleaut::IDispatch {
 public:
  std::optional<oleaut::DISPID> GetIDOfName(std::string_view name) const override;
  const oleaut::InterfaceDesc* GetTypeInfo() const override;
  oleaut::Variant Invoke(oleaut::DISPID id, std::uint16_t kind, std::span<const oleaut::Variant> args) override;

  std::string name;
  oleaut::Long type = 0;       // adEmpty: as the value is
  oleaut::Long direction = 1;  // adParamInput
  oleaut::Long size = 0;
  oleaut::Byte precision = 0;
  oleaut::Byte numericScale = 0;
  oleaut::Variant value;
};

// A parameter made by CreateParameter(name, type, direction, size, value),
// every argument optional.
std::shared_ptr<ParameterObject> CreateParameter(std::span<const oleaut::Variant> args);

class ParametersCollection : public oleaut::IDispatch {
 public:
  // `countMarkers` tells how many markers the command's text has, for Refresh.
  explicit ParametersCollection(std::function<std::size_t()> countMarkers);

  // The values to bind: `given` (an array a call passed, or nothing) in
  // place of the parameters' own, each as its parameter's type takes it.
  // 3251 for a parameter that is not input only.
  std::vector<oleaut::Variant> Values(const oleaut::Variant& given) const;

  std::optional<oleaut::DISPID> GetIDOfName(std::string_view name) const override;
  const oleaut::InterfaceDesc* GetTypeInfo() const override;
  oleaut::Variant Invoke(oleaut::DISPID id, std::uint16_t kind, std::span<const oleaut::Variant> args) override;

 private:
  std::size_t IndexOf(const oleaut::Variant& key) const;

  std::function<std::size_t()> countMarkers_;
  std::vector<std::shared_ptr<ParameterObject>> parameters_;
};

}  // namespace kelvane::host::adodb
