#include "device/device_handler.h"

#include <algorithm>
#include <cstring>
#include <sstream>

#include "helpers/ascii.h"
#include "platform/error.h"
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

// A hash of a name, eight bytes at a time, equal for names that differ only
// in the case of ASCII letters (each byte is taken with its 0x20 bit set,
// which sends upper-case letters to lower case and some other characters
// together: more collisions, never a miss).
size_t NameHash(std::string_view aName) {
  constexpr uint64_t kMix = 0x9E3779B97F4A7C15ull;
  constexpr uint64_t kFold = 0x2020202020202020ull;
  uint64_t h = (aName.size() + 1) * kMix;
  size_t i = 0;
  for (; i + 8 <= aName.size(); i += 8) {
    uint64_t w;
    std::memcpy(&w, aName.data() + i, 8);
    h = (h ^ (w | kFold)) * kMix;
    h ^= h >> 29;
  }
  if (i < aName.size()) {
    // The last bytes: the last eight (overlapping) of a long name, two
    // overlapping fours or one by one in a short one.
    uint64_t w = 0;
    if (aName.size() >= 8) {
      std::memcpy(&w, aName.data() + aName.size() - 8, 8);
    } else if (aName.size() >= 4) {  // the first four and the last four, overlapping
      uint32_t head, tail;
      std::memcpy(&head, aName.data(), 4);
      std::memcpy(&tail, aName.data() + aName.size() - 4, 4);
      w = head | uint64_t{tail} << 32;
    } else {
      for (size_t k = 0; k < aName.size(); ++k)
        w |= uint64_t{static_cast<unsigned char>(aName[k])} << (8 * k);
    }
    h = (h ^ (w | kFold)) * kMix;
    h ^= h >> 29;
  }
  return static_cast<size_t>(h ^ (h >> 32));
}

}  // namespace

// ---- kParameterList -----------------------------------------------------------

std::string_view kParameterList::NameOf(std::string_view aEntry) {
  const size_t eq = aEntry.find('=');
  return eq == std::string_view::npos ? std::string_view() : aEntry.substr(0, eq);
}

std::string_view kParameterList::ValueOf(std::string_view aEntry) {
  const size_t eq = aEntry.find('=');
  return eq == std::string_view::npos ? std::string_view() : aEntry.substr(eq + 1);
}

char* kParameterList::Reserve(size_t aLength, size_t aNameLength) {
  const size_t offset = fText.size();
  fText.resize(offset + aLength);
  fEntries.push_back({offset, aLength, aNameLength});
  return fText.data() + offset;
}

void kParameterList::AppendEntry(std::string_view aEntry) {
  aEntry.copy(Reserve(aEntry.size(), aEntry.find('=')), aEntry.size());
}

void kParameterList::Append(std::string_view aName, std::string_view aValue) {
  char* p = Reserve(aName.size() + 1 + aValue.size(), aName.size());
  aName.copy(p, aName.size());
  p[aName.size()] = '=';
  aValue.copy(p + aName.size() + 1, aValue.size());
}

void kParameterList::AppendLowerCaseNames(std::span<const NamedValue> aEntries) {
  size_t bytes = 0;
  for (const NamedValue& e : aEntries) bytes += e.name.size() + 1 + e.value.size();
  size_t offset = fText.size();
  fText.resize(offset + bytes);
  fEntries.reserve(fEntries.size() + aEntries.size());
  char* p = fText.data() + offset;
  for (const NamedValue& e : aEntries) {
    const size_t length = e.name.size() + 1 + e.value.size();
    fEntries.push_back({offset, length, e.name.size()});
    for (size_t i = 0; i < e.name.size(); ++i) p[i] = AsciiLowerChar(e.name[i]);
    p[e.name.size()] = '=';
    if (!e.value.empty()) std::memcpy(p + e.name.size() + 1, e.value.data(), e.value.size());
    p += length;
    offset += length;
  }
}

void kParameterList::AppendLowerCaseName(std::string_view aName, std::string_view aValue) {
  // Appended, not made room for first: the text is not filled twice.
  const size_t offset = fText.size();
  fEntries.push_back({offset, aName.size() + 1 + aValue.size(), aName.size()});
  fText.append(aName);
  fText += '=';
  fText.append(aValue);
  char* name = fText.data() + offset;
  for (size_t i = 0; i < aName.size(); ++i) name[i] = AsciiLowerChar(name[i]);
}

void kParameterList::Clear() {
  fText.clear();
  fEntries.clear();
}

std::vector<std::string> kParameterList::Entries() const {
  std::vector<std::string> entries;
  entries.reserve(Count());
  for (size_t i = 0; i < Count(); ++i) entries.emplace_back((*this)[i]);
  return entries;
}

int kParameterList::IndexOfName(std::string_view aName) const {
  for (size_t i = 0; i < fEntries.size(); ++i)
    if (fEntries[i].nameLength == aName.size() &&
        AsciiEqualsIgnoreCase(std::string_view(fText).substr(fEntries[i].offset, aName.size()), aName))
      return static_cast<int>(i);
  return -1;
}

std::string kParameterList::Value(std::string_view aName) const {
  const int i = IndexOfName(aName);
  return i < 0 ? std::string() : std::string(ValueOf((*this)[static_cast<size_t>(i)]));
}

void kParameterList::Set(std::string_view aName, std::string_view aValue) {
  const int found = IndexOfName(aName);
  if (found < 0) {
    if (!aValue.empty()) Append(aName, aValue);
    return;
  }
  // Rebuilt with the one entry replaced or left out; rare enough.
  kParameterList rebuilt;
  for (size_t i = 0; i < Count(); ++i) {
    if (static_cast<int>(i) != found)
      rebuilt.AppendEntry((*this)[i]);
    else if (!aValue.empty())
      rebuilt.Append(aName, aValue);
  }
  *this = std::move(rebuilt);
}

