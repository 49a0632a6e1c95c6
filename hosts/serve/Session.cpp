// The bridge protocol: JSON messages in, automation calls through the member
// tables, JSON answers and events out. Byte arrays and pictures travel as
// {"bytes": Base64} and {"picture": Base64 of an image file}.
#include "hosts/serve/Session.h"
#include "hosts/serve/Protocol.h"
#include "hosts/serve/Settings.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>
#include <new>
#include <optional>

#include "drivers/Brands.h"
#include "lang/Language.h"
#include "lang/Languages.h"
#include "morvel/morvel.h"
#include "platform/files.h"
#include "platform/services.h"
#ifndef MORVEL_SERVE_NO_STATUS
#include "morvel/status.h"
#endif
#ifndef MORVEL_SERVE_NO_PREVIEW
#include "preview/Preview.h"
#ifndef MORVEL_SERVE_NO_PRINT
#include "print/Print.h"
#endif
#include "render/Page.h"
#endif
#include "platform/text_case.h"

namespace morvel::serve {

// What a page sends is parsed into a tree whose keys are found by search; what
// the bridge answers keeps its keys in the order written ("id" first).
using json = nlohmann::json;
using answer = nlohmann::ordered_json;
using automation::MemberInfo;
using automation::MemberKind;
using automation::Variant;
using automation::VarType;

namespace {

// Bounds on one message's shape, far beyond any call a page makes, so that
// a hostile message costs about its size in time and a small multiple of it
// in memory: checked in a first pass that builds nothing.
constexpr int MaxDepth = 16;
constexpr size_t MaxKeysPerObject = 256;
constexpr size_t MaxValues = 65536;  // every value and key of the message
constexpr int UserInterrupt = 18;    // "User interrupt occurred"

// A call given up because its page left; answered (to nobody) with error 18.
struct CallCancelled {
  std::string What;  // the call and how far it got
};

void Log(const std::string& text) { platform::Logger().Record("serve: " + text); }

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

answer ToJson(const Variant& value) {
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
      return answer{{"bytes", ToBase64(bytes.Bytes())}};
    }
    case VarType::Object: {
      const PictureRef& picture = value.Get<PictureRef>();
      if (!picture) return nullptr;
      return answer{{"picture", ToBase64(platform::Current().Images->SaveBmp(*picture))}};
    }
    case VarType::StringArray: {
      answer items = answer::array();
      for (const String& s : value.Get<std::vector<String>>()) items.push_back(ToUtf8(s));
      return items;
    }
    case VarType::Variant: break;
  }
  return nullptr;
}

std::string Dump(const answer& message) { return message.dump(-1, ' ', false, answer::error_handler_t::replace); }

answer ErrorAnswer(const answer& id, int number, const std::string& description, const std::string& detail = {}) {
  answer error{
      {"number", number}, {"description", description}, {"hresult", 0x800A0000u + static_cast<uint32_t>(number)}};
  if (!detail.empty()) error["detail"] = detail;
  return answer{{"id", id}, {"error", std::move(error)}};
}

// The first pass over a message: counts and nests without building anything,
// and stops at the first bound passed.
class ShapeCheck : public nlohmann::json_sax<json> {
 public:
  std::string Refusal;  // why the message was refused; empty when it holds

  bool null() override { return Value(); }
  bool boolean(bool) override { return Value(); }
  bool number_integer(number_integer_t) override { return Value(); }
  bool number_unsigned(number_unsigned_t) override { return Value(); }
  bool number_float(number_float_t, const string_t&) override { return Value(); }
  bool string(string_t&) override { return Value(); }
  bool binary(binary_t&) override { return Value(); }
  bool start_object(std::size_t) override { return Open(); }
  bool key(string_t&) override {
    if (++keys_.back() > MaxKeysPerObject)
      return Refuse("an object has more than " + std::to_string(MaxKeysPerObject) + " keys");
    return Value();
  }
  bool end_object() override { return Close(); }
  bool start_array(std::size_t) override { return Open(); }
  bool end_array() override { return Close(); }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& e) override {
    if (Refusal.empty()) Refusal = std::string("not JSON: ") + e.what();
    return false;
  }

 private:
  bool Refuse(std::string why) {
    Refusal = std::move(why);
    return false;
  }
  bool Value() {
    if (++values_ > MaxValues) return Refuse("more than " + std::to_string(MaxValues) + " values in one message");
    return true;
  }
  bool Open() {
    if (keys_.size() >= static_cast<size_t>(MaxDepth)) return Refuse("nested too deeply");
    keys_.push_back(0);
    return Value();
  }
  bool Close() {
    keys_.pop_back();
    return true;
  }

  size_t values_ = 0;
  std::vector<size_t> keys_;  // keys so far of each open object (0 for arrays)
};

