#include "transport_spool/spool_fixture.h"

namespace korvane::testing {

// Started before the first test of the program, stopped after the last.
const ::testing::Environment* const kCups = ::testing::AddGlobalTestEnvironment(new CupsEnvironment);

}  // namespace korvane::testing
