#include "device/device_handler.h"

#include <algorithm>
#include <cstring>
#include <sstream>

#include "helpers/ascii.h"
#include "platform/error.h"
#include "platform/filesystem.h"
#include "transport/transport_table.h"

namespace korvane {
namespace {

bool IsNameChar(unsigned char c, bool aFirst) {
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80) return true;
  return !aFirst && ((c >= '0' && c <= '9') || c == '-' || c == '.');
}

void CheckElementName(std::string_view aName) {
  bool ok = !aName.empty();
  for (size_t i = 0; ok && i < aName.size(); ++i)
    ok = IsNameChar(static_cast<unsigned char>(aName[i]), i == 0);
  if (!ok) throw Error("'" + std::string(aName) + "' is not a valid XML element name");
}

// The most bytes of LogId (UTF-8) a log file name takes: with the driver's
// name, the date and the time stamp of a rotated file it stays within the
// 255 bytes (and UTF-16 units) a file name holds on every system.
constexpr size_t kMaxLogIdBytes = 200;

// LogId names the device's log file: it must make a file name of its own on
// every system, never a folder, a drive or a stream.
void CheckLogId(const std::string& aLogId) {
  platform::CheckPathChars(aLogId);  // control characters and " < > |, as for every name from a request
  for (const char c : aLogId) {
    if (c == '/' || c == '\\' || c == ':' || c == '*' || c == '?')
      throw Error(std::string("LogId may not hold the character '") + c +
                  "': it names the device's log file");
  }
  if (aLogId.size() > kMaxLogIdBytes)
    throw Error("LogId is too long to name the device's log file: " + std::to_string(aLogId.size()) +
                " bytes, at most " + std::to_string(kMaxLogIdBytes) + " (in UTF-8)");
}

// The envelope's elements with each document a call reads beside them (the
// first set with none), looked up as prepared sets; null for another document.
const XmlNameSet* EnvelopeNames(std::string_view aDocument) {
  static constexpr std::string_view kDocuments[] = {{}, "Message", "Receipt", "Thankyou", "Idle"};
  static const std::vector<XmlNameSet> kSets = [] {
    std::vector<XmlNameSet> sets;
    for (const std::string_view document : kDocuments) {
      const std::string_view names[] = {"Type",  "Driver",     "Method",     "Handle",
                                        "LogId", "Connection", "Parameters", document};
      sets.emplace_back(std::span(names, document.empty() ? 7 : 8));
    }
    return sets;
  }();
  for (size_t i = 0; i < std::size(kDocuments); ++i)
    if (kDocuments[i] == aDocument) return &kSets[i];
  return nullptr;
}

}  // namespace

void NoteLeftOutText(std::vector<std::string>& aNotes, std::string_view aWhere, std::string_view aWhy) {
  std::string note = std::string(aWhere) + " (" + std::string(aWhy) + ")";
  for (const std::string& n : aNotes)
    if (n == note) return;
  aNotes.push_back(std::move(note));
}

