// The library's version information and history, read from its string
// table.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/shared_types.h"

namespace korvane {

class tTK_ApplicationHistory {
 public:
  const std::string& Version() const { return fVersion; }
  void SetVersion(const std::string& aValue) { fVersion = aValue; }
  TDateTime ReleaseDate() const { return fReleaseDate; }
  void SetReleaseDate(TDateTime aValue) { fReleaseDate = aValue; }
  const std::string& Author() const { return fAuthor; }
  void SetAuthor(const std::string& aValue) { fAuthor = aValue; }
  std::vector<std::string>& Text() { return fText; }
  const std::vector<std::string>& Text() const { return fText; }

 private:
  std::string fVersion;
  TDateTime fReleaseDate = 0;
  std::string fAuthor;
  std::vector<std::string> fText;
};

class tTK_ApplicationInfo {
 public:
  static constexpr int kFirstId = 10000;
  static constexpr int kMaxMisses = 10;  // an eleventh absent id in a row ends the scan
  static constexpr size_t kMaxRecordLength = 1024;

  // Reads a string of the table by id: nothing when absent.
  using StringSource = std::function<std::optional<std::string>(int aId)>;

  // Reads the version records of the library's own string table.
  void Load();
  // The same from another table (tests, other modules).
  void Load(const StringSource& aSource);

  const std::string& Description() const { return fDescription; }
  void SetDescription(const std::string& aValue) { fDescription = aValue; }
  const std::string& Copyright() const { return fCopyright; }
  void SetCopyright(const std::string& aValue) { fCopyright = aValue; }
  const std::string& Version() const { return fVersion; }
  void SetVersion(const std::string& aValue) { fVersion = aValue; }
  TDateTime ReleaseDate() const { return fReleaseDate; }
  void SetReleaseDate(TDateTime aValue) { fReleaseDate = aValue; }
  const std::vector<std::unique_ptr<tTK_ApplicationHistory>>& History() const { return fHistory; }

  // "[" + version + " - " + release date in the short date form + "]"
  std::string VersionString() const;

 private:
  std::string fDescription;
  std::string fCopyright;
  std::string fVersion;
  TDateTime fReleaseDate = 0;
  std::vector<std::unique_ptr<tTK_ApplicationHistory>> fHistory;
};

// Fields of aText between aSeparator characters, counted from 1. With aToEnd,
// everything from the start of field aIndex to the end of the text.
std::string ExtractField(const std::string& aText, int aIndex, char aSeparator, bool aToEnd);

// The release date in the regional short date form, e.g. "17/09/2024".
std::string FormatShortDate(TDateTime aDate);

}  // namespace korvane
