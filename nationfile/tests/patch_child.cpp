// Patches a nation file once, for a test that kills it part way through.
// Writes 'S' to standard output just before the membership bytes are stored
// and 'E' just after, so that the test can aim its kill at the stores.
// Usage: patch_child PATH RECORDS SEED
#include "NationFile.h"
#include "PosixCalls.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

namespace {

void Say(char what)
{
    if (write(STDOUT_FILENO, &what, 1) != 1)
        std::_Exit(3);
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 4)
        return 2;
    nationfile::PosixCalls& calls = nationfile::ActiveCalls();
    calls.mmap = [](void* address, std::size_t length, int protection, int flags, int fd, off_t offset) {
        void* mapped = nationfile::SystemCalls().mmap(address, length, protection, flags, fd, offset);
        Say('S');
        return mapped;
    };
    calls.munmap = [](void* address, std::size_t length) {
        Say('E');
        return nationfile::SystemCalls().munmap(address, length);
    };

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
