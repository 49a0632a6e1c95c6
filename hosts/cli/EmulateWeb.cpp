// The emulator's page and JSON API over Boost.Beast: one thread a
// connection, the event stream held open until the page leaves or the
// emulator stops. Only Host names of this computer are served, so a page
// elsewhere cannot reach the switches through a name that points here.
#include "hosts/cli/EmulateWeb.h"

#include <utility>

#include <boost/asio.hpp>
#include <boost/beast.hpp>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

namespace morvel::emulate {
namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;

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

bool LocalHost(std::string_view host, int port) {
  const std::string p = ":" + std::to_string(port);
  for (const char* name : {"127.0.0.1", "localhost", "[::1]"})
    if (host == name || host == std::string(name) + p) return true;
  return false;
}

}  // namespace

std::string StateJson(const PrinterState& s) {
  return nlohmann::json{{"paper_out", s.PaperOut}, {"head_open", s.HeadOpen}, {"ribbon_out", s.RibbonOut},
                        {"paused", s.Paused},      {"paper_out_after", s.PaperOutAfter}, {"ready", s.CanPrint()}}
      .dump();
}

std::string JobsJson(const std::vector<JobRecord>& jobs) {
  nlohmann::json list = nlohmann::json::array();
  for (const auto& j : jobs)
    list.push_back({{"id", j.Id},           {"language", NameOf(j.Language)}, {"file", j.File},
                    {"peer", j.Peer},       {"received", j.Received},         {"bytes", j.Bytes},
                    {"cut", j.Cut},         {"dropped", j.Dropped},           {"stage", NameOf(j.Stage)},
                    {"labels", j.LabelsTotal}, {"labels_printed", j.LabelsPrinted}, {"pictures", j.Pictures},
                    {"warnings", j.Warnings}});
  return list.dump();
}

