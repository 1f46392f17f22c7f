// The process that loaded the library: its executable and command line.
#pragma once

#include <string>
#include <vector>

namespace korvane::platform {

// Full path of the process's main executable (the host program, never this
// library).
std::string ExecutablePath();

// The executable's folder, ending with a path separator.
std::string ExecutableFolder();

// The executable's file name without its extension.
std::string ExecutableBaseName();

// The process's command line as parameters; element 0 is the program.
std::vector<std::string> CommandLineParams();

// The current working directory, ending with a path separator.
std::string CurrentDirectory();

}  // namespace korvane::platform
