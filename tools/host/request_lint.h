// The host tool's strict check of a request file: elements that no request
// of the export reads (a typo such as <Txet1>, or a setting in the wrong
// place), with their line and column. The library itself ignores such
// elements; this only tells the person who wrote the file.
#pragma once

#include <string>
#include <vector>

namespace korvane::host {

struct LintFinding {
  int fLine = 0;    // from 1
  int fColumn = 0;  // from 1, in characters
  std::string fText;
};

// The findings for aText (UTF-8 XML, already checked to parse) sent to
// aExport (OPEN, MESSAGE, ...), in document order.
std::vector<LintFinding> LintRequest(const std::string& aText, const std::string& aExport);

}  // namespace korvane::host