// What a message asks for, in words for the log: its kind, the member it
// calls (a name of the member tables' shape), and its size; never any of
// what it carries.
std::string Describe(const json& request, size_t bytes) {
  std::string what = "a message";
  for (const char* kind : {"create", "release", "preview", "status", "print", "epc"})
    if (request.contains(kind)) what = std::string("a ") + kind;
  if (auto member = request.find("member"); member != request.end() && member->is_string()) {
    const std::string& name = member->get_ref<const std::string&>();
    const bool plain = !name.empty() && name.size() <= 40 && std::all_of(name.begin(), name.end(), [](char c) {
      return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    });
    what = "a call of " + (plain ? name : std::string("a member"));
  }
  return what + " (" + std::to_string(bytes) + " bytes)";
}

json ParseRequest(std::string_view message) {
  ShapeCheck check;
  if (!json::sax_parse(message, &check) || !check.Refusal.empty())
    throw ProtocolError{check.Refusal.empty() ? "not JSON" : check.Refusal};
  try {
    return json::parse(message);
  } catch (const json::exception& e) {
    throw ProtocolError{std::string("not JSON: ") + e.what()};
  }
}

// A preview draws at most this many labels of one job, so one message's
// answer stays a few MiB; the rest are counted in a warning.
constexpr size_t MaxPreviewLabels = 50;

// Members that name a file: the path is their first argument.
bool NamesFile(std::string_view member) {
  for (std::string_view m : {"DrawImageFromFile", "LoadFile", "SaveFile", "SaveFile2"})
    if (text::EqualsIgnoreCaseAscii(m, member)) return true;
  return false;
}

// Members that reach the printer's library on the Orx and Dothan drivers.
bool ReachesLibrary(std::string_view member) {
  for (std::string_view m :
       {"OpenPort", "ClosePort", "InitPrint", "PrintFont", "PrintBar", "PrintCode", "PrintLabel", "SendCmd", "InitRFID",
        "OpRFID", "DrawImageFromFile", "DrawImageFromBase64", "DrawImageFromPicture"})
    if (m == member) return true;
  return false;
}

// liborxlib keeps one connection per process and libLabelPrintAPI one job,
// as their callers expect; pages run on threads of their own, so each library
// is leased to one page at a time: from its OpenPort to its ClosePort, or for
// a single call of a page that opened nothing.
class Lease {
 public:
  explicit Lease(const char* library) : library_(library) {}

  const char* Library() const noexcept { return library_; }

  // Waits until no other session holds the lease; false when the wait ran
  // out, the page went, or the waits were cancelled (`cancelled` then says so).
  bool Take(const void* session, std::chrono::seconds wait, const std::function<bool()>& gone, bool& cancelled) {
    auto deadline = std::chrono::steady_clock::now() + wait;
    std::unique_lock<std::mutex> lock(lock_);
    uint64_t generation = generation_;
    while (holder_ != nullptr && holder_ != session) {
      cancelled = generation != generation_;
      if (cancelled || (gone && gone())) return false;
      auto now = std::chrono::steady_clock::now();
      if (now >= deadline) return false;
      changed_.wait_until(lock, std::min(deadline, now + std::chrono::milliseconds(100)));
    }
    holder_ = session;
    ++count_;
    return true;
  }

  void Give(const void* session) {
    std::lock_guard<std::mutex> lock(lock_);
    if (holder_ != session || count_ == 0) return;
    if (--count_ == 0) {
      holder_ = nullptr;
      changed_.notify_all();
    }
  }

  // Ends the waits in progress; later ones wait as usual (a bridge that
  // stops and another that starts in the same process).
  void Cancel() {
    std::lock_guard<std::mutex> lock(lock_);
    ++generation_;
    changed_.notify_all();
  }

