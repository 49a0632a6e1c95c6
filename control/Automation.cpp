// Automation values, their coercions, member look-up and the common call
// path of every Invoke.
#include <cmath>

#include "control/Dispatch.h"
#include "drivers/Numbers.h"
#include "platform/guard.h"
#include "platform/services.h"
#include "platform/text_case.h"

namespace morvel::automation {

const char* TypeName(VarType type) {
  switch (type) {
    case VarType::Empty: return "Empty";
    case VarType::Integer: return "Integer";
    case VarType::Long: return "Long";
    case VarType::Single: return "Single";
    case VarType::Double: return "Double";
    case VarType::Currency: return "Currency";
    case VarType::String: return "String";
    case VarType::Boolean: return "Boolean";
    case VarType::Bytes: return "Byte()";
    case VarType::Object: return "Picture";
    case VarType::StringArray: return "String()";
    case VarType::Variant: return "Variant";
  }
  return "?";
}

VarType Variant::Type() const noexcept {
  static constexpr VarType order[] = {VarType::Empty,  VarType::Integer,  VarType::Long,       VarType::Single,
                                      VarType::Double, VarType::Currency, VarType::String,     VarType::Boolean,
                                      VarType::Bytes,  VarType::Object,   VarType::StringArray};
  return order[value_.index()];
}

namespace {

// The numeric value of a variant, for conversions between numbers.
double NumberOf(const Variant& v) {
  switch (v.Type()) {
    case VarType::Empty: return 0;
    case VarType::Integer: return v.Get<Integer>();
    case VarType::Long: return v.Get<Long>();
    case VarType::Single: return v.Get<Single>();
    case VarType::Double: return v.Get<Double>();
    case VarType::Currency: return v.Get<Currency>().ToDouble();
    case VarType::Boolean: return v.Get<Boolean>() ? -1 : 0;
    case VarType::String: {
      const String& s = v.Get<String>();
      String lower = text::ToLower(s);
      // Text that spells a Boolean converts like the Boolean.
      if (lower == u"true") return -1;
      if (lower == u"false") return 0;
      return numbers::ParseDouble(s);
    }
    default: throw AutomationError(errors::TypeMismatch);
  }
}

Currency ToCurrency(double value) {
  if (!std::isfinite(value) || std::fabs(value) > 922337203685477.5807) throw AutomationError(errors::Overflow);
  return Currency::FromScaled(static_cast<int64_t>(numbers::RoundHalfEven(value * Currency::Scale)));
}

String CurrencyText(Currency c) {
  // Exact: the scaled integer with four decimals, trailing zeros dropped.
  int64_t v = c.Scaled;
  bool negative = v < 0;
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  std::string whole = std::to_string(magnitude / Currency::Scale);
  std::string frac = std::to_string(magnitude % Currency::Scale);
  frac = std::string(4 - frac.size(), '0') + frac;
  while (!frac.empty() && frac.back() == '0') frac.pop_back();
  std::string ascii = (negative ? "-" : "") + whole;
  String out(ascii.begin(), ascii.end());
  if (!frac.empty()) {
    out.push_back(platform::Current().Numbers->DecimalSeparator());
    out.append(frac.begin(), frac.end());
  }
  return out;
}

}  // namespace

String ToText(const Variant& v) {
  switch (v.Type()) {
    case VarType::Empty: return String();
    case VarType::Integer: return numbers::FormatInteger(v.Get<Integer>());
    case VarType::Long: return numbers::FormatInteger(v.Get<Long>());
    case VarType::Single: return numbers::FormatSingle(v.Get<Single>());
    case VarType::Double: return numbers::FormatDouble(v.Get<Double>());
    case VarType::Currency: return CurrencyText(v.Get<Currency>());
    case VarType::String: return v.Get<String>();
    case VarType::Boolean: return v.Get<Boolean>() ? u"True" : u"False";
    default: throw AutomationError(errors::TypeMismatch);
  }
}

Variant Coerce(const Variant& v, VarType target) {
  if (v.Type() == target || target == VarType::Variant) return v;
  switch (target) {
    case VarType::Empty: return Variant();
    case VarType::Integer: return Variant(numbers::ToInteger(NumberOf(v)));
    case VarType::Long: return Variant(numbers::ToLong(NumberOf(v)));
    case VarType::Single: return Variant(numbers::ToSingle(NumberOf(v)));
    case VarType::Double: return Variant(static_cast<Double>(NumberOf(v)));
    case VarType::Currency: return Variant(ToCurrency(NumberOf(v)));
    case VarType::Boolean: return Variant(static_cast<Boolean>(NumberOf(v) != 0));
    case VarType::String: return Variant(ToText(v));
    case VarType::Bytes:
      // Text assigned to a byte array gives its UTF-16 code units, low byte first.
      if (v.Type() == VarType::String) {
        const String& s = v.Get<String>();
        std::vector<uint8_t> bytes;
        bytes.reserve(s.size() * 2);
        for (char16_t c : s) {
          bytes.push_back(static_cast<uint8_t>(c & 0xFF));
          bytes.push_back(static_cast<uint8_t>(c >> 8));
        }
        return s.empty() ? Variant(ByteArray()) : Variant(ByteArray(std::move(bytes)));
      }
      if (v.Type() == VarType::Empty) return Variant(ByteArray());
      throw AutomationError(errors::TypeMismatch);
    case VarType::Object:
      // Empty stands for Nothing.
      if (v.Type() == VarType::Empty) return Variant(PictureRef());
      throw AutomationError(errors::TypeMismatch);
    case VarType::StringArray:
      if (v.Type() == VarType::Empty) return Variant(std::vector<String>());
      throw AutomationError(errors::TypeMismatch);
    case VarType::Variant: return v;
  }
  throw AutomationError(errors::TypeMismatch);
}

Variant Guarded(const std::function<Variant()>& call) { return Guard(call); }

Variant CallMember(const MemberInfo& member, std::span<Variant> args,
                   const std::function<Variant(std::span<Variant>)>& thunk) {
  if (args.size() != member.Params.size()) throw AutomationError(errors::WrongArgumentCount);
  std::vector<Variant> coerced;
  coerced.reserve(args.size());
  for (size_t i = 0; i < args.size(); ++i) coerced.push_back(Coerce(args[i], member.Params[i].Type));
  Variant result = thunk(coerced);
  for (size_t i = 0; i < args.size(); ++i) {
    const ParamInfo& p = member.Params[i];
    if (p.ByRef && args[i].Type() == p.Type) args[i] = std::move(coerced[i]);
  }
  return result;
}

const MemberInfo* FindMember(const ClassInfo& cls, std::string_view name, MemberKind kind) {
  for (const MemberInfo& m : cls.Members) {
    bool kindFits =
        kind == MemberKind::PropertyPut ? m.Kind == MemberKind::PropertyPut : m.Kind != MemberKind::PropertyPut;
    if (kindFits && text::EqualsIgnoreCaseAscii(m.Name, name)) return &m;
  }
  return nullptr;
}

const MemberInfo* FindMember(const ClassInfo& cls, int32_t dispId, MemberKind kind) {
  for (const MemberInfo& m : cls.Members) {
    bool kindFits =
        kind == MemberKind::PropertyPut ? m.Kind == MemberKind::PropertyPut : m.Kind != MemberKind::PropertyPut;
    if (kindFits && m.DispId == dispId) return &m;
  }
  return nullptr;
}

std::vector<const ClassInfo*> Classes() { return {&PrintBarCodeClass(), &PrintInfoClass(), &clsBase64Class()}; }

}  // namespace morvel::automation
