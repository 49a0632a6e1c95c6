// The OLE embedding of PrintBarCode: see Embedding.h. Containers call these
// in their own orders (a VB6 form: client site, InitNew or Load, misc
// status, in-place activation, Draw while designing, Save, Close; Internet
// Explorer: quick activation, then scripting), so each call stands alone and
// takes what the others left, and none fails for want of another.
#include "hosts/com/Embedding.h"

#include <olectl.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "morvel_tlb.h"

namespace morvel::com {
namespace {

// The flags registered under MiscStatus: set the client site first,
// invisible at run time, activate when visible, inside-out, cannot link
// inside, recompose on resize.
constexpr DWORD MiscStatusFlags = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_INVISIBLEATRUNTIME |
                                  OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_INSIDEOUT | OLEMISC_CANTLINKINSIDE |
                                  OLEMISC_RECOMPOSEONRESIZE;
static_assert(MiscStatusFlags == 132497);

// The saved state: a mark, the state's version, and the length of the
// properties that follow, which this version has none of and skips when a
// later one wrote some.
constexpr DWORD StateMark = 0x4C56524D;  // "MRVL"
constexpr DWORD StateVersion = 1;
struct StateHeader {
  DWORD Mark;
  DWORD Version;
  DWORD PropertyBytes;
};

template <class T>
void Hold(T*& slot, T* value) {
  if (value != nullptr) value->AddRef();
  if (slot != nullptr) slot->Release();
  slot = value;
}

// An ambient property of the container, read through its client site.
bool Ambient(IOleClientSite* site, DISPID id, VARIANT* value) {
  VariantInit(value);
  if (site == nullptr) return false;
  IDispatch* ambient = nullptr;
  if (FAILED(site->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&ambient))) || ambient == nullptr)
    return false;
  DISPPARAMS none{};
  HRESULT hr = ambient->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, value, nullptr, nullptr);
  ambient->Release();
  return SUCCEEDED(hr);
}

LPOLESTR TaskText(const wchar_t* text) {
  size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
  auto* out = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
  if (out != nullptr) std::memcpy(out, text, bytes);
  return out;
}

IUnknown* UnknownOf(IConnectionPoint* point) { return point; }
IUnknown* UnknownOf(const CONNECTDATA& data) { return data.pUnk; }

// An enumerator over a snapshot of items, each holding a reference to what
// it names; it keeps the object alive while it lives.
template <class Interface, class Item>
class Snapshot final : public Interface {
 public:
  Snapshot(IUnknown* keep, std::vector<Item> items, const IID& iid) : keep_(keep), items_(std::move(items)), iid_(iid) {
    keep_->AddRef();
    for (const Item& item : items_) UnknownOf(item)->AddRef();
  }
  ~Snapshot() {
    for (const Item& item : items_) UnknownOf(item)->Release();
    keep_->Release();
  }
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != iid_) return E_NOINTERFACE;
    *out = static_cast<Interface*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
  STDMETHODIMP_(ULONG) Release() override {
    LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  STDMETHODIMP Next(ULONG count, Item* out, ULONG* fetched) override {
    if (out == nullptr || (count > 1 && fetched == nullptr)) return E_POINTER;
    ULONG given = 0;
    for (; given < count && next_ < items_.size(); ++given, ++next_) {
      out[given] = items_[next_];
      UnknownOf(out[given])->AddRef();
    }
    if (fetched != nullptr) *fetched = given;
    return given == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    size_t left = items_.size() - next_;
    next_ += std::min<size_t>(count, left);
    return count <= left ? S_OK : S_FALSE;
  }
  STDMETHODIMP Reset() override {
    next_ = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(Interface** out) override {
    if (out == nullptr) return E_POINTER;
    auto* copy = new (std::nothrow) Snapshot(keep_, items_, iid_);
    if (copy == nullptr) return E_OUTOFMEMORY;
    copy->next_ = next_;
    *out = copy;
    return S_OK;
  }

 private:
  LONG references_ = 1;
  IUnknown* keep_;
  std::vector<Item> items_;
  const IID& iid_;
  size_t next_ = 0;
};

}  // namespace

