// The settings store: named values, names matched without regard to case.
#include "base/setup_store.h"

#include <algorithm>
#include <cctype>

#include "helpers/ascii.h"

namespace korvane {
tTK_SetupEntry* tTK_Setup::FindEntry(const std::string& aName) const {
  for (const auto& entry : fList)
    if (AsciiEqualsIgnoreCase(entry->Name(), aName)) return entry.get();
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
