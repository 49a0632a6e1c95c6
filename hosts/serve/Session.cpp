// The bridge protocol: JSON messages in, automation calls through the member
// tables, JSON answers and events out. Byte arrays and pictures travel as
// {"bytes": Base64} and {"picture": Base64 of an image file}.
#include "hosts/serve/Session.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cstdlib>
#include <mutex>
#include <new>

#include "morvel/morvel.h"
#include "platform/files.h"
#include "platform/services.h"
#include "platform/text_case.h"

namespace morvel::serve {

using json = nlohmann::ordered_json;
using automation::MemberInfo;
using automation::MemberKind;
using automation::Variant;
using automation::VarType;

namespace {

// Nesting beyond this is no call a page makes; refusing it keeps a hostile
// message from costing more than its size.
constexpr int MaxDepth = 16;

// A message the protocol cannot take; answered with error 5 and the reason.
struct ProtocolError {
  std::string Detail;
};

thread_local Session* handling = nullptr;

class HandlingScope {
 public:
  explicit HandlingScope(Session* session) : previous_(handling) { handling = session; }
  ~HandlingScope() { handling = previous_; }

 private:
  Session* previous_;
};

std::vector<uint8_t> FromBase64(const json& text) {
  if (!text.is_string()) throw AutomationError(errors::TypeMismatch);
  const std::string& s = text.get_ref<const std::string&>();
  if (s.empty()) return {};
  try {
    clsBase64 codec;
    return codec.Base64Decode(String(s.begin(), s.end())).Bytes();
  } catch (const AutomationError&) {
    throw AutomationError(errors::TypeMismatch);  // not Base64: a wrong argument, not a failed member
  }
}

std::string ToBase64(const std::vector<uint8_t>& bytes) {
  if (bytes.empty()) return {};
  clsBase64 codec;
  ByteArray copy(bytes);
  return ToUtf8(codec.Base64Encode(copy));
}

Variant ToVariant(const json& value) {
  switch (value.type()) {
    case json::value_t::null: return Variant();
    case json::value_t::boolean: return Variant(value.get<bool>());
    case json::value_t::number_integer: {
      int64_t n = value.get<int64_t>();
      if (n >= INT32_MIN && n <= INT32_MAX) return Variant(static_cast<Long>(n));
      return Variant(static_cast<double>(n));
    }
    case json::value_t::number_unsigned: {
      uint64_t n = value.get<uint64_t>();
      if (n <= INT32_MAX) return Variant(static_cast<Long>(n));
      return Variant(static_cast<double>(n));
    }
    case json::value_t::number_float: return Variant(value.get<double>());
    case json::value_t::string: return Variant(FromUtf8(value.get_ref<const std::string&>()));
    case json::value_t::array: {
      std::vector<String> items;
      for (const json& item : value) {
        if (!item.is_string()) throw AutomationError(errors::TypeMismatch);
        items.push_back(FromUtf8(item.get_ref<const std::string&>()));
      }
      return Variant(std::move(items));
    }
    case json::value_t::object: {
      if (value.size() == 1 && value.contains("bytes")) return Variant(ByteArray(FromBase64(value["bytes"])));
      if (value.size() == 1 && value.contains("picture")) {
        std::vector<uint8_t> file = FromBase64(value["picture"]);
        PictureRef picture = platform::Current().Images->Decode(file.data(), file.size());
        if (!picture) throw AutomationError(errors::InvalidPicture);
        return Variant(std::move(picture));
      }
      throw AutomationError(errors::TypeMismatch);
    }
    default: throw AutomationError(errors::TypeMismatch);
  }
}

json ToJson(const Variant& value) {
  switch (value.Type()) {
    case VarType::Empty: return nullptr;
    case VarType::Integer: return value.Get<Integer>();
    case VarType::Long: return value.Get<Long>();
    case VarType::Single: {
      // The shortest text that reads back as this float, so 0.1f shows as 0.1.
      char text[32];
      auto end = std::to_chars(text, text + sizeof text, value.Get<Single>()).ptr;
      *end = '\0';
      return std::strtod(text, nullptr);
    }
    case VarType::Double: return value.Get<Double>();
    case VarType::Currency: return value.Get<Currency>().ToDouble();
    case VarType::String: return ToUtf8(value.Get<String>());
    case VarType::Boolean: return value.Get<Boolean>();
    case VarType::Bytes: {
      const ByteArray& bytes = value.Get<ByteArray>();
      if (!bytes.IsAllocated()) return nullptr;
      return json{{"bytes", ToBase64(bytes.Bytes())}};
    }
    case VarType::Object: {
      const PictureRef& picture = value.Get<PictureRef>();
      if (!picture) return nullptr;
      return json{{"picture", ToBase64(platform::Current().Images->SaveBmp(*picture))}};
    }
    case VarType::StringArray: {
      json items = json::array();
      for (const String& s : value.Get<std::vector<String>>()) items.push_back(ToUtf8(s));
      return items;
    }
    case VarType::Variant: break;
  }
  return nullptr;
}

std::string Dump(const json& message) { return message.dump(-1, ' ', false, json::error_handler_t::replace); }

json ErrorAnswer(const json& id, int number, const std::string& description, const std::string& detail = {}) {
  json error{{"number", number}, {"description", description}, {"hresult", 0x800A0000u + static_cast<uint32_t>(number)}};
  if (!detail.empty()) error["detail"] = detail;
  return json{{"id", id}, {"error", std::move(error)}};
}

// Members that name a file: the path is their first argument.
bool NamesFile(std::string_view member) {
  for (std::string_view m : {"DrawImageFromFile", "LoadFile", "SaveFile", "SaveFile2"})
    if (text::EqualsIgnoreCaseAscii(m, member)) return true;
  return false;
}

}  // namespace

struct Session::Object {
  const automation::ClassInfo* Class = nullptr;
  std::unique_ptr<PrintBarCode> Control;
  std::unique_ptr<clsBase64> Codec;
  std::unique_ptr<PrintInfo> Info;
  // The page opened a port and has not closed it. The control closes nothing
  // when it dies, so a page that leaves mid-job would hold a printer
  // connection for as long as the bridge runs; the bridge, as the host,
  // closes it instead, which sends the labels the page already printed.
  bool PortOpen = false;

