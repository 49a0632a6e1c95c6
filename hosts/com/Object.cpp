// PrintBarCode as an apartment-threaded COM object. IDispatch finds members
// and parameters by the automation table's names and dispatch ids and
// invokes them through automation::Invoke, so a script sees exactly what
// `morvel run` and the web bridge see; the vtable methods of the dual
// interfaces forward to the same call. The object's interface is
// _PrintBarCode2, derived from _PrintBarCode: a caller bound to the first
// gets the same vtable, of which it knows the first part. Errors become the
// error-information object (ISupportErrorInfo), naming the interface that
// declares the member, and EXCEPINFO; no C++ exception leaves here.
#include "hosts/com/Object.h"

#include <array>
#include <atomic>
#include <mutex>
#include <new>
#include <vector>

#include "hosts/com/Embedding.h"
#include "hosts/com/SiteLock.h"
#include "hosts/com/Values.h"
#include "morvel/morvel.h"
#include "morvel_tlb.h"
#include "platform/services.h"
#include "platform/text_case.h"
#include "platform/win32.h"

namespace morvel::com {
namespace {

using automation::Variant;

std::atomic<LONG> live{0};
constexpr std::string_view Source = "Morvel.PrintBarCode";

// The automation value of a vtable argument, and what goes back.
Variant In(BSTR* v) { return Variant(FromBstr(*v)); }
Variant In(float* v) { return Variant(static_cast<Single>(*v)); }
Variant In(VARIANT_BOOL* v) { return Variant(static_cast<Boolean>(*v != VARIANT_FALSE)); }
Variant In(BSTR v) { return Variant(FromBstr(v)); }
Variant In(float v) { return Variant(static_cast<Single>(v)); }
Variant In(short v) { return Variant(static_cast<Integer>(v)); }
Variant In(IPictureDisp* v) {
  VARIANT arg;
  V_VT(&arg) = VT_DISPATCH;
  V_DISPATCH(&arg) = v;
  return FromVariant(arg);
}
// By-reference arguments go back into the caller's variables; null
// pointers were refused before the call. By-value ones (a BSTR may be null:
// it is the empty text; a picture may be Nothing) need nothing.
void Out(const Variant& value, BSTR* target) {
  VARIANT ref;
  V_VT(&ref) = VT_BYREF | VT_BSTR;
  V_BSTRREF(&ref) = target;
  WriteBack(value, ref);
}
void Out(const Variant& value, float* target) {
  VARIANT ref;
  V_VT(&ref) = VT_BYREF | VT_R4;
  V_R4REF(&ref) = target;
  WriteBack(value, ref);
}
void Out(const Variant& value, VARIANT_BOOL* target) {
  VARIANT ref;
  V_VT(&ref) = VT_BYREF | VT_BOOL;
  V_BOOLREF(&ref) = target;
  WriteBack(value, ref);
}
void Out(const Variant&, BSTR) {}
void Out(const Variant&, float) {}
void Out(const Variant&, short) {}
void Out(const Variant&, IPictureDisp*) {}

bool Present(BSTR* p) { return p != nullptr; }
bool Present(float* p) { return p != nullptr; }
bool Present(VARIANT_BOOL* p) { return p != nullptr; }
bool Present(BSTR) { return true; }
bool Present(float) { return true; }
bool Present(short) { return true; }
bool Present(IPictureDisp*) { return true; }

// The result of a member into the vtable's [out, retval].
void Result(const Variant& value, BSTR* out) { *out = NewBstr(value.Get<String>()); }
void Result(const Variant& value, short* out) { *out = value.Get<Integer>(); }
void Result(const Variant& value, float* out) { *out = value.Get<Single>(); }
void Result(const Variant&, std::nullptr_t) {}

// The object: the scripting surface (the dual interface and its errors),
// and the parts that make it an embeddable control (Embedding) locked to
// allowed sites (SiteLock), which share its identity.
class PrintBarCodeObject final : public _PrintBarCode2, public ISupportErrorInfo, public IProvideClassInfo2 {
 public:
  PrintBarCodeObject() { ++live; }
  ~PrintBarCodeObject() { --live; }

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID__PrintBarCode || iid == IID__PrintBarCode2)
      *out = static_cast<_PrintBarCode2*>(this);
    else if (iid == IID_ISupportErrorInfo)
      *out = static_cast<ISupportErrorInfo*>(this);
    else if (iid == IID_IProvideClassInfo || iid == IID_IProvideClassInfo2)
      *out = static_cast<IProvideClassInfo2*>(this);
    else if (void* part = embedding_.Find(iid))
      *out = part;
    else if (void* part = siteLock_.Find(iid))
      *out = part;
    else
      return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++references_); }
  STDMETHODIMP_(ULONG) Release() override {
    LONG left = --references_;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  // ISupportErrorInfo
  STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override {
    return iid == IID__PrintBarCode || iid == IID__PrintBarCode2 || iid == IID_IDispatch ? S_OK : S_FALSE;
  }

  // IProvideClassInfo
  STDMETHODIMP GetClassInfo(ITypeInfo** out) override {
    if (out == nullptr) return E_POINTER;
    *out = TypeInfoOf(CLSID_PrintBarCode);
    if (*out == nullptr) return TYPE_E_CANTLOADLIBRARY;
    (*out)->AddRef();
    return S_OK;
  }
  // IProvideClassInfo2: the event interface, which containers advise on.
  STDMETHODIMP GetGUID(DWORD kind, GUID* guid) override {
    if (guid == nullptr) return E_POINTER;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
    *guid = DIID___PrintBarCode;
    return S_OK;
  }

  // IDispatch: the type information of _PrintBarCode2, which has every
  // member (its own and, inherited, those of _PrintBarCode).
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    ITypeInfo* info = TypeInfoOf(IID__PrintBarCode2);
    if (info == nullptr) return TYPE_E_CANTLOADLIBRARY;
    info->AddRef();
    *out = info;
    return S_OK;
  }
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (names == nullptr || ids == nullptr || count == 0) return E_INVALIDARG;
    const automation::MemberInfo* member = automation::FindMember(automation::PrintBarCodeClass(), Utf8Of(names[0]));
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    if (member == nullptr) return DISP_E_UNKNOWNNAME;
    ids[0] = member->DispId;
    HRESULT hr = S_OK;
    // Named arguments: a parameter's id is its position.
    for (UINT i = 1; i < count; ++i) {
      std::string name = Utf8Of(names[i]);
      for (size_t p = 0; p < member->Params.size(); ++p)
        if (text::EqualsIgnoreCaseAscii(member->Params[p].Name, name)) ids[i] = static_cast<DISPID>(p);
      if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError) override {
    if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (result != nullptr) VariantInit(result);
    const automation::MemberInfo* member =
        automation::FindMember(automation::PrintBarCodeClass(), static_cast<int32_t>(id));
    // Every member is a method or a property read; a script may ask for
    // either, as Visual Basic does.
    if (member == nullptr || (flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) == 0) return DISP_E_MEMBERNOTFOUND;
    DISPPARAMS none{};
    if (params == nullptr) params = &none;
    if (params->cArgs > 0 && params->rgvarg == nullptr) return E_INVALIDARG;

    // The host's arguments in parameter order: positional ones come last in
    // rgvarg, named ones say their position.
    UINT count = params->cArgs;
    std::vector<VARIANT*> slots(std::max<size_t>(count, member->Params.size()), nullptr);
    UINT named = params->cNamedArgs;
    if (named > count) return E_INVALIDARG;
    UINT positional = count - named;
    for (UINT i = 0; i < positional; ++i) slots[i] = &params->rgvarg[count - 1 - i];
    for (UINT i = 0; i < named; ++i) {
      DISPID position = params->rgdispidNamedArgs[i];
      if (position < 0 || static_cast<size_t>(position) >= member->Params.size()) return DISP_E_PARAMNOTFOUND;
      if (slots[static_cast<size_t>(position)] != nullptr) return DISP_E_PARAMNOTFOUND;
      slots[static_cast<size_t>(position)] = &params->rgvarg[i];
    }
    size_t given = count;
    if (named > 0) {
      // With named arguments every parameter must be given, positionally or by name.
      given = member->Params.size();
      for (size_t i = 0; i < given; ++i)
        if (slots[i] == nullptr) return Failed(AutomationError(errors::ArgumentNotOptional), *member, exception);
    }

    std::vector<Variant> args;
    args.reserve(given);
    try {
      for (size_t i = 0; i < given; ++i) {
        try {
          args.push_back(FromVariant(*slots[i]));
        } catch (const AutomationError&) {
          if (argError != nullptr) *argError = static_cast<UINT>(count - 1 - i);
          throw;
        }
      }
      Variant value = automation::Invoke(control_, static_cast<int32_t>(id), args);
      for (size_t i = 0; i < given; ++i)
        if (!WriteBack(args[i], *slots[i])) return E_OUTOFMEMORY;
      if (result != nullptr) return ToVariant(value, result);
      return S_OK;
    } catch (const AutomationError& e) {
      return Failed(e, *member, exception);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (...) {
      return E_UNEXPECTED;
    }
  }

  // _PrintBarCode: each member as its vtable method.
  STDMETHODIMP GetVer(BSTR* result) override { return Call(0x60030002, result); }
  STDMETHODIMP GetDot(float* pixels, short* result) override { return Call(0x60030003, result, pixels); }
  STDMETHODIMP textHeight(BSTR* strbuf, BSTR* fontName, float* FontSize, VARIANT_BOOL* FontBold,
                          float* result) override {
    return Call(0x60030004, result, strbuf, fontName, FontSize, FontBold);
  }
  STDMETHODIMP TextWidth(BSTR* strbuf, BSTR* fontName, float* FontSize, VARIANT_BOOL* FontBold,
                         float* result) override {
    return Call(0x60030005, result, strbuf, fontName, FontSize, FontBold);
  }
  STDMETHODIMP GetPrintList(BSTR* result) override { return Call(0x60030006, result); }
  STDMETHODIMP SetPrint(BSTR* printerName, short* result) override { return Call(0x60030007, result, printerName); }
  STDMETHODIMP OpenPort(BSTR* printerName) override { return Call(0x60030008, nullptr, printerName); }
  STDMETHODIMP ClosePort() override { return Call(0x60030009, nullptr); }
  STDMETHODIMP PrintLabel(BSTR* copies) override { return Call(0x6003000A, nullptr, copies); }
  STDMETHODIMP SendCmd(BSTR* cmd) override { return Call(0x6003000B, nullptr, cmd); }
  STDMETHODIMP InitPrint(BSTR* wide, BSTR* height, BSTR* speed, BSTR* nd, BSTR* cz, BSTR* sp,
                         BSTR* direction) override {
    return Call(0x6003000C, nullptr, wide, height, speed, nd, cz, sp, direction);
  }
  STDMETHODIMP PrintFont(float* x, float* y, BSTR* txt, float* height, BSTR* fontName) override {
    return Call(0x6003000D, nullptr, x, y, txt, height, fontName);
  }
  STDMETHODIMP PrintBar(float* x, float* y, float* width, float* height) override {
    return Call(0x6003000E, nullptr, x, y, width, height);
  }
  STDMETHODIMP PrintCode(float* x, float* y, BSTR* code, BSTR* codeType, BSTR* Readable, float* height, BSTR* zBar,
                         BSTR* kBar) override {
    return Call(0x6003000F, nullptr, x, y, code, codeType, Readable, height, zBar, kBar);
  }
  STDMETHODIMP get_CommandPrint(BSTR* result) override { return Call(0x68030001, result); }
  STDMETHODIMP get_FontType(short* result) override { return Call(0x68030000, result); }
  STDMETHODIMP get_RFIDType(short* result) override { return Call(0x68030010, result); }
  STDMETHODIMP InitRFID(BSTR* labelType, BSTR* backfeed, BSTR* readPower, BSTR* writePower, BSTR* wire,
                        BSTR* tryNum) override {
    return Call(0x60030011, nullptr, labelType, backfeed, readPower, writePower, wire, tryNum);
  }
  STDMETHODIMP OpRFID(BSTR* operate, BSTR* data, BSTR* dataType, BSTR* dataLen, BSTR* startAddress,
                      BSTR* section) override {
    return Call(0x60030012, nullptr, operate, data, dataType, dataLen, startAddress, section);
  }
  STDMETHODIMP PrintList(BSTR* vNewValue) override { return Call(0x60030014, nullptr, vNewValue); }
  STDMETHODIMP DrawImageFromFile(BSTR imageFile, float x, float y, float width, float height) override {
    return Call(0x60030016, nullptr, imageFile, x, y, width, height);
  }
  STDMETHODIMP DrawImageFromBase64(BSTR imageBase64, float x, float y, float width, float height) override {
    return Call(0x60030017, nullptr, imageBase64, x, y, width, height);
  }
  STDMETHODIMP DrawImageFromPicture(IPictureDisp* pic, float x, float y, float width, float height) override {
    return Call(0x60030018, nullptr, pic, x, y, width, height);
  }

  // _PrintBarCode2: the members it adds.
  STDMETHODIMP TagResults(BSTR* result) override { return Call(0x60040000, result); }
  STDMETHODIMP EpcEncode(BSTR Input, BSTR Scheme, short Filter, short PrefixLength, BSTR* result) override {
    return Call(0x60040001, result, Input, Scheme, Filter, PrefixLength);
  }
  STDMETHODIMP EpcDecode(BSTR Hex, BSTR* result) override { return Call(0x60040002, result, Hex); }

 private:
  // The interface that declares a member: _PrintBarCode for the first
  // interface's, _PrintBarCode2 for those it adds.
  static const IID& InterfaceOf(const automation::MemberInfo& member) {
    return member.Since > 1 ? IID__PrintBarCode2 : IID__PrintBarCode;
  }
  static const IID& InterfaceOf(int32_t id) {
    const automation::MemberInfo* member = automation::FindMember(automation::PrintBarCodeClass(), id);
    return member != nullptr ? InterfaceOf(*member) : IID__PrintBarCode2;
  }

  // An error of IDispatch::Invoke: in the caller's EXCEPINFO when it gave one.
  static HRESULT Failed(const AutomationError& e, const automation::MemberInfo& member, EXCEPINFO* exception) {
    HRESULT hr = Raise(e, InterfaceOf(member), Source, exception);
    return exception != nullptr ? DISP_E_EXCEPTION : hr;
  }

  static std::string Utf8Of(LPCOLESTR name) {
    if (name == nullptr) return std::string();
    return ToUtf8(String(reinterpret_cast<const char16_t*>(name), wcslen(name)));
  }

  // One vtable call: the arguments as automation values, the member through
  // the table, the by-reference values back into the caller's variables.
  template <class R, class... P>
  HRESULT Call(int32_t id, R result, P... params) {
    if constexpr (!std::is_same_v<R, std::nullptr_t>) {
      if (result == nullptr) return E_POINTER;
    }
    if (!(Present(params) && ...)) return E_POINTER;
    try {
      std::array<Variant, sizeof...(P)> args{In(params)...};
      Variant value = automation::Invoke(control_, id, args);
      size_t i = 0;
      (Out(args[i++], params), ...);
      Result(value, result);
      return S_OK;
    } catch (const AutomationError& e) {
      return Raise(e, InterfaceOf(id), Source);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (...) {
      return E_UNEXPECTED;
    }
  }

  IUnknown* Identity() { return static_cast<_PrintBarCode2*>(this); }

  std::atomic<LONG> references_{1};
  PrintBarCode control_;
  Embedding embedding_{Identity()};
  SiteLock siteLock_{Identity(), embedding_};
};

// The library embedded in this module, loaded on first use.
ITypeLib* Library() {
  static ITypeLib* library = [] {
    wchar_t path[MAX_PATH * 2];
    DWORD size = GetModuleFileNameW(ThisModule(), path, static_cast<DWORD>(std::size(path)));
    ITypeLib* tlb = nullptr;
    HRESULT hr = size > 0 ? LoadTypeLibEx(path, REGKIND_NONE, &tlb) : E_FAIL;
    if (FAILED(hr))
      platform::Logger().Record("com: the type library of this module cannot be loaded: " +
                                platform::win::ErrorText(static_cast<DWORD>(hr)));
    return tlb;
  }();
  return library;
}

}  // namespace

HMODULE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

ITypeInfo* TypeInfoOf(REFIID iid) {
  static std::mutex lock;
  static std::vector<std::pair<IID, ITypeInfo*>> loaded;
  std::lock_guard<std::mutex> hold(lock);
  for (auto& [known, info] : loaded)
    if (known == iid) return info;
  ITypeLib* library = Library();
  ITypeInfo* info = nullptr;
  if (library == nullptr || FAILED(library->GetTypeInfoOfGuid(iid, &info))) return nullptr;
  loaded.emplace_back(iid, info);
  return info;
}

LONG LiveObjects() { return live; }

HRESULT CreatePrintBarCode(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  PrintBarCodeObject* object = nullptr;
  try {
    object = new PrintBarCodeObject();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const AutomationError& e) {
    return Raise(e, IID__PrintBarCode, Source);
  } catch (...) {
    return E_UNEXPECTED;
  }
  HRESULT hr = object->QueryInterface(iid, out);
  object->Release();
  return hr;
}

}  // namespace morvel::com
