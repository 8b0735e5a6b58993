#include "Text.h"

#include <cstdint>
#include <optional>

namespace text {
namespace {

// The character that starts at `at`, and how many bytes it takes; nothing
// where the bytes there are not UTF-8 (a stray continuation byte, a
// sequence cut short, an overlong form, a surrogate or a value past
// U+10FFFF).
std::optional<char32_t> Decode(std::string_view utf8, std::size_t at, std::size_t& length)
{
    const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(utf8[at + k]); };
    const std::uint8_t lead = byte(0);
    length = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : (lead & 0xF8) == 0xF0 ? 4 : 0;
    if (length == 0 || at + length > utf8.size())
        return std::nullopt;
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(k) & 0xC0) != 0x80)
            return std::nullopt;
        c = (c << 6) | (byte(k) & 0x3F);
    }
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kSmallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return std::nullopt;
    return c;
}

// The letter a Latin-1 letter is written with without its accent, from
// U+00C0 on; '-' for the signs that are no letters.
constexpr std::string_view kLatin1Base = "aaaaaaaceeeeiiiidnooooo-ouuuuyts"
                                         "aaaaaaaceeeeiiiidnooooo-ouuuuyty";

void AppendFolded(std::string& folded, char32_t c)
{
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
        folded += static_cast<char>(c);
    else if (c >= 'A' && c <= 'Z')
        folded += static_cast<char>(c - 'A' + 'a');
    else if (c >= 0xC0 && c <= 0xFF && kLatin1Base[c - 0xC0] != '-')
        folded += kLatin1Base[c - 0xC0];
    else if (c == 0x160 || c == 0x161) // Š š, the other letters Windows-1252 brings
        folded += 's';
    else if (c == 0x17D || c == 0x17E)
        folded += 'z';
    else if (c == 0x152 || c == 0x153)
        folded += "oe";
    else if (c == 0x178)
        folded += 'y';
}

} // namespace

std::string Folded(std::string_view utf8)
{
    std::string folded;
    for (std::size_t at = 0; at < utf8.size();) {
        std::size_t length = 0;
        const std::optional<char32_t> c = Decode(utf8, at, length);
        if (c)
            AppendFolded(folded, *c);
        at += c ? length : 1;
    }
    return folded;
}

std::string Readable(std::string_view bytes)
{
    std::string readable;
    readable.reserve(bytes.size());
    for (std::size_t at = 0; at < bytes.size();) {
        std::size_t length = 0;
        if (Decode(bytes, at, length)) {
            readable.append(bytes.substr(at, length));
            at += length;
        } else {
            readable += "\xEF\xBF\xBD";
            ++at;
        }
    }
    return readable;
}

} // namespace text