// The one connection point, for the event interface. It is part of the
// object: its references are the object's.
class Embedding::EventPoint final : public IConnectionPoint {
 public:
  explicit EventPoint(Embedding& owner) : owner_(owner) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IConnectionPoint) return E_NOINTERFACE;
    *out = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return owner_.AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return owner_.Release(); }

  STDMETHODIMP GetConnectionInterface(IID* iid) override {
    if (iid == nullptr) return E_POINTER;
    *iid = DIID___PrintBarCode;
    return S_OK;
  }
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override {
    if (container == nullptr) return E_POINTER;
    *container = static_cast<IConnectionPointContainer*>(&owner_);
    (*container)->AddRef();
    return S_OK;
  }
  // A sink must speak the event interface, or IDispatch, as script engines
  // and VB6 sinks do; the control fires no event, but holds the sink until
  // it is unadvised as a container expects.
  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override {
    if (cookie != nullptr) *cookie = 0;
    if (sink == nullptr || cookie == nullptr) return E_POINTER;
    IUnknown* events = nullptr;
    if (FAILED(sink->QueryInterface(DIID___PrintBarCode, reinterpret_cast<void**>(&events))) &&
        FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&events))))
      return CONNECT_E_CANNOTCONNECT;
    try {
      owner_.Connections().push_back({owner_.NextCookie(), events});
    } catch (const std::bad_alloc&) {
      events->Release();
      return E_OUTOFMEMORY;
    }
    *cookie = owner_.Connections().back().Cookie;
    return S_OK;
  }
  STDMETHODIMP Unadvise(DWORD cookie) override {
    auto& list = owner_.Connections();
    auto it = std::find_if(list.begin(), list.end(), [&](const Connection& c) { return c.Cookie == cookie; });
    if (it == list.end()) return CONNECT_E_NOCONNECTION;
    IUnknown* sink = it->Sink;
    list.erase(it);
    sink->Release();
    return S_OK;
  }
  STDMETHODIMP EnumConnections(IEnumConnections** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    std::vector<CONNECTDATA> items;
    for (const Connection& c : owner_.Connections()) items.push_back({c.Sink, c.Cookie});
    *out = new (std::nothrow) Snapshot<IEnumConnections, CONNECTDATA>(this, std::move(items), IID_IEnumConnections);
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
  }

 private:
  Embedding& owner_;
};

Embedding::~Embedding() {
  Disconnect();
  delete point_;
}

void Embedding::Disconnect() {
  InPlaceDeactivate();
  for (const Connection& c : connections_) c.Sink->Release();
  connections_.clear();
  Hold<IAdviseSink>(viewSink_, nullptr);
  Hold<IOleAdviseHolder>(adviseHolder_, nullptr);
  Hold<IOleClientSite>(clientSite_, nullptr);
}

void* Embedding::Find(REFIID iid) {
  if (iid == IID_IOleObject) return static_cast<IOleObject*>(this);
  if (iid == IID_IOleControl) return static_cast<IOleControl*>(this);
  if (iid == IID_IOleWindow || iid == IID_IOleInPlaceObject) return static_cast<IOleInPlaceObject*>(this);
  if (iid == IID_IOleInPlaceActiveObject) return static_cast<IOleInPlaceActiveObject*>(this);
  if (iid == IID_IViewObject || iid == IID_IViewObject2) return static_cast<IViewObject2*>(this);
  if (iid == IID_IPersist || iid == IID_IPersistStreamInit) return static_cast<IPersistStreamInit*>(this);
  if (iid == IID_IPersistPropertyBag) return static_cast<IPersistPropertyBag*>(this);
  if (iid == IID_IPersistStorage) return static_cast<IPersistStorage*>(this);
  if (iid == IID_IQuickActivate) return static_cast<IQuickActivate*>(this);
  if (iid == IID_IConnectionPointContainer) return static_cast<IConnectionPointContainer*>(this);
  return nullptr;
}

