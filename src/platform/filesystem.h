// Files and folders: the few operations the library needs, and the path
// syntax of this platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace korvane::platform {

// The separator this platform writes between folder and file names.
inline constexpr char kPathDelim = '/';

// True for a character that separates path components here or on Windows
// ("/" and "\"), so that names written for either are split alike.
bool IsPathDelimiter(char aChar);

// The part of aPath after its last path delimiter.
std::string ExtractFileName(std::string_view aPath);

// aPath with the extension of its file-name part (from its last ".") replaced
// by aExt; aExt may be empty.
std::string ChangeFileExt(std::string_view aPath, std::string_view aExt);

// Joins a directory and a name: an empty directory yields the name alone, a
// directory ending with a delimiter is followed directly by the name, any
// other gets kPathDelim between them. Fails when either holds characters that
// are invalid in paths (CheckPathChars): names from requests and settings
// must be valid on every platform. The folder of the host program, which
// the directory may begin with, is not checked: it is the system's own.
std::string CombinePath(std::string_view aDirectory, std::string_view aName);

// Fails with "Invalid characters in path" when aPath holds a character that
// is invalid in a path (control characters and " < > |).
void CheckPathChars(std::string_view aPath);

// Creates aDirectory with every missing parent. Fails when aDirectory is
// empty, and with an OsError when a folder cannot be made.
void ForceDirectories(const std::string& aDirectory);

bool FileExists(const std::string& aPath);
bool DirectoryExists(const std::string& aPath);

// The size in bytes, or -1 when it cannot be read.
int64_t FileSize(const std::string& aPath);

// Renames a file; fails with an OsError, as when aTo exists already.
void RenameFile(const std::string& aFrom, const std::string& aTo);

// One append of aData to aPath: creates the file when missing, opens it for
// appending with the file locked against other writers (another writer that
// holds it makes this fail), writes, flushes and closes. The data goes in
// whole or not at all: a write that stops part-way (a full disk, a file size
// limit) cuts the file back to its size before the append while still
// holding the lock, so that what others append under the same lock follows
// whole lines. Fails with an OsError.
void AppendToFile(const std::string& aPath, std::string_view aData);

// The whole file as bytes, opened for reading only and without waiting for a
// writer. Only a regular file is read: a pipe, a device or a folder fails at
// once, and so does a file of more than aMaxBytes. Fails with
// "Cannot open file "<path>". <system text>" (the text "Not a regular file"
// or "File larger than <aMaxBytes> bytes" where the system has none).
std::string ReadFileBytes(const std::string& aPath, size_t aMaxBytes = SIZE_MAX);

}  // namespace korvane::platform
