// morvel.exe's export that takes the messages of the DLLs it loads.
#include <type_traits>

#include "platform/services.h"
#include "platform/win32.h"

// The messages of orxlib.dll, which carries its own platform layer, reach
// this program's message sink (the bridge's, for a page) as the program's
// own do.
extern "C" __declspec(dllexport) void __cdecl MorvelHostMessage(const char* caption, const char* text) {
  try {
    morvel::platform::Current().Messages->Show(caption != nullptr ? caption : "", text != nullptr ? text : "");
  } catch (...) {
    // Nothing may unwind into the DLL; the message is lost, the call goes on.
  }
}
static_assert(std::is_same_v<decltype(&MorvelHostMessage), morvel::platform::win::HostMessageFunction>);