bool Embedding::UserMode() {
  if (userMode_ < 0) {
    if (clientSite_ == nullptr) return true;  // no container to say it is designing
    VARIANT mode;
    userMode_ = Ambient(clientSite_, DISPID_AMBIENT_USERMODE, &mode) && V_VT(&mode) == VT_BOOL
                    ? V_BOOL(&mode) != VARIANT_FALSE
                    : 1;
    VariantClear(&mode);
  }
  return userMode_ != 0;
}

// IOleObject

STDMETHODIMP Embedding::SetClientSite(IOleClientSite* site) {
  Hold(clientSite_, site);
  userMode_ = -1;
  return S_OK;
}

STDMETHODIMP Embedding::GetClientSite(IOleClientSite** site) {
  if (site == nullptr) return E_POINTER;
  *site = clientSite_;
  if (clientSite_ != nullptr) clientSite_->AddRef();
  return S_OK;
}

STDMETHODIMP Embedding::Close(DWORD) {
  // Nothing is ever unsaved, so every save option closes alike. The advise
  // sinks stay until the container unadvises them, as it does after Close.
  InPlaceDeactivate();
  if (adviseHolder_ != nullptr) adviseHolder_->SendOnClose();
  Hold<IAdviseSink>(viewSink_, nullptr);
  return S_OK;
}

STDMETHODIMP Embedding::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker != nullptr) *moniker = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP Embedding::GetClipboardData(DWORD, IDataObject** data) {
  if (data != nullptr) *data = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP Embedding::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND, LPCRECT position) {
  switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
    case OLEIVERB_UIACTIVATE: return ActivateInPlace(site != nullptr ? site : clientSite_, position);
    case OLEIVERB_HIDE: return InPlaceDeactivate();
    default:
      // It has no other verb: a verb of the container's own list runs the
      // primary one, as the protocol says; the others are not there.
      if (verb > 0) {
        HRESULT hr = ActivateInPlace(site != nullptr ? site : clientSite_, position);
        return FAILED(hr) ? hr : OLEOBJ_S_INVALIDVERB;
      }
      return E_NOTIMPL;
  }
}

HRESULT Embedding::ActivateInPlace(IOleClientSite* site, LPCRECT position) {
  if (position != nullptr) position_ = *position;
  if (inPlaceSite_ != nullptr) return S_OK;
  if (site == nullptr) return E_UNEXPECTED;
  IOleInPlaceSite* inPlace = nullptr;
  // A container that cannot hold objects in place has nothing to show: the
  // control needs none.
  if (FAILED(site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&inPlace))) || inPlace == nullptr)
    return S_OK;
  if (inPlace->CanInPlaceActivate() != S_OK) {
    inPlace->Release();
    return E_FAIL;
  }
  IOleInPlaceSiteWindowless* windowless = nullptr;
  HRESULT hr;
  if (SUCCEEDED(inPlace->QueryInterface(IID_IOleInPlaceSiteWindowless, reinterpret_cast<void**>(&windowless))) &&
      windowless != nullptr && windowless->CanWindowlessActivate() == S_OK) {
    hr = windowless->OnInPlaceActivateEx(nullptr, ACTIVATE_WINDOWLESS);
  } else {
    hr = inPlace->OnInPlaceActivate();
  }
  if (windowless != nullptr) windowless->Release();
  if (FAILED(hr)) {
    inPlace->Release();
    return hr;
  }
  inPlaceSite_ = inPlace;
  return S_OK;
}

STDMETHODIMP Embedding::EnumVerbs(IEnumOLEVERB** verbs) {
  if (verbs == nullptr) return E_POINTER;
  return OleRegEnumVerbs(CLSID_PrintBarCode, verbs);
}

STDMETHODIMP Embedding::GetUserClassID(CLSID* clsid) { return GetClassID(clsid); }

