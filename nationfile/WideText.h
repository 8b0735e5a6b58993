#pragma once

#ifdef _WIN32

#include <string>
#include <string_view>

namespace nationfile {

// UTF-8 inside, UTF-16 only at Windows' wide-character calls. Text that is
// not valid UTF-8 converts to nothing and sets `valid` to false.
std::wstring WideFromUtf8(std::string_view utf8, bool* valid = nullptr);
std::string Utf8FromWide(std::wstring_view wide);

} // namespace nationfile

#endif
