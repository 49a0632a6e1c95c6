// Morvel2.ocx as COM hosts use it, under Wine after regsvr32: the registry
// entries, the registered type library against the automation table (the
// first interface _PrintBarCode as published, the second _PrintBarCode2
// derived from it and the coclass's default), IDispatch (names, by-reference
// arguments of both kinds, named arguments, errors in EXCEPINFO and the
// error object), both interfaces' vtables, OLE pictures, and the unload
// check.
//
//   com_wine_test LOGO.BMP
//   com_wine_test --registration   the registry entries and the type library
//                                  only (a registration made another way:
//                                  the installer's)
//
// Prints one line per check and "N passed, M failed"; exits 1 on a failure.
#include <ocidl.h>
#include <olectl.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "morvel/automation.h"
#include "morvel/version.h"
#include "morvel_tlb.h"
#include "tests/windows/wine_checks.h"

namespace {

using wine_checks::Check;

std::string Narrow(const wchar_t* text) {
  std::string out;
  for (; text != nullptr && *text != 0; ++text) out += *text < 128 ? static_cast<char>(*text) : '?';
  return out;
}

std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

std::wstring ReadKey(const std::wstring& key, const wchar_t* name) {
  wchar_t value[1024];
  DWORD size = sizeof(value);
  if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
    return L"<missing>";
  return value;
}

std::wstring GuidText(REFGUID guid) {
  wchar_t text[64];
  StringFromGUID2(guid, text, 64);
  return text;
}

// An IDispatch call with the arguments in parameter order.
struct Call {
  HRESULT Hr = S_OK;
  VARIANT Result{};
  EXCEPINFO Exception{};
  UINT ArgError = ~0u;
  ~Call() {
    VariantClear(&Result);
    SysFreeString(Exception.bstrSource);
    SysFreeString(Exception.bstrDescription);
    SysFreeString(Exception.bstrHelpFile);
  }
  int Number() const { return Hr == DISP_E_EXCEPTION ? static_cast<int>(Exception.scode - 0x800A0000) : 0; }
  std::string Description() const { return Narrow(Exception.bstrDescription); }
};

DISPID IdOf(IDispatch* object, const wchar_t* name) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  DISPID id = DISPID_UNKNOWN;
  object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  return id;
}

void Invoke(IDispatch* object, const wchar_t* name, std::vector<VARIANT*> args, Call& call,
            WORD flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET) {
  std::vector<VARIANT> reversed;
  for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(**it);
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  call.Hr = object->Invoke(IdOf(object, name), IID_NULL, LOCALE_USER_DEFAULT, flags, &params, &call.Result,
                           &call.Exception, &call.ArgError);
}

VARIANT ByRef(BSTR* text) {
  VARIANT v;
  V_VT(&v) = VT_BYREF | VT_BSTR;
  V_BSTRREF(&v) = text;
  return v;
}

VARIANT ByRefVariant(VARIANT* inner) {
  VARIANT v;
  V_VT(&v) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&v) = inner;
  return v;
}

VARIANT Text(const wchar_t* text) {
  VARIANT v;
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocString(text);
  return v;
}

std::wstring TextOf(BSTR text) { return text != nullptr ? std::wstring(text, SysStringLen(text)) : std::wstring(); }

// The text a member's result or error gives for the checks' details.
std::string Outcome(const Call& call) {
  return Hex(call.Hr) +
         (call.Hr == DISP_E_EXCEPTION ? " " + std::to_string(call.Number()) + " " + call.Description() : "");
}

