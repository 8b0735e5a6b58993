#define DOCTEST_CONFIG_IMPLEMENT
#include "Skip.h"

#include <doctest/doctest.h>

#include <cstdio>

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
    const int result = context.run();
    if (context.shouldExit() || result != 0)
        return result;
    return gSkipped ? 77 : 0;
}