void AppendParameterEntries(XmlNode aParameters, kParameterList& aList, std::vector<std::string>* aLeftOut,
                            std::vector<kXmlChild>* aChildren) {
  if (aChildren) aChildren->clear();
  // Each child's value is the text of the first child found by its name (a
  // child is also found by the part of its name after a ":").
  struct Child {
    XmlNode node;
    std::string_view name;
    std::string_view local;
    size_t hash;
    std::string_view value;
    bool read;      // value holds the text
    size_t source;  // the child whose text it takes
  };
  XmlNode first = aParameters.FirstChild();
  if (!first) return;
  std::vector<Child> children;
  children.reserve(64);
  for (XmlNode child = first; child; child = child.NextSibling()) {
    const XmlNodeType type = child.Type();
    const std::string_view name =
        type == XmlNodeType::Element ? std::string_view(child.Name()) : XmlNodeNameView(child);
    children.push_back({child,
                        name,
                        type == XmlNodeType::Element ? child.LocalName() : name,
                        ParameterNameHash(name),
                        {},
                        false,
                        0});
  }
  if (aChildren) {
    aChildren->reserve(children.size());
    for (const Child& c : children) aChildren->push_back({c.node, c.name, c.local});
  }
  // The first child for each name and each part after a ":", in a table
  // with open addressing (the time stays linear).
  size_t slots = 16;
  while (slots < children.size() * 4) slots *= 2;
  std::vector<uint32_t> table(slots, 0);  // index + 1; 0 is free
  // The slot of aKey: where it is, or the free one where it belongs.
  auto slotOf = [&](std::string_view aKey, size_t aHash) {
    size_t at = aHash & (slots - 1);
    while (table[at] != 0) {
      const Child& c = children[table[at] - 1];
      if (SameName(c.name, aKey) || SameName(c.local, aKey)) break;
      at = (at + 1) & (slots - 1);
    }
    return at;
  };
  // A child's name is looked up as it goes in: what is found then is what
  // a look-up after all children would find (slots once taken never change).
  for (size_t i = 0; i < children.size(); ++i) {
    size_t at = slotOf(children[i].name, children[i].hash);
    if (table[at] == 0) table[at] = static_cast<uint32_t>(i + 1);
    children[i].source = table[at] - 1;
    if (children[i].local.size() != children[i].name.size()) {
      at = slotOf(children[i].local, ParameterNameHash(children[i].local));
      if (table[at] == 0) table[at] = static_cast<uint32_t>(i + 1);
    }
  }
  // The texts first, so that the list takes its room at once; the entries
  // then in document order.
  auto appendRead = [&](size_t aEnd) {
    std::vector<kParameterList::NamedValue> read;
    read.reserve(aEnd);
    for (size_t i = 0; i < aEnd; ++i)
      if (children[i].read) read.push_back({children[i].name, children[i].value});
    aList.AppendLowerCaseNames(read);
  };
  for (size_t i = 0; i < children.size(); ++i) {
    Child& c = children[i];
    const Child& source = children[c.source];
    try {
      c.value = source.read ? source.value : XmlNodeTextView(source.node);
    } catch (const std::exception& e) {
      if (aLeftOut) {
        NoteLeftOutText(*aLeftOut, "Parameters/" + std::string(c.name), e.what());
        continue;
      }
      appendRead(i);  // the entries before it, as they stand
      throw Error("Error in processing node " + std::string(c.name) + " as string.\r\n" + e.what());
    }
    c.read = true;
  }
  appendRead(children.size());
}

// ---- kDeviceHandler ----------------------------------------------------------

void kDeviceHandler::Reset() {
  fType.clear();
  fDriver.clear();
  fMethod.clear();
  if (fConnectionRead) fConnection = kConnection();
  fConnectionRead = false;
  fDeviceHandle = 0;
  fParameters.Clear();
  fLogId.clear();
  fLeftOutTexts.clear();
}

kXmlDocument kDeviceHandler::Deserialize(std::u16string_view aXml, MalformedText aMalformed,
                                         std::vector<kXmlChild>* aParameterChildren, kEnvelopeNodes* aNodes) {
  Reset();
  kXmlDocument doc = ParseXmlDocument(aXml);
  ReadEnvelope(*doc, aMalformed, aParameterChildren, aNodes);
  return doc;
}

kXmlDocument kDeviceHandler::Deserialize(std::string_view aXml, MalformedText aMalformed,
                                         std::vector<kXmlChild>* aParameterChildren, kEnvelopeNodes* aNodes) {
  Reset();
  kXmlDocument doc = ParseXmlDocumentUtf8(aXml);
  ReadEnvelope(*doc, aMalformed, aParameterChildren, aNodes);
  return doc;
}

