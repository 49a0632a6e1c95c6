// The COM object of PrintBarCode: the dual interface _PrintBarCode2, which
// adds members to _PrintBarCode (still answered, unchanged), whose IDispatch
// side and vtable side both call through the automation table.
#pragma once

#include <oaidl.h>
#include <windows.h>

namespace morvel::com {

// A new object with one reference, answering `iid`; an error HRESULT
// (and no object) when it cannot be made or has no such interface.
HRESULT CreatePrintBarCode(REFIID iid, void** out);

// Objects alive in this process (DllCanUnloadNow).
LONG LiveObjects();
// The type information of an interface of the library embedded in this
// module, loaded once; nullptr (and a logged reason) when it cannot be.
ITypeInfo* TypeInfoOf(REFIID iid);
// The module's own file (for the type library and the registration).
HMODULE ThisModule();

}  // namespace morvel::com
