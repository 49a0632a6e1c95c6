// libFuzzer target for the call-script parser: any bytes parse without a
// crash into statements and errors on distinct, rising lines within the
// text; every statement names a member; and each argument, written back as
// a quoted string with escapes, parses again to the same text.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "hosts/cli/Script.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "script_parse_fuzz: %s\n", what);
  std::abort();
}

std::string Quoted(const morvel::String& text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    char hex[16];
    std::snprintf(hex, sizeof hex, "\\u{%X}", static_cast<unsigned>(c));
    out += hex;
  }
  return out + "\"";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  morvel::cli::ParsedScript script = morvel::cli::ParseScript(text);
  int lines = 1;
  for (char c : text) lines += c == '\n';
  int last = 0;
  size_t s = 0, e = 0;
  // Statements and errors interleave by line; each line gives at most one.
  while (s < script.Statements.size() || e < script.Errors.size()) {
    bool takeStatement = e == script.Errors.size() ||
                         (s < script.Statements.size() && script.Statements[s].Line < script.Errors[e].Line);
    int line = takeStatement ? script.Statements[s++].Line : script.Errors[e++].Line;
    if (line <= last || line > lines) Fail("line numbers out of order or beyond the text");
    last = line;
  }
  for (const auto& error : script.Errors)
    if (error.Message.empty()) Fail("an error without a message");
  for (const auto& st : script.Statements) {
    if (st.Member == nullptr) Fail("a statement without a member");
    std::string again(st.Member->Name);
    for (const auto& arg : st.Args) again += " " + Quoted(arg.Text);
    morvel::cli::ParsedScript back = morvel::cli::ParseScript(again);
    if (!back.Errors.empty() || back.Statements.size() != 1) Fail("a parsed statement does not parse again");
    const auto& args = back.Statements[0].Args;
    if (args.size() != st.Args.size()) Fail("argument count changed");
    for (size_t i = 0; i < args.size(); ++i)
      if (args[i].Text != st.Args[i].Text) Fail("argument text changed");
    for (const auto& arg : st.Args) (void)morvel::cli::ShowValue(morvel::automation::Variant(arg.Text));
  }
  return 0;
}