void kDeviceHandler::ReadEnvelope(XmlTree& aDocument, MalformedText aMalformed,
                                  std::vector<kXmlChild>* aParameterChildren, kEnvelopeNodes* aNodes) {
  if (aParameterChildren) aParameterChildren->clear();
  std::vector<std::string>* leftOut = aMalformed == MalformedText::LeaveOut ? &fLeftOutTexts : nullptr;
  // The envelope's elements and, in the same pass, the caller's document.
  std::string_view names[] = {"Type", "Driver", "Method", "Handle", "LogId", "Connection", "Parameters", {}};
  const bool document = aNodes && !aNodes->fDocumentName.empty();
  if (document) names[7] = aNodes->fDocumentName;
  XmlNode found[std::size(names)];
  const size_t count = document ? 8 : 7;
  if (const XmlNameSet* set = EnvelopeNames(document ? names[7] : std::string_view()))
    set->Find(aDocument.DocumentElement(), std::span(found, count));
  else
    XmlFindChildren(aDocument.DocumentElement(), std::span(names, count), std::span(found, count));
  if (aNodes) {
    aNodes->fParameters = found[6];
    aNodes->fDocument = found[7];
  }
  fType.assign(XmlChildAsStringView(found[0], names[0]));
  fDriver.assign(XmlChildAsStringView(found[1], names[1]));
  fMethod.assign(XmlChildAsStringView(found[2], names[2]));
  fDeviceHandle = XmlChildAsInteger(found[3], names[3]);
  fLogId.assign(XmlChildAsStringView(found[4], names[4]));
  if (found[5]) {
    fConnectionRead = true;
    ReadConnection(found[5]);
  }
  if (found[6]) AppendParameterEntries(found[6], fParameters, leftOut, aParameterChildren);
  if (ParameterExists("DeviceName")) {
    fConnectionRead = true;
    fConnection.SetDeviceName(GetParameter("DeviceName"));
  }
  if (ParameterExists("ConnectTimeout")) {
    fConnectionRead = true;
    try {
      fConnection.SetConnectTimeOut(krptUtil::StrToInt(GetParameter("ConnectTimeout")));
    } catch (const std::exception& e) {
      if (!leftOut) throw;
      NoteLeftOutText(*leftOut, "Parameters/ConnectTimeout", e.what());
    }
  }
}

void kDeviceHandler::ReadConnection(XmlNode aConnection) {
  // Every child the connection types read, found in one pass; read in the
  // order below (the first that cannot be read gives the error).
  enum Child : size_t {
    kType,
    kConnectTimeout,
    kReadTimeout,
    kURL,
    kAuthType,
    kUser,
    kPassword,
    kDeviceName,
    kAddress,
    kPort,
    kSerialPort,
    kSpeed,
    kDataBits,
    kParity,
    kStopBits,
    kLibraryName,
    kPrinterName,
    kChildren
  };
  static constexpr std::string_view kNames[kChildren] = {
      "Type",     "ConnectTimeout", "ReadTimeout", "URL",         "AuthType",   "User",
      "Password", "DeviceName",     "Address",     "Port",        "SerialPort", "Speed",
      "DataBits", "Parity",         "StopBits",    "LibraryName", "PrinterName"};
  static const XmlNameSet kNameSet(kNames);
  XmlNode found[kChildren];
  kNameSet.Find(aConnection, found);
  auto text = [&](Child aChild) { return XmlChildAsString(found[aChild], kNames[aChild]); };
  auto integer = [&](Child aChild) { return XmlChildAsInteger(found[aChild], kNames[aChild]); };
  kConnection& c = fConnection;
  c.SetConnectionType(kConnection::ConvertConnectionType(text(kType)));
  c.SetConnectTimeOut(integer(kConnectTimeout));
  c.SetReadTimeOut(integer(kReadTimeout));
  auto readHttp = [&] {
    c.SetURL(text(kURL));
    c.SetAuthType(kConnection::ConvertAuthType(text(kAuthType)));
    c.SetUser(text(kUser));
    c.SetPassword(text(kPassword));
  };
  switch (c.ConnectionType()) {
    case tkConnectionType::OPOS: c.SetDeviceName(text(kDeviceName)); break;
    case tkConnectionType::TCP:
    case tkConnectionType::HTTP:
      c.SetAddress(text(kAddress));
      c.SetPort(integer(kPort));
      readHttp();
      break;
    case tkConnectionType::Serial:
      c.SetSerialPort(text(kSerialPort));
      c.SetSpeed(integer(kSpeed));
      c.SetDataBits(integer(kDataBits));
      c.SetParity(kConnection::ConvertParity(text(kParity)));
      c.SetStopBits(integer(kStopBits));
      readHttp();
      break;
    case tkConnectionType::DLL: c.SetLibraryName(text(kLibraryName)); break;
    case tkConnectionType::Com: break;
    case tkConnectionType::Spool: c.SetPrinterName(text(kPrinterName)); break;
  }
}