void Registry() {
  std::wstring key = L"CLSID\\" + GuidText(CLSID_PrintBarCode);
  CLSID clsid{};
  Check(SUCCEEDED(CLSIDFromProgID(L"Morvel.PrintBarCode", &clsid)) && clsid == CLSID_PrintBarCode,
        "the ProgID Morvel.PrintBarCode names the class");
  std::wstring server = ReadKey(key + L"\\InprocServer32", nullptr);
  Check(server.size() > 11 && server.compare(server.size() - 11, 11, L"Morvel2.ocx") == 0,
        "InprocServer32 is the file Morvel2.ocx", Narrow(server.c_str()));
  Check(ReadKey(key + L"\\InprocServer32", L"ThreadingModel") == L"Apartment", "apartment threading");
  Check(ReadKey(key + L"\\MiscStatus\\1", nullptr) == L"132497", "OLE misc status 0x20591");
  Check(ReadKey(key + L"\\Control", nullptr) == L"", "marked as a control");
  Check(ReadKey(key + L"\\TypeLib", nullptr) == GuidText(LIBID_Morvel), "the class names its type library");
  // Both dual interfaces are registered with the library and the standard
  // marshaler, the way a caller bound to either finds them.
  const struct {
    const IID* Id;
    const wchar_t* Name;
  } interfaces[] = {{&IID__PrintBarCode, L"_PrintBarCode"}, {&IID__PrintBarCode2, L"_PrintBarCode2"}};
  for (const auto& i : interfaces) {
    std::wstring iface = L"Interface\\" + GuidText(*i.Id);
    Check(ReadKey(iface, nullptr) == i.Name &&
              ReadKey(iface + L"\\ProxyStubClsid32", nullptr) == L"{00020424-0000-0000-C000-000000000046}" &&
              ReadKey(iface + L"\\TypeLib", nullptr) == GuidText(LIBID_Morvel),
          "the interface " + Narrow(i.Name) + " is registered with its type library",
          Narrow(ReadKey(iface, nullptr).c_str()));
  }
}