 private:
  const char* library_;
  std::mutex lock_;
  std::condition_variable changed_;
  const void* holder_ = nullptr;
  size_t count_ = 0;  // takes not yet given back
  uint64_t generation_ = 0;
};

// The lease of each printer library a brand's driver reaches (its row's
// Library), made at its first use; they outlive every connection thread.
std::mutex leasesLock;
std::map<std::string_view, Lease*>& Leases() {
  static auto* leases = new std::map<std::string_view, Lease*>;
  return *leases;
}

Lease* LeaseFor(const char* family) {
  const drivers::BrandRow* brand = drivers::BrandOfFamily(family);
  if (brand == nullptr || brand->Library == nullptr) return nullptr;
  std::lock_guard<std::mutex> hold(leasesLock);
  Lease*& lease = Leases()[brand->Library];
  if (lease == nullptr) lease = new Lease(brand->Library);
  return lease;
}

}  // namespace

struct Session::Object {
  const automation::ClassInfo* Class = nullptr;
  std::unique_ptr<PrintBarCode> Control;
  std::unique_ptr<clsBase64> Codec;
  std::unique_ptr<PrintInfo> Info;
  // The library lease this object's open port holds, until its ClosePort or
  // its end. (The control itself closes a port left open when it ends, which
  // also sends the labels the page already printed.)
  Lease* Holding = nullptr;
};

// Tells the page of each of its documents that did not reach its printer,
// before the answer of the call that found it.
class Session::DeliveryWatch : public platform::IncidentObserver {
 public:
  explicit DeliveryWatch(Session& session) : session_(session) {}
  void Heard(platform::Incident incident, std::string_view printer, std::string_view reason) override {
    if (incident != platform::Incident::DeliveryFailure && incident != platform::Incident::UnknownPrinter) return;
    ++session_.deliveryFailures_;
    answer event{{"event", "delivery"}, {"ok", false}, {"printer", printer}, {"reason", reason}};
    if (session_.currentObject_ != 0) event["object"] = session_.currentObject_;
    session_.Emit(Dump(event));
  }

 private:
  Session& session_;
};

class Session::Impl {
 public:
  static answer Create(Session& s, const json& request) {
    const json& name = request["create"];
    if (!name.is_string()) throw ProtocolError{"create names a class as text, as in \"Morvel.PrintBarCode\""};
    std::string_view className = name.get_ref<const std::string&>();
    if (className.size() > 7 && text::EqualsIgnoreCaseAscii(className.substr(0, 7), "Morvel."))
      className.remove_prefix(7);
    auto object = std::make_unique<Object>();
    for (const automation::ClassInfo* cls : automation::Classes())
      if (text::EqualsIgnoreCaseAscii(cls->Name, className)) object->Class = cls;
    if (object->Class == nullptr) throw AutomationError(429, "ActiveX component can't create object");
    if (s.objects_.size() >= s.limits_.MaxObjects)
      throw AutomationError(errors::OutOfMemory, "Out of memory: at most " + std::to_string(s.limits_.MaxObjects) +
                                                     " objects per connection; release some first");
    int64_t id = s.nextObject_++;
    if (object->Class == &automation::PrintBarCodeClass()) {
      object->Control = std::make_unique<PrintBarCode>();
    } else if (object->Class == &automation::clsBase64Class()) {
      object->Codec = std::make_unique<clsBase64>();
      object->Codec->EncodeJD = [&s, id](Currency& percentage) {
        s.Emit(Dump(answer{{"event", "EncodeJD"}, {"object", id}, {"args", answer::array({percentage.ToDouble()})}}));
      };
    } else {
      object->Info = std::make_unique<PrintInfo>();
    }
    s.objects_.emplace(id, std::move(object));
    return answer{{"object", id}};
  }

  static Object& Find(Session& s, const json& request, const char* field) {
    auto it = request.find(field);
    if (it == request.end() || !it->is_number_integer())
      throw ProtocolError{std::string(field) + " must be an object number"};
    auto found = s.objects_.find(it->get<int64_t>());
    if (found == s.objects_.end()) throw AutomationError(errors::ObjectRequired);
    s.currentObject_ = found->first;
    return *found->second;
  }

