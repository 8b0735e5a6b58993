#pragma once

// What the page says of its own accord, beside the commands' messages: a
// browser hands the patched file over as a download where the other
// windows write it in place, and asks the player's leave before the page
// may write a file or look in a folder. "{name}" stands for the loaded
// file's name, "{backup}" for its backup's, "{folder}" for the name of the
// folder the backup is kept in; the page puts them in.
namespace pagewords {

inline constexpr const char* BACKUP_HANDED_OVER
    = "This browser can't change {name} where it is: it hands you the files as downloads instead, once the "
      "patch is done.\r\n\r\n"
      "{backup} is your {name} as it was before this first patch: keep it, named {backup}, also where the "
      "browser adds a number to its name.\r\n\r\n"
      "The patched {name} comes with it.";
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

// Said before the browser's own prompts, which show no words of the
// page's: each message's OK is the click the prompt needs.
inline constexpr const char* ALLOW_WRITE
    = "The browser asks next whether the page may save changes to {name}: press OK, then allow it.";
inline constexpr const char* BACKUP_FOLDER_AGAIN
    = "{backup}, the backup of {name}, is kept in the folder \"{folder}\" chosen for it before. The browser asks "
      "next whether the page may look in that folder again: press OK, then allow it.";
inline constexpr const char* CHOOSE_BACKUP_FOLDER
    = "Before the first patch, the editor keeps {name} as it is now, as {backup}, to put back if need be.\r\n\r\n"
      "Press OK, then choose the folder to keep {backup} in: the game's Data folder, where {name} is, unless you "
      "keep copies elsewhere. Then allow the browser to let the page save changes there.\r\n\r\n"
      "Any {backup} already in that folder is kept as it is. This browser remembers the folder for this {name}, and "
      "asks for it no more.";
// The line under the window while the browser's folder dialog is up.
inline constexpr const char* CHOOSE_BACKUP_FOLDER_NOTE = "Choose the folder to keep {backup} in";

// A message's buttons, as Windows' message boxes label them.
inline constexpr const char* OK = "OK";
inline constexpr const char* YES = "&Yes";
inline constexpr const char* NO = "&No";

} // namespace pagewords
