#pragma once

#include "TestFiles.h"

#include <cstdint>
#include <string>
#include <vector>

// What the portable tests of the file library ask of each platform's own
// test file.
namespace platformchecks {

// The platform's own conversion of one Windows-1252 byte to UTF-8, as an
// independent reference for the library's decoder.
std::string ReferenceDecode(std::uint8_t byte);

// Paths that name no ordinary file, made in `dir`, each with the reason the
// library must give for it.
struct UnusablePath {
    std::string row;
    std::string path;
    std::string reason;
};
std::vector<UnusablePath> UnusablePaths(const testfiles::TempDir& dir);

// The most memory the process has held so far, in KiB.
long PeakMemoryKiB();

// The bytes the library reads from files while one lives, counted through
// its table of calls.
class CountedReads {
public:
    CountedReads();
    ~CountedReads();
    CountedReads(const CountedReads&) = delete;
    CountedReads& operator=(const CountedReads&) = delete;

    std::uint64_t Bytes() const;
};

} // namespace platformchecks
