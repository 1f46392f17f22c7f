#include "web_frontend.h"

#include <httplib.h>

#include <algorithm>
#include <stdexcept>
#include <thread>

#include "display_simulator.h"
#include "simulator_system.h"

namespace korvane::simulator {

namespace {

constexpr std::string_view kStateMarker = "/*STATE*/null";
constexpr std::chrono::milliseconds kMaxWait{25000};

std::uint64_t NumberParam(const httplib::Request& aRequest, const char* aName, std::uint64_t aDefault) {
  if (!aRequest.has_param(aName)) return aDefault;
  try {
    return std::stoull(aRequest.get_param_value(aName));
  } catch (const std::exception&) {
    return aDefault;
  }
}

}  // namespace

std::string RenderPage(const std::string& aStateJson) {
  // Inside a script element "</script>" or "<!--" in a text would change how
  // the page parses: JSON may write every "<" as \u003c instead (it only
  // occurs inside strings).
  std::string state;
  state.reserve(aStateJson.size());
  for (const char c : aStateJson) {
    if (c == '<')
      state += "\\u003c";
    else
      state += c;
  }
  std::string page(kPageHtml);
  const auto at = page.find(kStateMarker);
  if (at != std::string::npos) page.replace(at, kStateMarker.size(), state);
  return page;
}

struct WebFrontend::Impl {
  explicit Impl(DisplaySimulator& aDisplay) : fDisplay(aDisplay) {}

  void Routes() {
    fServer.Get("/", [this](const httplib::Request&, httplib::Response& res) {
      fDisplay.NotePageSeen();
      res.set_header("Cache-Control", "no-store");
      res.set_content(RenderPage(fDisplay.StateText(0, std::chrono::milliseconds(0))),
                      "text/html; charset=utf-8");
    });
    fServer.Get("/display.css", [](const httplib::Request&, httplib::Response& res) {
      res.set_header("Cache-Control", "no-cache");
      res.set_content(std::string(kPageCss), "text/css; charset=utf-8");
    });
    fServer.Get("/display.js", [](const httplib::Request&, httplib::Response& res) {
      res.set_header("Cache-Control", "no-cache");
      res.set_content(std::string(kPageJs), "text/javascript; charset=utf-8");
    });
    fServer.Get("/state", [this](const httplib::Request& req, httplib::Response& res) {
      fDisplay.NotePageSeen();
      const bool waits = req.has_param("after");
      const auto after = NumberParam(req, "after", 0);
      const auto wait = std::min<std::uint64_t>(NumberParam(req, "wait", 20000), kMaxWait.count());
      res.set_header("Cache-Control", "no-store");
      res.set_content(fDisplay.StateText(after, std::chrono::milliseconds(waits ? wait : 0)),
                      "application/json; charset=utf-8");
    });
    fServer.Get(R"(/image/(\d{1,18}))", [this](const httplib::Request& req, httplib::Response& res) {
      const ImagePtr image = fDisplay.ImageBySerial(std::stoull(req.matches[1].str()));
      if (!image) {
        res.status = 404;
        res.set_content("no such picture", "text/plain");
        return;
      }
      // A serial number always names the same picture.
      res.set_header("Cache-Control", "max-age=86400, immutable");
      res.set_content(image->fBytes, image->fMime.c_str());
    });
    fServer.Get("/frames", [this](const httplib::Request&, httplib::Response& res) {
      res.set_header("Cache-Control", "no-store");
      res.set_content(fDisplay.Frames().dump(-1, ' ', false, nlohmann::json::error_handler_t::replace),
                      "application/json; charset=utf-8");
    });
    fServer.Get("/faults", [this](const httplib::Request&, httplib::Response& res) {
      res.set_header("Cache-Control", "no-store");
      res.set_content(FaultsToJson(fDisplay.CurrentFaults()).dump(), "application/json; charset=utf-8");
    });
    fServer.Post("/faults", [this](const httplib::Request& req, httplib::Response& res) {
      res.set_header("Cache-Control", "no-store");
      try {
        const auto changes = nlohmann::json::parse(req.body);
        res.set_content(FaultsToJson(fDisplay.UpdateFaults(changes)).dump(),
                        "application/json; charset=utf-8");
      } catch (const nlohmann::json::exception& e) {
        res.status = 400;
        res.set_content(nlohmann::json{{"error", std::string("malformed JSON: ") + e.what()}}.dump(),
                        "application/json; charset=utf-8");
      } catch (const std::invalid_argument& e) {
        res.status = 400;
        res.set_content(nlohmann::json{{"error", e.what()}}.dump(), "application/json; charset=utf-8");
      } catch (const std::exception& e) {
        res.status = 500;
        res.set_content(nlohmann::json{{"error", e.what()}}.dump(), "application/json; charset=utf-8");
      }
    });
    fServer.Get("/favicon.ico", [](const httplib::Request&, httplib::Response& res) { res.status = 204; });
  }

  DisplaySimulator& fDisplay;
  httplib::Server fServer;
  std::thread fThread;
};

WebFrontend::WebFrontend(DisplaySimulator& aDisplay) : fImpl(std::make_unique<Impl>(aDisplay)) {}

WebFrontend::~WebFrontend() { Stop(); }

std::uint16_t WebFrontend::Start(const std::string& aAddress, std::uint16_t aPort) {
  Impl& impl = *fImpl;
  impl.Routes();
  // Short keep-alive so that stopping never waits long for an idle browser.
  impl.fServer.set_keep_alive_timeout(1);
  impl.fServer.new_task_queue = [] { return new httplib::ThreadPool(16); };
  // Not the library's default, which adds SO_REUSEPORT and so lets a second
  // server share a busy port.
  impl.fServer.set_socket_options(
      [](socket_t aSocket) { ReuseListenAddress(static_cast<std::uintptr_t>(aSocket)); });
  int port = aPort;
  if (aPort == 0)
    port = impl.fServer.bind_to_any_port(aAddress);
  else if (!impl.fServer.bind_to_port(aAddress, aPort))
    port = -1;
  if (port <= 0)
    throw std::runtime_error("cannot serve the page on " + aAddress + ":" + std::to_string(aPort) +
                             " (address in use or not available)");
  impl.fThread = std::thread([&impl] { impl.fServer.listen_after_bind(); });
  // stop() only ends a server that runs: wait until it does.
  for (int i = 0; i < 5000 && !impl.fServer.is_running(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return static_cast<std::uint16_t>(port);
}

void WebFrontend::Stop() {
  if (!fImpl) return;
  fImpl->fServer.stop();
  if (fImpl->fThread.joinable()) fImpl->fThread.join();
  fImpl.reset();
}

}  // namespace korvane::simulator
