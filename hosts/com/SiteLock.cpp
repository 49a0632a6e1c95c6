// IObjectSafety locked to the allowed origins: see SiteLock.h.
#include "hosts/com/SiteLock.h"

#include <exdisp.h>
#include <mshtml.h>
#include <servprov.h>
#include <shlguid.h>

#include <algorithm>

#include "hosts/com/Embedding.h"
#include "morvel/types.h"
#include "morvel_tlb.h"
#include "platform/origins.h"
#include "platform/services.h"

namespace morvel::com {
namespace {

constexpr DWORD SafetyOptions = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;

bool Scripting(REFIID iid) { return iid == IID_IDispatch || iid == IID__PrintBarCode || iid == IID__PrintBarCode2; }
bool Initializing(REFIID iid) {
  return iid == IID_IPersistPropertyBag || iid == IID_IPersistStreamInit || iid == IID_IPersistStorage;
}

std::string Utf8(const std::wstring& text) {
  return ToUtf8(String(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

// A text property of an automation object, read by its name (both the
// browser and the document are dual interfaces).
std::wstring TextProperty(IUnknown* object, const wchar_t* name) {
  std::wstring out;
  IDispatch* dispatch = nullptr;
  if (object == nullptr || FAILED(object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))) ||
      dispatch == nullptr)
    return out;
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  VARIANT value;
  VariantInit(&value);
  DISPPARAMS none{};
  if (SUCCEEDED(dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id)) &&
      SUCCEEDED(
          dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr)) &&
      V_VT(&value) == VT_BSTR && V_BSTR(&value) != nullptr)
    out.assign(V_BSTR(&value), SysStringLen(V_BSTR(&value)));
  VariantClear(&value);
  dispatch->Release();
  return out;
}

void AddAddress(std::vector<std::wstring>& list, std::wstring address) {
  if (!address.empty() && std::find(list.begin(), list.end(), address) == list.end())
    list.push_back(std::move(address));
}

}  // namespace

std::vector<std::wstring> PageAddresses(IUnknown* site) {
  std::vector<std::wstring> addresses;
  if (site == nullptr) return addresses;
  IOleClientSite* clientSite = nullptr;
  if (SUCCEEDED(site->QueryInterface(IID_IOleClientSite, reinterpret_cast<void**>(&clientSite))) &&
      clientSite != nullptr) {
    IOleContainer* container = nullptr;
    if (SUCCEEDED(clientSite->GetContainer(&container)) && container != nullptr) {
      IUnknown* document = nullptr;
      if (SUCCEEDED(container->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&document))) &&
          document != nullptr) {
        AddAddress(addresses, TextProperty(document, L"URL"));
        document->Release();
      }
      container->Release();
    }
    clientSite->Release();
  }
  IServiceProvider* services = nullptr;
  if (SUCCEEDED(site->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(&services))) &&
      services != nullptr) {
    IUnknown* browser = nullptr;
    if (SUCCEEDED(services->QueryService(SID_SWebBrowserApp, IID_IWebBrowser2, reinterpret_cast<void**>(&browser))) &&
        browser != nullptr) {
      AddAddress(addresses, TextProperty(browser, L"LocationURL"));
      browser->Release();
    }
    services->Release();
  }
  return addresses;
}

std::string RefusalOf(const std::vector<std::wstring>& addresses) {
  if (addresses.empty()) return "the page's address cannot be learnt from the control's site";
  std::vector<std::string> allowed = platform::AllowedOrigins();
  for (const std::wstring& address : addresses) {
    std::string text = Utf8(address), origin = platform::OriginOfUrl(text);
    if (origin.empty()) return "the page " + text + " has no origin that can be allowed";
    if (std::find(allowed.begin(), allowed.end(), origin) == allowed.end())
      return "the origin " + origin + " of the page " + text + " is not allowed (" + platform::UserOriginFile() +
             ", or " + platform::MachineOriginsPlace() + ")";
  }
  return std::string();
}

STDMETHODIMP SiteLock::GetInterfaceSafetyOptions(REFIID iid, DWORD* supported, DWORD* enabled) {
  if (supported == nullptr || enabled == nullptr) return E_POINTER;
  *supported = *enabled = 0;
  if (!Scripting(iid) && !Initializing(iid)) return E_NOINTERFACE;
  *supported = SafetyOptions;
  *enabled = Scripting(iid) ? scripting_ : initializing_;
  return S_OK;
}

STDMETHODIMP SiteLock::SetInterfaceSafetyOptions(REFIID iid, DWORD mask, DWORD enabled) {
  if (!Scripting(iid) && !Initializing(iid)) return E_NOINTERFACE;
  if ((mask & ~SafetyOptions) != 0) return E_FAIL;
  DWORD& options = Scripting(iid) ? scripting_ : initializing_;
  DWORD wanted = (options & ~mask) | (enabled & mask);
  if ((wanted & ~options) != 0) {
    // Granting something new: only to a page whose origin is allowed.
    std::string refusal = embedding_.ClientSite() == nullptr
                              ? std::string("the control has no site: it is not in a page")
                              : RefusalOf(PageAddresses(embedding_.ClientSite()));
    if (!refusal.empty()) {
      platform::Logger().Record("com: not safe for scripting here: " + refusal);
      return E_FAIL;
    }
  }
  options = wanted;
  return S_OK;
}

}  // namespace morvel::com
