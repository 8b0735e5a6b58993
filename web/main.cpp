// The web page's program: it creates the window, then answers the page's
// events, each a function the page calls (page/page.js).
#include "Form1.h"

#include <emscripten.h>

#include <cstddef>
#include <optional>
#include <string>

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

// The row the list is on after a key typed in it, or -1 for a beep;
// `current` -1 for none.
EMSCRIPTEN_KEEPALIVE int web_key(const char* key, int current)
{
    const std::optional<std::size_t> row = Window().Key(
        key, current < 0 ? std::nullopt : std::optional<std::size_t>(static_cast<std::size_t>(current)));
    return row ? static_cast<int>(*row) : -1;
}

EMSCRIPTEN_KEEPALIVE void web_tick_menu()
{
    Window().ShowTickMenu();
}

// `id`: the chosen entry's, as the menu gave it.
EMSCRIPTEN_KEEPALIVE void web_choose_tick(int id)
{
    Window().ChooseTickEntry(id);
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
