// The member reference of `morvel members` and docs/members.md, written from
// the automation tables so that it says what the code does.
#include <algorithm>

#include "morvel/automation.h"
#include "platform/text_case.h"

namespace morvel::automation {
namespace {

const char* KindName(MemberKind kind) {
  switch (kind) {
    case MemberKind::Method: return "method";
    case MemberKind::PropertyGet: return "property get";
    case MemberKind::PropertyPut: return "property put";
  }
  return "?";
}

std::string Parameter(const ParamInfo& p, bool markdown) {
  std::string name = markdown ? "`" + std::string(p.Name) + "`" : std::string(p.Name);
  return std::string(p.ByRef ? "ByRef " : "ByVal ") + name + " As " + TypeName(p.Type);
}

std::string Parameters(const std::vector<ParamInfo>& params, bool markdown) {
  std::string out;
  for (const auto& p : params) out += (out.empty() ? "" : ", ") + Parameter(p, markdown);
  return out;
}

// A member of a later interface says which: " (interface 2)".
std::string Since(const MemberInfo& m) { return m.Since > 1 ? " (interface " + std::to_string(m.Since) + ")" : ""; }

// A table cell: '|' would end it.
std::string Cell(std::string_view text) {
  std::string out;
  for (char c : text) out += c == '|' ? std::string("\\|") : std::string(1, c);
  return out;
}

}  // namespace

std::string Signature(const MemberInfo& m) {
  std::string out(m.Name);
  if (m.Kind == MemberKind::PropertyPut) return out + " = " + Parameters(m.Params, false);
  if (m.Kind == MemberKind::Method) out += "(" + Parameters(m.Params, false) + ")";
  if (m.Result != VarType::Empty) out += std::string(" As ") + TypeName(m.Result);
  return out;
}

std::string ParameterList(const MemberInfo& member) { return Parameters(member.Params, false); }

int InterfaceCount(const ClassInfo& cls) {
  int count = 1;
  for (const auto& m : cls.Members) count = std::max(count, m.Since);
  return count;
}

std::string InterfaceName(const ClassInfo& cls, int since) {
  return std::string(cls.Interface) + (since > 1 ? std::to_string(since) : "");
}

const ClassInfo* FindClass(std::string_view name) {
  for (const ClassInfo* c : Classes())
    if (text::EqualsIgnoreCaseAscii(c->Name, name)) return c;
  return nullptr;
}

std::string ReferenceText(const ClassInfo* only) {
  std::string out;
  for (const ClassInfo* c : Classes()) {
    if (only != nullptr && c != only) continue;
    if (!out.empty()) out += "\n";
    out += std::string(c->Name) + ": " + std::string(c->Description) + "\n";
    for (const auto& m : c->Members)
      out += "  " + std::string(KindName(m.Kind)) + " " + Signature(m) + Since(m) + "\n      " +
             std::string(m.Description) + "\n";
    for (const auto& e : c->Events)
      out += "  event " + std::string(e.Name) + "(" + Parameters(e.Params, false) + ")\n      " +
             std::string(e.Description) + "\n";
  }
  return out;
}

std::string ReferenceMarkdown() {
  std::string out =
      "# Member reference\n\n"
      "Written from the automation table by `morvel members --markdown`; a test fails when this page and the\n"
      "table differ. `morvel members [CLASS]` prints the same in a terminal. In a call script a statement is\n"
      "a member of `PrintBarCode` and its arguments; ByRef arguments that a member changes come back into the\n"
      "caller's variable in C++ hosts. A member marked (interface 2) is one of the Windows control's second\n"
      "interface, `_PrintBarCode2`, which adds members to the first, `_PrintBarCode`, and changes none of its own;\n"
      "every other host has every member.\n";
  for (const ClassInfo* c : Classes()) {
    out += "\n## " + std::string(c->Name) + "\n\n" + std::string(c->Description) + "\n\n";
    out += "| member | kind | parameters | result | what it does |\n|---|---|---|---|---|\n";
    for (const auto& m : c->Members) {
      std::string params = Parameters(m.Params, true);
      out += "| `" + std::string(m.Name) + "` | " + KindName(m.Kind) + Since(m) + " | " +
             (params.empty() ? "none" : params) + " | " + (m.Result == VarType::Empty ? "none" : TypeName(m.Result)) +
             " | " + Cell(m.Description) + " |\n";
    }
    for (const auto& e : c->Events)
      out += "| `" + std::string(e.Name) + "` | event | " + Parameters(e.Params, true) + " | none | " +
             Cell(e.Description) + " |\n";
  }
  return out;
}

}  // namespace morvel::automation