  ~Object() {
    if (!Control || !PortOpen) return;
    try {
      automation::Invoke(*Control, "ClosePort", {});
    } catch (const AutomationError&) {
    }
  }
};

class Session::Impl {
 public:
  static json Create(Session& s, const json& request) {
    const json& name = request["create"];
    if (!name.is_string()) throw ProtocolError{"create names a class as text, as in \"Morvel.PrintBarCode\""};
    std::string_view className = name.get_ref<const std::string&>();
    if (className.size() > 7 && text::EqualsIgnoreCaseAscii(className.substr(0, 7), "Morvel.")) className.remove_prefix(7);
    auto object = std::make_unique<Object>();
    for (const automation::ClassInfo* cls : automation::Classes())
      if (text::EqualsIgnoreCaseAscii(cls->Name, className)) object->Class = cls;
    if (object->Class == nullptr)
      throw AutomationError(429, "ActiveX component can't create object");
    if (s.objects_.size() >= s.limits_.MaxObjects)
      throw AutomationError(errors::OutOfMemory, "Out of memory: at most " + std::to_string(s.limits_.MaxObjects) +
                                                     " objects per connection; release some first");
    int64_t id = s.nextObject_++;
    if (object->Class == &automation::PrintBarCodeClass()) {
      object->Control = std::make_unique<PrintBarCode>();
    } else if (object->Class == &automation::clsBase64Class()) {
      object->Codec = std::make_unique<clsBase64>();
      object->Codec->EncodeJD = [&s, id](Currency& percentage) {
        s.Emit(Dump(json{{"event", "EncodeJD"}, {"object", id}, {"args", json::array({percentage.ToDouble()})}}));
      };
    } else {
      object->Info = std::make_unique<PrintInfo>();
    }
    s.objects_.emplace(id, std::move(object));
    return json{{"object", id}};
  }

  static Object& Find(Session& s, const json& request, const char* field) {
    const json& id = request[field];
    if (!id.is_number_integer()) throw ProtocolError{std::string(field) + " must be an object number"};
    auto it = s.objects_.find(id.get<int64_t>());
    if (it == s.objects_.end()) throw AutomationError(errors::ObjectRequired);
    s.currentObject_ = it->first;
    return *it->second;
  }

