// The entry points of Morvel2.ocx: the class factory of PrintBarCode, the
// unload check, and self-registration (the type library embedded in this
// file, the class with its ProgID, apartment threading and control marks).
// PrintInfo and clsBase64 are described in the library but not creatable.
#include <olectl.h>
#include <windows.h>

#include <atomic>
#include <string>

#include "hosts/com/Object.h"
#include "morvel_tlb.h"
#include "platform/services.h"
#include "platform/win32.h"

namespace morvel::com {
namespace {

std::atomic<LONG> locks{0};

class Factory final : public IClassFactory {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      *out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  // One static factory: its references do not keep the module.
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (out != nullptr) *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return CreatePrintBarCode(iid, out);
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    if (lock)
      ++locks;
    else
      --locks;
    return S_OK;
  }
};

Factory factory;

constexpr wchar_t ProgId[] = L"Morvel.PrintBarCode";
// OLEMISC: set client site first, invisible at run time, activate when
// visible, inside-out, cannot link inside, recompose on resize.
constexpr wchar_t MiscStatus[] = L"132497";  // 0x20591
constexpr wchar_t ControlCategory[] = L"{40FC6ED4-2438-11CF-A3DB-080036F12502}";

std::wstring GuidText(REFGUID guid) {
  wchar_t text[64];
  StringFromGUID2(guid, text, static_cast<int>(std::size(text)));
  return text;
}

std::wstring ModulePath() {
  wchar_t path[MAX_PATH * 2];
  DWORD size = GetModuleFileNameW(ThisModule(), path, static_cast<DWORD>(std::size(path)));
  return std::wstring(path, size);
}

bool SetKey(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  HKEY handle = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr) !=
      ERROR_SUCCESS)
    return false;
  LONG status = RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                               static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(handle);
  return status == ERROR_SUCCESS;
}

void RemoveClassKeys() {
  std::wstring clsid = L"CLSID\\" + GuidText(CLSID_PrintBarCode);
  RegDeleteTreeW(HKEY_CLASSES_ROOT, clsid.c_str());
  RegDeleteTreeW(HKEY_CLASSES_ROOT, ProgId);
}

}  // namespace
}  // namespace morvel::com

using namespace morvel::com;

extern "C" {

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (clsid != CLSID_PrintBarCode) return CLASS_E_CLASSNOTAVAILABLE;
  return factory.QueryInterface(iid, out);
}

STDAPI DllCanUnloadNow() { return LiveObjects() == 0 && locks == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() {
  std::wstring path = ModulePath();
  ITypeLib* library = nullptr;
  HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_REGISTER, &library);
  if (FAILED(hr)) {
    morvel::platform::Logger().Record("com: the type library cannot be registered: " +
                                      morvel::platform::win::ErrorText(static_cast<DWORD>(hr)));
    return SELFREG_E_TYPELIB;
  }
  library->Release();

  std::wstring clsid = GuidText(CLSID_PrintBarCode), key = L"CLSID\\" + clsid;
  bool ok = SetKey(key, nullptr, ProgId) && SetKey(key + L"\\InprocServer32", nullptr, path) &&
            SetKey(key + L"\\InprocServer32", L"ThreadingModel", L"Apartment") &&
            SetKey(key + L"\\ProgID", nullptr, ProgId) &&
            SetKey(key + L"\\VersionIndependentProgID", nullptr, ProgId) &&
            SetKey(key + L"\\TypeLib", nullptr, GuidText(LIBID_Morvel)) &&
            SetKey(key + L"\\Version", nullptr, L"3.3") && SetKey(key + L"\\Control", nullptr, L"") &&
            SetKey(key + L"\\MiscStatus", nullptr, L"0") && SetKey(key + L"\\MiscStatus\\1", nullptr, MiscStatus) &&
            SetKey(key + L"\\Implemented Categories\\" + ControlCategory, nullptr, L"") &&
            SetKey(ProgId, nullptr, ProgId) && SetKey(std::wstring(ProgId) + L"\\CLSID", nullptr, clsid);
  if (!ok) {
    morvel::platform::Logger().Record("com: the class keys cannot be written: " +
                                      morvel::platform::win::ErrorText(GetLastError()));
    RemoveClassKeys();
    return SELFREG_E_CLASS;
  }
  return S_OK;
}

STDAPI DllUnregisterServer() {
  RemoveClassKeys();
  ITypeLib* library = nullptr;
  if (SUCCEEDED(LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, &library))) {
    TLIBATTR* attributes = nullptr;
    if (SUCCEEDED(library->GetLibAttr(&attributes))) {
      UnRegisterTypeLib(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum, attributes->lcid,
                        attributes->syskind);
      library->ReleaseTLibAttr(attributes);
    }
    library->Release();
  }
  return S_OK;
}

}  // extern "C"
