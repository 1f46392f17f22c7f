// Prints the version information the library carries and checks that the
// built library loads and exports its eight calls.
//   korvane-info [LIBRARY]
#include <dlfcn.h>

#include <cstdio>
#include <string>

#include "base/uTK_Base.h"

using namespace korvane;

int main(int argc, char** argv) {
  try {
    tTK_ApplicationInfo info;
    info.Load();
    std::printf("%s\n%s\n", info.Description().c_str(), info.Copyright().c_str());
    std::printf("Version %s - %s\n\nHistory:\n", info.Version().c_str(),
                FormatShortDate(info.ReleaseDate()).c_str());
    for (const auto& release : info.History()) {
      std::printf("  %s  %s  %s\n", release->Version().c_str(),
                  FormatShortDate(release->ReleaseDate()).c_str(), release->Author().c_str());
      for (const auto& line : release->Text()) std::printf("      %s\n", line.c_str());
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "korvane-info: %s\n", e.what());
    return 1;
  }

  const std::string path = argc > 1 ? argv[1] : KORVANE_LIBRARY_PATH;
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    std::fprintf(stderr, "korvane-info: cannot load %s: %s\n", path.c_str(), dlerror());
    return 1;
  }
  std::printf("\nLibrary %s\n", path.c_str());
  int missing = 0;
  for (const char* name :
       {"OPEN", "CLOSE", "MESSAGE", "CLOSEMESSAGE", "RECEIPT", "THANKYOU", "IDLE", "VERSION"}) {
    const bool found = dlsym(library, name) != nullptr;
    missing += found ? 0 : 1;
    std::printf("  %-13s %s\n", name, found ? "exported" : "not exported yet");
  }
  dlclose(library);
  std::printf("%d of 8 calls exported\n", 8 - missing);
  return 0;
}
