// The system ANSI code page: WideCharToMultiByte and MultiByteToWideChar with
// CP_ACP. A replaced character is counted and logged with the characters
// lost, as the Linux code page does.
#include <vector>

#include "platform/windows/windows_adapters.h"

namespace morvel::platform {
namespace {

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

class AnsiCodePage : public CodePage {
 public:
  std::string Name() override {
    UINT page = GetACP();
    return page == CP_UTF8 ? "UTF-8" : "CP" + std::to_string(page);
  }

  std::string FromUnicode(std::u16string_view text) override {
    if (text.empty()) return std::string();
    std::wstring wide = win::Wide(text);
    BOOL replaced = FALSE;
    // UTF-8 takes no default character; its unpaired surrogates become U+FFFD.
    bool utf8 = GetACP() == CP_UTF8;
    int size = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                   utf8 ? nullptr : "?", utf8 ? nullptr : &replaced);
    std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
      WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), out.data(), size, utf8 ? nullptr : "?",
                          utf8 ? nullptr : &replaced);
    if (replaced) Record(text);
    return out;
  }

  String ToUnicode(std::string_view bytes) override {
    if (bytes.empty()) return String();
    String whole;
    if (Convert(bytes, whole)) return whole;
    // Some sequence cannot be read: convert character by character (one
    // byte, or a lead byte and its trail) so only that one becomes '?'.
    String out;
    CPINFO info{};
    GetCPInfo(CP_ACP, &info);
    for (size_t i = 0; i < bytes.size();) {
      size_t length =
          info.MaxCharSize > 1 && IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(bytes[i])) && i + 1 < bytes.size() ? 2 : 1;
      if (GetACP() == CP_UTF8) length = Utf8Length(bytes, i);
      String one;
      if (Convert(bytes.substr(i, length), one)) {
        out += one;
      } else {
        out.push_back(u'?');
      }
      i += length;
    }
    Logger().Record("bytes the code page " + Name() + " cannot read were taken as '?'");
    CountIncident(Incident::ReplacedCharacters);
    return out;
  }

 private:
  // The members print a '?' by contract; the user still hears which
  // characters were lost (each tried alone: a few, on a rare path).
  void Record(std::u16string_view text) {
    String lost;
    for (size_t i = 0; i < text.size(); ++i) {
      size_t length = IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]) ? 2 : 1;
      std::wstring one = win::Wide(text.substr(i, length));
      BOOL replaced = FALSE;
      char buffer[16];
      WideCharToMultiByte(CP_ACP, 0, one.data(), static_cast<int>(one.size()), buffer, sizeof buffer, "?", &replaced);
      if (replaced && lost.find(text.substr(i, length)) == String::npos) lost += text.substr(i, length);
      i += length - 1;
    }
    Logger().Record("characters the code page " + Name() + " cannot hold were sent as '?': " + ToUtf8(lost) +
                    "; the system's code page for programs that do not use Unicode decides it");
    CountIncident(Incident::ReplacedCharacters);
  }

  static bool Convert(std::string_view bytes, String& out) {
    int size =
        MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (size <= 0) return false;
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), wide.data(), size);
    out = win::FromWide(wide.data(), wide.size());
    return true;
  }

  static size_t Utf8Length(std::string_view bytes, size_t at) {
    unsigned char c = static_cast<unsigned char>(bytes[at]);
    size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    return std::min(length, bytes.size() - at);
  }
};

}  // namespace

std::shared_ptr<CodePage> MakeWindowsCodePage() { return std::make_shared<AnsiCodePage>(); }

}  // namespace morvel::platform
