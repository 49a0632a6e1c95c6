// The control held as containers hold it, under Wine after regsvr32:
//
//   - as a VB6 form does: client site first, InitNew, misc status, in-place
//     activation (windowless), Draw while designing and nothing at run time,
//     advise sinks, Save to a stream, a property bag and a storage and Load
//     into a second instance, the connection point of its event interface,
//     Close; then, at run time, a label printed through the held instance;
//   - as Internet Explorer holds a control: IObjectSafety granted, once the
//     client site is set, only to a page whose origins (the document's URL,
//     the browser's LocationURL) are allowed by
//     the user's file or the machine's registry list, refused for others,
//     for file: and about: pages and without a site;
//   - by a container nobody here wrote: Wine's ATL (AtlAxCreateControl with
//     the ProgID, and an "AtlAxWin" window), whose hosted instance prints a
//     label through IDispatch.
//
//   container_wine_test PRINTER
//
// The two labels go to PRINTER with the calls of HostedLabel below; the
// harness compares them with `morvel run` of the same calls. Prints one line
// per check and "N passed, M failed"; exits 1 on a failure.
#include <exdisp.h>
#include <mshtml.h>
#include <objsafe.h>
#include <ocidl.h>
#include <olectl.h>
#include <servprov.h>
#include <shlguid.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "morvel_tlb.h"
#include "tests/windows/wine_checks.h"

namespace {

using wine_checks::Check;

// IDispatchEx, which script engines ask for first (mingw's uuid library lacks it).
constexpr IID DispatchEx = {0xA6EF9860, 0xC720, 0x11D0, {0x93, 0x37, 0x00, 0xA0, 0xC9, 0x0D, 0xCA, 0xA9}};

std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

// Reference counting shared by the fakes; the count is what the checks read.
class Counted {
 public:
  virtual ~Counted() = default;
  ULONG Add() { return static_cast<ULONG>(++references); }
  ULONG Drop() {
    LONG left = --references;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  LONG references = 1;
};

#define COUNTED_UNKNOWN                                    \
  STDMETHODIMP_(ULONG) AddRef() override { return Add(); } \
  STDMETHODIMP_(ULONG) Release() override { return Drop(); }

// An automation object with text properties by name (the browser's
// LocationURL, the document's URL, the ambient DisplayName) and fixed ids.
class Properties : public IDispatch, public Counted {
 public:
  struct Property {
    DISPID Id;
    std::wstring Name;
    VARIANT Value;
  };
  std::vector<Property> Values;
  std::vector<DISPID> Asked;

