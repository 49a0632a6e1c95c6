// Binding of a class's member table to its C++ members: one thunk per table
// row, and the one Invoke routine that coerces, calls and writes back.
#pragma once

#include <functional>
#include <span>

#include "morvel/automation.h"

namespace morvel::automation {

template <class T>
using Thunk = Variant (*)(T& self, std::span<Variant> args);

// Runs a call and turns every failure into an AutomationError.
Variant Guarded(const std::function<Variant()>& call);

// Coerces `args` to the member's parameter types, calls `thunk` on the
// coerced copies, and writes by-reference results back into the arguments
// whose type already matches the parameter.
Variant CallMember(const MemberInfo& member, std::span<Variant> args,
                   const std::function<Variant(std::span<Variant>)>& thunk);

template <class T>
Variant Dispatch(T& self, const ClassInfo& cls, std::span<const Thunk<T>> thunks, const MemberInfo* member,
                 std::span<Variant> args) {
  return Guarded([&]() -> Variant {
    if (member == nullptr) throw AutomationError(errors::NoSuchMember);
    size_t index = static_cast<size_t>(member - cls.Members.data());
    return CallMember(*member, args, [&](std::span<Variant> coerced) { return thunks[index](self, coerced); });
  });
}

}  // namespace morvel::automation