STDMETHODIMP Embedding::GetUserType(DWORD form, LPOLESTR* type) {
  if (type == nullptr) return E_POINTER;
  *type = TaskText(form == USERCLASSTYPE_APPNAME ? L"Morvel"
                   : form == USERCLASSTYPE_SHORT ? L"PrintBarCode"
                                                 : L"Morvel PrintBarCode control");
  return *type != nullptr ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP Embedding::SetExtent(DWORD aspect, SIZEL* size) {
  if (size == nullptr) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  extent_ = *size;
  return S_OK;
}

STDMETHODIMP Embedding::GetExtent(DWORD aspect, SIZEL* size) {
  if (size == nullptr) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  *size = extent_;
  return S_OK;
}

STDMETHODIMP Embedding::Advise(IAdviseSink* sink, DWORD* cookie) {
  if (cookie == nullptr || sink == nullptr) return E_POINTER;
  if (adviseHolder_ == nullptr) {
    HRESULT hr = CreateOleAdviseHolder(&adviseHolder_);
    if (FAILED(hr)) return hr;
  }
  return adviseHolder_->Advise(sink, cookie);
}

STDMETHODIMP Embedding::Unadvise(DWORD cookie) {
  return adviseHolder_ != nullptr ? adviseHolder_->Unadvise(cookie) : OLE_E_NOCONNECTION;
}

STDMETHODIMP Embedding::EnumAdvise(IEnumSTATDATA** advises) {
  if (advises == nullptr) return E_POINTER;
  *advises = nullptr;
  return adviseHolder_ != nullptr ? adviseHolder_->EnumAdvise(advises) : E_FAIL;
}

STDMETHODIMP Embedding::GetMiscStatus(DWORD aspect, DWORD* status) {
  if (status == nullptr) return E_POINTER;
  *status = aspect == DVASPECT_CONTENT ? MiscStatusFlags : 0;
  return S_OK;
}

// IOleControl

STDMETHODIMP Embedding::GetControlInfo(CONTROLINFO* info) {
  if (info == nullptr) return E_POINTER;
  info->hAccel = nullptr;
  info->cAccel = 0;
  info->dwFlags = 0;
  return S_OK;
}

STDMETHODIMP Embedding::OnAmbientPropertyChange(DISPID id) {
  if (id == DISPID_AMBIENT_USERMODE || id == DISPID_AMBIENT_DISPLAYNAME || id == DISPID_UNKNOWN) {
    userMode_ = -1;
    if (viewSink_ != nullptr) viewSink_->OnViewChange(DVASPECT_CONTENT, -1);
  }
  return S_OK;
}

STDMETHODIMP Embedding::FreezeEvents(BOOL freeze) {
  if (freeze)
    ++frozen_;
  else if (frozen_ > 0)
    --frozen_;
  return S_OK;
}

// IOleInPlaceObject, IOleInPlaceActiveObject

STDMETHODIMP Embedding::GetWindow(HWND* window) {
  if (window == nullptr) return E_POINTER;
  *window = nullptr;
  return E_FAIL;  // windowless
}

STDMETHODIMP Embedding::InPlaceDeactivate() {
  if (inPlaceSite_ == nullptr) return S_OK;
  IOleInPlaceSite* site = inPlaceSite_;
  inPlaceSite_ = nullptr;
  IOleInPlaceSiteWindowless* windowless = nullptr;
  if (SUCCEEDED(site->QueryInterface(IID_IOleInPlaceSiteWindowless, reinterpret_cast<void**>(&windowless))) &&
      windowless != nullptr) {
    windowless->OnInPlaceDeactivateEx(TRUE);
    windowless->Release();
  } else {
    site->OnInPlaceDeactivate();
  }
  site->Release();
  return S_OK;
}

STDMETHODIMP Embedding::SetObjectRects(LPCRECT position, LPCRECT) {
  if (position == nullptr) return E_POINTER;
  position_ = *position;
  return S_OK;
}

// IViewObject2

STDMETHODIMP Embedding::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC dc, LPCRECTL bounds, LPCRECTL,
                             BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (dc == nullptr || bounds == nullptr) return E_INVALIDARG;
  if (!UserMode()) DrawDesignLabel(dc, *bounds);
  return S_OK;
}

