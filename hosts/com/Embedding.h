// What makes PrintBarCode an ActiveX control that forms and pages can hold:
// the OLE embedding interfaces (object, control, in-place, view, the three
// ways of persistence, quick activation), the connection point of its event
// interface and the site it lives in. It has no user interface: it is
// windowless, invisible at run time, and at design time draws a small label
// with its name so a form designer shows where it sits. It keeps no
// properties: saving writes a versioned empty state, loading accepts any
// version's state and ignores what it does not know.
//
// It answers no IObjectWithSite: containers hand an ActiveX control its
// site through IOleObject::SetClientSite (Internet Explorer included), and
// Wine's VBScript and JScript refuse to create any object that has that
// interface when their host, cscript among them, offers no services.
//
// The object's identity is the PrintBarCode object's: every IUnknown call
// goes to `outer`. Scripting safety (IObjectSafety) is SiteLock's.
#pragma once

#include <objsafe.h>
#include <ocidl.h>
#include <oleidl.h>
#include <windows.h>

#include <vector>

namespace morvel::com {

class Embedding : public IOleObject,
                  public IOleControl,
                  public IOleInPlaceObject,
                  public IOleInPlaceActiveObject,
                  public IViewObject2,
                  public IPersistStreamInit,
                  public IPersistPropertyBag,
                  public IPersistStorage,
                  public IQuickActivate,
                  public IConnectionPointContainer {
 public:
  explicit Embedding(IUnknown* outer) : outer_(outer) {}
  ~Embedding();
  Embedding(const Embedding&) = delete;
  Embedding& operator=(const Embedding&) = delete;

  // The interface of this part the object answers for `iid`, without a
  // reference added; nullptr when it is none of them.
  void* Find(REFIID iid);
  // Where the control lives: the client site of its container, or nullptr.
  // No reference is added.
  IOleClientSite* ClientSite() const { return clientSite_; }
  // The container's user mode: false while a form designer shows the control.
  bool UserMode();
  // Drops every connection and the site (IOleObject::Close, and the end).
  void Disconnect();

  // IUnknown: the object's.
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override { return outer_->QueryInterface(iid, out); }
  STDMETHODIMP_(ULONG) AddRef() override { return outer_->AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return outer_->Release(); }

  // IOleObject
  STDMETHODIMP SetClientSite(IOleClientSite* site) override;
  STDMETHODIMP GetClientSite(IOleClientSite** site) override;
  STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
  STDMETHODIMP Close(DWORD saveOption) override;
  STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override;
  STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetClipboardData(DWORD, IDataObject** data) override;
  STDMETHODIMP DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND, LPCRECT position) override;
  STDMETHODIMP EnumVerbs(IEnumOLEVERB** verbs) override;
  STDMETHODIMP Update() override { return S_OK; }
  STDMETHODIMP IsUpToDate() override { return S_OK; }
  STDMETHODIMP GetUserClassID(CLSID* clsid) override;
  STDMETHODIMP GetUserType(DWORD form, LPOLESTR* type) override;
  STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override;
  STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override;
  STDMETHODIMP Advise(IAdviseSink* sink, DWORD* cookie) override;
  STDMETHODIMP Unadvise(DWORD cookie) override;
  STDMETHODIMP EnumAdvise(IEnumSTATDATA** advises) override;
  STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override;
  STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

  // IOleControl
  STDMETHODIMP GetControlInfo(CONTROLINFO* info) override;
  STDMETHODIMP OnMnemonic(MSG*) override { return E_NOTIMPL; }
  STDMETHODIMP OnAmbientPropertyChange(DISPID id) override;
  STDMETHODIMP FreezeEvents(BOOL freeze) override;

  // IOleWindow, for IOleInPlaceObject and IOleInPlaceActiveObject: windowless.
  STDMETHODIMP GetWindow(HWND* window) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  // IOleInPlaceObject
  STDMETHODIMP InPlaceDeactivate() override;
  STDMETHODIMP UIDeactivate() override { return S_OK; }
  STDMETHODIMP SetObjectRects(LPCRECT position, LPCRECT clip) override;
  STDMETHODIMP ReactivateAndUndo() override { return INPLACE_E_NOTUNDOABLE; }
  // IOleInPlaceActiveObject
  STDMETHODIMP TranslateAccelerator(LPMSG) override { return S_FALSE; }
  STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }

  // IViewObject2
  STDMETHODIMP Draw(DWORD aspect, LONG index, void*, DVTARGETDEVICE*, HDC, HDC dc, LPCRECTL bounds, LPCRECTL,
                    BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) override;
  STDMETHODIMP GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colors) override;
  STDMETHODIMP Freeze(DWORD, LONG, void*, DWORD*) override { return E_NOTIMPL; }
  STDMETHODIMP Unfreeze(DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
  STDMETHODIMP GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
  STDMETHODIMP GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE*, LPSIZEL size) override;

  // IPersist, for the three below
  STDMETHODIMP GetClassID(CLSID* clsid) override;
  // IPersistStreamInit (IsDirty and InitNew serve the others too)
  STDMETHODIMP IsDirty() override { return S_FALSE; }
  STDMETHODIMP Load(LPSTREAM stream) override;
  STDMETHODIMP Save(LPSTREAM stream, BOOL clearDirty) override;
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override;
  STDMETHODIMP InitNew() override { return S_OK; }
  // IPersistPropertyBag
  STDMETHODIMP Load(IPropertyBag* bag, IErrorLog*) override;
  STDMETHODIMP Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) override;
  // IPersistStorage
  STDMETHODIMP InitNew(IStorage*) override { return S_OK; }
  STDMETHODIMP Load(IStorage* storage) override;
  STDMETHODIMP Save(IStorage* storage, BOOL sameAsLoad) override;
  STDMETHODIMP SaveCompleted(IStorage*) override { return S_OK; }
  STDMETHODIMP HandsOffStorage() override { return S_OK; }

  // IQuickActivate
  STDMETHODIMP QuickActivate(QACONTAINER* container, QACONTROL* control) override;
  STDMETHODIMP SetContentExtent(LPSIZEL size) override;
  STDMETHODIMP GetContentExtent(LPSIZEL size) override;

  // IConnectionPointContainer: one point, for the event interface __PrintBarCode.
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override;
  STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

  // The sinks advised on the event interface (cookie and sink, in order).
  struct Connection {
    DWORD Cookie;
    IUnknown* Sink;
  };
  std::vector<Connection>& Connections() { return connections_; }
  DWORD NextCookie() { return ++lastCookie_; }

 private:
  HRESULT ActivateInPlace(IOleClientSite* site, LPCRECT position);
  void DrawDesignLabel(HDC dc, const RECTL& bounds);

  IUnknown* outer_;
  IOleClientSite* clientSite_ = nullptr;
  IOleAdviseHolder* adviseHolder_ = nullptr;
  IAdviseSink* viewSink_ = nullptr;
  DWORD viewAspects_ = 0, viewFlags_ = 0;
  IOleInPlaceSite* inPlaceSite_ = nullptr;
  RECT position_{};
  SIZEL extent_{DefaultExtent, DefaultExtent};  // HIMETRIC
  int frozen_ = 0;
  int userMode_ = -1;  // -1 until asked of the container
  class EventPoint;
  EventPoint* point_ = nullptr;
  std::vector<Connection> connections_;
  DWORD lastCookie_ = 0;

 public:
  // The size a container gives it before it says otherwise: 32 x 32 pixels
  // at 96 per inch, in HIMETRIC.
  static constexpr LONG DefaultExtent = 847;
};

}  // namespace morvel::com
