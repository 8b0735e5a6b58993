// The web page's program: it creates the window, then answers the page's
// events, each a function the page calls (page/page.js).
#include "Form1.h"

#include <emscripten.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace {

Form1& Window()
{
    static Form1 window;
    return window;
}

} // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE void web_click(int button)
{
    if (button >= 0 && button < static_cast<int>(form::CONTROL_COUNT))
        Window().ButtonClicked(static_cast<form::Index>(button));
}

EMSCRIPTEN_KEEPALIVE void web_set_ticked(int row, int ticked)
{
    if (row >= 0)
        Window().SetTicked(static_cast<std::size_t>(row), ticked != 0);
}

// The row to go to, or -1; `current` -1 for none.
EMSCRIPTEN_KEEPALIVE int web_find(const char* key, int current)
{
    const std::optional<std::size_t> found = Window().Find(
        key, current < 0 ? std::nullopt : std::optional<std::size_t>(static_cast<std::size_t>(current)));
    return found ? static_cast<int>(*found) : -1;
}

EMSCRIPTEN_KEEPALIVE int web_typing()
{
    return Window().Typing() ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE void web_tick_menu()
{
    Window().ShowTickMenu();
}

// `path`: the chosen entry's indexes, "2 3" for the fourth entry of the
// third's submenu.
EMSCRIPTEN_KEEPALIVE void web_choose_tick(const char* path)
{
    std::vector<std::size_t> indexes;
    std::size_t index = 0;
    bool digits = false;
    for (const char* c = path;; ++c) {
        if (*c >= '0' && *c <= '9') {
            index = index * 10 + static_cast<std::size_t>(*c - '0');
            digits = true;
            continue;
        }
        if (digits)
            indexes.push_back(index);
        index = 0;
        digits = false;
        if (*c == '\0')
            break;
    }
    Window().ChooseTickEntry(indexes);
}

EMSCRIPTEN_KEEPALIVE void web_load_file(const char* path)
{
    Window().LoadFile(path);
}

EMSCRIPTEN_KEEPALIVE int web_unpatched()
{
    return Window().Unpatched() ? 1 : 0;
}

} // extern "C"

int main()
{
    Window();
    return 0;
}