kParameterNames::kParameterNames(std::span<const std::string_view> aNames)
    : fNames(aNames.begin(), aNames.end()) {
  size_t slots = 16;
  while (slots < fNames.size() * 4) slots *= 2;
  fSlots.assign(slots, 0);
  for (size_t k = 0; k < fNames.size(); ++k) {
    size_t at = NameHash(fNames[k]) & (slots - 1);
    while (fSlots[at] != 0) at = (at + 1) & (slots - 1);
    fSlots[at] = static_cast<uint32_t>(k + 1);
  }
}

void kParameterNames::Find(const kParameterList& aList, std::span<int> aIndexes) const {
  std::fill(aIndexes.begin(), aIndexes.end(), -1);
  const size_t mask = fSlots.size() - 1;
  size_t missing = fNames.size();
  for (size_t i = 0; i < aList.Count() && missing > 0; ++i) {
    if (!aList.HasName(i)) continue;
    const std::string_view name = aList.NameAt(i);
    for (size_t at = NameHash(name) & mask; fSlots[at] != 0; at = (at + 1) & mask) {
      const size_t k = fSlots[at] - 1;
      if (fNames[k] != name && !AsciiEqualsIgnoreCase(fNames[k], name)) continue;  // mostly the same bytes
      if (aIndexes[k] < 0) {
        aIndexes[k] = static_cast<int>(i);
        --missing;
      }
      break;
    }
  }
}

void NoteLeftOutText(std::vector<std::string>& aNotes, std::string_view aWhere, std::string_view aWhy) {
  std::string note = std::string(aWhere) + " (" + std::string(aWhy) + ")";
  for (const std::string& n : aNotes)
    if (n == note) return;
  aNotes.push_back(std::move(note));
}

void AppendParameterEntries(pugi::xml_node aParameters, kParameterList& aList,
                            std::vector<std::string>* aLeftOut, std::vector<kXmlChild>* aChildren) {
  if (aChildren) aChildren->clear();
  // Each child's value is the text of the first child found by its name (a
  // child is also found by the part of its name after a ":").
  struct Child {
    pugi::xml_node node;
    std::string_view name;
    std::string_view local;
    size_t hash;
    std::string_view value;
    bool read;      // value holds the text
    size_t source;  // the child whose text it takes
  };
  pugi::xml_node first = aParameters.first_child();
  if (!first) return;
  std::vector<Child> children;
  children.reserve(64);
  for (pugi::xml_node child = first; child; child = child.next_sibling()) {
    const pugi::xml_node_type type = child.type();
    const std::string_view name =
        type == pugi::node_element ? std::string_view(child.name()) : XmlNodeNameView(child);
    children.push_back(
        {child, name, type == pugi::node_element ? XmlLocalName(name) : name, NameHash(name), {}, false, 0});
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
      at = slotOf(children[i].local, NameHash(children[i].local));
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

kXmlDocument kDeviceHandler::Deserialize(std::u16string_view aXml, MalformedText aMalformed,
                                         std::vector<kXmlChild>* aParameterChildren) {
  kXmlDocument doc = ParseXmlDocument(aXml);
  ReadEnvelope(*doc, aMalformed, aParameterChildren);
  return doc;
}

kXmlDocument kDeviceHandler::Deserialize(std::string_view aXml, MalformedText aMalformed,
                                         std::vector<kXmlChild>* aParameterChildren) {
  kXmlDocument doc = ParseXmlDocumentUtf8(aXml);
  ReadEnvelope(*doc, aMalformed, aParameterChildren);
  return doc;
}

void kDeviceHandler::ReadEnvelope(const pugi::xml_document& aDocument, MalformedText aMalformed,
                                  std::vector<kXmlChild>* aParameterChildren) {
  if (aParameterChildren) aParameterChildren->clear();
  fLeftOutTexts.clear();
  std::vector<std::string>* leftOut = aMalformed == MalformedText::LeaveOut ? &fLeftOutTexts : nullptr;
  static constexpr std::string_view kNames[] = {"Type",  "Driver",     "Method",    "Handle",
                                                "LogId", "Connection", "Parameters"};
  pugi::xml_node found[std::size(kNames)];
  XmlFindChildren(aDocument.document_element(), kNames, found);
  fType = XmlChildAsString(found[0], kNames[0]);
  fDriver = XmlChildAsString(found[1], kNames[1]);
  fMethod = XmlChildAsString(found[2], kNames[2]);
  fDeviceHandle = XmlChildAsInteger(found[3], kNames[3]);
  fLogId = XmlChildAsString(found[4], kNames[4]);
  if (found[5]) ReadConnection(found[5]);
  if (found[6]) AppendParameterEntries(found[6], fParameters, leftOut, aParameterChildren);
  if (ParameterExists("DeviceName")) fConnection.SetDeviceName(GetParameter("DeviceName"));
  if (ParameterExists("ConnectTimeout")) {
    try {
      fConnection.SetConnectTimeOut(krptUtil::StrToInt(GetParameter("ConnectTimeout")));
    } catch (const std::exception& e) {
      if (!leftOut) throw;
      NoteLeftOutText(*leftOut, "Parameters/ConnectTimeout", e.what());
    }
  }
}

void kDeviceHandler::ReadConnection(pugi::xml_node aConnection) {
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
  pugi::xml_node found[kChildren];
  XmlFindChildren(aConnection, kNames, found);
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
  std::unique_ptr<kIOHandler> handler = TransportTable::Create(fConnection, aLogDir, fDriver + "_" + fLogId);
  handler->SetHexLog(AsciiLower(GetParameter("HexLog")) == "true");
  return handler;
}

}  // namespace korvane
