// The automation table of clsBase64: the five members of _clsBase64 in
// interface order and the event EncodeJD, each member bound to its C++ member.
#include <array>

#include "control/Dispatch.h"
#include "morvel/clsBase64.h"

namespace morvel::automation {
namespace {

using Args = std::span<Variant>;
constexpr auto M = MemberKind::Method;
constexpr auto S = VarType::String;
constexpr auto Bytes = VarType::Bytes;
constexpr auto E = VarType::Empty;

ParamInfo Ref(std::string_view name, VarType type) { return ParamInfo{name, type, true}; }
ParamInfo Val(std::string_view name, VarType type) { return ParamInfo{name, type, false}; }

// In the order of clsBase64Class().Members.
const std::array<Thunk<clsBase64>, 5>& Thunks() {
  static const std::array<Thunk<clsBase64>, 5> thunks = {
      [](clsBase64& o, Args a) -> Variant {
        o.LoadFile(a[0].Get<String>(), a[1].Get<ByteArray>());
        return Variant();
      },
      [](clsBase64& o, Args a) -> Variant {
        o.SaveFile(a[0].Get<String>(), a[1].Get<ByteArray>());
        return Variant();
      },
      [](clsBase64& o, Args a) -> Variant {
        o.SaveFile2(a[0].Get<String>(), a[1].Get<String>());
        return Variant();
      },
      [](clsBase64& o, Args a) -> Variant { return o.Base64Encode(a[0].Get<ByteArray>()); },
      [](clsBase64& o, Args a) -> Variant { return o.Base64Decode(a[0].Get<String>()); },
  };
  return thunks;
}

}  // namespace

const ClassInfo& clsBase64Class() {
  static const ClassInfo cls{
      "clsBase64",
      "_clsBase64",
      false,
      {
          {"LoadFile",
           0x60030000,
           M,
           {Val("strPathName", S), Ref("pbArrayOutput", Bytes)},
           E,
           "Reads the whole file into the byte array."},
          {"SaveFile",
           0x60030001,
           M,
           {Val("strPathName", S), Ref("pbArrayInput", Bytes)},
           E,
           "Writes the byte array as the whole file."},
          {"SaveFile2",
           0x60030002,
           M,
           {Val("strPathName", S), Ref("pbArrayInput", S)},
           E,
           "Writes the text's bytes as the file."},
          {"Base64Encode",
           0x60030003,
           M,
           {Ref("StrArr", Bytes)},
           S,
           "Base64 text of the bytes; raises EncodeJD with the progress."},
          {"Base64Decode", 0x60030004, M, {Val("B64", S)}, Bytes, "The bytes of Base64 text."},
      },
      {
          {"EncodeJD", 1, {Ref("Percentage", VarType::Currency)}, "Progress of Base64Encode in percent."},
      },
      "Base64 text and whole-file load and save (C++ hosts; used by the drivers)."};
  return cls;
}

Variant Invoke(clsBase64& object, std::string_view name, std::span<Variant> args) {
  const ClassInfo& cls = clsBase64Class();
  return Dispatch<clsBase64>(object, cls, Thunks(), FindMember(cls, name), args);
}

Variant Invoke(clsBase64& object, int32_t dispId, std::span<Variant> args) {
  const ClassInfo& cls = clsBase64Class();
  return Dispatch<clsBase64>(object, cls, Thunks(), FindMember(cls, dispId), args);
}

}  // namespace morvel::automation
