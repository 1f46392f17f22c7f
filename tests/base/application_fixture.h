// The test fixture of the application object's tests: the application as
// the library's load makes it (TKApp set), the user interface recording.
#pragma once

#include <gtest/gtest.h>

#include "base/application.h"
#include "platform/clock_testing.h"
#include "platform/ui_testing.h"

namespace korvane::testing {

// The application object as the library's load makes it: TKApp set.
class ApplicationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::RecordUiRequestsOnly();  // no message box waits for a click
    platform::ClearUiRequests();
    CreateApplication();
  }
  void TearDown() override {
    DestroyApplication(false);
    platform::SetNowForTesting(nullptr);
  }
  tTK_Application& App() { return *TKApp; }
};

}  // namespace korvane::testing
