// What the Windows hosts (the COM control, morvel.exe) take from the
// Windows platform: wide text, error texts, OLE pictures, and the export
// through which a program takes its DLLs' messages. The Windows adapters
// (windows/) implement it; hosts include this, never the adapters.
#pragma once

#include <unknwn.h>
#include <windows.h>

#include <cwchar>
#include <string>
#include <string_view>

#include "morvel/picture.h"
#include "morvel/types.h"

namespace morvel::platform::win {

// What a program exports, under the name HostMessageExport, to take the
// messages of the DLLs it loads: caption and text in UTF-8, called on the
// thread that raised the message, which waits until it returns.
using HostMessageFunction = void(__cdecl*)(const char* caption, const char* text);
constexpr const char* HostMessageExport = "MorvelHostMessage";

// UTF-16 as Windows takes it; String and wchar_t share their code units here.
inline std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
inline String FromWide(const wchar_t* text, size_t size) { return String(text, text + size); }
inline String FromWide(const wchar_t* text) { return text != nullptr ? FromWide(text, wcslen(text)) : String(); }

// The text of a Windows error number, for the log.
std::string ErrorText(DWORD error);
// The pixels of an OLE picture (any object that answers IPicture); none
// when it is no picture or its pixels cannot be read.
PictureRef PictureFromOle(IUnknown* object);

}  // namespace morvel::platform::win
