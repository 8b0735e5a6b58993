// The reference decoder of the platforms whose C library has iconv: Linux's
// glibc, and musl in the web build (the browser's own decoder is right, but
// Node's takes windows-1252 for Latin-1).
#include "PlatformChecks.h"

#include <iconv.h>

namespace platformchecks {

std::string ReferenceDecode(std::uint8_t byte)
{
    // iconv (glibc's and musl's) leaves the five bytes Windows-1252 does not
    // define undecoded; Windows turns each into the C1 control of the same
    // value.
    if (byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D)
        return {static_cast<char>(0xC2), static_cast<char>(byte)};
    iconv_t cd = iconv_open("UTF-8", "WINDOWS-1252");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return {};
    char in[1] = {static_cast<char>(byte)};
    char out[8] = {};
    char* from = in;
    char* to = out;
    std::size_t inLeft = 1;
    std::size_t outLeft = sizeof(out);
    const std::size_t converted = iconv(cd, &from, &inLeft, &to, &outLeft);
    iconv_close(cd);
    if (converted == static_cast<std::size_t>(-1))
        return {};
    return std::string(out, sizeof(out) - outLeft);
}

} // namespace platformchecks
