#pragma once
// Dispatch by name for a C++ class: a table of bindings, one for each entry
// of the class's function table, each naming a member function. The
// parameter and result types of the table come from the member functions
// themselves, so the description that clients read and the coercion of
// arguments can never disagree. A trailing parameter of type std::optional<T>
// may be left out, or given as a missing argument: it is then nullopt.

#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/Conversion.h"
#include "platform/oleaut/Dispatch.h"
#include "platform/oleaut/TypeLibrary.h"

namespace kelvane::oleaut {

template <class T>
struct Binding {
  FuncDesc desc;
  std::size_t required = 0;  // the parameters before the optional ones
  Variant (*call)(T& self, std::span<const Variant> args);
};

namespace detail {

template <class T>
constexpr bool kIsOptional = false;
template <class T>
constexpr bool kIsOptional<std::optional<T>> = true;

template <class T>
constexpr VarType kParamType = kVarTypeOf<T>;
template <class T>
constexpr VarType kParamType<std::optional<T>> = kVarTypeOf<T>;

// Argument `i` converted for a parameter of type A; nullopt for an optional
// one left out.
template <class A>
A ArgumentAt(std::span<const Variant> args, std::size_t i) {
  if constexpr (kIsOptional<A>) {
    if (i >= args.size() || args[i].IsMissing()) return std::nullopt;
    return VariantTo<typename A::value_type>(args[i]);
  } else {
    return VariantTo<A>(args[i]);
  }
}

template <class F>
struct MemberTraits;

template <class C, class R, class... A>
struct MemberTraits<R (C::*)(A...)> {
  using Class = C;
  using Result = R;
  using Args = std::tuple<std::decay_t<A>...>;
};

template <class C, class R, class... A>
struct MemberTraits<R (C::*)(A...) const> : MemberTraits<R (C::*)(A...)> {};

// Converts the arguments left to right (the first that fails raises its
// error before the member runs), then calls the member.
template <auto Member, class... A>
Variant CallMember(typename MemberTraits<decltype(Member)>::Class& self,
                   std::span<const Variant> args, std::tuple<A...>*) {
  using R = typename MemberTraits<decltype(Member)>::Result;
  return [&]<std::size_t... I>(std::index_sequence<I...>) {
    std::tuple<A...> converted{ArgumentAt<A>(args, I)...};
    if constexpr (std::is_void_v<R>) {
      (self.*Member)(std::get<I>(std::move(converted))...);
      return Variant();
    } else {
      return Variant((self.*Member)(std::get<I>(std::move(converted))...));
    }
  }(std::index_sequence_for<A...>{});
}

}  // namespace detail

// Binds `Member` as the function-table entry (id, name, kind); `paramNames`
// names its parameters, one per parameter of the member function.
template <auto Member, std::size_t N = 0>
auto Bind(DISPID id, std::string_view name, InvokeKind kind,
          const std::array<std::string_view, N>& paramNames = {}) {
  using Traits = detail::MemberTraits<decltype(Member)>;
  using Args = typename Traits::Args;
  static_assert(std::tuple_size_v<Args> == N, "name every parameter");
  Binding<typename Traits::Class> binding;
  binding.desc.id = id;
  binding.desc.name = name;
  binding.desc.kind = kind;
  binding.desc.result = kVarTypeOf<std::decay_t<typename Traits::Result>>;
  [&]<std::size_t... I>(std::index_sequence<I...>) {
    binding.desc.params = {ParamDesc{paramNames[I], detail::kParamType<std::tuple_element_t<I, Args>>}...};
    ((binding.required = detail::kIsOptional<std::tuple_element_t<I, Args>> ? binding.required : I + 1), ...);
  }(std::make_index_sequence<N>{});
  binding.call = [](typename Traits::Class& self, std::span<const Variant> args) {
    return detail::CallMember<Member>(self, args, static_cast<Args*>(nullptr));
  };
  return binding;
}

template <class T>
class DispatchTable {
 public:
  explicit DispatchTable(std::vector<Binding<T>> bindings) : bindings_(std::move(bindings)) {
    for (const auto& b : bindings_) ids_.emplace(FoldCase(b.desc.name), b.desc.id);
  }

  std::optional<DISPID> GetIDOfName(std::string_view name) const {
    const auto it = ids_.find(FoldCase(name));
    if (it == ids_.end()) return std::nullopt;
    return it->second;
  }

  // Picks the entry for `id` that `kind` asks for (a method before a get,
  // a put-ref before a put), checks the argument count and calls it.
  // Arguments to a property that takes none go to the default member of
  // the object it gives.
  Variant Invoke(T& self, DISPID id, std::uint16_t kind, std::span<const Variant> args) const {
    const Binding<T>* chosen = nullptr;
    for (const auto want : {DISPATCH_METHOD, DISPATCH_PROPERTYGET, DISPATCH_PROPERTYPUTREF,
                            DISPATCH_PROPERTYPUT}) {
      if ((kind & want) == 0) continue;
      const auto it = std::find_if(bindings_.begin(), bindings_.end(), [&](const Binding<T>& b) {
        return b.desc.id == id && b.desc.kind == want;
      });
      if (it != bindings_.end()) {
        chosen = &*it;
        break;
      }
    }
    if (chosen == nullptr) RaiseRuntimeError(kMemberNotFound);
    if (args.size() > chosen->desc.params.size() && chosen->desc.params.empty() &&
        chosen->desc.kind == DISPATCH_PROPERTYGET)
      return ValueOfResult(chosen->call(self, {}), args);
    if (args.size() < chosen->required || args.size() > chosen->desc.params.size())
      RaiseRuntimeError(kWrongArgumentCount);
    return chosen->call(self, args);
  }

  // The function table, in binding order.
  std::vector<FuncDesc> Functions() const {
    std::vector<FuncDesc> functions;
    functions.reserve(bindings_.size());
    for (const auto& b : bindings_) functions.push_back(b.desc);
    return functions;
  }

 private:
  // `folder.Files("a.txt")`: the default member of what Files gives.
  static Variant ValueOfResult(const Variant& result, std::span<const Variant> args) {
    const auto* object = result.If<ObjectRef>();
    auto* dispatch = object ? dynamic_cast<IDispatch*>(object->get()) : nullptr;
    if (dispatch == nullptr) RaiseRuntimeError(kWrongArgumentCount);
    return dispatch->Invoke(DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args);
  }

  std::vector<Binding<T>> bindings_;
  std::unordered_map<std::string, DISPID> ids_;
};

}  // namespace kelvane::oleaut
