// A lock file under the runtime folder, held with flock(): the lock ends with
// the process even when it dies, like a Windows mutex.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/error.h"
#include "platform/filesystem.h"
#include "platform/named_lock.h"

namespace korvane::platform {
namespace {

class FileLock : public NamedLock {
 public:
  explicit FileLock(const std::string& aPath)
      : fFd(::open(aPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666)) {
    if (fFd < 0) ThrowOsError(errno, "Cannot create the lock \"" + aPath + "\": ");
  }
  ~FileLock() override { ::close(fFd); }
  bool TryAcquire() override { return ::flock(fFd, LOCK_EX | LOCK_NB) == 0; }
  void Release() override { ::flock(fFd, LOCK_UN); }

 private:
  int fFd;
};

std::string LockFolder() {
  const char* dir = std::getenv("XDG_RUNTIME_DIR");
  if (dir && *dir) return dir;
  return "/tmp";
}

}  // namespace

std::unique_ptr<NamedLock> CreateNamedLock(const std::string& aName) {
  std::string safe;
  for (char c : aName) safe += IsPathDelimiter(c) ? '_' : c;
  return std::make_unique<FileLock>(LockFolder() + kPathDelim + "korvane-" + safe + ".lock");
}

}  // namespace korvane::platform
