#include "device/parameter_list.h"

#include <algorithm>
#include <cstring>

#include "helpers/ascii.h"

namespace korvane {

// A hash of a name, eight bytes at a time, equal for names that differ only
// in the case of ASCII letters (each byte is taken with its 0x20 bit set,
// which sends upper-case letters to lower case and some other characters
// together: more collisions, never a miss).
size_t ParameterNameHash(std::string_view aName) {
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
    size_t at = ParameterNameHash(fNames[k]) & (slots - 1);
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
    for (size_t at = ParameterNameHash(name) & mask; fSlots[at] != 0; at = (at + 1) & mask) {
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

}  // namespace korvane
