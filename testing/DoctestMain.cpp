#define DOCTEST_CONFIG_IMPLEMENT
#include "Skip.h"

#include <doctest/doctest.h>

#include <cstdio>
#include <cstdlib>

namespace {

bool gSkipped = false;

} // namespace

void testing::Skip(const std::string& why)
{
    std::printf("SKIPPED: %s\n", why.c_str());
    gSkipped = true;
}

int main(int argc, char** argv)
{
    doctest::Context context(argc, argv);
    int result = context.run();
    if (!context.shouldExit() && result == 0 && gSkipped)
        result = 77;
#ifdef __EMSCRIPTEN__
    // A test that waited for a promise has left main once already: what it
    // returns now reaches no one, so the code is given to exit itself.
    std::exit(result);
#endif
    return result;
}
