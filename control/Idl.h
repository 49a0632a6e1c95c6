// The type library of the Windows control as IDL, written from the
// automation table so the COM server and every other host describe the
// same members. hosts/com/Morvel.idl is this text; widl compiles it.
#pragma once

#include <string>

namespace morvel::automation {

std::string TypeLibraryIdl();

}  // namespace morvel::automation