  // The memory the page's objects hold in collected label commands may not
  // grow past the connection's bound with this message.
  static void CheckHeld(const Session& s, size_t messageBytes) {
    size_t held = 0;
    for (const auto& [id, object] : s.objects_)
      if (object->Control) held += object->Control->CollectedBytes();
    if (held + 2 * messageBytes <= s.limits_.MaxHeldBytes) return;
    throw AutomationError(errors::OutOfMemory,
                          AutomationError::StandardDescription(errors::OutOfMemory) + ": this page's objects hold " +
                              std::to_string(held >> 20) + " MiB of collected label commands, the most is " +
                              std::to_string(s.limits_.MaxHeldBytes >> 20) + " MiB; print or release them first");
  }

  // A printer's real state, as `morvel status` tells it.
  static answer Status(const json& request) {
#ifdef MORVEL_SERVE_NO_STATUS
    (void)request;
    throw ProtocolError{"printer status is not available in this build"};
#else
    const json& name = request["status"];
    if (!name.is_string()) throw ProtocolError{"status takes the printer's name"};
    int64_t timeoutMs = 2000;
    if (auto it = request.find("timeout"); it != request.end()) {
      if (!it->is_number_integer() || it->get<int64_t>() < 1 || it->get<int64_t>() > 60000)
        throw ProtocolError{"timeout must be a whole number of milliseconds from 1 to 60000"};
      timeoutMs = it->get<int64_t>();
    }
    PrinterStatus s = QueryStatus(name.get<std::string>(), std::chrono::milliseconds(timeoutMs));
    answer result = {{"name", s.Printer}, {"state", s.State}, {"reasons", s.Reasons}, {"raw", s.RawShown()}};
    if (!s.Error.empty()) result["error"] = s.Error;
    if (const std::string cause = s.Cause(); !cause.empty()) result["cause"] = cause;
    return result;
#endif
  }

  // A document a page holds (a carrier's label it fetched), printed as
  // `morvel print` prints it; the message's size bounds the document.
  static answer PrintDocument(Session& s, const json& request) {
#ifdef MORVEL_SERVE_NO_PRINT
    (void)s;
    (void)request;
    throw ProtocolError{"printing documents is not available in this build"};
#else
    const json& document = request["print"];
    const json& printer = request["printer"];
    if (!document.is_object() || document.size() != 1 || !document.contains("bytes") || !printer.is_string())
      throw ProtocolError{"print takes {\"bytes\": Base64 of a document} and the printer's name"};
    std::string words;
    if (auto it = request.find("options"); it != request.end()) {
      if (!it->is_string()) throw ProtocolError{"options are words, as morvel print takes them"};
      words = it->get<std::string>();
    }
    std::string why;
    auto asked = print::RequestOf(words, &why);
    if (!asked) throw ProtocolError{why};
    const std::vector<uint8_t> bytes = FromBase64(document["bytes"]);
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    try {
      const print::Target target = print::TargetFor(printer.get<std::string>(), *asked);
      // A job in the printer's own language goes to it as it is.
      if (s.limits_.RefusePrinterSettings && target.Speaks)
        if (const auto kind = print::KindOf(text); kind && kind->Job == target.Speaks)
          RefusePrinterSettings(text, *target.Speaks);
      // Checked between pages: a page that left has its print stopped after
      // the page being drawn, and what was drawn is not sent.
      const auto progress = [&s](int done, int total) {
        if (s.Gone())
          throw Stopped("the print of a " + std::to_string(total) + "-page document, after page " +
                        std::to_string(done));
      };
      if (s.Gone()) throw Stopped("a print, before its first page");
      // And while a page is drawn, which the page's leaving stops at once.
      asked->How.Abandoned = [&s] { return s.Gone(); };
      const print::Report report = print::PrintTo(target, text, "document", asked->How, progress);
      return answer{{"pages", report.Pages}, {"printed", report.Printed}, {"notes", report.Notes}};
    } catch (const Stopped& e) {
      throw CallCancelled{e.what()};
    } catch (const print::DocumentError& e) {
      if (s.Gone()) throw CallCancelled{"a print, while a page was drawn (" + std::string(e.what()) + ")"};
      throw AutomationError(errors::InvalidProcedureCall, print::Told(e));
    }
#endif
  }

#ifndef MORVEL_SERVE_NO_PRINT
  // A print given up: a document error, so that the printing sends nothing
  // of it, as for any document that fails part way.
  class Stopped : public print::DocumentError {
   public:
    using print::DocumentError::DocumentError;
  };
#endif