  void Set(DISPID id, const std::wstring& name, VARIANT value) { Values.push_back({id, name, value}); }
  ~Properties() override {
    for (auto& p : Values) VariantClear(&p.Value);
  }
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IDispatch) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  COUNTED_UNKNOWN
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    for (auto& p : Values)
      if (_wcsicmp(p.Name.c_str(), names[0]) == 0) {
        ids[0] = p.Id;
        return S_OK;
      }
    return DISP_E_UNKNOWNNAME;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override {
    Asked.push_back(id);
    for (auto& p : Values)
      if (p.Id == id) return result != nullptr ? VariantCopy(result, &p.Value) : S_OK;
    return DISP_E_MEMBERNOTFOUND;
  }
};

VARIANT Text(const std::wstring& text) {
  VARIANT v;
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocString(text.c_str());
  return v;
}

VARIANT Bool(bool value) {
  VARIANT v;
  V_VT(&v) = VT_BOOL;
  V_BOOL(&v) = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

// The document that holds the client site: an IOleContainer that answers
// for IHTMLDocument2 with its URL.
class Document : public IOleContainer, public Counted {
 public:
  explicit Document(const std::wstring& url) { url_.Set(1, L"URL", Text(url)); }
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IOleContainer || iid == IID_IParseDisplayName)
      *out = static_cast<IOleContainer*>(this);
    else if (iid == IID_IHTMLDocument2 || iid == IID_IDispatch)
      return url_.QueryInterface(IID_IDispatch, out);  // only its automation side is asked
    else
      return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  COUNTED_UNKNOWN
  STDMETHODIMP ParseDisplayName(IBindCtx*, LPOLESTR, ULONG*, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP EnumObjects(DWORD, IEnumUnknown**) override { return E_NOTIMPL; }
  STDMETHODIMP LockContainer(BOOL) override { return S_OK; }

 private:
  Properties url_;  // lives with the document; its own count is never dropped to 0
};

// The container's site: client site, in-place site, ambient properties, and,
// for a page, the services that name it.
class Site : public IOleClientSite, public IOleInPlaceSite, public IServiceProvider, public Counted {
 public:
  bool UserMode = false;
  std::wstring DisplayName = L"PrintBarCode1";
  std::wstring DocumentUrl, BrowserUrl;  // empty: not a page, or not told
  int Activations = 0, Deactivations = 0, AmbientReads = 0;

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IOleClientSite)
      *out = static_cast<IOleClientSite*>(this);
    else if (iid == IID_IOleInPlaceSite || iid == IID_IOleWindow)
      *out = static_cast<IOleInPlaceSite*>(this);
    else if (iid == IID_IServiceProvider && !BrowserUrl.empty())
      *out = static_cast<IServiceProvider*>(this);
    else if (iid == IID_IDispatch) {
      // The ambient properties, made afresh so a change shows.
      auto* ambient = new Properties();
      ambient->Set(DISPID_AMBIENT_USERMODE, L"UserMode", Bool(UserMode));
      ambient->Set(DISPID_AMBIENT_DISPLAYNAME, L"DisplayName", Text(DisplayName));
      ++AmbientReads;
      *out = static_cast<IDispatch*>(ambient);
      return S_OK;
    } else
      return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  COUNTED_UNKNOWN
  // IOleClientSite
  STDMETHODIMP SaveObject() override { return S_OK; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
    *moniker = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetContainer(IOleContainer** container) override {
    *container = nullptr;
    if (DocumentUrl.empty()) return E_NOINTERFACE;
    *container = new Document(DocumentUrl);
    return S_OK;
  }
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }
  // IOleInPlaceSite
  STDMETHODIMP GetWindow(HWND* window) override {
    *window = GetDesktopWindow();
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnInPlaceActivate() override {
    ++Activations;
    return S_OK;
  }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame**, IOleInPlaceUIWindow**, LPRECT, LPRECT,
                                LPOLEINPLACEFRAMEINFO) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override {
    ++Deactivations;
    return S_OK;
  }
  STDMETHODIMP DiscardUndoState() override { return S_OK; }
  STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
  STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }
  // IServiceProvider: the browser, as far as its LocationURL.
  STDMETHODIMP QueryService(REFGUID service, REFIID iid, void** out) override {
    *out = nullptr;
    if (service != SID_SWebBrowserApp || (iid != IID_IWebBrowser2 && iid != IID_IDispatch)) return E_NOINTERFACE;
    auto* browser = new Properties();
    browser->Set(211, L"LocationURL", Text(BrowserUrl));
    *out = static_cast<IDispatch*>(browser);  // only its automation side is asked
    return S_OK;
  }
};

// A sink for both kinds of notification a container takes: IAdviseSink and
// the event interface (as IDispatch).
class Sink : public IAdviseSink, public IDispatch, public Counted {
 public:
  int Closes = 0, ViewChanges = 0;
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IAdviseSink)
      *out = static_cast<IAdviseSink*>(this);
    else if (iid == IID_IDispatch || iid == DIID___PrintBarCode)
      *out = static_cast<IDispatch*>(this);
    else
      return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  COUNTED_UNKNOWN
  STDMETHODIMP_(void) OnDataChange(FORMATETC*, STGMEDIUM*) override {}
  STDMETHODIMP_(void) OnViewChange(DWORD, LONG) override { ++ViewChanges; }
  STDMETHODIMP_(void) OnRename(IMoniker*) override {}
  STDMETHODIMP_(void) OnSave() override {}
  STDMETHODIMP_(void) OnClose() override { ++Closes; }
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return S_OK; }
};

