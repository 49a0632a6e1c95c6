// VARIANT conversions of the COM server. Numbers keep their automation type
// (VT_I2 is an Integer, VT_R4 a Single...) so that the automation layer
// coerces them as every other host's values; types it has no counterpart
// for (unsigned, 64-bit, decimal, dates) arrive as Doubles or text through
// VariantChangeType, as a script host would convert them.
#include "hosts/com/Values.h"

#include "platform/win32.h"

namespace morvel::com {
namespace {

using automation::Variant;

ByteArray BytesOf(SAFEARRAY* array) {
  if (array == nullptr) return ByteArray();
  if (SafeArrayGetDim(array) != 1) throw AutomationError(errors::TypeMismatch);
  LONG low = 0, high = -1;
  SafeArrayGetLBound(array, 1, &low);
  SafeArrayGetUBound(array, 1, &high);
  if (high < low) return ByteArray(std::vector<uint8_t>());
  void* data = nullptr;
  if (FAILED(SafeArrayAccessData(array, &data))) throw AutomationError(errors::TypeMismatch);
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  std::vector<uint8_t> out(bytes, bytes + (static_cast<size_t>(high) - static_cast<size_t>(low) + 1));
  SafeArrayUnaccessData(array);
  return ByteArray(std::move(out));
}

std::vector<String> TextsOf(SAFEARRAY* array) {
  std::vector<String> out;
  if (array == nullptr) return out;
  if (SafeArrayGetDim(array) != 1) throw AutomationError(errors::TypeMismatch);
  LONG low = 0, high = -1;
  SafeArrayGetLBound(array, 1, &low);
  SafeArrayGetUBound(array, 1, &high);
  for (LONG i = low; i <= high; ++i) {
    BSTR item = nullptr;
    if (FAILED(SafeArrayGetElement(array, &i, &item))) throw AutomationError(errors::TypeMismatch);
    out.push_back(FromBstr(item));
    SysFreeString(item);
  }
  return out;
}

SAFEARRAY* NewByteArray(const ByteArray& bytes) {
  if (!bytes.IsAllocated()) return nullptr;
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.Size()));
  if (array == nullptr) return nullptr;
  void* data = nullptr;
  if (bytes.Size() > 0 && SUCCEEDED(SafeArrayAccessData(array, &data))) {
    std::copy(bytes.begin(), bytes.end(), static_cast<uint8_t*>(data));
    SafeArrayUnaccessData(array);
  }
  return array;
}

SAFEARRAY* NewTextArray(const std::vector<String>& texts) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(texts.size()));
  if (array == nullptr) return nullptr;
  for (LONG i = 0; i < static_cast<LONG>(texts.size()); ++i) {
    BSTR item = NewBstr(texts[static_cast<size_t>(i)]);
    SafeArrayPutElement(array, &i, item);  // copies the text
    SysFreeString(item);
  }
  return array;
}

// A picture object of the host as our picture; Nothing is no picture.
Variant PictureOf(IUnknown* object) {
  if (object == nullptr) return Variant(PictureRef());
  PictureRef picture = platform::win::PictureFromOle(object);
  if (picture == nullptr) throw AutomationError(errors::TypeMismatch);
  return Variant(picture);
}

Variant Converted(const VARIANT& arg, VARTYPE type) {
  VARIANT copy;
  VariantInit(&copy);
  if (FAILED(VariantChangeTypeEx(&copy, const_cast<VARIANT*>(&arg), LOCALE_USER_DEFAULT, 0, type)))
    throw AutomationError(errors::TypeMismatch);
  Variant out = FromVariant(copy);
  VariantClear(&copy);
  return out;
}

}  // namespace

BSTR NewBstr(const String& text) {
  if (text.empty()) return nullptr;
  BSTR out = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()), static_cast<UINT>(text.size()));
  if (out == nullptr) throw AutomationError(errors::OutOfMemory);
  return out;
}

String FromBstr(BSTR text) {
  if (text == nullptr) return String();
  return String(reinterpret_cast<const char16_t*>(text), SysStringLen(text));
}