void TypeLibrary() {
  ITypeLib* library = nullptr;
  HRESULT hr = LoadRegTypeLib(LIBID_Morvel, 3, 3, 0x0409, &library);
  Check(SUCCEEDED(hr), "the type library Morvel 3.3 is registered", Hex(hr));
  if (FAILED(hr)) return;
  TLIBATTR* attributes = nullptr;
  library->GetLibAttr(&attributes);
  Check(attributes->wMajorVerNum == 3 && attributes->wMinorVerNum == 3 && attributes->lcid == 0x0409,
        "version 3.3, locale 0x0409");
  library->ReleaseTLibAttr(attributes);
  BSTR name = nullptr, help = nullptr;
  library->GetDocumentation(-1, &name, &help, nullptr, nullptr);
  Check(TextOf(name) == L"Morvel" && TextOf(help) == L"Morvel", "named Morvel, help string Morvel");
  SysFreeString(name);
  SysFreeString(help);

  struct Coclass {
    const CLSID* Id;
    const char* Name;
    bool Creatable;
  } coclasses[] = {{&CLSID_PrintBarCode, "PrintBarCode", true},
                   {&CLSID_PrintInfo, "PrintInfo", false},
                   {&CLSID_clsBase64, "clsBase64", false}};
  for (const auto& c : coclasses) {
    ITypeInfo* info = nullptr;
    if (FAILED(library->GetTypeInfoOfGuid(*c.Id, &info))) {
      Check(false, std::string("the coclass ") + c.Name + " is described");
      continue;
    }
    TYPEATTR* type = nullptr;
    info->GetTypeAttr(&type);
    bool creatable = (type->wTypeFlags & TYPEFLAG_FCANCREATE) != 0;
    bool control = (type->wTypeFlags & TYPEFLAG_FCONTROL) != 0;
    Check(creatable == c.Creatable && control == c.Creatable,
          std::string(c.Name) + (c.Creatable ? " is a creatable control" : " is not creatable"));
    info->ReleaseTypeAttr(type);
    info->Release();
  }

  // Every member of every interface, with its dispatch id, as the automation
  // table has it (its own members only: a derived interface's type
  // information does not repeat its base's); and nothing else. The first
  // interface of PrintBarCode is as published: the members of Since 1.
  namespace automation = morvel::automation;
  const struct {
    const IID* Id;
    const automation::ClassInfo* Class;
    int Since;
    const IID* Base;  // the interface it derives from: IDispatch or the one before
  } interfaces[] = {{&IID__PrintBarCode, &automation::PrintBarCodeClass(), 1, &IID_IDispatch},
                    {&IID__PrintBarCode2, &automation::PrintBarCodeClass(), 2, &IID__PrintBarCode},
                    {&IID__PrintInfo, &automation::PrintInfoClass(), 1, &IID_IDispatch},
                    {&IID__clsBase64, &automation::clsBase64Class(), 1, &IID_IDispatch}};
  for (const auto& k : interfaces) {
    const std::string name = automation::InterfaceName(*k.Class, k.Since);
    ITypeInfo* info = nullptr;
    if (FAILED(library->GetTypeInfoOfGuid(*k.Id, &info))) {
      Check(false, "the interface " + name + " is described");
      continue;
    }
    // The dual interface's vtable half.
    HREFTYPE href = 0;
    ITypeInfo* vtable = nullptr;
    if (SUCCEEDED(info->GetRefTypeOfImplType(-1, &href))) info->GetRefTypeInfo(href, &vtable);
    TYPEATTR* type = nullptr;
    ITypeInfo* described = vtable != nullptr ? vtable : info;
    described->GetTypeAttr(&type);
    std::vector<const automation::MemberInfo*> rows;
    for (const auto& m : k.Class->Members)
      if (m.Since == k.Since) rows.push_back(&m);
    const size_t expected = rows.size();
    bool same = type->cFuncs == expected;
    std::string detail;
    for (UINT f = 0; f < type->cFuncs && f < expected; ++f) {
      FUNCDESC* func = nullptr;
      described->GetFuncDesc(f, &func);
      BSTR member = nullptr;
      described->GetDocumentation(func->memid, &member, nullptr, nullptr, nullptr);
      const auto& row = *rows[f];
      if (Narrow(member) != row.Name || func->memid != row.DispId ||
          func->cParams != static_cast<SHORT>(row.Params.size() + (row.Result != automation::VarType::Empty ? 1 : 0))) {
        same = false;
        detail += Narrow(member) + " ";
      }
      SysFreeString(member);
      described->ReleaseFuncDesc(func);
    }
    Check(same,
          name + ": " + std::to_string(expected) +
              " members in slot order with the table's names, dispatch ids and parameters",
          std::to_string(type->cFuncs) + " functions " + detail);
    // What it derives from.
    ITypeInfo* base = nullptr;
    TYPEATTR* baseType = nullptr;
    if (type->cImplTypes == 1 && SUCCEEDED(described->GetRefTypeOfImplType(0, &href)) &&
        SUCCEEDED(described->GetRefTypeInfo(href, &base)))
      base->GetTypeAttr(&baseType);
    Check(baseType != nullptr && baseType->guid == *k.Base,
          name + " derives from " +
              (k.Base == &IID_IDispatch ? std::string("IDispatch") : automation::InterfaceName(*k.Class, k.Since - 1)));
    if (baseType != nullptr) base->ReleaseTypeAttr(baseType);
    if (base != nullptr) base->Release();
    described->ReleaseTypeAttr(type);
    if (vtable != nullptr) vtable->Release();
    info->Release();
  }

  // The coclass: _PrintBarCode2 its default, _PrintBarCode still among its
  // interfaces, the events its default source.
  ITypeInfo* coclass = nullptr;
  if (SUCCEEDED(library->GetTypeInfoOfGuid(CLSID_PrintBarCode, &coclass))) {
    TYPEATTR* type = nullptr;
    coclass->GetTypeAttr(&type);
    std::string found;
    for (UINT i = 0; i < type->cImplTypes; ++i) {
      INT flags = 0;
      HREFTYPE href = 0;
      ITypeInfo* implemented = nullptr;
      coclass->GetImplTypeFlags(i, &flags);
      if (FAILED(coclass->GetRefTypeOfImplType(i, &href)) || FAILED(coclass->GetRefTypeInfo(href, &implemented)))
        continue;
      BSTR name = nullptr;
      implemented->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
      found += (found.empty() ? "" : ", ") + std::string((flags & IMPLTYPEFLAG_FDEFAULT) ? "[default" : "[") +
               ((flags & IMPLTYPEFLAG_FSOURCE) ? ", source] " : "] ") + Narrow(name);
      SysFreeString(name);
      implemented->Release();
    }
    Check(found == "[default] _PrintBarCode2, [] _PrintBarCode, [default, source] __PrintBarCode",
          "PrintBarCode's default interface is _PrintBarCode2, and it has _PrintBarCode", found);
    coclass->ReleaseTypeAttr(type);
    coclass->Release();
  } else {
    Check(false, "the coclass PrintBarCode is described");
  }

  ITypeInfo* events = nullptr;
  if (SUCCEEDED(library->GetTypeInfoOfGuid(DIID___clsBase64, &events))) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"EncodeJD")};
    MEMBERID id = 0;
    Check(SUCCEEDED(events->GetIDsOfNames(names, 1, &id)) && id == 1, "the event EncodeJD of __clsBase64 has id 1");
    events->Release();
  } else {
    Check(false, "the event interface __clsBase64 is described");
  }
  library->Release();
}