// A property bag as VB6's .frm text and a page's <param> tags are.
class Bag : public IPropertyBag, public Counted {
 public:
  std::vector<std::wstring> Written;
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IPropertyBag) return E_NOINTERFACE;
    *out = static_cast<IPropertyBag*>(this);
    AddRef();
    return S_OK;
  }
  COUNTED_UNKNOWN
  STDMETHODIMP Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override {
    // A later version's property, and a page's own parameter.
    if (_wcsicmp(name, L"Printer") == 0 || _wcsicmp(name, L"_Version") == 0) {
      *value = Text(L"ZDesigner GK420t");
      return S_OK;
    }
    return E_INVALIDARG;
  }
  STDMETHODIMP Write(LPCOLESTR name, VARIANT*) override {
    Written.push_back(name);
    return S_OK;
  }
};

template <class T>
T* Ask(IUnknown* object, REFIID iid) {
  T* out = nullptr;
  if (object == nullptr || FAILED(object->QueryInterface(iid, reinterpret_cast<void**>(&out)))) return nullptr;
  return out;
}

template <class T>
void Drop(T*& p) {
  if (p != nullptr) p->Release();
  p = nullptr;
}

IOleObject* NewControl() {
  IOleObject* object = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_PrintBarCode, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                reinterpret_cast<void**>(&object));
  if (FAILED(hr)) Check(false, "the class gives an IOleObject", Hex(hr));
  return object;
}

// The calls of the hosted labels, each argument as text, as a script
// passes it; `morvel run` of the harness's copy sends the same bytes.
HRESULT CallText(IDispatch* control, const wchar_t* name, std::vector<std::wstring> args) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = control->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  std::vector<VARIANT> reversed;
  for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(Text(*it));
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  VARIANT result;
  VariantInit(&result);
  hr = control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
  VariantClear(&result);
  for (auto& v : reversed) VariantClear(&v);
  return hr;
}

bool HostedLabel(IUnknown* control, const std::wstring& printer, const std::wstring& text) {
  IDispatch* dispatch = Ask<IDispatch>(control, IID_IDispatch);
  if (dispatch == nullptr) return false;
  HRESULT hr = S_OK;
  auto call = [&](const wchar_t* name, std::vector<std::wstring> args) {
    if (SUCCEEDED(hr)) hr = CallText(dispatch, name, std::move(args));
  };
  call(L"SetPrint", {printer});
  call(L"OpenPort", {printer});
  call(L"InitPrint", {L"60", L"40", L"4", L"10", L"2", L"1", L"0"});
  call(L"PrintFont", {L"10", L"20", text, L"12", L"F1.TTF"});
  call(L"PrintCode", {L"10", L"60", L"12345678", L"128", L"1", L"30", L"2", L"4"});
  call(L"PrintLabel", {L"1"});
  call(L"ClosePort", {});
  dispatch->Release();
  return SUCCEEDED(hr);
}

// A white 64 x 32 picture to draw into, and how many of its pixels are black.
struct Canvas {
  HDC Dc = CreateCompatibleDC(nullptr);
  void* Bits = nullptr;
  HBITMAP Bitmap;
  HGDIOBJ Old;
  Canvas() {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 64, -32, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    Bitmap = CreateDIBSection(Dc, &info, DIB_RGB_COLORS, &Bits, nullptr, 0);
    Old = SelectObject(Dc, Bitmap);
    std::fill_n(static_cast<DWORD*>(Bits), 64 * 32, 0x00FF0000);  // blue: nothing drawn
  }
  ~Canvas() {
    SelectObject(Dc, Old);
    DeleteObject(Bitmap);
    DeleteDC(Dc);
  }
  int Count(DWORD color) const {
    GdiFlush();
    int n = 0;
    for (int i = 0; i < 64 * 32; ++i) n += (static_cast<const DWORD*>(Bits)[i] & 0xFFFFFF) == color;
    return n;
  }
};

