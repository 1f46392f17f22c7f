// The settings store: named values, names matched without regard to case.
#include <algorithm>
#include <cctype>

#include "base/application.h"

namespace korvane {
namespace {
std::string Lower(std::string aText) {
  std::transform(aText.begin(), aText.end(), aText.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return aText;
}
}  // namespace

tTK_SetupEntry* tTK_Setup::FindEntry(const std::string& aName) const {
  const std::string key = Lower(aName);
  for (const auto& entry : fList)
    if (Lower(entry->Name()) == key) return entry.get();
  return nullptr;
}

void tTK_Setup::Define(const std::string& aName) { SetValue(aName, TVariant()); }

TVariant tTK_Setup::GetValue(const std::string& aName) const {
  const tTK_SetupEntry* entry = FindEntry(aName);
  return entry ? entry->Value() : TVariant();
}

void tTK_Setup::SetValue(const std::string& aName, const TVariant& aValue) {
  if (tTK_SetupEntry* entry = FindEntry(aName)) {
    entry->SetValue(aValue);
    return;
  }
  fList.push_back(std::make_unique<tTK_SetupEntry>(aName, aValue));
}

}  // namespace korvane
