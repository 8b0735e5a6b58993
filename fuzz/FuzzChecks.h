#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

// Shared by the fuzz targets: the input as a file in memory, and checks that
// stop the run at the first broken promise.
namespace fuzzing {

inline void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

// An anonymous in-memory file reached through a path, so that the library
// opens, reads and maps it as it would a file on disk.
class MemoryFile {
public:
    MemoryFile()
        : fd_(memfd_create("Nation.dat", 0))
        , path_("/proc/self/fd/" + std::to_string(fd_))
    {
        Require(fd_ != -1, "memfd_create");
    }
    ~MemoryFile() { close(fd_); }

    void Fill(std::span<const std::uint8_t> bytes)
    {
        Require(ftruncate(fd_, 0) == 0 && ftruncate(fd_, static_cast<off_t>(bytes.size())) == 0, "ftruncate");
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t wrote = pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
            Require(wrote > 0, "pwrite");
            done += static_cast<std::size_t>(wrote);
        }
    }

    std::string Contents() const
    {
        std::string bytes(static_cast<std::size_t>(lseek(fd_, 0, SEEK_END)), '\0');
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t got = pread(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
            Require(got > 0, "pread");
            done += static_cast<std::size_t>(got);
        }
        return bytes;
    }

    const std::string& Path() const { return path_; }

private:
    int fd_;
    std::string path_;
};

// Counts the code points of valid UTF-8, or answers -1.
inline long CodePoints(const std::string& text)
{
    long count = 0;
    for (std::size_t i = 0; i < text.size(); ++count) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        std::uint32_t point = 0;
        if (lead < 0x80) {
            length = 1;
            point = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            point = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            point = lead & 0x0F;
        } else {
            return -1;
        }
        if (i + length > text.size())
            return -1;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return -1;
            point = (point << 6) | (next & 0x3F);
        }
        const std::uint32_t smallest[] = {0, 0, 0x80, 0x800};
        if (point < smallest[length] || (point >= 0xD800 && point <= 0xDFFF))
            return -1;
        i += length;
    }
    return count;
}

} // namespace fuzzing
