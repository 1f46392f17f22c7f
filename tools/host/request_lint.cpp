#include "request_lint.h"

#include <algorithm>
#include <cctype>
#include <pugixml.hpp>
#include <set>

namespace korvane::host {
namespace {

using Names = std::vector<std::string>;

const Names kEnvelope = {"Type", "Driver", "Method", "Handle", "LogId", "Connection", "Parameters"};
const Names kMessageDocument = {"Text1", "Text2", "Image", "ImageUrl"};
const Names kReceiptDocument = {"Currency", "Subtotal", "Taxes", "Total",        "Text1",   "Text2",
                                "Image",    "ImageUrl", "Lines", "ShowPayments", "Payments"};
const Names kReceiptLine = {"Type", "Code", "Description", "Quantity", "Price", "Amount"};
const Names kReceiptPayment = {"Type", "Text1", "Text2", "Amount"};

// Children of <Connection>: those of every type, then those of each type.
const Names kConnectionCommon = {"Type", "ConnectTimeout", "ReadTimeout"};
const struct {
  const char* fType;
  Names fNames;
} kConnectionTypes[] = {
    {"opos", {"DeviceName"}},
    {"tcp", {"Address", "Port", "URL", "AuthType", "User", "Password"}},
    {"http", {"Address", "Port", "URL", "AuthType", "User", "Password"}},
    {"serial",
     {"SerialPort", "Speed", "DataBits", "Parity", "StopBits", "URL", "AuthType", "User", "Password"}},
    {"dll", {"LibraryName"}},
    {"com", {}},
    {"spool", {"PrinterName"}},
};

// Parameters every request reads (letter case does not count), the display
// texts (exact case), and the display settings only OPEN reads.
const Names kCommonParameters = {"HexLog", "DeviceName", "ConnectTimeout"};
const Names kDisplayParameters = {
    "FPType",     "FPConnectTimeout", "FPReadTimeout", "FPAddress",     "FPPort",    "FPURL",
    "FPAuthType", "FPUser",           "FPPassword",    "FPSerialPort",  "FPSpeed",   "FPDataBits",
    "FPParity",   "FPStopBits",       "FPLibraryName", "FPPrinterName", "FPProtocol"};
const Names kOpenParameters = {"Mode",
                               "Layout",
                               "FontName",
                               "ShowTaxes",
                               "LogoImage",
                               "LogoImage_Dark",
                               "LogoImage_Light",
                               "IdleImage",
                               "ReceiptImage",
                               "ThankyouImage",
                               "LogoImageUrl",
                               "LogoImage_DarkUrl",
                               "LogoImage_LightUrl",
                               "IdleImageUrl",
                               "ReceiptImageUrl",
                               "ThankyouImageUrl",
                               "ContentRatio",
                               "Language",
                               "ShowOnlyVideo",
                               "IdleVideoUrl",
                               "IdleTimeout",
                               "IdleText1",
                               "IdleText2",
                               "CloseText1",
                               "CloseText2",
                               "ThankyouText1",
                               "ThankyouText2",
                               "ColorSurface",
                               "ColorOnSurface",
                               "ColorOnSurfaceVariant",
                               "ColorPrimary",
                               "ColorOnPrimary",
                               "ColorPrimaryContainer",
                               "ColorOnPrimaryContainer",
                               "ColorSecondary",
                               "ColorOnSecondary",
                               "ColorOutlineVariant"};

std::string Lower(std::string aText) {
  for (auto& c : aText) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return aText;
}

bool Has(const Names& aNames, const std::string& aName) {
  return std::find(aNames.begin(), aNames.end(), aName) != aNames.end();
}

const std::string* FindIgnoringCase(const Names& aNames, const std::string& aName) {
  for (const auto& name : aNames)
    if (Lower(name) == Lower(aName)) return &name;
  return nullptr;
}

std::size_t Distance(const std::string& aLeft, const std::string& aRight) {
  const std::string a = Lower(aLeft), b = Lower(aRight);
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      // Two letters swapped count as one slip.
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) row[j] = std::min(row[j], diagonal);
      diagonal = above;
    }
  }
  return row[b.size()];
}

