// Writes the type library's IDL from the automation table: interfaces in
// slot order with their dispatch ids, by-reference parameters as [in, out]
// pointers, results as [out, retval], the event interfaces and the three
// coclasses. A class whose members span interfaces (MemberInfo::Since) gets
// one interface each, the later derived from the earlier and the last the
// coclass's default. The identifiers are the library's own and never change.
#include "control/Idl.h"

#include <string_view>
#include <vector>

#include "morvel/automation.h"

namespace morvel::automation {
namespace {

struct Identity {
  std::string_view Class;
  std::vector<std::string_view> Interfaces;  // GUIDs, first interface first
  std::string_view Events;                   // empty when none
};

constexpr std::string_view LibraryId = "F47DBECC-777B-4AD9-8F91-FF074B0328D5";

Identity IdentityOf(std::string_view cls) {
  if (cls == "PrintBarCode")
    return {"256EC4CD-3A83-47A5-9FC8-B166CB3BE9CE",
            {"C8349542-0EBA-4AE5-8925-CC8986361E01", "4EAACF6A-5A74-471B-A90F-654F870A1AE0"},
            "995C5390-2AB4-44AE-93A6-2F03A9C55719"};
  if (cls == "PrintInfo") return {"690F75C1-6534-42CC-A668-FBB47177E812", {"1042CC70-EC0F-44BF-BBEA-E89DFB2DE72E"}, ""};
  return {"BF757471-9790-4C56-8F1C-5BDAE48F83B1",
          {"08B19D0D-DCA5-4636-8500-00676AFBC506"},
          "7CAF22FD-6BAA-4B66-BBFD-E83665EF716E"};
}

std::string TypeOf(VarType type) {
  switch (type) {
    case VarType::Integer: return "short";
    case VarType::Long: return "long";
    case VarType::Single: return "float";
    case VarType::Double: return "double";
    case VarType::Currency: return "CURRENCY";
    case VarType::String: return "BSTR";
    case VarType::Boolean: return "VARIANT_BOOL";
    case VarType::Bytes: return "SAFEARRAY(unsigned char)";
    case VarType::Object: return "IPictureDisp*";  // stdole's Picture
    case VarType::StringArray: return "SAFEARRAY(BSTR)";
    case VarType::Variant: return "VARIANT";
    case VarType::Empty: break;
  }
  return "void";
}

bool IsArray(VarType type) { return type == VarType::Bytes || type == VarType::StringArray; }

std::string Hex(int32_t id) {
  static const char digits[] = "0123456789abcdef";
  std::string out = "0x";
  for (int shift = 28; shift >= 0; shift -= 4) out += digits[(static_cast<uint32_t>(id) >> shift) & 0xF];
  return out;
}

std::string Parameter(const ParamInfo& p) {
  // Arrays travel by pointer whichever way they are passed.
  bool pointer = p.ByRef || IsArray(p.Type);
  std::string out = p.ByRef ? "[in, out] " : "[in] ";
  return out + TypeOf(p.Type) + (pointer ? "* " : " ") + std::string(p.Name);
}

std::string Method(const MemberInfo& m) {
  std::string attributes = "id(" + Hex(m.DispId) + ")";
  if (m.Kind == MemberKind::PropertyGet) attributes += ", propget";
  if (m.Kind == MemberKind::PropertyPut) attributes += ", propput";
  if (!m.Description.empty()) {
    std::string help;
    for (char c : m.Description) help += c == '"' ? '\'' : c;
    attributes += ", helpstring(\"" + help + "\")";
  }
  std::string params;
  for (const ParamInfo& p : m.Params) params += (params.empty() ? "" : ", ") + Parameter(p);
  if (m.Result != VarType::Empty)
    params += (params.empty() ? "" : ", ") + ("[out, retval] " + TypeOf(m.Result) + "* result");
  return "    [" + attributes + "]\n    HRESULT " + std::string(m.Name) + "(" + params + ");\n";
}

std::string Event(const EventInfo& e) {
  std::string params;
  for (const ParamInfo& p : e.Params) params += (params.empty() ? "" : ", ") + Parameter(p);
  return "    [id(" + std::to_string(e.DispId) + ")]\n    void " + std::string(e.Name) + "(" + params + ");\n";
}

std::string Class(const ClassInfo& cls) {
  Identity id = IdentityOf(cls.Name);
  std::string name(cls.Name), events = "__" + name;
  const int interfaces = InterfaceCount(cls);
  std::string out;
  for (int since = 1; since <= interfaces; ++since) {
    std::string base = since == 1 ? "IDispatch" : InterfaceName(cls, since - 1);
    out += "  [\n    odl,\n    uuid(" + std::string(id.Interfaces.at(static_cast<size_t>(since - 1))) +
           "),\n    version(1.3),\n    hidden,\n    dual,\n"
           "    nonextensible,\n    oleautomation\n  ]\n  interface " +
           InterfaceName(cls, since) + " : " + base + " {\n";
    for (const MemberInfo& m : cls.Members)
      if (m.Since == since) out += Method(m);
    out += "  };\n\n";
  }
  if (!id.Events.empty()) {
    out += "  [\n    uuid(" + std::string(id.Events) +
           "),\n    hidden\n  ]\n"
           "  dispinterface " +
           events + " {\n  properties:\n  methods:\n";
    for (const EventInfo& e : cls.Events) out += Event(e);
    out += "  };\n\n";
  }
  std::string help;
  for (char c : cls.Description) help += c == '"' ? '\'' : c;
  out += "  [\n    uuid(" + std::string(id.Class) + "),\n    version(1.3),\n    helpstring(\"" + help + "\"),\n";
  out += cls.Creatable ? "    control\n" : "    noncreatable\n";
  // The newest interface is the default; the earlier ones are still answered.
  out += "  ]\n  coclass " + name + " {\n    [default] interface " + InterfaceName(cls, interfaces) + ";\n";
  for (int since = interfaces - 1; since >= 1; --since) out += "    interface " + InterfaceName(cls, since) + ";\n";
  if (!id.Events.empty()) out += "    [default, source] dispinterface " + events + ";\n";
  out += "  };\n";
  return out;
}

}  // namespace

std::string TypeLibraryIdl() {
  std::string out =
      "// The type library of Morvel2.ocx, written from the automation table by\n"
      "// `morvel members --idl`; a test fails when this file and the table differ.\n\n"
      "import \"oaidl.idl\";\nimport \"ocidl.idl\";\n\n";
  out += "[\n  uuid(" + std::string(LibraryId) + "),\n  version(" + std::to_string(LibraryMajor) + "." +
         std::to_string(LibraryMinor) + "),\n  helpstring(\"" + std::string(LibraryName) + "\"),\n  lcid(0x0409)\n]\n";
  out += "library " + std::string(LibraryName) + "\n{\n  importlib(\"stdole2.tlb\");\n\n";
  for (const ClassInfo* cls : Classes()) out += Class(*cls) + "\n";
  out += "};\n";
  return out;
}

}  // namespace morvel::automation
