// A lock named across processes, for single-instance mode.
#pragma once

#include <memory>
#include <string>

namespace korvane::platform {

class NamedLock {
 public:
  virtual ~NamedLock() = default;
  // Takes the lock without waiting; false when another process holds it.
  virtual bool TryAcquire() = 0;
  virtual void Release() = 0;
};

// Creates (or opens) the lock named aName; it is not held yet.
std::unique_ptr<NamedLock> CreateNamedLock(const std::string& aName);

}  // namespace korvane::platform