Variant FromVariant(const VARIANT& arg) {
  VARTYPE type = V_VT(&arg);
  if (type == (VT_BYREF | VT_VARIANT)) {
    if (V_VARIANTREF(&arg) == nullptr) throw AutomationError(errors::TypeMismatch);
    return FromVariant(*V_VARIANTREF(&arg));
  }
  bool byRef = (type & VT_BYREF) != 0;
  if (byRef && V_BYREF(&arg) == nullptr) throw AutomationError(errors::TypeMismatch);
  switch (type & ~VT_BYREF) {
    case VT_EMPTY: return Variant();
    case VT_NULL: throw AutomationError(errors::InvalidUseOfNull);
    case VT_ERROR:
      // A script's omitted argument.
      if ((byRef ? *V_ERRORREF(&arg) : V_ERROR(&arg)) == DISP_E_PARAMNOTFOUND)
        throw AutomationError(errors::ArgumentNotOptional);
      throw AutomationError(errors::TypeMismatch);
    case VT_I2: return Variant(static_cast<Integer>(byRef ? *V_I2REF(&arg) : V_I2(&arg)));
    case VT_I4: return Variant(static_cast<Long>(byRef ? *V_I4REF(&arg) : V_I4(&arg)));
    case VT_R4: return Variant(static_cast<Single>(byRef ? *V_R4REF(&arg) : V_R4(&arg)));
    case VT_R8: return Variant(static_cast<Double>(byRef ? *V_R8REF(&arg) : V_R8(&arg)));
    case VT_CY: return Variant(Currency::FromScaled(byRef ? V_CYREF(&arg)->int64 : V_CY(&arg).int64));
    case VT_BSTR: return Variant(FromBstr(byRef ? *V_BSTRREF(&arg) : V_BSTR(&arg)));
    case VT_BOOL: return Variant(static_cast<Boolean>((byRef ? *V_BOOLREF(&arg) : V_BOOL(&arg)) != VARIANT_FALSE));
    case VT_UI1: return Variant(static_cast<Integer>(byRef ? *V_UI1REF(&arg) : V_UI1(&arg)));
    case VT_DISPATCH: return PictureOf(byRef ? *V_DISPATCHREF(&arg) : V_DISPATCH(&arg));
    case VT_UNKNOWN: return PictureOf(byRef ? *V_UNKNOWNREF(&arg) : V_UNKNOWN(&arg));
    case VT_ARRAY | VT_UI1: return Variant(BytesOf(byRef ? *V_ARRAYREF(&arg) : V_ARRAY(&arg)));
    case VT_ARRAY | VT_BSTR: return Variant(TextsOf(byRef ? *V_ARRAYREF(&arg) : V_ARRAY(&arg)));
    case VT_I1:
    case VT_UI2:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
    case VT_DECIMAL: return Converted(arg, VT_R8);
    case VT_DATE: return Converted(arg, VT_BSTR);
    default: throw AutomationError(errors::TypeMismatch);
  }
}

namespace {

// The host's variable of a reference, and its type.
bool Store(const Variant& value, VARTYPE type, void* target) {
  switch (type) {
    case VT_I2:
      if (value.Type() != automation::VarType::Integer) return true;
      *static_cast<SHORT*>(target) = value.Get<Integer>();
      return true;
    case VT_I4:
      if (value.Type() != automation::VarType::Long) return true;
      *static_cast<LONG*>(target) = value.Get<Long>();
      return true;
    case VT_R4:
      if (value.Type() != automation::VarType::Single) return true;
      *static_cast<FLOAT*>(target) = value.Get<Single>();
      return true;
    case VT_R8:
      if (value.Type() != automation::VarType::Double) return true;
      *static_cast<DOUBLE*>(target) = value.Get<Double>();
      return true;
    case VT_CY:
      if (value.Type() != automation::VarType::Currency) return true;
      static_cast<CY*>(target)->int64 = value.Get<Currency>().Scaled;
      return true;
    case VT_BOOL:
      if (value.Type() != automation::VarType::Boolean) return true;
      *static_cast<VARIANT_BOOL*>(target) = value.Get<Boolean>() ? VARIANT_TRUE : VARIANT_FALSE;
      return true;
    case VT_BSTR: {
      if (value.Type() != automation::VarType::String) return true;
      BSTR* text = static_cast<BSTR*>(target);
      if (FromBstr(*text) == value.Get<String>()) return true;  // unchanged: the host keeps its string
      BSTR fresh = NewBstr(value.Get<String>());
      SysFreeString(*text);
      *text = fresh;
      return true;
    }
    case VT_ARRAY | VT_UI1: {
      if (value.Type() != automation::VarType::Bytes) return true;
      SAFEARRAY** array = static_cast<SAFEARRAY**>(target);
      SAFEARRAY* fresh = NewByteArray(value.Get<ByteArray>());
      if (fresh == nullptr && value.Get<ByteArray>().IsAllocated()) return false;
      if (*array != nullptr) SafeArrayDestroy(*array);
      *array = fresh;
      return true;
    }
    default: return true;  // a type no member writes back
  }
}

}  // namespace