void Dispatch() {
  IDispatch* pb = nullptr;
  HRESULT hr =
      CoCreateInstance(CLSID_PrintBarCode, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&pb));
  Check(SUCCEEDED(hr) && pb != nullptr, "CoCreateInstance of PrintBarCode", Hex(hr));
  if (pb == nullptr) return;

  Check(IdOf(pb, L"setprint") == 0x60030007, "names are found without regard to case");
  LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"Frobnicate")};
  DISPID id = 0;
  Check(pb->GetIDsOfNames(IID_NULL, unknown, 1, 0, &id) == DISP_E_UNKNOWNNAME && id == DISPID_UNKNOWN,
        "an unknown name is DISP_E_UNKNOWNNAME");
  // A member of each interface by name, through the object and through its
  // type information, which is _PrintBarCode2's: a late-bound script sees
  // every member.
  Check(IdOf(pb, L"GetVer") == 0x60030002 && IdOf(pb, L"epcencode") == 0x60040001 &&
            IdOf(pb, L"TagResults") == 0x60040000,
        "GetIDsOfNames finds the members of both interfaces");
  UINT count = 0;
  ITypeInfo* info = nullptr;
  Check(pb->GetTypeInfoCount(&count) == S_OK && count == 1 && SUCCEEDED(pb->GetTypeInfo(0, 0, &info)),
        "the object gives its type information");
  if (info != nullptr) {
    TYPEATTR* type = nullptr;
    info->GetTypeAttr(&type);
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"SetPrint"), const_cast<LPOLESTR>(L"EpcDecode")};
    MEMBERID ids[2] = {};
    bool found =
        SUCCEEDED(info->GetIDsOfNames(&names[0], 1, &ids[0])) && SUCCEEDED(info->GetIDsOfNames(&names[1], 1, &ids[1]));
    Check(type != nullptr && type->guid == IID__PrintBarCode2 && found && ids[0] == 0x60030007 && ids[1] == 0x60040002,
          "its type information is _PrintBarCode2's and names the members of both interfaces");
    if (type != nullptr) info->ReleaseTypeAttr(type);
    info->Release();
  }
  {
    VARIANT input = Text(L"urn:epc:tag:sgtin-96:3.0614141.812345.6789"), scheme = Text(L""), filter, prefix;
    V_VT(&filter) = VT_I4;
    V_I4(&filter) = 0;
    V_VT(&prefix) = VT_I4;
    V_I4(&prefix) = 0;
    Call call;
    Invoke(pb, L"EpcEncode", {&input, &scheme, &filter, &prefix}, call);
    Check(
        call.Hr == S_OK && V_VT(&call.Result) == VT_BSTR && TextOf(V_BSTR(&call.Result)) == L"3074257BF7194E4000001A85",
        "EpcEncode through IDispatch gives the EPC of the tag URI", Outcome(call));
    VariantClear(&input);
    VariantClear(&scheme);
  }
  {
    VARIANT hex = Text(L"3074257BF7194E4000001A85");
    Call call;
    Invoke(pb, L"EpcDecode", {&hex}, call);
    Check(call.Hr == S_OK && V_VT(&call.Result) == VT_BSTR &&
              TextOf(V_BSTR(&call.Result)) ==
                  L"urn:epc:tag:sgtin-96:3.0614141.812345.6789\r\nurn:epc:id:sgtin:0614141.812345.6789\r\n"
                  L"(01)80614141123458(21)6789",
          "EpcDecode through IDispatch gives three lines", Outcome(call));
    VariantClear(&hex);
  }

  {
    Call call;
    Invoke(pb, L"GetVer", {}, call);
    Check(call.Hr == S_OK && V_VT(&call.Result) == VT_BSTR && TextOf(V_BSTR(&call.Result)) == L"" MORVEL_VERSION,
          "GetVer is " MORVEL_VERSION, Outcome(call));
  }
  {
    Call call;
    Invoke(pb, L"RFIDType", {}, call, DISPATCH_PROPERTYGET);
    Check(call.Hr == S_OK && V_VT(&call.Result) == VT_I2 && V_I2(&call.Result) == -1,
          "RFIDType of a fresh control is -1 (an Integer)", Outcome(call));
  }

  struct Failure {
    const wchar_t* Member;
    std::vector<VARIANT> Args;
    int Number;
    const char* Description;
  };
  VARIANT null;
  V_VT(&null) = VT_NULL;
  VARIANT list;
  V_VT(&list) = VT_ARRAY | VT_I4;
  V_ARRAY(&list) = SafeArrayCreateVector(VT_I4, 0, 2);
  Failure failures[] = {
      {L"PrintLabel", {Text(L"1")}, 91, "Object variable or With block variable not set"},
      {L"GetDot", {Text(L"abc")}, 13, "Type mismatch"},
      {L"GetDot", {list}, 13, "Type mismatch"},
      {L"GetVer", {Text(L"1")}, 450, "Wrong number of arguments or invalid property assignment"},
      {L"SetPrint", {null}, 94, "Invalid use of Null"},
      {L"PrintList",
       {Text(L"ZDESIGNER:gk ")},
       457,
       "This key is already associated with an element of this collection"},
      {L"EpcDecode", {Text(L"XYZ")}, 5, "'X' is not a hexadecimal digit"},
  };
  for (auto& f : failures) {
    Call call;
    std::vector<VARIANT*> args;
    for (auto& a : f.Args) args.push_back(&a);
    Invoke(pb, f.Member, args, call);
    Check(call.Number() == f.Number && call.Description() == f.Description &&
              Narrow(call.Exception.bstrSource) == "Morvel.PrintBarCode",
          Narrow(f.Member) + ": error " + std::to_string(f.Number) + " in EXCEPINFO", Outcome(call));
    for (auto& a : f.Args) VariantClear(&a);
  }
  {
    // Without an EXCEPINFO the HRESULT itself, and the error object.
    VARIANT copies = Text(L"1");
    DISPPARAMS params{&copies, nullptr, 1, 0};
    hr = pb->Invoke(0x6003000A, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    IErrorInfo* error = nullptr;
    BSTR description = nullptr;
    if (GetErrorInfo(0, &error) == S_OK) {
      error->GetDescription(&description);
      error->Release();
    }
    Check(hr == static_cast<HRESULT>(0x800A005B) &&
              TextOf(description) == L"Object variable or With block variable not set",
          "without EXCEPINFO: HRESULT 0x800A005B and the error object", Hex(hr));
    SysFreeString(description);
    VariantClear(&copies);
  }
  {
    VARIANT copies = Text(L"1");
    DISPPARAMS params{&copies, nullptr, 1, 0};
    DISPID put = DISPID_PROPERTYPUT;
    params.rgdispidNamedArgs = &put;
    params.cNamedArgs = 1;
    hr = pb->Invoke(0x68030010, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr);
    Check(hr == DISP_E_MEMBERNOTFOUND, "assigning a read-only property is refused", Hex(hr));
    VariantClear(&copies);
  }

  // Named arguments, then by-reference write-back in both forms: the Zebra
  // driver gives OpenPort's name back through the ANSI code page.
  {
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"SetPrint"), const_cast<LPOLESTR>(L"PRINTERNAME")};
    DISPID ids[2] = {};
    pb->GetIDsOfNames(IID_NULL, names, 2, 0, ids);
    VARIANT name = Text(L"ZDesigner GK420t");
    DISPPARAMS params{&name, &ids[1], 1, 1};
    VARIANT result;
    VariantInit(&result);
    hr = pb->Invoke(ids[0], IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
    Check(ids[1] == 0 && hr == S_OK && V_VT(&result) == VT_I2 && V_I2(&result) == 0,
          "SetPrint with its argument named printerName", Hex(hr));
    VariantClear(&name);
  }
  {
    BSTR name = SysAllocString(L"ZDesigner \u6761\u7801");
    VARIANT arg = ByRef(&name);
    Call call;
    Invoke(pb, L"OpenPort", {&arg}, call);
    Check(call.Hr == S_OK && TextOf(name) == L"ZDesigner ??",
          "VT_BYREF|VT_BSTR: the caller's string comes back through the code page", Outcome(call));
    SysFreeString(name);
    Call close;
    Invoke(pb, L"ClosePort", {}, close);
  }
  {
    VARIANT inner = Text(L"ZDesigner \u00E9\u6761");
    VARIANT arg = ByRefVariant(&inner);
    Call call;
    Invoke(pb, L"OpenPort", {&arg}, call);
    Check(call.Hr == S_OK && V_VT(&inner) == VT_BSTR && TextOf(V_BSTR(&inner)) == L"ZDesigner \u00E9?",
          "VT_BYREF|VT_VARIANT: the script's variable comes back through the code page", Outcome(call));
    VariantClear(&inner);
    Call close;
    Invoke(pb, L"ClosePort", {}, close);
  }
  {
    VARIANT inner;
    V_VT(&inner) = VT_I4;
    V_I4(&inner) = 42;
    VARIANT arg = ByRefVariant(&inner);
    Call call;
    Invoke(pb, L"OpenPort", {&arg}, call);
    Check(call.Hr == S_OK && V_VT(&inner) == VT_I4 && V_I4(&inner) == 42,
          "a variable of another type is converted for the call and keeps its value", Outcome(call));
    Call close;
    Invoke(pb, L"ClosePort", {}, close);
  }
  {
    float pixels = 96;
    VARIANT arg;
    V_VT(&arg) = VT_BYREF | VT_R4;
    V_R4REF(&arg) = &pixels;
    Call call;
    Invoke(pb, L"GetDot", {&arg}, call);
    Check(call.Hr == S_OK && V_VT(&call.Result) == VT_I2, "GetDot takes a Single by reference", Outcome(call));
  }
  pb->Release();
}