  // Pictures of a job, as `morvel preview` draws them: what a page would
  // otherwise send to an online viewer, with its customers' addresses in it.
  static answer Preview(Session& s, const json& request) {
#ifdef MORVEL_SERVE_NO_PREVIEW
    (void)s;
    (void)request;
    throw ProtocolError{"previews are not available in this build"};
#else
    const json& job = request["preview"];
    if (!job.is_object() || job.size() != 1 || !job.contains("bytes"))
      throw ProtocolError{"preview takes {\"bytes\": Base64 of a job}"};
    std::vector<uint8_t> bytes = FromBase64(job["bytes"]);
    int dpi = 203;
    if (auto it = request.find("dpi"); it != request.end()) {
      if (!it->is_number_integer() || it->get<int64_t>() < 100 || it->get<int64_t>() > 600)
        throw ProtocolError{"dpi must be a whole number from 100 to 600"};
      dpi = static_cast<int>(it->get<int64_t>());
    }
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    std::optional<lang::Language> language;
    if (auto it = request.find("language"); it != request.end()) {
      if (it->is_string()) language = lang::LanguageNamed(it->get<std::string>());
      if (!language) throw ProtocolError{"language must be zpl, sbpl or orx"};
    } else {
      language = lang::JobLanguage(text);
      if (!language) throw ProtocolError{"not a " + lang::LanguageTitles() + " job (name its language)"};
    }
    answer warnings = answer::array(), problems = answer::array(), pictures = answer::array();
    std::vector<std::string> found;
    preview::LabelsRead read;
    try {
      // Label by label: the labels past those pictured are only counted,
      // never held (copies of a graphic would each take its memory).
      read = preview::ReadLabels(text, *language, dpi, [&](lang::Label&& label) {
        if (pictures.size() >= MaxPreviewLabels) return;
        if (s.Gone()) throw CallCancelled{"a preview, after " + std::to_string(pictures.size()) + " labels of its job"};
        std::vector<uint8_t> png = render::EncodePng(preview::Paint(label, dpi, &found), dpi);
        pictures.push_back(answer{{"png", ToBase64(png)}, {"copies", label.Copies}});
      });
    } catch (const lang::MalformedJob& e) {
      throw ProtocolError{std::string("the job cannot be read: ") + e.what()};
    }
    for (const auto& w : read.Warnings) warnings.push_back(answer{{"offset", w.Offset}, {"text", w.Text}});
    if (read.Labels > MaxPreviewLabels)
      warnings.push_back(answer{{"offset", bytes.size()},
                                {"text", "only the first " + std::to_string(MaxPreviewLabels) + " of " +
                                             std::to_string(read.Labels) + " labels are pictured"}});
    for (std::string& p : found) problems.push_back(std::move(p));
    return answer{{"language", lang::TitleOf(*language)},
                  {"dpi", dpi},
                  {"pictures", std::move(pictures)},
                  {"warnings", std::move(warnings)},
                  {"problems", std::move(problems)}};
#endif
  }

  // While as many calls of pages that left run on as the bridge allows, no
  // call that draws, prints or waits starts: they cannot pile up threads.
  static void CheckLeftRunning(const Session& s) {
    if (!s.leftRunning_) return;
    const size_t running = s.leftRunning_();
    if (running < s.limits_.MaxLeftRunning) return;
    throw AutomationError(errors::OutOfMemory,
                          AutomationError::StandardDescription(errors::OutOfMemory) + ": " + std::to_string(running) +
                              " calls of pages that left still run, the most this bridge allows (--max-left-running " +
                              std::to_string(s.limits_.MaxLeftRunning) + "); try again when they end");
  }

  static void Release(Session& s, int64_t id) {
    auto it = s.objects_.find(id);
    if (it == s.objects_.end()) return;
    Lease* holding = it->second->Holding;
    s.objects_.erase(it);  // closes a port left open, still under its lease
    if (holding != nullptr) holding->Give(&s);
  }

