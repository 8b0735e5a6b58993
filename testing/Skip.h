#pragma once

#include <string>

// A test case that can't run where it runs (a bind mount not allowed, a
// system that ignores locks) says so and returns: the test program then
// ends with 77, which CTest reports as skipped rather than passed. Such a
// case is in doctest's "skippable" suite, which has a CTest entry of its own
// (--test-suite=skippable), so that the others' results stand on their own.
namespace testing {

void Skip(const std::string& why);

} // namespace testing
