// Writes the typed bindings over the C interface from the automation table:
// `c` the static inline wrappers of <morvel/morvel_members.h>, `python` the
// classes of python/morvel/_members.py. Both files are kept in the tree; a
// test runs this program and fails when either differs from its output.
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "morvel/automation.h"

using namespace morvel::automation;

namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string Prefix(const ClassInfo& cls) {
  if (cls.Name == "PrintBarCode") return "morvel_pb_";
  if (cls.Name == "clsBase64") return "morvel_b64_";
  return "morvel_" + Lower(cls.Name) + "_";
}

std::string Hex(int32_t id) {
  std::ostringstream out;
  out << "0x" << std::hex << std::uppercase << id;
  return out.str();
}

std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

// --- C ---------------------------------------------------------------------

std::string CParams(const ParamInfo& p) {
  std::string n(p.Name);
  switch (p.Type) {
    case VarType::String: return "const char *" + n;
    case VarType::Integer: return "int16_t " + n;
    case VarType::Long: return "int32_t " + n;
    case VarType::Single: return "float " + n;
    case VarType::Double:
    case VarType::Currency: return "double " + n;
    case VarType::Boolean: return "int " + n;
    case VarType::Bytes: return "const void *" + n + ", size_t " + n + "_size";
    case VarType::Object: return "morvel_picture *" + n;
    case VarType::StringArray: return "const char *const *" + n + ", size_t " + n + "_count";
    case VarType::Empty:
    case VarType::Variant: return "morvel_value " + n;
  }
  return "";
}

std::string CValue(const ParamInfo& p) {
  std::string n(p.Name);
  switch (p.Type) {
    case VarType::String: return "morvel_string(" + n + ")";
    case VarType::Integer:
    case VarType::Long: return "morvel_integer(" + n + ")";
    case VarType::Single:
    case VarType::Double:
    case VarType::Currency: return "morvel_double(" + n + ")";
    case VarType::Boolean: return "morvel_boolean(" + n + ")";
    case VarType::Bytes: return "morvel_bytes(" + n + ", " + n + "_size)";
    case VarType::Object: return "morvel_picture_value(" + n + ")";
    case VarType::StringArray: return "morvel_strings(" + n + ", " + n + "_count)";
    default: return n;
  }
}

// The result parameter, and the statements that hand the result over.
std::string CResultParam(VarType type) {
  switch (type) {
    case VarType::Empty: return "";
    case VarType::String: return "char **result";
    case VarType::Integer: return "int16_t *result";
    case VarType::Long: return "int32_t *result";
    case VarType::Single: return "float *result";
    case VarType::Double:
    case VarType::Currency: return "double *result";
    case VarType::Boolean: return "int *result";
    case VarType::Bytes: return "uint8_t **result, size_t *result_size";
    case VarType::Object: return "morvel_picture **result";
    case VarType::StringArray: return "char ***result, size_t *result_count";
    case VarType::Variant: return "morvel_value *result";
  }
  return "";
}

std::string CTake(VarType type) {
  switch (type) {
    case VarType::String: return "  *result = (char *)r.u.string.data;\n";
    case VarType::Integer: return "  *result = (int16_t)r.u.integer;\n";
    case VarType::Long: return "  *result = (int32_t)r.u.integer;\n";
    case VarType::Single: return "  *result = (float)r.u.number;\n";
    case VarType::Double:
    case VarType::Currency: return "  *result = r.u.number;\n";
    case VarType::Boolean: return "  *result = r.u.boolean;\n";
    case VarType::Bytes: return "  *result = (uint8_t *)r.u.bytes.data;\n  *result_size = r.u.bytes.size;\n";
    case VarType::Object: return "  *result = r.u.picture;\n";
    case VarType::StringArray: return "  *result = (char **)r.u.strings.items;\n  *result_count = r.u.strings.count;\n";
    default: return "  *result = r;\n";
  }
}

std::string CFunctionName(const ClassInfo& cls, const MemberInfo& m) {
  return Prefix(cls) + (m.Kind == MemberKind::PropertyPut ? "set_" : "") + Lower(m.Name);
}

void WriteC(std::ostream& out) {
  out << "/* Typed calls of every member, one static inline function each over\n"
         " * morvel_invoke: arguments by value, the result (if any) through the last\n"
         " * pointer, which may be NULL. Texts, bytes and lists handed out are freed\n"
         " * with morvel_free. Generated from the automation table by\n"
         " * morvel_bindings_gen; a test fails when this file and the table differ. */\n"
         "#ifndef MORVEL_MORVEL_MEMBERS_H\n#define MORVEL_MORVEL_MEMBERS_H\n\n#include \"morvel/morvel_c.h\"\n\n"
         "#ifdef __cplusplus\nextern \"C\" {\n#endif\n";
  for (const ClassInfo* cls : Classes()) {
    out << "\n/* " << cls->Name << ": " << cls->Description << " */\n";
    for (const MemberInfo& m : cls->Members) {
      std::string params = "morvel_object *object";
      for (const ParamInfo& p : m.Params) params += ", " + CParams(p);
      std::string resultParam = CResultParam(m.Result);
      if (!resultParam.empty()) params += ", " + resultParam;
      out << "\n/* " << Signature(m) << ": " << m.Description << " */\n";
      out << "static inline int " << CFunctionName(*cls, m) << "(" << params << ") {\n";
      size_t n = m.Params.size();
      if (n != 0) {
        out << "  morvel_value args[" << n << "];\n";
        for (size_t i = 0; i < n; ++i) out << "  args[" << i << "] = " << CValue(m.Params[i]) << ";\n";
      }
      std::string args = n != 0 ? "args" : "NULL";
      if (m.Result == VarType::Empty) {
        out << "  return morvel_invoke(object, " << Quoted(m.Name) << ", " << args << ", " << n << ", NULL);\n}\n";
        continue;
      }
      out << "  morvel_value r;\n  int rc = morvel_invoke(object, " << Quoted(m.Name) << ", " << args << ", " << n
          << ", &r);\n";
      out << "  if (rc != MORVEL_OK) return rc;\n  if (result == NULL) {\n    morvel_value_clear(&r);\n"
             "    return rc;\n  }\n"
          << CTake(m.Result) << "  return rc;\n}\n";
    }
  }
  out << "\n#ifdef __cplusplus\n}\n#endif\n\n#endif\n";
}

