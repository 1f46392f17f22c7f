#include "host_session.h"

#include <cmath>
#include <cstdlib>
#include <pugixml.hpp>

#include "request_builder.h"

namespace korvane::host {
namespace {

// "3.40" -> 340; false for anything but a decimal amount with at most two
// decimals.
bool ParseCents(const std::string& aText, long& aCents) {
  char* end = nullptr;
  const double value = std::strtod(aText.c_str(), &end);
  if (aText.empty() || *end || !std::isfinite(value) || std::fabs(value) > 1e12) return false;
  aCents = std::lround(value * 100);
  return std::fabs(value * 100 - static_cast<double>(aCents)) < 1e-6;
}

std::string Cents(long aCents) {
  char text[40];
  std::snprintf(text, sizeof text, "%s%ld.%02ld", aCents < 0 ? "-" : "", std::labs(aCents) / 100,
                std::labs(aCents) % 100);
  return text;
}

}  // namespace

void PrintCallResult(std::FILE* aOut, const CallResult& aResult) {
  // The envelope's pieces are joined by CR LF; print them one a line.
  const std::string& text = aResult.fEnvelope;
  std::size_t start = 0;
  while (start <= text.size()) {
    auto end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    std::fprintf(aOut, "%s\n", text.substr(start, end - start).c_str());
    start = end + 2;
  }
  std::fprintf(aOut, "ErrorMessage: %s\n",
               aResult.fErrorText.empty() ? "(none)" : aResult.fErrorText.c_str());
  std::fprintf(aOut, "Result: %d (%.1f ms)\n", aResult.fResult, aResult.fDuration.count() / 1000.0);
  std::fflush(aOut);
}

std::vector<std::string> SplitCommandLine(const std::string& aLine) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  char quote = 0;
  for (std::size_t i = 0; i < aLine.size(); ++i) {
    const char c = aLine[i];
    if (quote) {
      if (c == quote) {
        quote = 0;
      } else if (quote == '"' && c == '\\' && i + 1 < aLine.size()) {
        word += aLine[++i];
      } else {
        word += c;
      }
    } else if (c == '"' || c == '\'') {
      quote = c;
      inWord = true;
    } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (quote) throw HostError(std::string("a quote ") + quote + " is not closed");
  if (inWord) words.push_back(word);
  return words;
}

HostSession::HostSession(const KorvaneLibrary& aLibrary, DisplayAddress aDisplay, std::FILE* aOut,
                         std::FILE* aErr, CallWatchdog* aWatchdog)
    : fLibrary(aLibrary), fDisplay(std::move(aDisplay)), fOut(aOut), fErr(aErr), fWatchdog(aWatchdog) {}

const std::vector<std::string>& HostSession::Commands() {
  static const std::vector<std::string> commands = {"open",  "message", "receipt", "idle", "thankyou",
                                                    "close", "send",    "show",    "help", "quit"};
  return commands;
}

const char* HostSession::Help() {
  return R"(Commands (words with blanks in quotes):
  message "LINE 1" ["LINE 2"]       MESSAGE with two lines of text
  receipt add "ITEM" PRICE [QTY]     a line more on the receipt, then RECEIPT
  receipt currency CODE              the currency of the receipt (EUR)
  receipt clear                      a new, empty receipt
  receipt                            RECEIPT again
  idle                               IDLE: the welcome screen
  thankyou                           THANKYOU; the next receipt starts empty
  close                              CLOSE: the closed screen; the next call opens again
  open                               OPEN again
  send FILE                          the request in FILE, to the export its <Method> names
  show                               the last envelope again
  help, quit (or Ctrl-D)
)";
}

bool HostSession::Call(const std::string& aExport, const std::string& aRequest, const std::string& aWhat) {
  std::fprintf(fOut, "== %s%s%s\n", aExport.c_str(), aWhat.empty() ? "" : " ", aWhat.c_str());
  std::fflush(fOut);
  if (fWatchdog) fWatchdog->Arm(aExport);
  const CallResult result = fLibrary.Call(aExport, aRequest);
  if (fWatchdog) fWatchdog->Disarm();
  PrintCallResult(fOut, result);
  fLastEnvelope = result.fEnvelope;
  fLastCall = aExport;
  if (aExport == "OPEN") {
    // A failed OPEN still names its device: the next OPEN takes it again.
    const std::string handle = EnvelopeValue(result.fEnvelope, "Handle");
    if (!handle.empty()) fHandle = handle;
    fOpen = result.fResult == 0;
  }
  if (aExport == "CLOSE" && result.fResult == 0) {
    fOpen = false;
    fHandle.clear();
  }
  if (result.fResult != 0) fAnyFailed = true;
  return result.fResult == 0;
}

bool HostSession::Open() {
  std::string request = Request("OPEN", TcpConnection(fDisplay), Element("Mode", "Display"), "", "shell");
  if (!fHandle.empty()) {
    const auto at = request.find("<Connection>");
    request.insert(at, Element("Handle", fHandle));
  }
  return Call("OPEN", request, fDisplay.Text());
}

bool HostSession::NeedsDevice() { return fOpen || Open(); }

bool HostSession::Message(const std::string& aText1, const std::string& aText2) {
  if (!NeedsDevice()) return false;
  return Call("MESSAGE",
              WithHandle(Request("MESSAGE", "", "", TextDocument("Message", aText1, aText2)), fHandle), "");
}

