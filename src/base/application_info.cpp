// Version information and history, read from the library's string table.
#include "base/application_info.h"

#include <algorithm>
#include <cctype>

#include "helpers/ascii.h"
#include "platform/locale.h"
#include "platform/resources.h"
#include "helpers/utf.h"

namespace korvane {
namespace {

// Characters 1-based aFrom..aFrom+aCount-1 as a decimal number, 1 when they are not one.
int DatePart(const std::string& aText, size_t aFrom, size_t aCount) {
  if (aFrom - 1 >= aText.size()) return 1;
  const std::string part = aText.substr(aFrom - 1, aCount);
  if (part.empty()) return 1;
  size_t i = 0;
  if (part[0] == '+' || part[0] == '-') i = 1;
  if (i >= part.size()) return 1;
  for (size_t k = i; k < part.size(); ++k)
    if (!std::isdigit(static_cast<unsigned char>(part[k]))) return 1;
  return std::stoi(part);
}

}  // namespace

std::string ExtractField(const std::string& aText, int aIndex, char aSeparator, bool aToEnd) {
  if (aIndex <= 0) return aToEnd ? aText : std::string();
  size_t start = 0;
  for (int field = 1; field < aIndex; ++field) {
    const size_t sep = aText.find(aSeparator, start);
    if (sep == std::string::npos) return std::string();
    start = sep + 1;
  }
  if (aToEnd) return aText.substr(start);
  const size_t end = aText.find(aSeparator, start);
  return aText.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::string FormatShortDate(TDateTime aDate) {
  const TDateTimeParts p = DecodeDateTime(aDate);
  return platform::FormatShortDate(p.year, p.month, p.day);
}

void tTK_ApplicationInfo::Load() { Load(&platform::LoadResourceString); }

void tTK_ApplicationInfo::Load(const StringSource& aSource) {
  tTK_ApplicationHistory* current = nullptr;
  int misses = 0;
  for (int id = kFirstId; misses <= kMaxMisses; ++id) {
    std::optional<std::string> record = aSource(id);
    if (!record || record->empty()) {
      ++misses;
      continue;
    }
    misses = 0;
    const std::string text = platform::Utf16Prefix(*record, kMaxRecordLength);
    const std::string key = AsciiUpper(ExtractField(text, 1, '=', false));
    const std::string value = ExtractField(text, 2, '=', true);
    if (key == "$APPDESCRIPTION") {
      fDescription = value;
    } else if (key == "$COPYRIGHT") {
      fCopyright = value;
    } else if (key == "$VERSION") {
      fVersion = value;
      fHistory.push_back(std::make_unique<tTK_ApplicationHistory>());
      current = fHistory.back().get();
      current->SetVersion(value);
    } else if (!current) {
      continue;
    } else if (key == "$AUTHOR") {
      current->SetAuthor(value);
    } else if (key == "$RELEASEDATE") {
      const TDateTime date = EncodeDate(DatePart(value, 7, 4), DatePart(value, 4, 2), DatePart(value, 1, 2));
      fReleaseDate = date;
      current->SetReleaseDate(date);
    } else if (key == "$PTEXT" || key == "$TEXT") {
      current->Text().push_back(value);
    }
  }
}

std::string tTK_ApplicationInfo::VersionString() const {
  return "[" + fVersion + " - " + FormatShortDate(fReleaseDate) + "]";
}

}  // namespace korvane
