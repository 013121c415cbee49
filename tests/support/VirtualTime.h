#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string_view>

#include "trevalo/platform/simulated/VirtualTimeRunLoop.h"

namespace trevalo::testing {

// Drives `loop` one timer at a time until `done` holds, for at most `seconds` of virtual time,
// and leaves the clock where `done` first held (or at the bound). The failure names
// `expected` and the bound, and tells a loop that stalls (a due timer that never fires) from
// one that merely ran out of time, so that a timer fault fails in milliseconds rather than
// hanging the test.
//
//   ASSERT_TRUE(runUntilWithin(runLoop(), 180.0, [&] { return left; }, "the departure"));
::testing::AssertionResult runUntilWithin(platform::VirtualTimeRunLoop& loop, double seconds,
                                          const std::function<bool()>& done,
                                          std::string_view expected);

}  // namespace trevalo::testing