// A white label with a few bars and the control's name under them: what a
// form designer shows in its place.
void Embedding::DrawDesignLabel(HDC dc, const RECTL& bounds) {
  RECT box{bounds.left, bounds.top, bounds.right, bounds.bottom};
  if (box.right < box.left) std::swap(box.left, box.right);
  if (box.bottom < box.top) std::swap(box.top, box.bottom);
  LONG width = box.right - box.left, height = box.bottom - box.top;
  if (width <= 0 || height <= 0) return;
  int saved = SaveDC(dc);
  FillRect(dc, &box, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  FrameRect(dc, &box, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  static constexpr int Modules[] = {2, 1, 1, 2, 3, 1, 1, 3, 2, 1, 2, 2, 1, 1, 2};
  int total = 0;
  for (int m : Modules) total += m;
  LONG unit = std::max<LONG>(1, width * 3 / 4 / total);
  LONG x = box.left + (width - unit * total) / 2, top = box.top + height / 8, bottom = box.top + height * 5 / 8;
  for (size_t i = 0; i < std::size(Modules); ++i) {
    LONG w = unit * Modules[i];
    if (i % 2 == 0) {
      RECT bar{x, top, x + w, bottom};
      FillRect(dc, &bar, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    }
    x += w;
  }
  std::wstring name = L"PrintBarCode";
  VARIANT display;
  if (Ambient(clientSite_, DISPID_AMBIENT_DISPLAYNAME, &display) && V_VT(&display) == VT_BSTR &&
      V_BSTR(&display) != nullptr && SysStringLen(V_BSTR(&display)) > 0)
    name.assign(V_BSTR(&display), SysStringLen(V_BSTR(&display)));
  VariantClear(&display);
  RECT text{box.left + 1, bottom, box.right - 1, box.bottom - 1};
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(0, 0, 0));
  DrawTextW(dc, name.c_str(), static_cast<int>(name.size()), &text,
            DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
  RestoreDC(dc, saved);
}

STDMETHODIMP Embedding::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colors) {
  if (colors == nullptr) return E_POINTER;
  *colors = nullptr;
  return S_FALSE;
}

STDMETHODIMP Embedding::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
  Hold(viewSink_, sink);
  viewAspects_ = aspects;
  viewFlags_ = flags;
  return S_OK;
}

STDMETHODIMP Embedding::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
  if (aspects != nullptr) *aspects = viewAspects_;
  if (flags != nullptr) *flags = viewFlags_;
  if (sink != nullptr) {
    *sink = viewSink_;
    if (viewSink_ != nullptr) viewSink_->AddRef();
  }
  return S_OK;
}

STDMETHODIMP Embedding::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) { return GetExtent(aspect, size); }

// Persistence

STDMETHODIMP Embedding::GetClassID(CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = CLSID_PrintBarCode;
  return S_OK;
}