// ", did you mean <Text1>?" for the closest known name, when close enough.
std::string Suggestion(const std::string& aName, const Names& aKnown) {
  const std::string* best = nullptr;
  std::size_t bestDistance = 0;
  for (const auto& name : aKnown) {
    const std::size_t distance = Distance(aName, name);
    if (!best || distance < bestDistance) best = &name, bestDistance = distance;
  }
  if (!best || bestDistance > std::max<std::size_t>(1, best->size() / 3)) return "";
  return "; did you mean <" + *best + ">?";
}

class Linter {
 public:
  Linter(const std::string& aText, std::string aExport) : fText(aText), fExport(std::move(aExport)) {}

  std::vector<LintFinding> Run() {
    pugi::xml_document document;
    if (!document.load_buffer(fText.data(), fText.size(), pugi::parse_default | pugi::parse_comments,
                              pugi::encoding_utf8))
      return {};
    const pugi::xml_node root = document.document_element();
    if (!root) return {};
    Names known = kEnvelope;
    const std::string element = DocumentElement();
    if (!element.empty()) known.push_back(element);
    std::set<std::string> seen;
    for (pugi::xml_node child : root.children()) {
      if (child.type() != pugi::node_element) continue;
      const std::string name = child.name();
      if (!Has(known, name)) {
        Unknown(child, "the request", known);
        continue;
      }
      if (!seen.insert(name).second) {
        Add(child, "<" + name + "> again: only the first one is read");
        continue;
      }
      if (name == "Connection") Connection(child);
      if (name == "Parameters") Parameters(child);
      if (name == "Message" || name == "Thankyou" || name == "Idle") Children(child, kMessageDocument);
      if (name == "Receipt") Receipt(child);
    }
    if (!element.empty() && !root.child(element.c_str()))
      Add(root, "no <" + element + "> in the " + fExport + " request: the call fails with \"" + element +
                    " node not found\"");
    if (fExport != "VERSION" && !root.child("Parameters"))
      Add(root, "no <Parameters> in the request: a display request needs it, even empty");
    std::sort(fFindings.begin(), fFindings.end(), [](const LintFinding& a, const LintFinding& b) {
      return a.fLine != b.fLine ? a.fLine < b.fLine : a.fColumn < b.fColumn;
    });
    return fFindings;
  }

 private:
  std::string DocumentElement() const {
    if (fExport == "MESSAGE") return "Message";
    if (fExport == "RECEIPT") return "Receipt";
    if (fExport == "THANKYOU") return "Thankyou";
    if (fExport == "IDLE") return "Idle";
    return "";
  }

  void Add(pugi::xml_node aNode, std::string aText) {
    // The offset pugixml keeps is that of an element's name, just after
    // "<", or of a comment's text, just after "<!--".
    const std::ptrdiff_t offset = aNode.offset_debug() - (aNode.type() == pugi::node_comment ? 3 : 0);
    LintFinding finding;
    finding.fText = std::move(aText);
    finding.fLine = 1;
    finding.fColumn = 1;
    const std::size_t end = offset > 0 ? static_cast<std::size_t>(offset) - 1 : 0;
    for (std::size_t at = 0; at < end && at < fText.size(); ++at) {
      if (fText[at] == '\n') {
        ++finding.fLine;
        finding.fColumn = 1;
      } else if ((static_cast<unsigned char>(fText[at]) & 0xC0) != 0x80) {
        ++finding.fColumn;  // a character, not a continuation byte
      }
    }
    fFindings.push_back(std::move(finding));
  }

