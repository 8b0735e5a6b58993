#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace nationfile {

// Decodes Windows-1252 text into UTF-8. Every byte has a meaning: the five
// bytes the code page leaves undefined become the C1 controls of the same
// value, as Windows' own conversion does.
std::string DecodeWindows1252(std::span<const std::uint8_t> bytes);

} // namespace nationfile