  static json Call(Session& s, const json& id, const json& request) {
    Object& object = Find(s, request, "object");
    const json& memberName = request["member"];
    if (!memberName.is_string()) throw ProtocolError{"member must be a member name"};
    const std::string& name = memberName.get_ref<const std::string&>();
    json noArgs = json::array();
    const json& jsonArgs = request.contains("args") ? request["args"] : noArgs;
    if (!jsonArgs.is_array()) throw ProtocolError{"args must be an array"};

    // A property read with one argument is its assignment (PrintInfo.PrintPP).
    const automation::ClassInfo& cls = *object.Class;
    MemberKind kind = MemberKind::Method;
    const MemberInfo* member = automation::FindMember(cls, name, kind);
    if (member != nullptr && member->Kind == MemberKind::PropertyGet && jsonArgs.size() == 1) {
      if (const MemberInfo* put = automation::FindMember(cls, name, MemberKind::PropertyPut)) {
        member = put;
        kind = MemberKind::PropertyPut;
      }
    }

    std::vector<Variant> args;
    args.reserve(jsonArgs.size());
    for (const json& a : jsonArgs) args.push_back(ToVariant(a));
    bool countFits = member != nullptr && args.size() == member->Params.size();
    if (countFits) {
      // The page's values take the parameter types first, so by-reference
      // results come back whatever JSON type the page sent.
      for (size_t i = 0; i < args.size(); ++i)
        if (member->Params[i].ByRef) args[i] = automation::Coerce(args[i], member->Params[i].Type);
      // Refused before the member runs, whichever driver would take the path.
      if (NamesFile(member->Name)) platform::FileSystemPath(automation::ToText(args[0]));
    }

    Variant result;
    if (object.Control && member != nullptr && member->Name == "ClosePort") object.PortOpen = false;
    if (object.Control) result = automation::Invoke(*object.Control, name, args);
    else if (object.Codec) result = automation::Invoke(*object.Codec, name, args);
    else result = automation::Invoke(*object.Info, name, args, kind);

    if (object.Control && member != nullptr && member->Name == "OpenPort") object.PortOpen = true;

    json answer{{"id", id}, {"result", ToJson(result)}};
    bool anyByRef = false;
    json byref = json::array();
    for (size_t i = 0; i < args.size(); ++i) {
      bool isRef = countFits && member->Params[i].ByRef;
      anyByRef = anyByRef || isRef;
      byref.push_back(isRef ? ToJson(args[i]) : json(nullptr));
    }
    if (anyByRef) answer["byref"] = std::move(byref);
    return answer;
  }
};

Session::Session(Limits limits, Sender send) : limits_(limits), send_(std::move(send)) {}

Session::~Session() {
  HandlingScope scope(this);  // a destructor's message box still reaches the page's log, not stderr
  objects_.clear();
}

void Session::Emit(std::string message) {
  if (send_) send_(std::move(message));
}

void Session::ShowMessage(std::string_view caption, std::string_view text) {
  json event{{"event", "MessageBox"}, {"caption", caption}, {"text", text}};
  if (currentObject_ != 0) event["object"] = currentObject_;
  Emit(Dump(event));
}

std::string Session::Handle(std::string_view message) {
  HandlingScope scope(this);
  currentObject_ = 0;
  json id = nullptr;
  try {
    json request;
    try {
      request = json::parse(message, [](int depth, json::parse_event_t, json&) {
        if (depth > MaxDepth) throw ProtocolError{"nested too deeply"};
        return true;
      });
    } catch (const json::exception& e) {
      throw ProtocolError{std::string("not JSON: ") + e.what()};
    }
    if (!request.is_object()) throw ProtocolError{"a message is a JSON object"};
    if (auto it = request.find("id"); it != request.end()) {
      if (!it->is_number() && !it->is_string()) throw ProtocolError{"id must be a number or a text"};
      id = *it;
    }
    if (request.contains("create")) return Dump(json{{"id", id}, {"result", Impl::Create(*this, request)}});
    if (request.contains("release")) {
      Impl::Find(*this, request, "release");
      objects_.erase(currentObject_);
      return Dump(json{{"id", id}, {"result", nullptr}});
    }
    if (!request.contains("object") || !request.contains("member"))
      throw ProtocolError{"a message is a call {id, object, member, args}, a create or a release"};
    return Dump(Impl::Call(*this, id, request));
  } catch (const ProtocolError& e) {
    return Dump(ErrorAnswer(id, errors::InvalidProcedureCall,
                            AutomationError::StandardDescription(errors::InvalidProcedureCall), e.Detail));
  } catch (const AutomationError& e) {
    return Dump(ErrorAnswer(id, e.Number(), e.Description()));
  } catch (const std::bad_alloc&) {
    return Dump(ErrorAnswer(id, errors::OutOfMemory, AutomationError::StandardDescription(errors::OutOfMemory)));
  } catch (const std::exception& e) {
    return Dump(ErrorAnswer(id, 51, AutomationError::StandardDescription(51), e.what()));
  }
}

class ForwardingSink : public platform::MessageSink {
 public:
  explicit ForwardingSink(std::shared_ptr<platform::MessageSink> previous) : previous_(std::move(previous)) {}
  void Show(std::string_view caption, std::string_view text) override {
    if (handling != nullptr) {
      handling->ShowMessage(caption, text);
    } else if (previous_) {
      previous_->Show(caption, text);
    }
  }

 private:
  std::shared_ptr<platform::MessageSink> previous_;
};

void Session::CancelWaits() {}

void Session::ForwardMessageBoxes() {
  static std::mutex lock;
  std::lock_guard<std::mutex> guard(lock);
  platform::Services services = platform::Current();
  if (dynamic_cast<ForwardingSink*>(services.Messages.get()) != nullptr) return;
  services.Messages = std::make_shared<ForwardingSink>(services.Messages);
  platform::Replace(std::move(services));
}

}  // namespace morvel::serve
