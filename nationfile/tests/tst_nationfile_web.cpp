// The file library's platform checks for its web build, run by Node on the
// machine's files, through testing/NodeFiles.js.
#include "PlatformChecks.h"

#include <emscripten.h>
#include <emscripten/heap.h>

namespace platformchecks {

namespace {

// The host's reads, counted on their way to the library.
EM_JS(void, StartCountingReads, (), {
    Module.uncountedRead = Module.nationFiles.read;
    Module.bytesRead = 0;
    Module.nationFiles.read = (file, offset, length) => {
        const bytes = Module.uncountedRead(file, offset, length);
        Module.bytesRead += bytes.length;
        return bytes;
    };
});
EM_JS(void, StopCountingReads, (), { Module.nationFiles.read = Module.uncountedRead; });
EM_JS(double, BytesCounted, (), { return Module.bytesRead; });

} // namespace

CountedReads::CountedReads()
{
    StartCountingReads();
}

CountedReads::~CountedReads()
{
    StopCountingReads();
}

std::uint64_t CountedReads::Bytes() const
{
    return static_cast<std::uint64_t>(BytesCounted());
}

// WebAssembly's memory only grows: its size is the most it has held.
long PeakMemoryKiB()
{
    return static_cast<long>(emscripten_get_heap_size() / 1024);
}

} // namespace platformchecks