void AsAFormHoldsIt(const std::wstring& printer) {
  std::printf("# as a VB6 form holds it\n");
  IOleObject* object = NewControl();
  if (object == nullptr) return;
  DWORD misc = 0;
  object->GetMiscStatus(DVASPECT_CONTENT, &misc);
  Check(misc == 132497 && (misc & OLEMISC_INVISIBLEATRUNTIME) && (misc & OLEMISC_SETCLIENTSITEFIRST),
        "the misc status is the registered one: set the client site first, invisible at run time",
        std::to_string(misc));

  auto* site = new Site();
  Check(object->SetClientSite(site) == S_OK, "the client site is taken");
  IPersistStreamInit* stream = Ask<IPersistStreamInit>(object, IID_IPersistStreamInit);
  Check(stream != nullptr && stream->InitNew() == S_OK, "InitNew through IPersistStreamInit");
  SIZEL size{2000, 1000}, back{};
  Check(object->SetExtent(DVASPECT_CONTENT, &size) == S_OK && object->GetExtent(DVASPECT_CONTENT, &back) == S_OK &&
            back.cx == 2000 && back.cy == 1000,
        "the extent the form gives is the extent it reads back");
  RECT position{10, 10, 74, 42};
  HRESULT hr = object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site, 0, nullptr, &position);
  Check(hr == S_OK && site->Activations == 1, "DoVerb activates it in place", Hex(hr));
  IOleInPlaceObject* inPlace = Ask<IOleInPlaceObject>(object, IID_IOleInPlaceObject);
  HWND window = reinterpret_cast<HWND>(1);
  Check(inPlace != nullptr && inPlace->GetWindow(&window) == E_FAIL && window == nullptr, "in place it is windowless");
  IOleInPlaceActiveObject* active = Ask<IOleInPlaceActiveObject>(object, IID_IOleInPlaceActiveObject);
  Check(active != nullptr && active->TranslateAccelerator(nullptr) == S_FALSE,
        "it takes no keys: TranslateAccelerator leaves them to the form");
  Drop(active);
  IOleControl* control = Ask<IOleControl>(object, IID_IOleControl);
  CONTROLINFO info{sizeof info, reinterpret_cast<HACCEL>(1), 7, 7};
  Check(control != nullptr && control->GetControlInfo(&info) == S_OK && info.cAccel == 0 && info.hAccel == nullptr,
        "IOleControl: no mnemonics");
  Check(control != nullptr && control->FreezeEvents(TRUE) == S_OK && control->FreezeEvents(FALSE) == S_OK,
        "IOleControl: events freeze and thaw");

  // Drawn while designing: a label with bars, black on white; at run time
  // nothing at all.
  IViewObject2* view = Ask<IViewObject2>(object, IID_IViewObject2);
  auto* sink = new Sink();
  if (view != nullptr) view->SetAdvise(DVASPECT_CONTENT, 0, sink);
  RECTL bounds{0, 0, 64, 32};
  {
    Canvas canvas;
    int asked = site->AmbientReads;
    hr = view != nullptr
             ? view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, canvas.Dc, &bounds, nullptr, nullptr, 0)
             : E_NOINTERFACE;
    int black = canvas.Count(0), white = canvas.Count(0xFFFFFF), untouched = canvas.Count(0xFF0000);
    Check(hr == S_OK && black > 100 && white > 400 && untouched == 0,
          "at design time Draw fills its bounds with a label of black bars on white",
          Hex(hr) + " black " + std::to_string(black) + " white " + std::to_string(white) + " untouched " +
              std::to_string(untouched));
    Check(site->AmbientReads > asked, "it asks the container whether it runs (UserMode) and its name");
  }
  site->UserMode = true;
  if (control != nullptr) control->OnAmbientPropertyChange(DISPID_AMBIENT_USERMODE);
  Check(sink->ViewChanges == 1, "a change of the ambient user mode tells the view sink");
  {
    Canvas canvas;
    hr = view != nullptr
             ? view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, canvas.Dc, &bounds, nullptr, nullptr, 0)
             : E_NOINTERFACE;
    Check(hr == S_OK && canvas.Count(0xFF0000) == 64 * 32, "at run time Draw draws nothing", Hex(hr));
  }
  DWORD adviseCookie = 0;
  Check(object->Advise(sink, &adviseCookie) == S_OK && adviseCookie != 0, "IOleObject::Advise takes a sink");

  // The connection point of the event interface: advised as VB6 advises
  // every control, listed, unadvised.
  IProvideClassInfo2* classInfo = Ask<IProvideClassInfo2>(object, IID_IProvideClassInfo2);
  GUID events{};
  Check(classInfo != nullptr && classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &events) == S_OK &&
            events == DIID___PrintBarCode,
        "IProvideClassInfo2 names the event interface __PrintBarCode");
  Drop(classInfo);
  IConnectionPointContainer* points = Ask<IConnectionPointContainer>(object, IID_IConnectionPointContainer);
  IConnectionPoint* point = nullptr;
  Check(points != nullptr && points->FindConnectionPoint(DIID___PrintBarCode, &point) == S_OK && point != nullptr,
        "its container has the point of __PrintBarCode");
  IConnectionPoint* none = nullptr;
  Check(points != nullptr && points->FindConnectionPoint(IID_IPropertyNotifySink, &none) == CONNECT_E_NOCONNECTION &&
            none == nullptr,
        "and no other");
  IEnumConnectionPoints* listed = nullptr;
  IConnectionPoint* first = nullptr;
  ULONG fetched = 0;
  Check(points != nullptr && points->EnumConnectionPoints(&listed) == S_OK &&
            listed->Next(1, &first, &fetched) == S_OK && fetched == 1 && first == point &&
            listed->Next(1, &first, &fetched) == S_FALSE,
        "EnumConnectionPoints lists that one point");
  if (fetched == 1 && first != nullptr) first->Release();
  Drop(listed);
  DWORD cookie = 0;
  LONG before = sink->references;
  Check(point != nullptr && point->Advise(static_cast<IDispatch*>(sink), &cookie) == S_OK && cookie != 0 &&
            sink->references == before + 1,
        "advising the event interface holds the sink");
  IEnumConnections* connections = nullptr;
  CONNECTDATA data{};
  Check(point != nullptr && point->EnumConnections(&connections) == S_OK &&
            connections->Next(1, &data, &fetched) == S_OK && data.dwCookie == cookie,
        "EnumConnections lists the advised sink by its cookie");
  if (data.pUnk != nullptr) data.pUnk->Release();
  Drop(connections);
  Check(point != nullptr && point->Unadvise(cookie) == S_OK && sink->references == before &&
            point->Unadvise(cookie) == CONNECT_E_NOCONNECTION,
        "Unadvise lets it go, once");
  Drop(point);
  Drop(points);

  // Saved three ways and loaded into a second instance; a later version's
  // state loads, its unknown properties skipped; garbage does not.
  IStream* saved = nullptr;
  CreateStreamOnHGlobal(nullptr, TRUE, &saved);
  ULARGE_INTEGER max{};
  hr = stream != nullptr ? stream->Save(saved, TRUE) : E_NOINTERFACE;
  STATSTG stat{};
  saved->Stat(&stat, STATFLAG_NONAME);
  Check(hr == S_OK && stream->GetSizeMax(&max) == S_OK && stat.cbSize.QuadPart == max.QuadPart &&
            stat.cbSize.QuadPart > 0 && stream->IsDirty() == S_FALSE,
        "Save writes a versioned empty state of GetSizeMax bytes, and it is never dirty",
        std::to_string(stat.cbSize.QuadPart));
  IOleObject* second = NewControl();
  IPersistStreamInit* secondStream =
      second != nullptr ? Ask<IPersistStreamInit>(second, IID_IPersistStreamInit) : nullptr;
  LARGE_INTEGER zero{};
  saved->Seek(zero, STREAM_SEEK_SET, nullptr);
  Check(secondStream != nullptr && secondStream->Load(saved) == S_OK, "a second instance loads it");
  std::vector<BYTE> later(12 + 5, 0xAB);
  DWORD header[3] = {0x4C56524D, 7, 5};
  std::memcpy(later.data(), header, sizeof header);
  IStream* laterStream = nullptr;
  CreateStreamOnHGlobal(nullptr, TRUE, &laterStream);
  laterStream->Write(later.data(), static_cast<ULONG>(later.size()), nullptr);
  laterStream->Write("tail", 4, nullptr);
  laterStream->Seek(zero, STREAM_SEEK_SET, nullptr);
  ULARGE_INTEGER where{};
  hr = secondStream != nullptr ? secondStream->Load(laterStream) : E_NOINTERFACE;
  laterStream->Seek(zero, STREAM_SEEK_CUR, &where);
  Check(hr == S_OK && where.QuadPart == later.size(), "a later version's state loads, its properties skipped",
        Hex(hr) + " at " + std::to_string(where.QuadPart));
  laterStream->Seek(zero, STREAM_SEEK_SET, nullptr);
  laterStream->Write("garbage!garbage!", 16, nullptr);
  laterStream->Seek(zero, STREAM_SEEK_SET, nullptr);
  Check(secondStream != nullptr && FAILED(secondStream->Load(laterStream)), "what is not its state does not load");
  Drop(laterStream);
  Drop(saved);
  Drop(secondStream);

  auto* bag = new Bag();
  IPersistPropertyBag* bagged = Ask<IPersistPropertyBag>(object, IID_IPersistPropertyBag);
  Check(bagged != nullptr && bagged->Save(bag, TRUE, TRUE) == S_OK &&
            bag->Written == std::vector<std::wstring>{L"_Version"},
        "to a property bag it writes its version only");
  IPersistPropertyBag* secondBag =
      second != nullptr ? Ask<IPersistPropertyBag>(second, IID_IPersistPropertyBag) : nullptr;
  Check(secondBag != nullptr && secondBag->Load(bag, nullptr) == S_OK,
        "from a property bag it loads, ignoring what it does not know");
  Drop(bagged);
  Drop(secondBag);
  bag->Release();

  ILockBytes* bytes = nullptr;
  IStorage* storage = nullptr;
  CreateILockBytesOnHGlobal(nullptr, TRUE, &bytes);
  StgCreateDocfileOnILockBytes(bytes, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &storage);
  IPersistStorage* stored = Ask<IPersistStorage>(object, IID_IPersistStorage);
  IPersistStorage* secondStored = second != nullptr ? Ask<IPersistStorage>(second, IID_IPersistStorage) : nullptr;
  Check(storage != nullptr && stored != nullptr && stored->Save(storage, FALSE) == S_OK &&
            stored->SaveCompleted(nullptr) == S_OK && secondStored != nullptr && secondStored->Load(storage) == S_OK,
        "saved in a storage and loaded from it by a second instance");
  Drop(stored);
  Drop(secondStored);
  Drop(storage);
  Drop(bytes);
  Drop(second);

  // At run time the form's code prints through the instance it holds.
  Check(HostedLabel(object, printer, L"Form-hosted"), "the instance the form holds prints a label through IDispatch");

  // Closing: deactivated, the sinks told, the site given back.
  Check(object->Close(OLECLOSE_NOSAVE) == S_OK && site->Deactivations == 1 && sink->Closes == 1,
        "Close deactivates it and tells the advise sinks");
  Check(object->Unadvise(adviseCookie) == S_OK, "the form's Unadvise after Close");
  if (view != nullptr) view->SetAdvise(DVASPECT_CONTENT, 0, nullptr);
  object->SetClientSite(nullptr);
  Drop(view);
  Drop(control);
  Drop(inPlace);
  Drop(stream);
  Check(site->references == 1 && sink->references == 1, "no reference to the site or the sink is left behind",
        std::to_string(site->references) + " " + std::to_string(sink->references));
  Drop(object);
  site->Release();
  sink->Release();
}

