#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace nationfile {

// The outcome of one call to the operating system: success, or the OS's own
// words for what went wrong.
struct OsStatus {
    bool ok = true;
    std::string reason;

    static OsStatus Success() { return {}; }
    static OsStatus Failure(std::string why) { return {false, std::move(why)}; }
    explicit operator bool() const { return ok; }
};

struct ByteAt {
    std::uint64_t offset;
    std::uint8_t value;
};

// One open nation file. Every call the library makes to the operating system
// goes through this class, so that another platform needs only its own
// implementation of it.
class OsFile {
public:
    OsFile() = default;
    ~OsFile();
    OsFile(const OsFile&) = delete;
    OsFile& operator=(const OsFile&) = delete;

    // Opens an existing regular file for reading and writing. Never creates
    // a file, and never blocks on a FIFO or a device.
    OsStatus Open(const std::string& path);
    OsStatus Size(std::uint64_t& size) const;
    // Fills all of `into` from `offset`, or fails: a file that ends early is
    // a failure, not a short answer.
    OsStatus ReadAt(std::uint64_t offset, std::span<std::uint8_t> into) const;
    // Stores each byte at its offset and nothing else. `fileLength` is the
    // length the caller has just checked; no offset may reach it.
    OsStatus StoreBytes(std::uint64_t fileLength, std::span<const ByteAt> bytes);
    // Returns once everything written has reached stable storage.
    OsStatus Sync();
    OsStatus Close();

private:
    int fd_ = -1;
};

} // namespace nationfile