bool HostSession::SendReceipt() {
  if (!NeedsDevice()) return false;
  long total = 0;
  std::string lines;
  for (const Line& line : fLines) {
    const long amount = line.fQuantity * line.fPriceCents;
    total += amount;
    lines += "<Line>" + Element("Type", "ProductSale") + Element("Code", "") +
             Element("Description", line.fDescription) + Element("Quantity", std::to_string(line.fQuantity)) +
             Element("Price", Cents(line.fPriceCents)) + Element("Amount", Cents(amount)) + "</Line>";
  }
  const std::string body = "<Receipt>" + Element("Currency", fCurrency) + Element("Subtotal", Cents(total)) +
                           Element("Taxes", "0.00") + Element("Total", Cents(total)) + "<Lines>" + lines +
                           "</Lines>" + Element("ShowPayments", "false") + "<Payments/></Receipt>";
  return Call("RECEIPT", WithHandle(Request("RECEIPT", "", "", body), fHandle),
              std::to_string(fLines.size()) + (fLines.size() == 1 ? " line" : " lines") + ", total " +
                  fCurrency + " " + Cents(total));
}

bool HostSession::Send(const std::string& aFile) {
  const std::string text = ReadRequestFile(aFile);
  RequestEdits edits;
  edits.fDisplay = fDisplay;
  // Which export: the request's own <Method>.
  pugi::xml_document document;
  document.load_buffer(text.data(), text.size());
  const std::string method = document.document_element().child_value("Method");
  if (method.empty()) throw HostError(aFile + " has no <Method>: which export should it go to?");
  const std::string name = RequestCallName(method);
  if (name != "OPEN") {
    if (!NeedsDevice()) return false;
    edits.fHandle = std::stoi(fHandle);
  }
  return Call(name, PrepareRequest(text, aFile, edits), aFile);
}

bool HostSession::Execute(const std::string& aLine) { return Run(SplitCommandLine(aLine)); }

bool HostSession::Run(const std::vector<std::string>& aWords) {
  if (aWords.empty()) return true;
  const std::string& command = aWords[0];
  const auto usage = [&](const char* aText) {
    std::fprintf(fErr, "usage: %s\n", aText);
    std::fflush(fErr);
    return true;
  };
  try {
    if (command == "quit" || command == "exit") return false;
    if (command == "help" || command == "?") {
      std::fputs(Help(), fOut);
    } else if (command == "open") {
      Open();
    } else if (command == "message") {
      if (aWords.size() < 2 || aWords.size() > 3) return usage("message \"LINE 1\" [\"LINE 2\"]");
      Message(aWords[1], aWords.size() > 2 ? aWords[2] : "");
    } else if (command == "receipt") {
      if (aWords.size() == 1) {
        SendReceipt();
      } else if (aWords[1] == "add" && (aWords.size() == 4 || aWords.size() == 5)) {
        Line line{aWords[2], 1, 0};
        if (!ParseCents(aWords[3], line.fPriceCents))
          return usage("receipt add \"ITEM\" PRICE [QTY]; PRICE as 3.40");
        if (aWords.size() == 5) {
          char* end = nullptr;
          line.fQuantity = std::strtol(aWords[4].c_str(), &end, 10);
          if (*end || line.fQuantity < 1 || line.fQuantity > 9999)
            return usage("receipt add \"ITEM\" PRICE [QTY]; QTY from 1 to 9999");
        }
        fLines.push_back(line);
        SendReceipt();
      } else if (aWords[1] == "currency" && aWords.size() == 3) {
        fCurrency = aWords[2];
      } else if (aWords[1] == "clear" && aWords.size() == 2) {
        fLines.clear();
      } else {
        return usage("receipt add \"ITEM\" PRICE [QTY] | receipt currency CODE | receipt clear | receipt");
      }
    } else if (command == "idle" || command == "thankyou") {
      const std::string name = command == "idle" ? "IDLE" : "THANKYOU";
      if (NeedsDevice())
        Call(name,
             WithHandle(Request(name, "", "", TextDocument(command == "idle" ? "Idle" : "Thankyou", "", "")),
                        fHandle),
             "");
      if (command == "thankyou") fLines.clear();
    } else if (command == "close") {
      if (!fOpen && fHandle.empty()) {
        std::fprintf(fErr, "no device is open\n");
      } else {
        Call("CLOSE", WithHandle(Request("CLOSE", "", "", ""), fHandle), "");
        fLines.clear();
      }
    } else if (command == "send") {
      if (aWords.size() != 2) return usage("send FILE");
      Send(aWords[1]);
    } else if (command == "show") {
      if (fLastCall.empty())
        std::fprintf(fErr, "no call yet\n");
      else {
        std::string envelope = fLastEnvelope;
        for (auto at = envelope.find("\r\n"); at != std::string::npos; at = envelope.find("\r\n", at))
          envelope.replace(at, 2, "\n");
        std::fprintf(fOut, "== %s (last envelope)\n%s\n", fLastCall.c_str(), envelope.c_str());
      }
    } else {
      std::fprintf(fErr, "unknown command '%s' (help lists them)\n", command.c_str());
    }
  } catch (const std::exception& e) {
    std::fprintf(fErr, "%s\n", e.what());
  }
  std::fflush(fOut);
  std::fflush(fErr);
  return true;
}

}  // namespace korvane::host