  void Unknown(pugi::xml_node aNode, const std::string& aWhere, const Names& aKnown) {
    const std::string name = aNode.name();
    std::string text = "<" + name + "> in " + aWhere + " is not read by " + fExport;
    if (const std::string* other = FindIgnoringCase(aKnown, name))
      text += "; letter case counts: <" + *other + ">";
    else
      text += Suggestion(name, aKnown);
    Add(aNode, text);
  }

  void Children(pugi::xml_node aParent, const Names& aKnown) {
    const std::string where = "<" + std::string(aParent.name()) + ">";
    for (pugi::xml_node child : aParent.children())
      if (child.type() == pugi::node_element && !Has(aKnown, child.name())) Unknown(child, where, aKnown);
  }

  void Connection(pugi::xml_node aConnection) {
    const std::string type = Lower(aConnection.child_value("Type"));
    const Names* ofType = nullptr;
    Names all = kConnectionCommon;
    for (const auto& entry : kConnectionTypes) {
      if (type == entry.fType) ofType = &entry.fNames;
      for (const auto& name : entry.fNames)
        if (!Has(all, name)) all.push_back(name);
    }
    if (!aConnection.child("Type"))
      Add(aConnection, "<Connection> without <Type>: the request fails");
    else if (!ofType)
      Add(aConnection.child("Type"),
          "<Type> \"" + std::string(aConnection.child_value("Type")) +
              "\" is no connection type (TCP, HTTP, SERIAL, OPOS, DLL, COM, SPOOL)");
    for (pugi::xml_node child : aConnection.children()) {
      if (child.type() != pugi::node_element) continue;
      const std::string name = child.name();
      if (Has(kConnectionCommon, name) || (ofType && Has(*ofType, name))) continue;
      if (ofType && Has(all, name))
        Add(child, "<" + name + "> in <Connection> is not read for a " + type + " connection");
      else
        Unknown(child, "<Connection>", all);
    }
  }

  void Parameters(pugi::xml_node aParameters) {
    Names known = kCommonParameters;
    for (const auto& name : kDisplayParameters) known.push_back(name);
    for (const auto& name : kOpenParameters) known.push_back(name);
    for (pugi::xml_node child : aParameters.children()) {
      if (child.type() == pugi::node_comment) {
        Add(child,
            "a comment inside <Parameters> becomes a parameter of its own; put it before <Parameters>");
        continue;
      }
      if (child.type() != pugi::node_element) continue;
      const std::string name = child.name();
      if (Has(kDisplayParameters, name) || FindIgnoringCase(kCommonParameters, name)) continue;
      if (FindIgnoringCase(kOpenParameters, name)) {
        if (fExport != "OPEN")
          Add(child, "<" + name + "> in <Parameters> is a display setting: only OPEN reads it");
        continue;
      }
      if (const std::string* fp = FindIgnoringCase(kDisplayParameters, name)) {
        Add(child, "<" + name + "> in <Parameters> is not read; letter case counts: <" + *fp + ">");
        continue;
      }
      Unknown(child, "<Parameters>", known);
    }
  }

  void Receipt(pugi::xml_node aReceipt) {
    Children(aReceipt, kReceiptDocument);
    for (const char* list : {"Lines", "Payments"}) {
      const bool lines = std::string(list) == "Lines";
      for (pugi::xml_node item : aReceipt.child(list).children()) {
        if (item.type() == pugi::node_comment) {
          Add(item, std::string("a comment inside <") + list + "> counts as an empty " +
                        (lines ? "line" : "payment") + "; put it outside");
          continue;
        }
        if (item.type() == pugi::node_element) Children(item, lines ? kReceiptLine : kReceiptPayment);
      }
    }
  }

  const std::string& fText;
  std::string fExport;
  std::vector<LintFinding> fFindings;
};

}  // namespace

std::vector<LintFinding> LintRequest(const std::string& aText, const std::string& aExport) {
  return Linter(aText, aExport).Run();
}

}  // namespace korvane::host
