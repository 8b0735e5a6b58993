#pragma once

#include <string>
#include <string_view>

// Text as the editor compares and shows it, whatever the platform.
namespace text {

// A name as it is compared, by the presets and by type-to-find: letters and
// digits only, in lower case, without accents ("Côte d'Ivoire" and
// "cote divoire" are the same).
std::string Folded(std::string_view utf8);

// Bytes that should be UTF-8, such as a path on Linux, where any byte but
// '/' and 0 may stand in a name, as a message can show them: each byte that
// is not part of valid UTF-8 becomes U+FFFD, the replacement character.
std::string Readable(std::string_view bytes);

} // namespace text
