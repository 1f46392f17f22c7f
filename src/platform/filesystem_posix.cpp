// Files and folders through the POSIX calls.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "platform/error.h"
#include "platform/filesystem.h"

namespace korvane::platform {

bool DirectoryExists(const std::string& aPath) {
  struct stat st;
  return ::stat(aPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(const std::string& aPath) {
  struct stat st;
  return ::stat(aPath.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

void ForceDirectories(const std::string& aDirectory) {
  if (aDirectory.empty()) throw Error("Cannot create directory: the directory name is empty");
  std::string path = aDirectory;
  while (path.size() > 1 && IsPathDelimiter(path.back())) path.pop_back();
  if (DirectoryExists(path)) return;
  const std::string context = "Cannot create directory \"" + path + "\": ";
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == kPathDelim) {
      const std::string part = path.substr(0, i);
      if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) ThrowOsError(errno, context);
    }
  }
  if (!DirectoryExists(path)) ThrowOsError(ENOTDIR, context);  // a file of that name is in the way
}

int64_t FileSize(const std::string& aPath) {
  struct stat st;
  if (::stat(aPath.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}

void RenameFile(const std::string& aFrom, const std::string& aTo) {
  const std::string context = "Cannot rename \"" + aFrom + "\" to \"" + aTo + "\": ";
  // Never replaces an existing file (plain rename() would delete it).
  if (::renameat2(AT_FDCWD, aFrom.c_str(), AT_FDCWD, aTo.c_str(), RENAME_NOREPLACE) == 0) return;
  if (errno != EINVAL && errno != ENOSYS) ThrowOsError(errno, context);
  // A file system without that flag: a hard link fails when the target exists.
  if (::link(aFrom.c_str(), aTo.c_str()) != 0) ThrowOsError(errno, context);
  ::unlink(aFrom.c_str());
}

void AppendToFile(const std::string& aPath, std::string_view aData) {
  // (The failure's context is made only for a failure: a log line comes here.)
  auto context = [&aPath] { return "Cannot append to \"" + aPath + "\": "; };
  const int fd = ::open(aPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) ThrowOsError(errno, context());
  int error = ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : errno;
  // The size before the append, taken under the lock: nobody else appends now.
  struct stat before;
  if (error == 0 && ::fstat(fd, &before) != 0) error = errno;
  size_t done = 0;
  while (error == 0 && done < aData.size()) {
    const ssize_t n = ::write(fd, aData.data() + done, aData.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0)
      error = errno;
    else if (n == 0)
      error = EIO;
    else
      done += static_cast<size_t>(n);
  }
  if (error != 0 && done > 0) {
    // Stopped part-way: no fragment stays behind.
    while (::ftruncate(fd, before.st_size) != 0 && errno == EINTR) {
    }
  }
  // close() releases the lock; the data is in the file for every reader.
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error != 0) ThrowOsError(error, context());
}

std::string ReadFileBytes(const std::string& aPath, size_t aMaxBytes) {
  const std::string context = "Cannot open file \"" + aPath + "\". ";
  // Without O_NONBLOCK, opening a FIFO waits for a writer.
  const int fd = ::open(aPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) ThrowOsError(errno, context);
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st;
  if (::fstat(fd, &st) != 0) ThrowOsError(errno, context);
  if (S_ISDIR(st.st_mode)) ThrowOsError(EISDIR, context);
  if (!S_ISREG(st.st_mode)) throw Error(context + "Not a regular file");
  const std::string tooLarge = context + "File larger than " + std::to_string(aMaxBytes) + " bytes";
  if (static_cast<uintmax_t>(st.st_size) > aMaxBytes) throw Error(tooLarge);
  // Read straight into the result; a file that grows meanwhile is read to its
  // end, up to the limit.
  std::string data(static_cast<size_t>(st.st_size) + 1, '\0');
  size_t size = 0;
  for (;;) {
    if (size == data.size()) {
      if (size > aMaxBytes) throw Error(tooLarge);
      // One byte beyond the limit tells a file that is too large.
      data.resize(size + std::min(std::max<size_t>(size, 65536), aMaxBytes - size) + 1);
    }
    const ssize_t n = ::read(fd, data.data() + size, data.size() - size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ThrowOsError(errno, context);
    if (n == 0) break;
    size += static_cast<size_t>(n);
  }
  if (size > aMaxBytes) throw Error(tooLarge);
  data.resize(size);
  return data;
}

}  // namespace korvane::platform
