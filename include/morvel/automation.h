// The automation layer: the static member tables of the public classes and
// Invoke by name or dispatch id with automation argument coercion. The CLI
// script host, the C ABI and the web bridge all call through here, so every
// host sees the same object.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "morvel/picture.h"
#include "morvel/types.h"

namespace morvel {

class PrintBarCode;
class PrintInfo;
class clsBase64;

namespace automation {

enum class VarType : uint8_t {
  Empty,
  Integer,
  Long,
  Single,
  Double,
  Currency,
  String,
  Boolean,
  Bytes,
  Object,
  StringArray,
  Variant
};

const char* TypeName(VarType type);

// An automation value. Object holds a picture reference (or none).
class Variant {
 public:
  using Storage = std::variant<std::monostate, Integer, Long, Single, Double, Currency, String, Boolean, ByteArray,
                               PictureRef, std::vector<String>>;

  Variant() = default;
  Variant(Integer v) : value_(v) {}
  Variant(Long v) : value_(v) {}
  Variant(Single v) : value_(v) {}
  Variant(Double v) : value_(v) {}
  Variant(Currency v) : value_(v) {}
  Variant(String v) : value_(std::move(v)) {}
  Variant(const char16_t* v) : value_(String(v)) {}
  Variant(Boolean v) : value_(v) {}
  Variant(ByteArray v) : value_(std::move(v)) {}
  Variant(PictureRef v) : value_(std::move(v)) {}
  Variant(std::vector<String> v) : value_(std::move(v)) {}

  VarType Type() const noexcept;
  bool IsEmpty() const noexcept { return std::holds_alternative<std::monostate>(value_); }

  // Exact access; the value must hold that type.
  template <class T>
  T& Get() {
    return std::get<T>(value_);
  }
  template <class T>
  const T& Get() const {
    return std::get<T>(value_);
  }
  Storage& Value() noexcept { return value_; }
  const Storage& Value() const noexcept { return value_; }

 private:
  Storage value_;
};

// Converts a value to a type the way automation does: text to number with
// the user's decimal separator (13 when not a number, 6 on overflow),
// numbers to text in their shortest form, True/False for Booleans.
Variant Coerce(const Variant& value, VarType target);
// The text form of a value (CStr); error 13 for byte arrays and objects.
String ToText(const Variant& value);

enum class MemberKind : uint8_t { Method, PropertyGet, PropertyPut };

struct ParamInfo {
  std::string_view Name;
  VarType Type;
  bool ByRef;
};

struct MemberInfo {
  std::string_view Name;
  int32_t DispId;
  MemberKind Kind;
  std::vector<ParamInfo> Params;
  VarType Result;  // Empty for none
  // One line for the member reference (morvel members, docs/members.md).
  std::string_view Description = {};
  // The interface the member belongs to: 1 the class's first, whose members,
  // dispatch ids and order never change; 2 the one derived from it that
  // added members, and so on (InterfaceName).
  int Since = 1;
};

struct EventInfo {
  std::string_view Name;
  int32_t DispId;
  std::vector<ParamInfo> Params;
  std::string_view Description = {};
};

struct ClassInfo {
  std::string_view Name;
  // The class's first interface ("_PrintBarCode"); members of a later one
  // (Since 2, ...) are in that one's own, derived from the one before, and
  // the newest is the class's default.
  std::string_view Interface;
  bool Creatable;                   // hosts may create it
  std::vector<MemberInfo> Members;  // in interface order
  std::vector<EventInfo> Events;
  std::string_view Description = {};
};

// The type library: Morvel 3.3.
constexpr std::string_view LibraryName = "Morvel";
constexpr int LibraryMajor = 3;
constexpr int LibraryMinor = 3;

const ClassInfo& PrintBarCodeClass();
const ClassInfo& PrintInfoClass();
const ClassInfo& clsBase64Class();
// Every class of the library, in type library order.
std::vector<const ClassInfo*> Classes();

// The member reference, generated from these tables. Signature: for example
// "SetPrint(ByRef printerName As String) As Integer". ReferenceText: one
// class (or every class when null) for a terminal; ReferenceMarkdown: every
// class as the page docs/members.md.
std::string Signature(const MemberInfo& member);
std::string ParameterList(const MemberInfo& member);  // "ByRef x As Single, ..."
std::string ReferenceText(const ClassInfo* cls = nullptr);
std::string ReferenceMarkdown();
// The interfaces of a class: how many (the highest Since of its members),
// and the name of each, 1 the first ("_PrintBarCode"), then "_PrintBarCode2".
int InterfaceCount(const ClassInfo& cls);
std::string InterfaceName(const ClassInfo& cls, int since);
// A class by name, without regard to case; nullptr if none.
const ClassInfo* FindClass(std::string_view name);

// A member by name (without regard to case) or dispatch id; nullptr if none.
// Property puts are found only when `kind` asks for them.
const MemberInfo* FindMember(const ClassInfo& cls, std::string_view name, MemberKind kind = MemberKind::Method);
const MemberInfo* FindMember(const ClassInfo& cls, int32_t dispId, MemberKind kind = MemberKind::Method);

// Calls a member. Arguments are the host's variables: each is coerced to the
// parameter's type, and a by-reference argument that already has that type
// receives the value the member left in it. Raises AutomationError: 438 for
// an unknown member, 450 for a wrong argument count, 13/6 for coercion, and
// whatever the member raises. Nothing else escapes.
Variant Invoke(PrintBarCode& object, std::string_view name, std::span<Variant> args);
Variant Invoke(PrintBarCode& object, int32_t dispId, std::span<Variant> args);
Variant Invoke(PrintInfo& object, std::string_view name, std::span<Variant> args, MemberKind kind = MemberKind::Method);
Variant Invoke(clsBase64& object, std::string_view name, std::span<Variant> args);
Variant Invoke(clsBase64& object, int32_t dispId, std::span<Variant> args);

}  // namespace automation
}  // namespace morvel
