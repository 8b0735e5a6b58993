// The Windows half of VirtualStore.h.
#include "VirtualStore.h"

#include "WideText.h"
#include "Win32Calls.h"
#include "Win32System.h"

namespace nationfile {

std::optional<std::string> ExistingVirtualStoreCopy(const std::string& path)
{
    // Wine keeps no VirtualStore: a game under Wine reads the file under
    // Program Files itself, whatever a folder named VirtualStore holds.
    if (UnderWine())
        return std::nullopt;
    std::optional<std::string> copy = VirtualStorePath(path, ProgramFilesFolders(), Environment(L"LOCALAPPDATA"));
    if (!copy)
        return std::nullopt;
    const DWORD attributes = ActiveCalls().GetFileAttributesW(WideFromUtf8(*copy).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return std::nullopt;
    return copy;
}

} // namespace nationfile