bool ApplyStateJson(const std::string& body, PrinterState& state, std::string& error) {
  nlohmann::json j = nlohmann::json::parse(body, nullptr, false);
  if (j.is_discarded() || !j.is_object()) {
    error = "the body is not a JSON object";
    return false;
  }
  PrinterState next = state;
  for (auto& [key, value] : j.items()) {
    bool* flag = key == "paper_out" ? &next.PaperOut : key == "head_open" ? &next.HeadOpen
                 : key == "ribbon_out" ? &next.RibbonOut : key == "paused" ? &next.Paused : nullptr;
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
    beast::error_code ec;
    tcp::endpoint where(net::ip::make_address("127.0.0.1"), static_cast<unsigned short>(port));
    acceptor_.open(where.protocol(), ec);
    if (!ec) acceptor_.set_option(net::socket_base::reuse_address(true), ec);
    if (!ec) acceptor_.bind(where, ec);
    if (!ec) acceptor_.listen(64, ec);
    if (ec) {
      error = "cannot listen on 127.0.0.1:" + std::to_string(port) + " for the web page: " + ec.message() +
              (ec == net::error::address_in_use ? " (another program has the port; choose another with --web)" : "");
      return false;
    }
    port_ = acceptor_.local_endpoint().port();
    thread_ = std::thread([this] { AcceptLoop(); });
    return true;
  }

  void Stop() {
    if (stopping_.exchange(true)) return;
    beast::error_code ec;
    acceptor_.close(ec);
    // A blocking accept is not woken by close on every system: a connection wakes it.
    {
      tcp::socket poke(io_);
      poke.connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), static_cast<unsigned short>(port_)), ec);
    }
    if (thread_.joinable()) thread_.join();
    std::unique_lock<std::mutex> hold(lock_);
    for (auto* s : sockets_) {
      beast::error_code ignored;
      s->shutdown(tcp::socket::shutdown_both, ignored);
    }
    done_.wait(hold, [&] { return open_ == 0; });
  }

  int Port() const { return port_; }

 private:
  void AcceptLoop() {
    while (!stopping_) {
      beast::error_code ec;
      auto socket = std::make_unique<tcp::socket>(io_);
      acceptor_.accept(*socket, ec);
      if (ec || stopping_) break;
      std::lock_guard<std::mutex> hold(lock_);
      ++open_;
      sockets_.push_back(socket.get());
      std::thread([this, s = std::move(socket)]() mutable {
        Serve(*s);
        std::lock_guard<std::mutex> hold(lock_);
        sockets_.erase(std::find(sockets_.begin(), sockets_.end(), s.get()));
        s.reset();
        --open_;
        done_.notify_all();
      }).detach();
    }
  }

  void Serve(tcp::socket& socket) {
    beast::flat_buffer buffer;
    for (;;) {
      http::request_parser<http::string_body> parser;
      parser.body_limit(64 * 1024);
      beast::error_code ec;
      http::read(socket, buffer, parser, ec);
      if (ec) return;
      auto& request = parser.get();
      if (!LocalHost(std::string_view(request[http::field::host].data(), request[http::field::host].size()), port_)) {
        Reply(socket, request, http::status::forbidden, "text/plain", "this page answers only to names of this computer\n");
        return;
      }
      std::string target(request.target());
      if (request.method() == http::verb::get && target == "/api/events") {
        Events(socket);
        return;
      }
      if (!Route(socket, request)) return;
      if (!request.keep_alive()) return;
    }
  }

  bool Route(tcp::socket& socket, const http::request<http::string_body>& request) {
    const std::string target(request.target());
    const bool get = request.method() == http::verb::get;
    if (get && (target == "/" || target == "/index.html")) return Reply(socket, request, http::status::ok, "text/html; charset=utf-8", Page);
    if (get && target == "/api/jobs") return Reply(socket, request, http::status::ok, "application/json", JobsJson(emulator_.Jobs()));
    if (get && target == "/api/state") return Reply(socket, request, http::status::ok, "application/json", StateJson(emulator_.State()));
    if (request.method() == http::verb::post && target == "/api/state") {
      // A page elsewhere cannot send JSON without asking first, and it is not answered.
      if (request[http::field::content_type].find("application/json") == beast::string_view::npos)
        return Reply(socket, request, http::status::unsupported_media_type, "application/json",
                     R"({"error":"send the state as application/json"})");
      PrinterState state = emulator_.State();
      std::string error;
      if (!ApplyStateJson(request.body(), state, error))
        return Reply(socket, request, http::status::bad_request, "application/json", nlohmann::json{{"error", error}}.dump());
      emulator_.SetState(state);
      return Reply(socket, request, http::status::ok, "application/json", StateJson(emulator_.State()));
    }
    if (get && target.starts_with("/pictures/")) {
      const std::string name = target.substr(10);
      for (const auto& job : emulator_.Jobs())
        for (const auto& picture : job.Pictures)
          if (std::filesystem::path(picture).filename() == name) {
            std::ifstream in(picture, std::ios::binary);
            return Reply(socket, request, http::status::ok, "image/png", std::string(std::istreambuf_iterator<char>(in), {}));
          }
    }
    return Reply(socket, request, http::status::not_found, "text/plain", "not found\n");
  }

  bool Reply(tcp::socket& socket, const http::request<http::string_body>& request, http::status status,
             const char* type, std::string body) {
    http::response<http::string_body> response(status, request.version());
    response.set(http::field::content_type, type);
    response.set(http::field::cache_control, "no-store");
    response.keep_alive(request.keep_alive());
    response.body() = std::move(body);
    response.prepare_payload();
    beast::error_code ec;
    http::write(socket, response, ec);
    return !ec;
  }

  void Events(tcp::socket& socket) {
    std::string head =
        "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n";
    beast::error_code ec;
    net::write(socket, net::buffer(head), ec);
    uint64_t seen = emulator_.Version();
    std::string first = "data: " + std::to_string(seen) + "\n\n";
    net::write(socket, net::buffer(first), ec);
    int quiet = 0;
    while (!ec && !stopping_) {
      uint64_t now = emulator_.WaitForChange(seen, 1000);
      if (now == seen && ++quiet < 15) continue;
      // A comment line every 15 quiet seconds finds a page that has gone.
      std::string line = now != seen ? "data: " + std::to_string(now) + "\n\n" : ": still here\n\n";
      seen = now;
      quiet = 0;
      net::write(socket, net::buffer(line), ec);
    }
  }

  Emulator& emulator_;
  net::io_context io_;
  tcp::acceptor acceptor_{io_};
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
  std::mutex lock_;
  std::condition_variable done_;
  size_t open_ = 0;
  std::vector<tcp::socket*> sockets_;
};

WebPage::WebPage(Emulator& emulator) : impl_(std::make_unique<Impl>(emulator)) {}
WebPage::~WebPage() { Stop(); }
bool WebPage::Start(const std::string&, int port, std::string& error) { return impl_->Start(port, error); }
void WebPage::Stop() { impl_->Stop(); }
int WebPage::Port() const { return impl_->Port(); }

}  // namespace morvel::emulate
