// The JSON text form of the display messages: no white space, members in the
// order they are added (a name may occur twice), "/" written as "\/", amounts
// in their shortest decimal form with at least one fraction digit.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

class kJsonObject {
 public:
  kJsonObject() : fText("{") {}
  // An object that is the value of the one member aWrapperName of an outer
  // object: its text is {"aWrapperName":{...}}. Members go straight into the
  // final text, so a large member is never copied to wrap it.
  explicit kJsonObject(std::string_view aWrapperName);
  // The same, written into aBuffer (whose room is kept, its text dropped)
  // after aLead: the text is aLead{"aWrapperName":{...}}.
  kJsonObject(std::string_view aWrapperName, std::string aBuffer, std::string_view aLead);

  void AddString(std::string_view aName, std::string_view aValue);
  void AddBool(std::string_view aName, bool aValue);
  void AddInteger(std::string_view aName, int64_t aValue);
  // An amount given in 1/10000 units.
  void AddAmount(std::string_view aName, int64_t aValue);
  // aBytes as one Base64 string (RFC 4648, "=" padding), encoded straight
  // into the text: no separate copy of the Base64 text is ever made.
  void AddBase64(std::string_view aName, std::string_view aBytes);
  void AddObject(std::string_view aName, const kJsonObject& aValue);
  void AddArray(std::string_view aName, const std::vector<kJsonObject>& aValues);

  bool Empty() const { return fText.size() == fPrefixLength; }
  // The object's JSON text (its lead first).
  std::string Text() const { return fText + (fWrapped ? "}}" : "}"); }
  // The object's JSON text (its lead first), taking it out of the object (no
  // copy).
  std::string TakeText();
  // Room for about aBytes more of text.
  void Reserve(size_t aBytes) { fText.reserve(fText.size() + aBytes); }
  // Takes the lead away from the text (a copy that goes without it).
  void DropLead();

 private:
  void AddName(std::string_view aName);
  std::string fText;  // "{" and the members so far
  bool fWrapped = false;
  size_t fPrefixLength = 1;
  size_t fLeadLength = 0;
};

// Appends aText to aOut as a JSON string, quotes included.
void AppendJsonString(std::string& aOut, std::string_view aText);

// An amount in 1/10000 units as 10.0, 12.5, 0.0001, -3.25 ...
std::string FormatJsonAmount(int64_t aValue);
// The same, appended to aOut.
void AppendJsonAmount(std::string& aOut, int64_t aValue);

}  // namespace korvane