void Vtable() {
  _PrintBarCode* pb = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_PrintBarCode, nullptr, CLSCTX_INPROC_SERVER, IID__PrintBarCode,
                                reinterpret_cast<void**>(&pb));
  Check(SUCCEEDED(hr) && pb != nullptr, "the dual interface _PrintBarCode", Hex(hr));
  if (pb == nullptr) return;
  BSTR version = nullptr;
  Check(pb->GetVer(&version) == S_OK && TextOf(version) == L"" MORVEL_VERSION, "vtable: GetVer");
  SysFreeString(version);

  BSTR copies = SysAllocString(L"1");
  hr = pb->PrintLabel(&copies);
  IErrorInfo* error = nullptr;
  BSTR description = nullptr;
  ISupportErrorInfo* supports = nullptr;
  bool told = SUCCEEDED(pb->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&supports))) &&
              supports->InterfaceSupportsErrorInfo(IID__PrintBarCode) == S_OK;
  if (supports != nullptr) supports->Release();
  if (GetErrorInfo(0, &error) == S_OK) {
    error->GetDescription(&description);
    error->Release();
  }
  Check(hr == static_cast<HRESULT>(0x800A005B) && told &&
            TextOf(description) == L"Object variable or With block variable not set",
        "vtable: error 91 as its HRESULT with the error object", Hex(hr));
  SysFreeString(description);
  SysFreeString(copies);

  BSTR name = SysAllocString(L"ZDesigner GK420t");
  short chosen = -5;
  Check(pb->SetPrint(&name, &chosen) == S_OK && chosen == 0, "vtable: SetPrint");
  SysFreeString(name);
  name = SysAllocString(L"ZDesigner \u6761");
  Check(pb->OpenPort(&name) == S_OK && TextOf(name) == L"ZDesigner ?", "vtable: OpenPort writes the name back");
  SysFreeString(name);
  pb->ClosePort();
  Check(pb->SetPrint(nullptr, &chosen) == E_POINTER, "vtable: a null reference is E_POINTER");

  // The second interface: the same object, the first interface's vtable
  // extended by the members it adds.
  _PrintBarCode2* pb2 = nullptr;
  IUnknown *identity = nullptr, *identity2 = nullptr;
  hr = pb->QueryInterface(IID__PrintBarCode2, reinterpret_cast<void**>(&pb2));
  if (pb2 != nullptr) {
    pb->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
    pb2->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity2));
  }
  Check(SUCCEEDED(hr) && pb2 != nullptr && identity != nullptr && identity == identity2,
        "QueryInterface gives _PrintBarCode2 of the same object", Hex(hr));
  if (identity != nullptr) identity->Release();
  if (identity2 != nullptr) identity2->Release();
  if (pb2 == nullptr) {
    pb->Release();
    return;
  }
  _PrintBarCode* first = nullptr;
  Check(SUCCEEDED(pb2->QueryInterface(IID__PrintBarCode, reinterpret_cast<void**>(&first))) && first != nullptr,
        "and _PrintBarCode back from it");
  if (first != nullptr) {
    version = nullptr;
    Check(first->GetVer(&version) == S_OK && TextOf(version) == L"" MORVEL_VERSION, "vtable: GetVer through it");
    SysFreeString(version);
    first->Release();
  }
  version = nullptr;
  Check(pb2->GetVer(&version) == S_OK && TextOf(version) == L"" MORVEL_VERSION,
        "vtable: _PrintBarCode2 has the first interface's members");
  SysFreeString(version);
  BSTR input = SysAllocString(L"(01)80614141123458(21)6789"), scheme = SysAllocString(L"SGTIN-96"), hex = nullptr;
  Check(pb2->EpcEncode(input, scheme, 3, 7, &hex) == S_OK && TextOf(hex) == L"3074257BF7194E4000001A85",
        "vtable: EpcEncode of an element string", Narrow(hex));
  SysFreeString(input);
  SysFreeString(scheme);
  SysFreeString(hex);
  BSTR results = nullptr;
  Check(pb2->TagResults(&results) == S_OK && TextOf(results).empty(), "vtable: TagResults of a label without a tag");
  SysFreeString(results);

  // The error object names the interface that declares the member.
  auto namedInterface = [] {
    GUID told{};
    IErrorInfo* error = nullptr;
    if (GetErrorInfo(0, &error) == S_OK) {
      error->GetGUID(&told);
      error->Release();
    }
    return told;
  };
  BSTR wrong = SysAllocString(L"3G"), decoded = nullptr;
  hr = pb2->EpcDecode(wrong, &decoded);
  GUID named = namedInterface();
  ISupportErrorInfo* supports2 = nullptr;
  bool supported = SUCCEEDED(pb2->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&supports2))) &&
                   supports2->InterfaceSupportsErrorInfo(IID__PrintBarCode2) == S_OK;
  if (supports2 != nullptr) supports2->Release();
  Check(hr == static_cast<HRESULT>(0x800A0005) && named == IID__PrintBarCode2 && supported,
        "vtable: a refused EPC is error 5, its error object names _PrintBarCode2", Hex(hr));
  SysFreeString(wrong);
  SysFreeString(decoded);
  BSTR taken = SysAllocString(L"ZDESIGNER:gk ");
  hr = pb2->PrintList(&taken);
  named = namedInterface();
  Check(hr == static_cast<HRESULT>(0x800A01C9) && named == IID__PrintBarCode,
        "vtable: an error of a first-interface member still names _PrintBarCode", Hex(hr));
  SysFreeString(taken);
  pb2->Release();
  pb->Release();
}

