// Calls made by hand: the host tool's session mode ("shell") and its quick
// calls ("message"). One device is opened on the display and the commands
// drive it; each call prints the envelope and the time it took.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "call_watchdog.h"
#include "korvane_library.h"
#include "request_file.h"

namespace korvane::host {

// Prints a call's result as "korvane-host call" does: the envelope one piece
// a line, the error text and the result with the time taken.
void PrintCallResult(std::FILE* aOut, const CallResult& aResult);

// The words of a command line: blanks separate them, "..." and '...' keep
// blanks, a backslash in "..." takes the next character as it is. Throws
// HostError for an unclosed quote.
std::vector<std::string> SplitCommandLine(const std::string& aLine);

class HostSession {
 public:
  // aLibrary (and aWatchdog, which watches each call when given) outlive
  // the session. Calls print on aOut, problems on aErr.
  HostSession(const KorvaneLibrary& aLibrary, DisplayAddress aDisplay, std::FILE* aOut, std::FILE* aErr,
              CallWatchdog* aWatchdog = nullptr);

  // The commands, for help and completion.
  static const std::vector<std::string>& Commands();
  static const char* Help();

  // Runs one command line; false once the session should end ("quit").
  bool Execute(const std::string& aLine);
  // The same with the words already split.
  bool Run(const std::vector<std::string>& aWords);

  // OPEN of a device on the display (again with the handle of a failed
  // OPEN, which keeps its device); true when it succeeded.
  bool Open();
  bool Message(const std::string& aText1, const std::string& aText2);

  // Whether any call failed.
  bool AnyFailed() const { return fAnyFailed; }

 private:
  struct Line {
    std::string fDescription;
    long fQuantity;
    long fPriceCents;
  };

  bool Call(const std::string& aExport, const std::string& aRequest, const std::string& aWhat);
  bool NeedsDevice();
  bool SendReceipt();
  bool Send(const std::string& aFile);

  const KorvaneLibrary& fLibrary;
  DisplayAddress fDisplay;
  std::FILE* fOut;
  std::FILE* fErr;
  CallWatchdog* fWatchdog;
  std::string fHandle;  // "" before OPEN
  bool fOpen = false;
  std::string fCurrency = "EUR";
  std::vector<Line> fLines;
  std::string fLastEnvelope;
  std::string fLastCall;
  bool fAnyFailed = false;
};

}  // namespace korvane::host
