#pragma once
// Descriptions of a type library and the types it holds, as a client reads
// them to learn what a component offers.

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/oleaut/Dispatch.h"
#include "platform/oleaut/Variant.h"

namespace kelvane::oleaut {

struct GUID {
  std::uint32_t Data1 = 0;
  std::uint16_t Data2 = 0;
  std::uint16_t Data3 = 0;
  std::uint8_t Data4[8] = {};

  bool operator==(const GUID&) const = default;
};

// Interface flags, numbered as type libraries number them.
enum TypeFlags : std::uint16_t {
  TYPEFLAG_FCANCREATE = 0x2,
  TYPEFLAG_FHIDDEN = 0x10,
  TYPEFLAG_FDUAL = 0x40,
  TYPEFLAG_FNONEXTENSIBLE = 0x80,
  TYPEFLAG_FOLEAUTOMATION = 0x100,
};

struct ParamDesc {
  std::string_view name;
  VarType type;
};

// One entry of an interface's function table: a method, or one accessor
// of a property (get, put or put-ref share the property's DISPID).
struct FuncDesc {
  DISPID id = 0;
  std::string_view name;
  InvokeKind kind = DISPATCH_METHOD;
  std::vector<ParamDesc> params;
  VarType result = VarType::Void;
};

struct InterfaceDesc {
  std::string_view name;
  GUID guid;
  std::uint16_t flags = 0;
  std::string_view base;
  std::vector<FuncDesc> functions;  // in function-table order
};

// The DISPID of the member `name` of `desc`, matched without regard to case;
// nullopt when it has none.
std::optional<DISPID> FindMember(const InterfaceDesc& desc, std::string_view name);

struct FieldDesc {
  std::string_view name;
  VarType type;
  std::uint32_t offset;
};

struct RecordDesc {
  std::string_view name;
  GUID guid;
  std::uint32_t size;
  std::vector<FieldDesc> fields;
};

struct ImplementedInterface {
  std::string_view name;
  bool isDefault;
};

struct CoClassDesc {
  std::string_view name;
  GUID guid;
  std::uint16_t flags;
  std::vector<ImplementedInterface> interfaces;
};

struct TypeLibraryDesc {
  std::string_view name;
  GUID guid;
  std::uint16_t majorVersion;
  std::uint16_t minorVersion;
  std::vector<CoClassDesc> coclasses;
  std::vector<InterfaceDesc> interfaces;
  std::vector<RecordDesc> records;
};

}  // namespace kelvane::oleaut
