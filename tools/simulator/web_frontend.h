// The customer's screen as a web page, served with cpp-httplib:
//   GET /              the page, with the current state already in it
//   GET /display.css, /display.js
//   GET /state         the screen as JSON; ?after=VERSION&wait=MS waits
//                      (at most 25 s) until the version differs
//   GET /image/SERIAL  a picture the state refers to
//   GET /faults        the faults in force, as JSON (see faults.h)
//   POST /faults       a JSON object with the faults to change; answers the
//                      new set, or 400 with {"error": "..."}
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace korvane::simulator {

class DisplaySimulator;

class WebFrontend {
 public:
  explicit WebFrontend(DisplaySimulator& aDisplay);
  ~WebFrontend();

  // Binds aAddress:aPort (0: a free port), starts serving and returns the
  // port. Throws std::runtime_error when the address cannot be bound.
  std::uint16_t Start(const std::string& aAddress, std::uint16_t aPort);
  void Stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> fImpl;
};

// The page's files, embedded at build time.
extern const std::string_view kPageHtml;
extern const std::string_view kPageCss;
extern const std::string_view kPageJs;

// The page with aStateJson in place of its initial state.
std::string RenderPage(const std::string& aStateJson);

}  // namespace korvane::simulator
