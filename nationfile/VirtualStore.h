#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace nationfile {

// Whether a Windows path lies inside one of `folders`, compared without
// regard to letter case; `/` counts as `\`.
bool LiesUnder(std::string_view path, std::span<const std::string> folders);

// Old Windows programs without a manifest, the game among them, may not
// write under Program Files; Windows lets them all the same, writing a copy
// to the user's VirtualStore folder instead, which such a program reads from
// then on. VirtualStorePath answers where that copy of `path` would be, or
// nothing when `path` lies under none of `protectedFolders`.
std::optional<std::string> VirtualStorePath(std::string_view path, std::span<const std::string> protectedFolders,
                                            std::string_view localAppData);

// The copy of `path` in this user's VirtualStore folder, when there is one
// (VirtualStoreWin32.cpp). Nothing outside Windows.
std::optional<std::string> ExistingVirtualStoreCopy(const std::string& path);

} // namespace nationfile
