// The settings store: named values, names matched without regard to case.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/shared_types.h"

namespace korvane {

class tTK_SetupEntry {
 public:
  tTK_SetupEntry(std::string aName, TVariant aValue) : fName(std::move(aName)), fValue(std::move(aValue)) {}
  const std::string& Name() const { return fName; }
  void SetName(const std::string& aValue) { fName = aValue; }
  const TVariant& Value() const { return fValue; }
  void SetValue(const TVariant& aValue) { fValue = aValue; }

 private:
  std::string fName;
  TVariant fValue;
};

class tTK_Setup {
 public:
  void Define(const std::string& aName);
  TVariant GetValue(const std::string& aName) const;
  void SetValue(const std::string& aName, const TVariant& aValue);
  size_t Count() const { return fList.size(); }
  const tTK_SetupEntry& Entry(size_t aIndex) const { return *fList.at(aIndex); }

 private:
  tTK_SetupEntry* FindEntry(const std::string& aName) const;
  std::vector<std::unique_ptr<tTK_SetupEntry>> fList;
};

}  // namespace korvane
