// The encoding methods of the EPC Tag Data Standard's section 14.5, which
// the "+" schemes and their +AIDC data write each AI's value by: one
// component of a value (Table F, TableF.h) to bits and back. Private to
// codec/epc/.
#pragma once

#include <string>
#include <string_view>

#include "codec/epc/Bits.h"
#include "codec/epc/TableF.h"

namespace morvel::epc::detail {

// Where a value stands, for the refusals: "SGTIN+: (21) ...". Set39: the
// AI's characters are the GS1 set of 39, not of 82.
struct Place {
  std::string_view Scheme;
  std::string_view Ai;
  bool Set39 = false;
};

[[noreturn]] void Refuse(const Place& at, const std::string& rule);

// Writes `value` by the component's method; refuses a value the method
// cannot hold. A variable-length component may be empty only where
// `mayBeEmpty` (a value's optional second component).
void PutComponent(const Component& c, std::string_view value, bool mayBeEmpty, const Place& at, BitWriter& w);

// Reads a component back to its text; refuses bits the method does not
// allow, or a reader that ends inside the component.
std::string GetComponent(const Component& c, bool mayBeEmpty, const Place& at, BitReader& r);

}  // namespace morvel::epc::detail
