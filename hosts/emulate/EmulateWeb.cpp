// The emulator's page and JSON API on the bridge's HTTP stack (Http.h):
// the event stream held open on its connection's thread until the page
// leaves or the emulator stops. The HTTP stack answers loopback host names
// only, so a page elsewhere cannot reach the switches through a name that
// points here.
#include "hosts/emulate/EmulateWeb.h"

#include <chrono>
#include <nlohmann/json.hpp>

#include "core/utf8.h"
#include "hosts/serve/Http.h"
#include "platform/text_case.h"

namespace morvel::emulate {
namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using serve::HttpConnection;
using serve::HttpRequest;
using serve::HttpResponse;
using serve::HttpStatus;

const char* const Page = R"html(<!doctype html>
<html lang="en"><head><meta charset="utf-8"><title>morvel emulate</title>
<style>
body{font-family:sans-serif;margin:1.5em;background:#f4f4f4}
fieldset{background:#fff;margin-bottom:1em}
.job{background:#fff;border:1px solid #ccc;margin:0 0 1em;padding:.5em}
.job img{border:1px solid #999;max-width:45%;margin:.3em;background:#fff;image-rendering:pixelated}
.warn{color:#a40}
</style></head><body>
<h1>morvel emulate</h1>
<fieldset id="state"><legend>Printer</legend>
<label><input type="checkbox" id="paper_out"> paper out</label>
<label><input type="checkbox" id="head_open"> head open</label>
<label><input type="checkbox" id="ribbon_out"> ribbon out</label>
<label><input type="checkbox" id="paused"> paused</label>
<label>paper out after <input type="number" id="paper_out_after" min="-1" value="-1" style="width:5em"> labels (-1: never)</label>
<span id="summary"></span>
</fieldset>
<div id="jobs"></div>
<script>
const flags = ["paper_out", "head_open", "ribbon_out", "paused"];
async function showState() {
  const s = await (await fetch("/api/state")).json();
  for (const f of flags) document.getElementById(f).checked = s[f];
  const after = document.getElementById("paper_out_after");
  if (document.activeElement !== after) after.value = s.paper_out_after;
  document.getElementById("summary").textContent = s.ready ? "ready" : "cannot print";
}
async function showJobs() {
  const jobs = await (await fetch("/api/jobs")).json();
  const list = document.getElementById("jobs");
  list.replaceChildren(...jobs.map(j => {
    const d = document.createElement("div");
    d.className = "job";
    d.dataset.id = j.id;
    const h = document.createElement("div");
    h.textContent = `#${j.id} ${j.language.toUpperCase()} ${j.bytes} bytes, ${j.stage}, ` +
                    `${j.labels_printed} of ${j.labels} labels, from ${j.peer} at ${j.received}` +
                    (j.cut ? ", cut" : "") + (j.dropped ? ", connection broke off" : "");
    d.append(h);
    for (const w of j.warnings) {
      const p = document.createElement("div");
      p.className = "warn";
      p.textContent = w;
      d.append(p);
    }
    for (const src of j.pictures) {
      const img = document.createElement("img");
      img.src = "/pictures/" + src.split("/").pop();
      img.alt = "label";
      d.append(img);
    }
    return d;
  }));
}
async function send(change) {
  await fetch("/api/state", {method: "POST", headers: {"Content-Type": "application/json"}, body: JSON.stringify(change)});
}
for (const f of flags) document.getElementById(f).addEventListener("change", e => send({[f]: e.target.checked}));
document.getElementById("paper_out_after").addEventListener("change", e => send({paper_out_after: Number(e.target.value)}));
const events = new EventSource("/api/events");
events.onmessage = () => { showState(); showJobs(); };
showState(); showJobs();
</script></body></html>
)html";

// How long the event stream waits for a change before it looks whether
// its page, or the emulator, has gone.
constexpr auto EventSlice = std::chrono::milliseconds(250);
// A comment line after this many quiet slices (15 s) finds a page that has gone.
constexpr int QuietSlices = 60;

HttpResponse NoStore(HttpResponse response) {
  response.set(http::field::cache_control, "no-store");
  return response;
}

// The media type of a Content-Type, its parameters aside, is application/json.
bool IsJson(beast::string_view contentType) {
  std::string type(contentType.substr(0, contentType.find(';')));
  type.erase(0, type.find_first_not_of(" \t"));
  type.erase(type.find_last_not_of(" \t") + 1);
  return text::EqualsIgnoreCaseAscii(type, "application/json");
}

class PageHandler : public serve::HttpHandler {
 public:
  explicit PageHandler(Emulator& emulator) : emulator_(emulator) {}

  void OnRequest(HttpConnection& connection, HttpRequest request) override {
    if (request.method() == http::verb::get && request.target() == "/api/events") return Events(connection);
    connection.Respond(Route(connection, request));
  }

 private:
  HttpResponse Route(HttpConnection& c, const HttpRequest& request) {
    const std::string target(request.target());
    const bool get = request.method() == http::verb::get;
    if (get && (target == "/" || target == "/index.html"))
      return NoStore(c.Answer(request, HttpStatus::ok, "text/html; charset=utf-8", Page));
    if (get && target == "/api/jobs") return c.Json(request, HttpStatus::ok, JobsJson(emulator_.Jobs()));
    if (get && target == "/api/state") return c.Json(request, HttpStatus::ok, StateJson(emulator_.State()));
    if (request.method() == http::verb::post && target == "/api/state") return ChangeState(c, request);
    if (get && target.starts_with("/pictures/"))
      if (auto png = emulator_.Picture(target.substr(10)))
        return NoStore(c.Answer(request, HttpStatus::ok, "image/png", std::move(*png)));
    return NoStore(c.Answer(request, HttpStatus::not_found, "text/plain", "not found\n"));
  }

  HttpResponse ChangeState(HttpConnection& c, const HttpRequest& request) {
    // A page elsewhere cannot send JSON without asking first (and is not
    // answered), but "text/plain;application/json" is a simple request: only
    // the media type application/json itself will do.
    if (!IsJson(request[http::field::content_type]))
      return c.Json(request, HttpStatus::unsupported_media_type, R"({"error":"send the state as application/json"})");
    // Browsers tell the page a request comes from: only the emulator's own.
    // Its host is a loopback name, as the HTTP stack answers no other.
    const std::string origin(request[http::field::origin]);
    if (!origin.empty() && !text::EqualsIgnoreCaseAscii(origin, "http://" + std::string(request[http::field::host]))) {
      emulator_.Log("refused a change of state from the page of " + core::EscapeNonUtf8(origin));
      return c.Json(request, HttpStatus::forbidden, R"({"error":"only the emulator's own page changes its state"})");
    }
    PrinterState state = emulator_.State();
    std::string error;
    if (!ApplyStateJson(request.body(), state, error))
      return c.Json(request, HttpStatus::bad_request,
                    nlohmann::json{{"error", error}}.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    emulator_.SetState(state);
    return c.Json(request, HttpStatus::ok, StateJson(emulator_.State()));
  }

  // Tells the page each change of jobs or state, on this connection's own
  // thread, until the page or the server ends the connection.
  void Events(HttpConnection& c) {
    if (!c.Keep()) return c.End();
    auto& socket = c.Stream().socket();
    const std::string head =
        "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n";
    beast::error_code ec;
    net::write(socket, net::buffer(head), ec);
    uint64_t seen = emulator_.Version();
    const std::string first = "data: " + std::to_string(seen) + "\n\n";
    if (!ec) net::write(socket, net::buffer(first), ec);
    int quiet = 0;
    while (!ec && !c.Ending()) {
      const uint64_t now = emulator_.WaitForChange(seen, static_cast<int>(EventSlice.count()));
      if (now == seen && ++quiet < QuietSlices) continue;
      const std::string line = now != seen ? "data: " + std::to_string(now) + "\n\n" : ": still here\n\n";
      seen = now;
      quiet = 0;
      net::write(socket, net::buffer(line), ec);
    }
    c.End();
  }

  Emulator& emulator_;
};

}  // namespace

std::string StateJson(const PrinterState& s) {
  return nlohmann::json{{"paper_out", s.PaperOut},
                        {"head_open", s.HeadOpen},
                        {"ribbon_out", s.RibbonOut},
                        {"paused", s.Paused},
                        {"paper_out_after", s.PaperOutAfter},
                        {"ready", s.CanPrint()}}
      .dump();
}

std::string JobsJson(const std::vector<JobRecord>& jobs) {
  std::string list = "[";
  for (const auto& j : jobs) list += (list.size() > 1 ? "," : "") + RecordJson(j);
  return list + "]";
}

bool ApplyStateJson(const std::string& body, PrinterState& state, std::string& error) {
  nlohmann::json j = nlohmann::json::parse(body, nullptr, false);
  if (j.is_discarded() || !j.is_object()) {
    error = "the body is not a JSON object";
    return false;
  }
  PrinterState next = state;
  for (auto& [key, value] : j.items()) {
    bool* flag = key == "paper_out"    ? &next.PaperOut
                 : key == "head_open"  ? &next.HeadOpen
                 : key == "ribbon_out" ? &next.RibbonOut
                 : key == "paused"     ? &next.Paused
                                       : nullptr;
    if (flag != nullptr) {
      if (!value.is_boolean()) {
        error = key + " must be true or false";
        return false;
      }
      *flag = value.get<bool>();
    } else if (key == "paper_out_after") {
      if (value.is_null()) {
        next.PaperOutAfter = -1;
      } else if (!value.is_number_integer() || value.get<long long>() < -1 || value.get<long long>() > 1000000000) {
        error = "paper_out_after must be a whole number of labels from 0, or -1 or null for never";
        return false;
      } else {
        next.PaperOutAfter = static_cast<long>(value.get<long long>());
      }
    } else if (key != "ready") {
      error = "unknown field '" + key + "' (paper_out, head_open, ribbon_out, paused, paper_out_after)";
      return false;
    }
  }
  state = next;
  return true;
}

class WebPage::Impl {
 public:
  explicit Impl(Emulator& emulator) : emulator_(emulator) {}

  bool Start(int port, std::string& error) {
    serve::HttpOptions options;
    options.Port = static_cast<uint16_t>(port);
    options.Ipv4Only = true;
    options.OwnUserOnly = true;  // loopback is every account's: only this user changes the state or sees the labels
    options.MaxConnections = 64;
    options.Log = [this](const std::string& line) { emulator_.Log("web page: " + line); };
    server_ = std::make_unique<serve::HttpServer>(std::move(options),
                                                  [this] { return std::make_unique<PageHandler>(emulator_); });
    try {
      server_->Start();
    } catch (const serve::ListenError& e) {
      error = "cannot listen on " + e.Address + " for the web page: " + e.Reason +
              (e.InUse ? " (another program has the port; choose another with --web)" : "");
      server_.reset();
      return false;
    }
    return true;
  }

  void Stop() {
    if (server_) server_->Stop();
  }

  int Port() const { return server_ ? server_->Port() : 0; }

 private:
  Emulator& emulator_;
  std::unique_ptr<serve::HttpServer> server_;
};

WebPage::WebPage(Emulator& emulator) : impl_(std::make_unique<Impl>(emulator)) {}
WebPage::~WebPage() { Stop(); }
bool WebPage::Start(const std::string&, int port, std::string& error) { return impl_->Start(port, error); }
void WebPage::Stop() { impl_->Stop(); }
int WebPage::Port() const { return impl_->Port(); }

}  // namespace morvel::emulate
