// Safe for scripting only where the administrator or the user allows: the
// control answers IObjectSafety for the page it is embedded in, and grants
// the untrusted caller and data options only when every address it can
// learn of that page has an allowed origin (platform/origins.h: the same
// list as the web bridge). No site, an address it cannot learn, or a page
// without an origin to allow (file:, about:) is refused, so Internet
// Explorer shows its usual warning and the page cannot use the control.
#pragma once

#include <objsafe.h>
#include <windows.h>

#include <string>
#include <vector>

namespace morvel::com {

class Embedding;

class SiteLock final : public IObjectSafety {
 public:
  SiteLock(IUnknown* outer, Embedding& embedding) : outer_(outer), embedding_(embedding) {}

  void* Find(REFIID iid) { return iid == IID_IObjectSafety ? static_cast<IObjectSafety*>(this) : nullptr; }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override { return outer_->QueryInterface(iid, out); }
  STDMETHODIMP_(ULONG) AddRef() override { return outer_->AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return outer_->Release(); }

  STDMETHODIMP GetInterfaceSafetyOptions(REFIID iid, DWORD* supported, DWORD* enabled) override;
  STDMETHODIMP SetInterfaceSafetyOptions(REFIID iid, DWORD mask, DWORD enabled) override;

 private:
  IUnknown* outer_;
  Embedding& embedding_;
  DWORD scripting_ = 0;     // enabled for the scripting interfaces
  DWORD initializing_ = 0;  // enabled for the persistence interfaces
};

// The addresses of the page a client site belongs to, as Internet Explorer
// tells them: the document that holds it (its URL) and the browser
// (IServiceProvider, SID_SWebBrowserApp: its LocationURL).
std::vector<std::wstring> PageAddresses(IUnknown* site);

// Why a page of these addresses may not script the control; empty when it may.
std::string RefusalOf(const std::vector<std::wstring>& addresses);

}  // namespace morvel::com
