// What the print spool tests share: the private CUPS scheduler of the test
// program (started once for all its tests, spool_fixture.cpp; clients reach
// it through CUPS_SERVER), the jobs its queues finished, and PNG images.
#pragma once

#include <cups/cups.h>
#include <gtest/gtest.h>
#include <png.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"

namespace korvane::testing {

class CupsEnvironment : public ::testing::Environment {
 public:
  static std::string Dir() { return fDir; }
  static std::string Out(const std::string& aFile) { return fDir + "/out/" + aFile; }

  void SetUp() override {
    fTemp = std::make_unique<TempDir>();
    fDir = fTemp->Path();
    const std::string start =
        std::string("bash ") + KORVANE_SOURCE_DIR + "/scripts/cups-test-setup.sh start " + fDir;
    ASSERT_EQ(std::system(start.c_str()), 0) << "the test scheduler did not start";
    setenv("CUPS_SERVER", (fDir + "/cups.sock").c_str(), 1);
  }
  void TearDown() override {
    const std::string stop =
        std::string("bash ") + KORVANE_SOURCE_DIR + "/scripts/cups-test-setup.sh stop " + fDir;
    EXPECT_EQ(std::system(stop.c_str()), 0);
    fTemp.reset();
  }

 private:
  std::unique_ptr<TempDir> fTemp;
  static inline std::string fDir;
};

struct JobSeen {
  std::string title;
  std::string format;
  ipp_jstate_t state = IPP_JSTATE_PENDING;
};

// The jobs of aPrinter that have finished, waiting up to 10 s for aCount.
inline std::vector<JobSeen> FinishedJobs(const std::string& aPrinter, size_t aCount) {
  std::vector<JobSeen> seen;
  for (int i = 0; i < 200; ++i) {
    cups_job_t* jobs = nullptr;
    const int n = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, aPrinter.c_str(), 0, CUPS_WHICHJOBS_COMPLETED);
    seen.clear();
    for (int j = 0; j < n; ++j) seen.push_back({jobs[j].title, jobs[j].format, jobs[j].state});
    cupsFreeJobs(n, jobs);
    if (seen.size() >= aCount) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return seen;
}

// A queue's jobs as one test sees them: those that finish after it began.
class Queue {
 public:
  Queue(const std::string& aPrinter, const std::string& aFile)
      : fPrinter(aPrinter), fFile(aFile), fBefore(FinishedJobs(aPrinter, 0).size()) {}

  // The jobs finished since, waiting for at least aCount of them.
  std::vector<JobSeen> NewJobs(size_t aCount = 1) const {
    std::vector<JobSeen> jobs = FinishedJobs(fPrinter, fBefore + aCount);
    jobs.erase(jobs.begin(), jobs.begin() + static_cast<long>(std::min(fBefore, jobs.size())));
    return jobs;
  }
  // What the device received from the last job, once aCount jobs are through.
  std::string Output(size_t aCount = 1) const {
    EXPECT_EQ(NewJobs(aCount).size(), aCount);
    return ReadFile(CupsEnvironment::Out(fFile));
  }

 private:
  std::string fPrinter;
  std::string fFile;
  size_t fBefore;
};

inline std::string PngOf(int aWidth, int aHeight, const std::vector<uint8_t>& aRgba) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(aWidth);
  image.height = static_cast<png_uint_32>(aHeight);
  image.format = PNG_FORMAT_RGBA;
  png_alloc_size_t size = 0;
  png_image_write_to_memory(&image, nullptr, &size, 0, aRgba.data(), 0, nullptr);
  std::string data(size, '\0');
  png_image_write_to_memory(&image, data.data(), &size, 0, aRgba.data(), 0, nullptr);
  data.resize(size);
  return data;
}

}  // namespace korvane::testing
