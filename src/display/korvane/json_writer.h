// The JSON text form of the display messages: no white space, members in the
// order they are added (a name may occur twice), "/" written as "\/", amounts
// in their shortest decimal form with at least one fraction digit.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// A member's name. A literal is checked while compiling: one that a JSON
// string would escape does not compile, and the others are written as they
// are; a name known only at run time is escaped where it needs it.
class kJsonName {
 public:
  template <size_t N>
  consteval kJsonName(const char (&aName)[N]) : fText(aName, N - 1), fPlain(true) {
    for (size_t i = 0; i + 1 < N; ++i) {
      const unsigned char c = static_cast<unsigned char>(aName[i]);
      if (c < 0x20 || c == '"' || c == '\\' || c == '/')
        throw "a member name written as it is needs no escape";
    }
  }
  kJsonName(std::string_view aName) : fText(aName) {}
  kJsonName(const std::string& aName) : fText(aName) {}

  std::string_view Text() const { return fText; }
  // Written as it is, without a look for escapes.
  bool Plain() const { return fPlain; }

 private:
  std::string_view fText;
  bool fPlain = false;
};

class kJsonObject {
 public:
  kJsonObject() : fText("{") {}
  // An object that is the value of the one member aWrapperName of an outer
  // object: its text is {"aWrapperName":{...}}. Members go straight into the
  // final text, so a large member is never copied to wrap it.
  explicit kJsonObject(kJsonName aWrapperName);
  // The same, written into aBuffer (whose room is kept, its text dropped)
  // after aLead: the text is aLead{"aWrapperName":{...}}.
  kJsonObject(kJsonName aWrapperName, std::string aBuffer, std::string_view aLead);

  void AddString(kJsonName aName, std::string_view aValue);
  void AddBool(kJsonName aName, bool aValue);
  void AddInteger(kJsonName aName, int64_t aValue);
  // An amount given in 1/10000 units.
  void AddAmount(kJsonName aName, int64_t aValue);
  // aBytes as one Base64 string (RFC 4648, "=" padding), encoded straight
  // into the text: no separate copy of the Base64 text is ever made.
  void AddBase64(kJsonName aName, std::string_view aBytes);
  void AddObject(kJsonName aName, const kJsonObject& aValue);
  void AddArray(kJsonName aName, const std::vector<kJsonObject>& aValues);

  // An array of objects written in place: BeginArray, then for each item
  // BeginItem, the item's members, EndItem; then EndArray. (Items hold no
  // arrays of their own.)
  void BeginArray(kJsonName aName);
  void BeginItem();
  void EndItem();
  void EndArray() { fText += ']'; }

  // The text written from the size aFrom on.
  std::string_view TextFrom(size_t aFrom) const { return std::string_view(fText).substr(aFrom); }
  size_t Size() const { return fText.size(); }
  // Appends members as another object wrote them (a comma before them
  // dropped): a copy of the members that both objects hold.
  void AppendMembers(std::string_view aMembers);

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
  void AddName(kJsonName aName);
  // aName as a JSON string, quotes included.
  void AppendName(kJsonName aName);
  std::string fText;  // "{" and the members so far
  bool fWrapped = false;
  size_t fPrefixLength = 1;
  size_t fLeadLength = 0;
  size_t fOuterPrefixLength = 0;  // while an item of an array is written
};

// Appends aText to aOut as a JSON string, quotes included.
void AppendJsonString(std::string& aOut, std::string_view aText);

// An amount in 1/10000 units as 10.0, 12.5, 0.0001, -3.25 ...
std::string FormatJsonAmount(int64_t aValue);
// The same, appended to aOut.
void AppendJsonAmount(std::string& aOut, int64_t aValue);

}  // namespace korvane