STDMETHODIMP Embedding::Load(LPSTREAM stream) {
  if (stream == nullptr) return E_POINTER;
  StateHeader header{};
  ULONG read = 0;
  HRESULT hr = stream->Read(&header, sizeof header, &read);
  if (FAILED(hr)) return hr;
  if (read != sizeof header || header.Mark != StateMark || header.Version == 0) return E_FAIL;
  // Properties of a later version: skipped, so the stream ends where it
  // ended for the version that wrote it.
  if (header.PropertyBytes > 0) {
    LARGE_INTEGER skip;
    skip.QuadPart = header.PropertyBytes;
    hr = stream->Seek(skip, STREAM_SEEK_CUR, nullptr);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

STDMETHODIMP Embedding::Save(LPSTREAM stream, BOOL) {
  if (stream == nullptr) return E_POINTER;
  StateHeader header{StateMark, StateVersion, 0};
  ULONG written = 0;
  HRESULT hr = stream->Write(&header, sizeof header, &written);
  if (FAILED(hr)) return hr;
  return written == sizeof header ? S_OK : STG_E_WRITEFAULT;
}

STDMETHODIMP Embedding::GetSizeMax(ULARGE_INTEGER* size) {
  if (size == nullptr) return E_POINTER;
  size->QuadPart = sizeof(StateHeader);
  return S_OK;
}

STDMETHODIMP Embedding::Load(IPropertyBag* bag, IErrorLog*) {
  // No property to read; any the bag holds (a page's <param>, a later
  // version's) is ignored.
  return bag != nullptr ? S_OK : E_POINTER;
}

STDMETHODIMP Embedding::Save(IPropertyBag* bag, BOOL, BOOL) {
  if (bag == nullptr) return E_POINTER;
  VARIANT version;
  VariantInit(&version);
  V_VT(&version) = VT_I4;
  V_I4(&version) = static_cast<LONG>(StateVersion);
  return bag->Write(L"_Version", &version);
}

STDMETHODIMP Embedding::Load(IStorage* storage) {
  if (storage == nullptr) return E_POINTER;
  IStream* stream = nullptr;
  HRESULT hr = storage->OpenStream(L"Contents", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream);
  if (hr == STG_E_FILENOTFOUND) return S_OK;  // nothing saved: the state is empty anyway
  if (FAILED(hr)) return hr;
  hr = Load(stream);
  stream->Release();
  return hr;
}

STDMETHODIMP Embedding::Save(IStorage* storage, BOOL) {
  if (storage == nullptr) return E_POINTER;
  IStream* stream = nullptr;
  HRESULT hr = storage->CreateStream(L"Contents", STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0, &stream);
  if (FAILED(hr)) return hr;
  hr = Save(stream, TRUE);
  stream->Release();
  return hr;
}

// IQuickActivate

STDMETHODIMP Embedding::QuickActivate(QACONTAINER* container, QACONTROL* control) {
  if (container == nullptr || control == nullptr) return E_POINTER;
  if (control->cbSize < sizeof(QACONTROL)) return E_INVALIDARG;
  SetClientSite(container->pClientSite);
  if (container->pAdviseSink != nullptr) SetAdvise(DVASPECT_CONTENT, 0, container->pAdviseSink);
  userMode_ = (container->dwAmbientFlags & QACONTAINER_USERMODE) != 0 ? 1 : 0;
  control->dwMiscStatus = MiscStatusFlags;
  control->dwViewStatus = 0;
  control->dwEventCookie = 0;
  control->dwPropNotifyCookie = 0;
  control->dwPointerActivationPolicy = 0;
  if (container->pUnkEventSink != nullptr) {
    IConnectionPoint* point = nullptr;
    if (SUCCEEDED(FindConnectionPoint(DIID___PrintBarCode, &point))) {
      point->Advise(container->pUnkEventSink, &control->dwEventCookie);
      point->Release();
    }
  }
  return S_OK;
}

STDMETHODIMP Embedding::SetContentExtent(LPSIZEL size) { return SetExtent(DVASPECT_CONTENT, size); }

STDMETHODIMP Embedding::GetContentExtent(LPSIZEL size) { return GetExtent(DVASPECT_CONTENT, size); }

// IConnectionPointContainer

STDMETHODIMP Embedding::EnumConnectionPoints(IEnumConnectionPoints** points) {
  if (points == nullptr) return E_POINTER;
  *points = nullptr;
  IConnectionPoint* point = nullptr;
  HRESULT hr = FindConnectionPoint(DIID___PrintBarCode, &point);
  if (FAILED(hr)) return hr;
  *points =
      new (std::nothrow) Snapshot<IEnumConnectionPoints, IConnectionPoint*>(outer_, {point}, IID_IEnumConnectionPoints);
  point->Release();
  return *points != nullptr ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP Embedding::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
  if (point == nullptr) return E_POINTER;
  *point = nullptr;
  if (iid != DIID___PrintBarCode) return CONNECT_E_NOCONNECTION;
  if (point_ == nullptr) {
    point_ = new (std::nothrow) EventPoint(*this);
    if (point_ == nullptr) return E_OUTOFMEMORY;
  }
  *point = point_;
  point_->AddRef();
  return S_OK;
}

}  // namespace morvel::com
