// The web page's half of GameFolder.h. A page sees no folders but those of
// the files the player gave it (OsFileWeb.cpp): there is nothing to list and
// no game's folder to look for; the browser's own dialog remembers where it
// was last.
#include "GameFolder.h"

#include <emscripten.h>

namespace nationfile {
namespace {

EM_ASYNC_JS(int, HostIsFolder, (const char* path), {
    return (await Module.nationFiles.isFolder(UTF8ToString(path))) ? 1 : 0;
});

} // namespace

bool IsFolder(const std::string& path)
{
    return HostIsFolder(path.c_str()) != 0;
}

std::string PathAsShown(const std::string& path)
{
    return FileNameOf(path);
}

std::string FolderForDialog(const std::string& folder)
{
    return folder;
}

bool ListFolderEntries(const std::string&, std::vector<FolderEntry>& entries)
{
    entries.clear();
    return false;
}

std::string DefaultGameFolder(const SearchLimits&)
{
    return {};
}

} // namespace nationfile
