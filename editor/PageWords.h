#pragma once

// What the page says of its own accord, beside the commands' messages: a
// browser hands the patched file over as a download where the other
// windows write it in place. "{name}" stands for the loaded file's name,
// "{backup}" for its backup's; the page puts them in.
namespace pagewords {

inline constexpr const char* BACKUP_HANDED_OVER
    = "This browser can't change {name} where it is: it hands you the files as downloads instead.\r\n\r\n"
      "{backup}, downloading now, is your {name} as it was before this first patch: keep it, named {backup}, "
      "also where the browser adds a number to its name.\r\n\r\n"
      "Then the patched {name} follows.";
// A browser that finds an older download of the same name there names the
// new one otherwise: the player must not take the older one for it.
inline constexpr const char* FILE_HANDED_OVER
    = "The patched {name} is among your downloads, the newest of them: where an older one was there, the "
      "browser may have added a number to its name, as in Nation(1).dat. To use it, close the game, then put it "
      "in place of the old {name} in the game's Data folder, named {name}.";
inline constexpr const char* ENDED = "The editor has ended. Close this tab, or reload the page to start again.";
// Given before the program runs, for when it stops on a fault of its own,
// "{what}" the fault.
inline constexpr const char* STOPPED = "The editor stopped ({what}). Reload the page to start again.";
// The button beside the list that opens its context menu.
inline constexpr const char* MENU_BUTTON = "Ticks";

} // namespace pagewords