bool WriteBack(const Variant& value, VARIANT& arg) {
  VARTYPE type = V_VT(&arg);
  if (!(type & VT_BYREF)) return true;
  if (type == (VT_BYREF | VT_VARIANT)) {
    VARIANT* inner = V_VARIANTREF(&arg);
    if (inner == nullptr) return true;
    if (V_VT(inner) & VT_BYREF) return WriteBack(value, *inner);
    // The variable is a Variant: it takes the value when the member kept its
    // type, as a by-reference variable of that type would.
    VARIANT fresh;
    VariantInit(&fresh);
    if (FAILED(ToVariant(value, &fresh))) return true;
    if (V_VT(&fresh) != V_VT(inner)) {
      VariantClear(&fresh);
      return true;
    }
    VariantClear(inner);
    *inner = fresh;
    return true;
  }
  return Store(value, type & ~VT_BYREF, V_BYREF(&arg));
}

HRESULT ToVariant(const Variant& value, VARIANT* out) {
  VariantInit(out);
  try {
    switch (value.Type()) {
      case automation::VarType::Empty: return S_OK;
      case automation::VarType::Integer:
        V_VT(out) = VT_I2;
        V_I2(out) = value.Get<Integer>();
        return S_OK;
      case automation::VarType::Long:
        V_VT(out) = VT_I4;
        V_I4(out) = value.Get<Long>();
        return S_OK;
      case automation::VarType::Single:
        V_VT(out) = VT_R4;
        V_R4(out) = value.Get<Single>();
        return S_OK;
      case automation::VarType::Double:
        V_VT(out) = VT_R8;
        V_R8(out) = value.Get<Double>();
        return S_OK;
      case automation::VarType::Currency:
        V_VT(out) = VT_CY;
        V_CY(out).int64 = value.Get<Currency>().Scaled;
        return S_OK;
      case automation::VarType::Boolean:
        V_VT(out) = VT_BOOL;
        V_BOOL(out) = value.Get<Boolean>() ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
      case automation::VarType::String:
        V_VT(out) = VT_BSTR;
        V_BSTR(out) = NewBstr(value.Get<String>());
        return S_OK;
      case automation::VarType::Bytes: {
        const ByteArray& bytes = value.Get<ByteArray>();
        SAFEARRAY* array = NewByteArray(bytes);
        if (array == nullptr && bytes.IsAllocated()) return E_OUTOFMEMORY;
        V_VT(out) = VT_ARRAY | VT_UI1;
        V_ARRAY(out) = array;
        return S_OK;
      }
      case automation::VarType::StringArray: {
        SAFEARRAY* array = NewTextArray(value.Get<std::vector<String>>());
        if (array == nullptr) return E_OUTOFMEMORY;
        V_VT(out) = VT_ARRAY | VT_BSTR;
        V_ARRAY(out) = array;
        return S_OK;
      }
      case automation::VarType::Object:
      case automation::VarType::Variant: return DISP_E_TYPEMISMATCH;  // no member returns one
    }
  } catch (const AutomationError&) {
    return E_OUTOFMEMORY;
  }
  return DISP_E_TYPEMISMATCH;
}

HRESULT Raise(const AutomationError& error, const IID& iid, std::string_view source, EXCEPINFO* info) {
  HRESULT hr = static_cast<HRESULT>(error.HResult());
  std::wstring description = platform::win::Wide(FromUtf8(error.Description()));
  std::wstring sourceText = platform::win::Wide(FromUtf8(std::string(source)));
  ICreateErrorInfo* create = nullptr;
  if (SUCCEEDED(CreateErrorInfo(&create))) {
    create->SetGUID(iid);
    create->SetSource(const_cast<LPOLESTR>(sourceText.c_str()));
    create->SetDescription(const_cast<LPOLESTR>(description.c_str()));
    IErrorInfo* errorInfo = nullptr;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&errorInfo)))) {
      SetErrorInfo(0, errorInfo);
      errorInfo->Release();
    }
    create->Release();
  }
  if (info != nullptr) {
    *info = EXCEPINFO{};
    info->scode = hr;
    info->bstrSource = SysAllocString(sourceText.c_str());
    info->bstrDescription = SysAllocString(description.c_str());
  }
  return hr;
}

}  // namespace morvel::com