  static answer Call(Session& s, const answer& id, json& request, size_t messageBytes) {
    Object& object = Find(s, request, "object");
    auto memberName = request.find("member");
    if (memberName == request.end() || !memberName->is_string()) throw ProtocolError{"member must be a member name"};
    const std::string name = memberName->get<std::string>();
    json noArgs = json::array();
    auto found = request.find("args");
    json& jsonArgs = found != request.end() ? *found : noArgs;
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
    for (json& a : jsonArgs) {
      args.push_back(ToVariant(a));
      a = nullptr;  // each argument's text is held once, as the value it became
    }
    bool countFits = member != nullptr && args.size() == member->Params.size();
    if (countFits) {
      // The page's values take the parameter types first, so by-reference
      // results come back whatever JSON type the page sent.
      for (size_t i = 0; i < args.size(); ++i)
        if (member->Params[i].ByRef && args[i].Type() != member->Params[i].Type)
          args[i] = automation::Coerce(args[i], member->Params[i].Type);
      // Refused before the member runs, whichever driver would take the path.
      if (NamesFile(member->Name)) platform::FileSystemPath(automation::ToText(args[0]));
    }

    Variant result;
    if (object.Control) {
      CheckHeld(s, messageBytes);
      if (member != nullptr && ReachesLibrary(member->Name)) CheckLeftRunning(s);
      if (s.limits_.RefusePrinterSettings && countFits && member->Name == "SendCmd")
        if (const drivers::BrandRow* brand = drivers::BrandOfFamily(object.Control->CurrentFamily());
            brand != nullptr && brand->Speaks)
          RefusePrinterSettings(ToUtf8(automation::ToText(args[0])), *brand->Speaks);
      result = CallControl(s, object, member, name, args);
    } else if (object.Codec) {
      result = automation::Invoke(*object.Codec, name, args);
    } else {
      result = automation::Invoke(*object.Info, name, args, kind);
    }

    answer reply{{"id", id}, {"result", ToJson(result)}};
    // The printer's word on the tags of the labels the call printed.
    if (object.Control)
      for (const TagResult& t : object.Control->TakeTagResults())
        reply["tags"].push_back(answer{{"label", t.Label},
                                       {"state", NameOf(t.State)},
                                       {"epc", t.Epc},
                                       {"tid", t.Tid},
                                       {"reason", t.Reason},
                                       {"tries", t.Tries}});
    bool anyByRef = false;
    answer byref = answer::array();
    for (size_t i = 0; i < args.size(); ++i) {
      bool isRef = countFits && member->Params[i].ByRef;
      anyByRef = anyByRef || isRef;
      byref.push_back(isRef ? ToJson(args[i]) : answer(nullptr));
    }
    if (anyByRef) reply["byref"] = std::move(byref);
    return reply;
  }

  // A control's call, under the lease of the library its driver goes through.
  static Variant CallControl(Session& s, Object& object, const MemberInfo* member, const std::string& name,
                             std::vector<Variant>& args) {
    Lease* lease =
        member != nullptr && ReachesLibrary(member->Name) ? LeaseFor(object.Control->CurrentFamily()) : nullptr;
    bool closing = member != nullptr && member->Name == "ClosePort";
    bool cancelled = false;
    if (lease != nullptr &&
        !lease->Take(&s, std::chrono::seconds(s.limits_.LeaseWaitSeconds), s.peerGone_, cancelled)) {
      if (cancelled) throw AutomationError(68, "Device unavailable: the bridge is stopping");
      throw AutomationError(68, std::string("Device unavailable: ") + lease->Library() +
                                    " is in use by another page, which opened a port and has not closed it (waited " +
                                    std::to_string(s.limits_.LeaseWaitSeconds) + " s)");
    }
    struct GiveBack {
      Lease* Taken;
      Session* Owner;
      ~GiveBack() {
        if (Taken != nullptr) Taken->Give(Owner);
      }
    } giveBack{lease, &s};

    Variant result = automation::Invoke(*object.Control, name, args);

    if (member != nullptr && member->Name == "OpenPort" && lease != nullptr && object.Holding == nullptr) {
      object.Holding = lease;  // kept until ClosePort
      giveBack.Taken = nullptr;
    }
    if (closing && object.Holding != nullptr) {
      object.Holding->Give(&s);
      object.Holding = nullptr;
    }
    return result;
  }
};