// IObjectSafety for the page a site names: the outcome of asking for the
// untrusted-caller option on IDispatch.
HRESULT SafetyFor(const std::wstring& documentUrl, const std::wstring& browserUrl) {
  IOleObject* object = NewControl();
  if (object == nullptr) return E_UNEXPECTED;
  auto* site = new Site();
  site->UserMode = true;
  site->DocumentUrl = documentUrl;
  site->BrowserUrl = browserUrl;
  if (!documentUrl.empty() || !browserUrl.empty()) object->SetClientSite(site);
  IObjectSafety* safety = Ask<IObjectSafety>(object, IID_IObjectSafety);
  HRESULT hr = safety != nullptr ? safety->SetInterfaceSafetyOptions(IID_IDispatch, INTERFACESAFE_FOR_UNTRUSTED_CALLER,
                                                                     INTERFACESAFE_FOR_UNTRUSTED_CALLER)
                                 : E_NOINTERFACE;
  if (hr == S_OK) {
    DWORD supported = 0, enabled = 0;
    safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled);
    if (enabled != INTERFACESAFE_FOR_UNTRUSTED_CALLER) hr = E_UNEXPECTED;
  }
  Drop(safety);
  object->SetClientSite(nullptr);
  object->Release();
  site->Release();
  return hr;
}