std::string kDeviceHandler::Serialize() const {
  pugi::xml_document doc;
  pugi::xml_node decl = doc.append_child(pugi::node_declaration);
  decl.append_attribute("version") = "1.0";
  decl.append_attribute("encoding") = "utf-8";
  pugi::xml_node root = doc.append_child("ReceiptPrinterManager");
  root.append_attribute("Version") = "1.0";
  using U = krptUtil;
  U::AddNode(root, "Type", fType);
  U::AddNode(root, "Driver", fDriver);
  U::AddNode(root, "Method", fMethod);
  U::AddNode(root, "LogId", fLogId);
  if (AsciiLower(fMethod) != "open") U::AddNode(root, "Handle", std::to_string(fDeviceHandle));
  const kConnection& c = fConnection;
  pugi::xml_node con = U::AddNode(root, "Connection", "");
  U::AddNode(con, "Type", kConnection::ConnectionTypeToString(c.ConnectionType()));
  U::AddNode(con, "ConnectTimeout", std::to_string(c.ConnectTimeOut()));
  U::AddNode(con, "ReadTimeout", std::to_string(c.ReadTimeOut()));
  U::AddNode(con, "Address", c.Address());
  U::AddNode(con, "Port", std::to_string(c.Port()));
  U::AddNode(con, "URL", c.URL());
  U::AddNode(con, "AuthType", kConnection::AuthTypeToString(c.AuthType()));
  U::AddNode(con, "User", c.User());
  U::AddNode(con, "Password", c.Password());
  U::AddNode(con, "SerialPort", c.SerialPort());
  U::AddNode(con, "Speed", std::to_string(c.Speed()));
  U::AddNode(con, "DataBits", std::to_string(c.DataBits()));
  U::AddNode(con, "Parity", kConnection::ParityToString(c.Parity()));
  U::AddNode(con, "StopBits", std::to_string(c.StopBits()));
  U::AddNode(con, "DeviceName", c.DeviceName());
  U::AddNode(con, "LibraryName", c.LibraryName());
  U::AddNode(con, "PrinterName", c.PrinterName());
  pugi::xml_node params = U::AddNode(root, "Parameters", "");
  for (size_t i = 0; i < fParameters.Count(); ++i) {
    const std::string_view entry = fParameters[i];
    const size_t eq = entry.find('=');
    const std::string_view name = entry.substr(0, eq);
    CheckElementName(name);
    U::AddNode(params, name, eq == std::string_view::npos ? std::string_view() : entry.substr(eq + 1));
  }
  std::ostringstream out;
  doc.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
  return out.str();
}

std::unique_ptr<kIOHandler> kDeviceHandler::CreateIOHandler(const std::string& aLogDir) const {
  CheckLogId(fLogId);
  std::unique_ptr<kIOHandler> handler = TransportTable::Create(fConnection, aLogDir, fDriver + "_" + fLogId);
  handler->SetHexLog(AsciiLower(GetParameter("HexLog")) == "true");
  return handler;
}

}  // namespace korvane
