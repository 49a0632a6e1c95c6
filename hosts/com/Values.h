// Between COM's VARIANTs and the automation layer's values: arguments as
// the host passed them (by value or by reference, VT_BYREF|VT_VARIANT from
// scripts, VT_BYREF|VT_BSTR from VB6 and C++), the by-reference values the
// member left written back into the host's own variables, results, and
// automation errors as COM error information.
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <string_view>

#include "morvel/automation.h"

namespace morvel::com {

// The automation value of an argument (a reference is followed). Raises
// AutomationError 13 for a type the automation layer has no value for,
// 94 for Null, 449 for a missing argument.
automation::Variant FromVariant(const VARIANT& arg);
// Writes `value` back into the host's variable that `arg` refers to, when
// `arg` is a reference of the value's type (a reference to a variant takes
// any value of its current type). Returns false when the memory ran out.
bool WriteBack(const automation::Variant& value, VARIANT& arg);
// A result as a new VARIANT (the caller owns it).
HRESULT ToVariant(const automation::Variant& value, VARIANT* out);

BSTR NewBstr(const String& text);  // nullptr for an empty text, as automation allows
String FromBstr(BSTR text);

// The error as COM carries it: the error-information object of this thread
// (source `source`, interface `iid`) and, when the caller gave one, the
// EXCEPINFO of IDispatch::Invoke. Returns the HRESULT 0x800A0000 + number.
HRESULT Raise(const AutomationError& error, const IID& iid, std::string_view source, EXCEPINFO* info = nullptr);

}  // namespace morvel::com
