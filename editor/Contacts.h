#pragma once

// The project's contact addresses, on the reserved example.org domain until
// it has its own.
namespace contacts {

// Shown in the help text.
inline constexpr const char* HELP_EMAIL = "help@example.org";
// Opened by the e-mail button: deliberately not the help text's address.
inline constexpr const char* COMMAND_EMAIL = "nation-editor@example.org";
inline constexpr const char* WEB_ADDRESS = "https://www.example.org/";

} // namespace contacts
