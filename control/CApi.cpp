// The C interface of <morvel/morvel_c.h>: handles over the three classes and
// one call through automation::Invoke, values converted at this edge. No C++
// exception leaves a function here; each failure becomes a return code and
// the thread's last error.
#include "morvel/morvel_c.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "codec/epc/Epc.h"
#include "morvel/PrintBarCode.h"
#include "morvel/automation.h"
#include "morvel/clsBase64.h"
#include "platform/files.h"
#include "platform/services.h"
#ifdef MORVEL_PRINTS_DOCUMENTS
#include "print/Print.h"
#endif

using namespace morvel;
using automation::ClassInfo;
using automation::MemberInfo;
using automation::MemberKind;
using automation::Variant;
using automation::VarType;

struct morvel_object {
  const ClassInfo* Class = nullptr;
  std::unique_ptr<PrintBarCode> Control;
  std::unique_ptr<clsBase64> Codec;
  std::unique_ptr<PrintInfo> Info;
  morvel_event_fn Handler = nullptr;
  void* HandlerUser = nullptr;
};

struct morvel_picture {
  PictureRef Picture;
};

namespace {

struct LastError {
  morvel_error Public{0, 0, ""};
  std::string Description;
};

LastError& ThreadError() {
  thread_local LastError error;
  return error;
}

int Fail(int number, const std::string& description, int code = MORVEL_E_AUTOMATION) {
  LastError& e = ThreadError();
  e.Description = description;
  e.Public.number = number;
  e.Public.hresult = 0x800A0000u + static_cast<uint32_t>(number);
  e.Public.description = e.Description.c_str();
  return code;
}

int BadArgument(const char* what) {
  return Fail(errors::InvalidProcedureCall,
              AutomationError::StandardDescription(errors::InvalidProcedureCall) + ": " + what, MORVEL_E_ARGUMENT);
}

// Runs the body of an interface function; its failures become the code.
template <class F>
int Guard(F&& body) noexcept {
  try {
    return body();
  } catch (const AutomationError& e) {
    return Fail(e.Number(), e.Description());
  } catch (const std::bad_alloc&) {
    try {
      return Fail(errors::OutOfMemory, AutomationError::StandardDescription(errors::OutOfMemory), MORVEL_E_MEMORY);
    } catch (...) {
      return MORVEL_E_MEMORY;
    }
  } catch (const std::exception& e) {
    try {
      return Fail(51, std::string("Internal error: ") + e.what());
    } catch (...) {
      return MORVEL_E_MEMORY;
    }
  } catch (...) {
    try {
      return Fail(51, "Internal error");
    } catch (...) {
      return MORVEL_E_MEMORY;
    }
  }
}

void* Allocate(size_t size) {
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

// One block for the caller to free with morvel_free: `count` entries, then
// `textBytes` for the texts they point at, each copied in by Put with its NUL.
template <typename Entry>
struct Block {
  Block(size_t count, size_t textBytes)
      : Entries(static_cast<Entry*>(Allocate(count * sizeof(Entry) + textBytes))),
        next_(reinterpret_cast<char*>(Entries + count)) {}
  const char* Put(const std::string& text) {
    std::memcpy(next_, text.c_str(), text.size() + 1);
    const char* at = next_;
    next_ += text.size() + 1;
    return at;
  }
  Entry* Entries;

 private:
  char* next_;
};

char* CopyText(const std::string& text) {
  char* p = static_cast<char*>(Allocate(text.size() + 1));
  std::memcpy(p, text.data(), text.size());
  p[text.size()] = '\0';
  return p;
}

// A value the caller made, as the automation value it stands for.
Variant FromC(const morvel_value& v) {
  switch (v.type) {
    case MORVEL_EMPTY: return Variant();
    case MORVEL_INTEGER:
      if (v.u.integer >= INT32_MIN && v.u.integer <= INT32_MAX) return Variant(static_cast<Long>(v.u.integer));
      return Variant(static_cast<Double>(v.u.integer));
    case MORVEL_DOUBLE: return Variant(v.u.number);
    case MORVEL_BOOLEAN: return Variant(Boolean(v.u.boolean != 0));
    case MORVEL_STRING:
      if (v.u.string.data == nullptr) return Variant(String());
      return Variant(FromUtf8(std::string_view(v.u.string.data, v.u.string.size)));
    case MORVEL_BYTES:
      if (v.u.bytes.data == nullptr) return Variant(ByteArray());
      return Variant(ByteArray(v.u.bytes.data, v.u.bytes.size));
    case MORVEL_PICTURE: return Variant(v.u.picture != nullptr ? v.u.picture->Picture : PictureRef());
    case MORVEL_OBJECT:
      // No member takes one of the control's objects.
      throw AutomationError(errors::TypeMismatch);
    case MORVEL_STRINGS: {
      std::vector<String> items;
      for (size_t i = 0; i < v.u.strings.count; ++i) {
        const char* item = v.u.strings.items != nullptr ? v.u.strings.items[i] : nullptr;
        items.push_back(item != nullptr ? FromUtf8(item) : String());
      }
      return Variant(std::move(items));
    }
  }
  throw AutomationError(errors::InvalidProcedureCall);
}

void ClearValue(morvel_value& v) noexcept {
  if ((v.flags & MORVEL_OWNED) != 0) {
    switch (v.type) {
      case MORVEL_STRING: std::free(const_cast<char*>(v.u.string.data)); break;
      case MORVEL_BYTES: std::free(const_cast<uint8_t*>(v.u.bytes.data)); break;
      case MORVEL_STRINGS: std::free(const_cast<char**>(v.u.strings.items)); break;
      case MORVEL_PICTURE: delete v.u.picture; break;
      default: break;
    }
  }
  uint32_t flags = v.flags & ~static_cast<uint32_t>(MORVEL_OWNED);
  std::memset(&v, 0, sizeof v);
  v.flags = flags;
}

// An automation value into a C value, allocating what it holds. The target
// is written only when the conversion succeeded.
void ToC(const Variant& value, morvel_value& out) {
  morvel_value v{};
  v.flags = out.flags & ~static_cast<uint32_t>(MORVEL_OWNED);
  switch (value.Type()) {
    case VarType::Empty: break;
    case VarType::Integer: v.type = MORVEL_INTEGER, v.u.integer = value.Get<Integer>(); break;
    case VarType::Long: v.type = MORVEL_INTEGER, v.u.integer = value.Get<Long>(); break;
    case VarType::Single: v.type = MORVEL_DOUBLE, v.u.number = value.Get<Single>(); break;
    case VarType::Double: v.type = MORVEL_DOUBLE, v.u.number = value.Get<Double>(); break;
    case VarType::Currency: v.type = MORVEL_DOUBLE, v.u.number = value.Get<Currency>().ToDouble(); break;
    case VarType::Boolean: v.type = MORVEL_BOOLEAN, v.u.boolean = value.Get<Boolean>() ? 1 : 0; break;
    case VarType::String: {
      std::string text = ToUtf8(value.Get<String>());
      v.type = MORVEL_STRING;
      v.u.string.data = CopyText(text);
      v.u.string.size = text.size();
      v.flags |= MORVEL_OWNED;
      break;
    }
    case VarType::Bytes: {
      const ByteArray& bytes = value.Get<ByteArray>();
      v.type = MORVEL_BYTES;
      if (bytes.IsAllocated()) {
        auto* data = static_cast<uint8_t*>(Allocate(bytes.Size()));
        if (bytes.Size() != 0) std::memcpy(data, bytes.Data(), bytes.Size());
        v.u.bytes.data = data;
        v.u.bytes.size = bytes.Size();
        v.flags |= MORVEL_OWNED;
      }
      break;
    }
    case VarType::Object: {
      const PictureRef& picture = value.Get<PictureRef>();
      v.type = MORVEL_PICTURE;
      if (picture) {
        v.u.picture = new morvel_picture{picture};
        v.flags |= MORVEL_OWNED;
      }
      break;
    }
    case VarType::StringArray: {
      const auto& items = value.Get<std::vector<String>>();
      std::vector<std::string> texts;
      size_t total = items.size() * sizeof(char*);
      for (const String& item : items) {
        texts.push_back(ToUtf8(item));
        total += texts.back().size() + 1;
      }
      // One block: the pointers, then the texts they point at.
      auto* block = static_cast<char*>(Allocate(total));
      auto** pointers = reinterpret_cast<char**>(block);
      char* text = block + items.size() * sizeof(char*);
      for (size_t i = 0; i < texts.size(); ++i) {
        std::memcpy(text, texts[i].c_str(), texts[i].size() + 1);
        pointers[i] = text;
        text += texts[i].size() + 1;
      }
      v.type = MORVEL_STRINGS;
      v.u.strings.items = pointers;
      v.u.strings.count = items.size();
      v.flags |= MORVEL_OWNED;
      break;
    }
    case VarType::Variant: break;
  }
  ClearValue(out);
  out = v;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// PrintInfo's properties share a name and an id between reading and
// assigning; one argument assigns, as `obj.PrintPP = value` would.
MemberKind KindFor(const MemberInfo* put, size_t nargs) {
  return put != nullptr && nargs == put->Params.size() ? MemberKind::PropertyPut : MemberKind::Method;
}

template <class Key>
const MemberInfo* Find(const morvel_object& object, Key key, size_t nargs, MemberKind& kind) {
  kind = KindFor(automation::FindMember(*object.Class, key, MemberKind::PropertyPut), nargs);
  return automation::FindMember(*object.Class, key, kind);
}

std::string NoMember(const morvel_object& object, std::string_view name) {
  return AutomationError::StandardDescription(errors::NoSuchMember) + ": " + std::string(object.Class->Name) +
         " has no member '" + std::string(name) + "'";
}
std::string NoMember(const morvel_object& object, int32_t dispId) {
  return AutomationError::StandardDescription(errors::NoSuchMember) + ": " + std::string(object.Class->Name) +
         " has no member with dispatch id " + std::to_string(dispId);
}

template <class Key>
int Call(morvel_object* object, Key key, morvel_value* args, size_t nargs, morvel_value* result) {
  // The result is written, never read: it may hold anything on entry.
  if (result != nullptr) *result = morvel_value{};
  if (object == nullptr) return BadArgument("no object");
  if (args == nullptr && nargs != 0) return BadArgument("no arguments where there should be some");
  for (size_t i = 0; i < nargs; ++i)
    if (args[i].type < MORVEL_EMPTY || args[i].type > MORVEL_STRINGS)
      return BadArgument(("argument " + std::to_string(i + 1) + " has no type that morvel_c.h knows").c_str());
  return Guard([&] {
    MemberKind kind;
    const MemberInfo* member = Find(*object, key, nargs, kind);
    if (member == nullptr) throw AutomationError(errors::NoSuchMember, NoMember(*object, key));
    std::vector<Variant> values;
    values.reserve(nargs);
    for (size_t i = 0; i < nargs; ++i) values.push_back(FromC(args[i]));
    // A variable's value goes in with the parameter's type, so that the
    // write-back of Invoke reaches it.
    bool writeBack = false;
    if (member->Params.size() == nargs) {
      for (size_t i = 0; i < nargs; ++i) {
        const automation::ParamInfo& p = member->Params[i];
        if ((args[i].flags & MORVEL_REF) == 0 || !p.ByRef || p.Type == VarType::Variant) continue;
        if (values[i].Type() != p.Type) values[i] = automation::Coerce(values[i], p.Type);
        writeBack = true;
      }
    }
    Variant value;
    std::span<Variant> span(values);
    if (object->Control) {
      value = automation::Invoke(*object->Control, member->DispId, span);
    } else if (object->Codec) {
      value = automation::Invoke(*object->Codec, member->DispId, span);
    } else {
      value = automation::Invoke(*object->Info, member->Name, span, kind);
    }
    if (writeBack)
      for (size_t i = 0; i < nargs; ++i)
        if ((args[i].flags & MORVEL_REF) != 0 && member->Params[i].ByRef) ToC(values[i], args[i]);
    if (result != nullptr) ToC(value, *result);
    return MORVEL_OK;
  });
}

// Message boxes reach the handler the host installed; without one they go
// where they went before.
class CallbackSink : public platform::MessageSink {
 public:
  explicit CallbackSink(std::shared_ptr<platform::MessageSink> previous) : previous_(std::move(previous)) {}

  void Set(morvel_message_fn handler, void* user) {
    std::lock_guard<std::mutex> guard(lock_);
    handler_ = handler;
    user_ = user;
  }

  void Show(std::string_view caption, std::string_view text) override {
    morvel_message_fn handler;
    void* user;
    {
      std::lock_guard<std::mutex> guard(lock_);
      handler = handler_;
      user = user_;
    }
    if (handler == nullptr) {
      if (previous_) previous_->Show(caption, text);
      return;
    }
    std::string c(caption), t(text);
    handler(user, c.c_str(), t.c_str());
  }

 private:
  std::shared_ptr<platform::MessageSink> previous_;
  std::mutex lock_;
  morvel_message_fn handler_ = nullptr;
  void* user_ = nullptr;
};

std::mutex& SinkLock() {
  static std::mutex lock;
  return lock;
}

void InstallEncodeJD(morvel_object* object) {
  object->Codec->EncodeJD = [object](Currency& percentage) {
    if (object->Handler == nullptr) return;
    morvel_value arg = morvel_ref(morvel_double(percentage.ToDouble()));
    object->Handler(object->HandlerUser, object, "EncodeJD", &arg, 1);
    Variant left = FromC(arg);
    percentage = automation::Coerce(left, VarType::Currency).Get<Currency>();
  };
}

}  // namespace

extern "C" {

const char* morvel_version(void) {
  static const std::string version = [] {
    try {
      return ToUtf8(PrintBarCode().GetVer());
    } catch (...) {
      return std::string();
    }
  }();
  return version.c_str();
}

int morvel_create(const char* class_name, morvel_object** object) {
  if (object == nullptr) return BadArgument("no place for the object");
  *object = nullptr;
  if (class_name == nullptr) return BadArgument("no class name");
  return Guard([&] {
    std::string_view name(class_name);
    if (name.size() > 7 && EqualsIgnoreCase(name.substr(0, 7), "Morvel.")) name.remove_prefix(7);
    auto made = std::make_unique<morvel_object>();
    for (const ClassInfo* cls : automation::Classes())
      if (EqualsIgnoreCase(cls->Name, name)) made->Class = cls;
    if (made->Class == nullptr)
      throw AutomationError(429, "ActiveX component can't create object: no class '" + std::string(class_name) + "'");
    if (made->Class == &automation::PrintBarCodeClass()) {
      made->Control = std::make_unique<PrintBarCode>();
    } else if (made->Class == &automation::clsBase64Class()) {
      made->Codec = std::make_unique<clsBase64>();
      InstallEncodeJD(made.get());
    } else {
      made->Info = std::make_unique<PrintInfo>();
    }
    *object = made.release();
    return MORVEL_OK;
  });
}

void morvel_release(morvel_object* object) {
  try {
    delete object;
  } catch (...) {
    // The destructors report through the log; nothing may cross.
  }
}

const char* morvel_class_name(const morvel_object* object) {
  return object != nullptr ? object->Class->Name.data() : nullptr;
}

int morvel_invoke(morvel_object* object, const char* member, morvel_value* args, size_t nargs, morvel_value* result) {
  if (member == nullptr) return BadArgument("no member name");
  return Call(object, std::string_view(member), args, nargs, result);
}

int morvel_member_id(const morvel_object* object, const char* member, int32_t* dispid) {
  if (object == nullptr || member == nullptr || dispid == nullptr) return BadArgument("no object, name or id");
  return Guard([&] {
    const MemberInfo* found = automation::FindMember(*object->Class, std::string_view(member));
    if (found == nullptr)
      found = automation::FindMember(*object->Class, std::string_view(member), MemberKind::PropertyPut);
    if (found == nullptr) throw AutomationError(errors::NoSuchMember, NoMember(*object, std::string_view(member)));
    *dispid = found->DispId;
    return MORVEL_OK;
  });
}

int morvel_invoke_id(morvel_object* object, int32_t dispid, morvel_value* args, size_t nargs, morvel_value* result) {
  return Call(object, dispid, args, nargs, result);
}

const morvel_error* morvel_last_error(void) { return &ThreadError().Public; }

void morvel_free(void* memory) { std::free(memory); }

void morvel_value_clear(morvel_value* value) {
  if (value != nullptr) ClearValue(*value);
}

int morvel_set_message_handler(morvel_message_fn handler, void* user) {
  return Guard([&] {
    std::lock_guard<std::mutex> guard(SinkLock());
    auto* sink = dynamic_cast<CallbackSink*>(platform::Current().Messages.get());
    if (sink == nullptr) {
      platform::Services services = platform::Current();
      auto made = std::make_shared<CallbackSink>(services.Messages);
      sink = made.get();
      services.Messages = std::move(made);
      platform::Replace(std::move(services));
    }
    sink->Set(handler, user);
    return MORVEL_OK;
  });
}

int morvel_set_event_handler(morvel_object* object, morvel_event_fn handler, void* user) {
  if (object == nullptr) return BadArgument("no object");
  if (object->Class->Events.empty())
    return Fail(errors::NoSuchMember, AutomationError::StandardDescription(errors::NoSuchMember) + ": " +
                                          std::string(object->Class->Name) + " raises no events");
  object->Handler = handler;
  object->HandlerUser = user;
  return MORVEL_OK;
}

int morvel_printers(morvel_printer** printers, size_t* count) {
  if (printers == nullptr || count == nullptr) return BadArgument("no place for the printers");
  *printers = nullptr;
  *count = 0;
  return Guard([&] {
    std::vector<platform::InstalledPrinter> list = platform::Current().Printers->List();
    std::vector<std::string> names;
    size_t textBytes = 0;
    for (const auto& p : list) {
      names.push_back(ToUtf8(p.Name));
      textBytes += names.back().size() + 1 + p.Uri.size() + 1;
    }
    Block<morvel_printer> block(list.size(), textBytes);
    morvel_printer* entries = block.Entries;
    for (size_t i = 0; i < list.size(); ++i) {
      entries[i].name = block.Put(names[i]);
      entries[i].dpi = list[i].Dpi;
      entries[i].uri = block.Put(list[i].Uri);
    }
    *printers = entries;
    *count = list.size();
    return MORVEL_OK;
  });
}

int morvel_tag_results(morvel_object* printbarcode, morvel_tag_result** results, size_t* count) {
  if (results == nullptr || count == nullptr) return BadArgument("no place for the results");
  *results = nullptr;
  *count = 0;
  if (printbarcode == nullptr || !printbarcode->Control) return BadArgument("no PrintBarCode object");
  return Guard([&] {
    // Taken only once the block is had, so a failure loses no result.
    const std::vector<TagResult>& pending = printbarcode->Control->PendingTagResults();
    if (pending.empty()) return static_cast<int>(MORVEL_OK);
    size_t textBytes = 0;
    for (const TagResult& r : pending) textBytes += r.Epc.size() + 1 + r.Tid.size() + 1 + r.Reason.size() + 1;
    Block<morvel_tag_result> block(pending.size(), textBytes);
    const std::vector<TagResult> list = printbarcode->Control->TakeTagResults();
    morvel_tag_result* entries = block.Entries;
    for (size_t i = 0; i < list.size(); ++i) {
      entries[i].label = list[i].Label;
      entries[i].state = static_cast<int32_t>(list[i].State);
      entries[i].tries = list[i].Tries;
      entries[i].epc = block.Put(list[i].Epc);
      entries[i].tid = block.Put(list[i].Tid);
      entries[i].reason = block.Put(list[i].Reason);
    }
    *results = entries;
    *count = list.size();
    return static_cast<int>(MORVEL_OK);
  });
}

int morvel_picture_decode(const void* data, size_t size, morvel_picture** picture) {
  if (picture == nullptr) return BadArgument("no place for the picture");
  *picture = nullptr;
  if (data == nullptr && size != 0) return BadArgument("no image bytes");
  return Guard([&] {
    PictureRef decoded = platform::Current().Images->Decode(static_cast<const uint8_t*>(data), size);
    if (!decoded)
      throw AutomationError(errors::InvalidPicture, AutomationError::StandardDescription(errors::InvalidPicture) +
                                                        ": the bytes are no BMP, PNG, JPEG or GIF image");
    *picture = new morvel_picture{std::move(decoded)};
    return MORVEL_OK;
  });
}

int morvel_picture_load(const char* path, morvel_picture** picture) {
  if (picture == nullptr) return BadArgument("no place for the picture");
  *picture = nullptr;
  if (path == nullptr) return BadArgument("no path");
  return Guard([&] {
    std::vector<uint8_t> bytes = platform::ReadWholeFile(std::string(path));
    int rc = morvel_picture_decode(bytes.data(), bytes.size(), picture);
    if (rc == MORVEL_OK) return rc;
    const morvel_error* e = morvel_last_error();
    return Fail(e->number, std::string(e->description) + ": '" + path + "'", rc);
  });
}

int morvel_picture_size(const morvel_picture* picture, int32_t* width, int32_t* height) {
  if (picture == nullptr || !picture->Picture) return BadArgument("no picture");
  if (width != nullptr) *width = picture->Picture->Width();
  if (height != nullptr) *height = picture->Picture->Height();
  return MORVEL_OK;
}

void morvel_picture_release(morvel_picture* picture) { delete picture; }

int morvel_print_document(const char* printer, const void* document, size_t size, const char* options, int32_t* pages) {
  if (printer == nullptr) return BadArgument("no printer");
  if (document == nullptr && size > 0) return BadArgument("no document");
  if (pages != nullptr) *pages = 0;
  return Guard([&] {
#ifdef MORVEL_PRINTS_DOCUMENTS
    std::string why;
    const auto request = print::RequestOf(options ? options : "", &why);
    if (!request) return Fail(errors::InvalidProcedureCall, why, MORVEL_E_ARGUMENT);
    try {
      const std::string_view bytes(static_cast<const char*>(document), size);
      const print::Report report = print::PrintTo(print::TargetFor(printer, *request), bytes, "document", request->How);
      if (pages != nullptr) *pages = report.Printed;
      return static_cast<int>(MORVEL_OK);
    } catch (const print::DocumentError& e) {
      return Fail(errors::InvalidProcedureCall, print::Told(e));
    } catch (const AutomationError& e) {
      return Fail(errors::InvalidProcedureCall, e.Description());
    }
#else
    (void)options;
    return Fail(48, "printing documents is not part of this build");
#endif
  });
}

int morvel_epc_encode(const char* input, const char* scheme, int filter, int prefix_length, char** hex) {
  if (hex == nullptr) return BadArgument("no place for the EPC");
  *hex = nullptr;
  if (input == nullptr) return BadArgument("no input");
  return Guard([&] {
    try {
      const epc::Tag tag = scheme == nullptr ? epc::Encode(input) : epc::Encode(scheme, filter, prefix_length, input);
      *hex = CopyText(std::string(tag.Hex()));
      return static_cast<int>(MORVEL_OK);
    } catch (const epc::Refused& e) {
      return Fail(errors::InvalidProcedureCall, e.what(), MORVEL_E_ARGUMENT);
    }
  });
}

int morvel_epc_decode(const char* hex, char** tag_uri, char** pure_identity, char** element_string) {
  for (char** out : {tag_uri, pure_identity, element_string})
    if (out != nullptr) *out = nullptr;
  if (hex == nullptr) return BadArgument("no hexadecimal EPC");
  return Guard([&] {
    try {
      const epc::Decoded decoded = epc::Decode(hex);
      // Copied all before any is handed over, so a failure leaves none to free.
      using Owned = std::unique_ptr<char, decltype(&std::free)>;
      auto copy = [](char** out, const std::string& text) { return Owned(out ? CopyText(text) : nullptr, &std::free); };
      Owned tag = copy(tag_uri, decoded.TagUri), pure = copy(pure_identity, decoded.PureIdentity),
            element = copy(element_string, decoded.ElementString);
      if (tag_uri != nullptr) *tag_uri = tag.release();
      if (pure_identity != nullptr) *pure_identity = pure.release();
      if (element_string != nullptr) *element_string = element.release();
      return static_cast<int>(MORVEL_OK);
    } catch (const epc::Refused& e) {
      return Fail(errors::InvalidProcedureCall, e.what(), MORVEL_E_ARGUMENT);
    }
  });
}

}  // extern "C"