Session::Session(Limits limits, Sender send) : limits_(limits), send_(std::move(send)) {}

Session::~Session() {
  HandlingScope scope(this);  // a destructor's message box still reaches the page's log, not stderr
  std::vector<int64_t> ids;
  for (const auto& [id, object] : objects_) ids.push_back(id);
  for (int64_t id : ids) Impl::Release(*this, id);
}

void Session::Emit(std::string message) {
  if (send_) send_(std::move(message));
}

void Session::ShowMessage(std::string_view caption, std::string_view text) {
  answer event{{"event", "MessageBox"}, {"caption", caption}, {"text", text}};
  if (currentObject_ != 0) event["object"] = currentObject_;
  Emit(Dump(event));
}

std::string Session::Handle(std::string_view message) {
  HandlingScope scope(this);
  DeliveryWatch watch(*this);
  currentObject_ = 0;
  answer id = nullptr;
  try {
    json request = ParseRequest(message);
    if (!request.is_object()) throw ProtocolError{"a message is a JSON object"};
    if (auto it = request.find("id"); it != request.end()) {
      if (!it->is_number() && !it->is_string()) throw ProtocolError{"id must be a number or a text"};
      id = answer(*it);
    }
    if (doing_) doing_(Describe(request, message.size()));
    if (request.contains("create")) return Dump(answer{{"id", id}, {"result", Impl::Create(*this, request)}});
    if (request.contains("preview")) {
      Impl::CheckLeftRunning(*this);
      return Dump(answer{{"id", id}, {"result", Impl::Preview(*this, request)}});
    }
    if (request.contains("status")) {
      Impl::CheckLeftRunning(*this);
      return Dump(answer{{"id", id}, {"result", Impl::Status(request)}});
    }
    if (request.contains("print")) {
      Impl::CheckLeftRunning(*this);
      return Dump(answer{{"id", id}, {"result", Impl::PrintDocument(*this, request)}});
    }
    if (request.contains("epc")) return Dump(answer{{"id", id}, {"result", EpcAnswer(request)}});
    if (request.contains("release")) {
      Impl::Find(*this, request, "release");
      Impl::Release(*this, currentObject_);
      return Dump(answer{{"id", id}, {"result", nullptr}});
    }
    if (!request.contains("object") || !request.contains("member"))
      throw ProtocolError{
          "a message is a call {id, object, member, args}, a create, a release, a preview, a status, a print or "
          "an epc"};
    return Dump(Impl::Call(*this, id, request, message.size()));
  } catch (const ProtocolError& e) {
    return Dump(ErrorAnswer(id, errors::InvalidProcedureCall,
                            AutomationError::StandardDescription(errors::InvalidProcedureCall), e.Detail));
  } catch (const CallCancelled& e) {
    Log("cancelled " + e.What + ": its page left");
    return Dump(ErrorAnswer(id, UserInterrupt, "User interrupt occurred", "cancelled: the page left"));
  } catch (const AutomationError& e) {
    return Dump(ErrorAnswer(id, e.Number(), e.Description()));
  } catch (const std::bad_alloc&) {
    return Dump(ErrorAnswer(id, errors::OutOfMemory, AutomationError::StandardDescription(errors::OutOfMemory)));
  } catch (const std::exception& e) {
    return Dump(ErrorAnswer(id, 51, AutomationError::StandardDescription(51), e.what()));
  }
}

void Session::CancelWaits() {
  std::lock_guard<std::mutex> hold(leasesLock);
  for (auto& [library, lease] : Leases()) lease->Cancel();
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

void Session::ForwardMessageBoxes() {
  static std::mutex lock;
  std::lock_guard<std::mutex> guard(lock);
  platform::Services services = platform::Current();
  if (dynamic_cast<ForwardingSink*>(services.Messages.get()) != nullptr) return;
  services.Messages = std::make_shared<ForwardingSink>(services.Messages);
  platform::Replace(std::move(services));
}

}  // namespace morvel::serve