// A picture of the host reaches the driver as the same picture the file
// gives: SATO's collected text is the same either way.
void Pictures(const char* logo) {
  std::wstring path;
  for (const char* p = logo; *p != 0; ++p) path += static_cast<wchar_t>(*p);
  IPictureDisp* picture = nullptr;
  HRESULT hr = OleLoadPicturePath(const_cast<LPOLESTR>(path.c_str()), nullptr, 0, 0, IID_IPictureDisp,
                                  reinterpret_cast<void**>(&picture));
  Check(SUCCEEDED(hr) && picture != nullptr, "OleLoadPicturePath reads the logo", Hex(hr));
  if (picture == nullptr) return;
  std::wstring collected[2];
  for (int pass = 0; pass < 2; ++pass) {
    _PrintBarCode* pb = nullptr;
    CoCreateInstance(CLSID_PrintBarCode, nullptr, CLSCTX_INPROC_SERVER, IID__PrintBarCode,
                     reinterpret_cast<void**>(&pb));
    if (pb == nullptr) return;
    BSTR name = SysAllocString(L"SATO CL4NX 305dpi");
    short chosen = 0;
    pb->SetPrint(&name, &chosen);
    SysFreeString(name);
    BSTR file = SysAllocString(path.c_str());
    hr = pass == 0 ? pb->DrawImageFromFile(file, 10, 20, 0, 0) : pb->DrawImageFromPicture(picture, 10, 20, 0, 0);
    SysFreeString(file);
    BSTR text = nullptr;
    pb->get_CommandPrint(&text);
    collected[pass] = TextOf(text);
    SysFreeString(text);
    pb->Release();
  }
  Check(!collected[0].empty() && collected[0] == collected[1],
        "DrawImageFromPicture of an OLE picture gives what DrawImageFromFile gives",
        std::to_string(collected[0].size()) + " and " + std::to_string(collected[1].size()) + " characters");
  picture->Release();
}

void Unload() {
  HMODULE module = GetModuleHandleW(L"Morvel2.ocx");
  FARPROC entry = module != nullptr ? GetProcAddress(module, "DllCanUnloadNow") : nullptr;
  auto canUnload = reinterpret_cast<HRESULT(WINAPI*)()>(reinterpret_cast<void*>(entry));
  if (canUnload == nullptr) {
    Check(false, "DllCanUnloadNow is exported under its plain name");
    return;
  }
  IDispatch* pb = nullptr;
  CoCreateInstance(CLSID_PrintBarCode, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&pb));
  HRESULT alive = canUnload();
  if (pb != nullptr) pb->Release();
  Check(alive == S_FALSE && canUnload() == S_OK, "DllCanUnloadNow: not while an object lives, then yes");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s LOGO.BMP | --registration\n", argv[0]);
    return 2;
  }
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  Registry();
  TypeLibrary();
  if (std::string(argv[1]) == "--registration") {
    CoUninitialize();
    return wine_checks::Summary();
  }
  Dispatch();
  Vtable();
  Pictures(argv[1]);
  Unload();
  CoUninitialize();
  return wine_checks::Summary();
}