void AsAPageHoldsIt() {
  std::printf("# as Internet Explorer holds it in a page\n");
  // The user's list names one origin, the machine's (the registry, where the
  // installer writes) another.
  wchar_t appData[MAX_PATH];
  GetEnvironmentVariableW(L"APPDATA", appData, MAX_PATH);
  std::wstring folder = std::wstring(appData) + L"\\Morvel";
  CreateDirectoryW(folder.c_str(), nullptr);
  HANDLE file =
      CreateFileW((folder + L"\\allowed-origins").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  const char userList[] = "# pages of this user\r\nhttp://intranet:8080\r\n";
  DWORD written = 0;
  WriteFile(file, userList, sizeof userList - 1, &written, nullptr);
  CloseHandle(file);
  HKEY key = nullptr;
  const wchar_t machineList[] = L"https://wms.example.com;https://erp.example.com";
  bool machine = RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Morvel", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                                 nullptr) == ERROR_SUCCESS &&
                 RegSetValueExW(key, L"AllowedOrigins", 0, REG_SZ, reinterpret_cast<const BYTE*>(machineList),
                                sizeof machineList) == ERROR_SUCCESS;
  if (key != nullptr) RegCloseKey(key);
  Check(machine, "the machine's list is written to HKLM\\Software\\Morvel");

  struct {
    const wchar_t* Document;
    const wchar_t* Browser;
    HRESULT Expected;
    const char* What;
  } cases[] = {
      {L"https://wms.example.com/labels/print.asp", L"https://WMS.example.com:443/labels/print.asp", S_OK,
       "a page of an origin on the machine's list may script it"},
      {L"http://intranet:8080/x.html", L"", S_OK, "a page of an origin on the user's list may script it"},
      {L"", L"https://erp.example.com/", S_OK, "a page known only by its browser's address is judged by it"},
      {L"https://evil.example/", L"https://evil.example/", E_FAIL, "a page of another origin may not"},
      {L"http://intranet:8081/", L"", E_FAIL, "another port of an allowed host is another origin"},
      {L"http://wms.example.com/", L"", E_FAIL, "http is another origin than https"},
      {L"https://wms.example.com/frame.html", L"https://evil.example/top.html", E_FAIL,
       "an allowed page framed by a page of another origin may not"},
      {L"file:///C:/labels/print.html", L"", E_FAIL, "a file: page may not"},
      {L"about:blank", L"", E_FAIL, "an about: page may not"},
      {L"", L"", E_FAIL, "without a site it may not"},
  };
  for (const auto& c : cases) {
    HRESULT hr = SafetyFor(c.Document, c.Browser);
    Check(hr == c.Expected, c.What, Hex(hr));
  }

  IOleObject* object = NewControl();
  IObjectSafety* safety = object != nullptr ? Ask<IObjectSafety>(object, IID_IObjectSafety) : nullptr;
  DWORD supported = 0, enabled = 0;
  Check(safety != nullptr && safety->GetInterfaceSafetyOptions(IID_IPersistPropertyBag, &supported, &enabled) == S_OK &&
            supported == (INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA) && enabled == 0,
        "it offers both options, enabled for none until a page is judged");
  Check(safety != nullptr && safety->GetInterfaceSafetyOptions(DispatchEx, &supported, &enabled) == E_NOINTERFACE,
        "it has no IDispatchEx to make safe");
  IUnknown* withSite = object != nullptr ? Ask<IUnknown>(object, IID_IObjectWithSite) : nullptr;
  Check(object != nullptr && withSite == nullptr,
        "it takes its page from the client site only: with IObjectWithSite, Wine's script engines would not create it");
  Drop(withSite);
  Check(safety != nullptr && safety->SetInterfaceSafetyOptions(IID_IDispatch, 0x80, 0x80) == E_FAIL,
        "an option it does not know is refused");
  Check(safety != nullptr &&
            safety->SetInterfaceSafetyOptions(IID_IDispatch, INTERFACESAFE_FOR_UNTRUSTED_CALLER, 0) == S_OK,
        "clearing an option needs no page");
  Drop(safety);
  Drop(object);
}

void AsAtlHoldsIt(const std::wstring& printer) {
  std::printf("# as Wine's ATL holds it\n");
  HMODULE atl = LoadLibraryW(L"atl.dll");
  auto init = reinterpret_cast<BOOL(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxWinInit")));
  auto create = reinterpret_cast<HRESULT(WINAPI*)(LPCOLESTR, HWND, IStream*, IUnknown**)>(
      reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxCreateControl")));
  auto getControl = reinterpret_cast<HRESULT(WINAPI*)(HWND, IUnknown**)>(
      reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxGetControl")));
  if (atl == nullptr || init == nullptr || create == nullptr || getControl == nullptr || !init()) {
    Check(false, "atl.dll loads and has AtlAxWinInit, AtlAxCreateControl and AtlAxGetControl");
    return;
  }
  HWND form = CreateWindowExW(0, L"STATIC", L"form", WS_OVERLAPPEDWINDOW, 0, 0, 320, 200, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
  Check(form != nullptr, "a window to hold it", std::to_string(GetLastError()));
  if (form == nullptr) return;
  IUnknown* container = nullptr;
  HRESULT hr = create(L"Morvel.PrintBarCode", form, nullptr, &container);
  Check(hr == S_OK && container != nullptr, "AtlAxCreateControl holds it by its ProgID", Hex(hr));
  IUnknown* control = nullptr;
  hr = getControl(form, &control);
  Check(hr == S_OK && control != nullptr, "AtlAxGetControl gives the hosted control", Hex(hr));
  if (control != nullptr) {
    IOleObject* ole = Ask<IOleObject>(control, IID_IOleObject);
    IOleClientSite* site = nullptr;
    Check(ole != nullptr && ole->GetClientSite(&site) == S_OK && site != nullptr,
          "ATL gave the hosted control its client site");
    Drop(site);
    Drop(ole);
    Check(HostedLabel(control, printer, L"ATL-hosted"), "the control ATL holds prints a label through IDispatch");
    control->Release();
  }
  Drop(container);
  HWND child = CreateWindowExW(0, L"AtlAxWin", L"Morvel.PrintBarCode", WS_CHILD, 0, 0, 32, 32, form, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  IUnknown* inWindow = nullptr;
  Check(child != nullptr && getControl(child, &inWindow) == S_OK && inWindow != nullptr,
        "an \"AtlAxWin\" window named by the ProgID holds it");
  Drop(inWindow);
  if (child != nullptr) DestroyWindow(child);
  DestroyWindow(form);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::printf("usage: container_wine_test PRINTER\n");
    return 2;
  }
  std::wstring printer = wine_checks::Wide(argv[1]);
  OleInitialize(nullptr);
  AsAFormHoldsIt(printer);
  AsAPageHoldsIt();
  AsAtlHoldsIt(printer);
  OleUninitialize();
  return wine_checks::Summary();
}
