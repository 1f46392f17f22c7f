// The parameter list of a device request: an ordered list of entries
// name "=" value whose names are looked up without regard to ASCII letter
// case, and a fixed set of names found in such a list in one pass.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// An ordered list of entries name "=" value (split at the first "="). Names
// are looked up without regard to letter case (ASCII letters); the first
// matching entry wins; duplicates are allowed and keep their order. The
// entries share one text buffer, so that filling and copying a list takes
// few allocations.
class kParameterList {
 public:
  void Append(std::string_view aName, std::string_view aValue);
  // Appends aName in lower case (ASCII letters) "=" aValue.
  void AppendLowerCaseName(std::string_view aName, std::string_view aValue);
  struct NamedValue {
    std::string_view name;
    std::string_view value;
  };
  // The same for each of aEntries in order, the room for all taken at once.
  void AppendLowerCaseNames(std::span<const NamedValue> aEntries);
  // Appends a whole entry as it is (a line without "=" matches no name).
  void AppendEntry(std::string_view aEntry);
  // Index of the first entry named aName, or -1.
  int IndexOfName(std::string_view aName) const;
  // The value of the first entry named aName; "" when there is none.
  std::string Value(std::string_view aName) const;
  bool Exists(std::string_view aName) const { return IndexOfName(aName) >= 0; }
  // With a non-empty aValue replaces the first entry named aName by
  // aName "=" aValue (the name kept as given) or appends it; with an empty
  // aValue removes the first entry named aName.
  void Set(std::string_view aName, std::string_view aValue);
  void Clear();

  size_t Count() const { return fEntries.size(); }
  // The entry at aIndex (valid until the list changes).
  std::string_view operator[](size_t aIndex) const {
    return std::string_view(fText).substr(fEntries[aIndex].offset, fEntries[aIndex].length);
  }
  std::vector<std::string> Entries() const;

  // The name of the entry at aIndex ("" when it has no "=").
  std::string_view NameAt(size_t aIndex) const {
    const Span& e = fEntries[aIndex];
    return e.nameLength == std::string_view::npos ? std::string_view()
                                                  : std::string_view(fText).substr(e.offset, e.nameLength);
  }
  bool HasName(size_t aIndex) const { return fEntries[aIndex].nameLength != std::string_view::npos; }
  // The value of the entry at aIndex (after its first "="; "" without one).
  std::string_view ValueAt(size_t aIndex) const {
    const Span& e = fEntries[aIndex];
    return e.nameLength == std::string_view::npos
               ? std::string_view()
               : std::string_view(fText).substr(e.offset + e.nameLength + 1, e.length - e.nameLength - 1);
  }

  static std::string_view NameOf(std::string_view aEntry);
  static std::string_view ValueOf(std::string_view aEntry);

 private:
  struct Span {
    size_t offset;
    size_t length;
    size_t nameLength;  // position of the first "=" (npos: none)
  };
  char* Reserve(size_t aLength, size_t aNameLength);

  std::string fText;
  std::vector<Span> fEntries;
};

// A fixed set of distinct names (texts that outlive it) to look up together
// in parameter lists:
// made once, it then finds all of them in one pass over a list, each as
// kParameterList::IndexOfName would (ASCII letter case ignored, the first
// matching entry).
class kParameterNames {
 public:
  explicit kParameterNames(std::span<const std::string_view> aNames);
  size_t Count() const { return fNames.size(); }
  // aIndexes[k] (Count() of them): the index of the first entry of aList
  // named like the k-th name, or -1.
  void Find(const kParameterList& aList, std::span<int> aIndexes) const;

 private:
  std::vector<std::string_view> fNames;
  std::vector<uint32_t> fSlots;  // name index + 1; 0 is free
};

// A hash of a name, equal for names that differ only in the case of ASCII
// letters (more collisions than a plain hash, never a miss).
size_t ParameterNameHash(std::string_view aName);

}  // namespace korvane