// --- Python ----------------------------------------------------------------

std::string PyType(VarType type) {
  switch (type) {
    case VarType::Empty: return "None";
    case VarType::String: return "str";
    case VarType::Integer:
    case VarType::Long: return "int";
    case VarType::Single:
    case VarType::Double:
    case VarType::Currency: return "float";
    case VarType::Boolean: return "bool";
    case VarType::Bytes: return "bytes";
    case VarType::Object: return "Picture";
    case VarType::StringArray: return "list[str]";
    case VarType::Variant: return "object";
  }
  return "object";
}

std::string PyParamType(const ParamInfo& p) {
  std::string t = PyType(p.Type);
  // Automation takes a number where a text is due, as a call script does.
  if (p.Type == VarType::String) t = "str | float";
  if (p.Type == VarType::Bytes) t = "bytes | None";
  if (p.Type == VarType::Object) t = "Picture | None";
  if (p.Type == VarType::StringArray) t = "Sequence[str]";
  return p.ByRef ? t + " | Ref" : t;
}

// Text inside a double-quoted Python string.
std::string PyDoc(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

void WriteMethod(std::ostream& out, const MemberInfo& m) {
  out << "\n    def " << m.Name << "(self";
  for (const ParamInfo& p : m.Params) out << ", " << p.Name << ": " << PyParamType(p);
  out << ") -> " << PyType(m.Result) << ":\n";
  out << "        \"\"\"" << PyDoc(Signature(m)) << "\n\n        " << PyDoc(m.Description) << "\"\"\"\n";
  out << "        return self._call(" << Hex(m.DispId) << ", (";
  for (size_t i = 0; i < m.Params.size(); ++i) out << (i ? ", " : "") << m.Params[i].Name;
  out << (m.Params.size() == 1 ? ",))\n" : "))\n");
}

void WriteProperty(std::ostream& out, const ClassInfo& cls, const MemberInfo& get) {
  const MemberInfo* put = FindMember(cls, get.Name, MemberKind::PropertyPut);
  std::string name(get.Name);
  out << "\n    def _get_" << name << "(self) -> " << PyType(get.Result) << ":\n"
      << "        return self._call(" << Hex(get.DispId) << ", ())\n";
  if (put != nullptr)
    out << "\n    def _set_" << name << "(self, value: " << PyParamType(put->Params[0]) << ") -> None:\n"
        << "        self._call(" << Hex(put->DispId) << ", (value,))\n";
  out << "\n    " << name << " = property(_get_" << name << ", " << (put != nullptr ? "_set_" + name : "None")
      << ", doc=\"" << PyDoc(get.Description) << (put != nullptr ? " (read and write)" : "") << "\")\n";
}

void WritePython(std::ostream& out) {
  out << "# The classes of the control with every member under its own name,\n"
         "# generated from the automation table by morvel_bindings_gen; a test\n"
         "# fails when this file and the table differ.\n"
         "from __future__ import annotations\n\nfrom typing import Sequence\n\n"
         "from ._core import Object, Picture, Ref\n\n__all__ = [";
  bool first = true;
  for (const ClassInfo* cls : Classes()) out << (first ? "" : ", ") << Quoted(cls->Name), first = false;
  out << "]\n";
  for (const ClassInfo* cls : Classes()) {
    out << "\n\nclass " << cls->Name << "(Object):\n    \"\"\"" << PyDoc(cls->Description) << "\"\"\"\n\n"
        << "    _class_name = " << Quoted(cls->Name) << "\n";
    if (!cls->Events.empty()) {
      out << "    _events = (";
      for (const EventInfo& e : cls->Events) out << Quoted(e.Name) << ", ";
      out << ")\n";
    }
    for (const MemberInfo& m : cls->Members) {
      if (m.Kind == MemberKind::Method) WriteMethod(out, m);
      if (m.Kind == MemberKind::PropertyGet) WriteProperty(out, *cls, m);
    }
    for (const EventInfo& e : cls->Events) {
      out << "\n    " << e.Name << " = Object._event(" << Quoted(e.Name) << ", \"Event " << e.Name << "(";
      for (size_t i = 0; i < e.Params.size(); ++i)
        out << (i ? ", " : "") << (e.Params[i].ByRef ? "ByRef " : "ByVal ") << e.Params[i].Name << " As "
            << TypeName(e.Params[i].Type);
      out << "): " << PyDoc(e.Description) << " Assign a callable; it gets each argument as a Ref.\")\n";
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string what = argc > 1 ? argv[1] : "";
  if (what == "c") {
    WriteC(std::cout);
  } else if (what == "python") {
    WritePython(std::cout);
  } else {
    std::cerr << "usage: morvel_bindings_gen c|python\n";
    return 2;
  }
  return std::cout.good() ? 0 : 1;
}
