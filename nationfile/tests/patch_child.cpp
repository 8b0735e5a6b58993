// Patches a nation file once, for a test that stops it part way through, at
// a store the test chooses. The page of the file's mapping that holds byte
// STOP is made read-only (the whole mapping with STOP "first"): the first
// store into it faults, and the child writes that store's offset to
// standard output and kills itself there, as a kill or a power cut would
// end it. With STOP "flush" the child kills itself after its last store,
// when the patch asks for the flush.
// Usage: patch_child PATH RECORDS SEED STOP
#include "NationFile.h"
#include "PosixCalls.h"

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

namespace {

enum class Stop { First, Page, Flush };
Stop stop = Stop::Page;
std::uint64_t stopAt = 0;
std::uint8_t* volatile mapping = nullptr;
// The bytes made read-only.
std::uint8_t* volatile stopFrom = nullptr;
std::uint8_t* volatile stopTo = nullptr;

void SayAndDie(const char* text, std::size_t length)
{
    if (write(STDOUT_FILENO, text, length) != static_cast<ssize_t>(length))
        std::_Exit(3);
    kill(getpid(), SIGKILL);
}

// Only calls that are safe in a signal handler: the offset is spelt out by
// hand.
void OnStore(int, siginfo_t* info, void*)
{
    auto* const address = static_cast<std::uint8_t*>(info->si_addr);
    if (stopFrom == nullptr || address < stopFrom || address >= stopTo) {
        // A fault of its own: the child dies of it, and the test says so.
        signal(SIGSEGV, SIG_DFL);
        return;
    }
    char text[24];
    std::size_t length = sizeof text;
    text[--length] = '\n';
    std::uint64_t offset = static_cast<std::uint64_t>(address - mapping);
    do {
        text[--length] = static_cast<char>('0' + offset % 10);
        offset /= 10;
    } while (offset != 0);
    SayAndDie(text + length, sizeof text - length);
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 5)
        return 2;
    stop = std::strcmp(argv[4], "first") == 0 ? Stop::First : std::strcmp(argv[4], "flush") == 0 ? Stop::Flush
                                                                                                 : Stop::Page;
    stopAt = std::strtoull(argv[4], nullptr, 10);

    struct sigaction onStore {};
    onStore.sa_sigaction = OnStore;
    onStore.sa_flags = SA_SIGINFO;
    sigemptyset(&onStore.sa_mask);
    sigaction(SIGSEGV, &onStore, nullptr);

    nationfile::PosixCalls& calls = nationfile::ActiveCalls();
    calls.mmap = [](void* address, std::size_t length, int protection, int flags, int fd, off_t offset) {
        void* mapped = nationfile::SystemCalls().mmap(address, length, protection, flags, fd, offset);
        if (mapped == MAP_FAILED || stop == Stop::Flush)
            return mapped;
        mapping = static_cast<std::uint8_t*>(mapped);
        const std::size_t pageSize = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        std::uint8_t* const from = stop == Stop::First ? mapping : mapping + stopAt / pageSize * pageSize;
        const std::size_t size = stop == Stop::First ? length : pageSize;
        if (stopAt >= length || mprotect(from, size, PROT_READ) != 0)
            std::_Exit(4);
        stopFrom = from;
        stopTo = from + size;
        return mapped;
    };
    calls.fsync = [](int fd) {
        if (stop == Stop::Flush)
            SayAndDie("flush\n", 6);
        return nationfile::SystemCalls().fsync(fd);
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
