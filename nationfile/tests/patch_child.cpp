// Patches a nation file once, for a test that kills it part way through.
// Usage: patch_child PATH RECORDS SEED
#include "NationFile.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char* argv[])
{
    if (argc != 4)
        return 2;
    const std::string path = argv[1];
    const std::size_t records = std::strtoul(argv[2], nullptr, 10);
    const unsigned seed = static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10));
    const auto result = nationfile::WriteMemberships(path, records, [seed](std::size_t i) {
        return ((i * 2654435761u) ^ seed) % 3 == 0;
    });
    if (result.outcome != nationfile::WriteOutcome::Written) {
        std::fprintf(stderr, "%s\n", result.reason.c_str());
        return 1;
    }
    return 0;
}
