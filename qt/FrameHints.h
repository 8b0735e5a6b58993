#pragma once

class QWidget;

enum class Sizing { Fixed, Resizable };

// Gives a top-level window of the editor the frame the design gives the main
// window, as far as the desktop lets a program ask: neither minimise nor
// maximise, and no taskbar button of its own where the window manager still
// lets Alt+Tab reach such a window (openbox). A window without a taskbar
// button that could be minimised would vanish with nothing to click to get
// it back. Holds for every showing of the window.
void KeepFrameHints(QWidget& window, Sizing sizing);

// After a dialog of the window closes, however it closed: the window is
// active again, in the window system and in Qt alike. A window manager may
// give the activation to the window under the pointer instead (metacity's
// focus by mouse). And Qt may miss the input focus the window manager gives
// back (it did so often while a screen reader listened): the window is then
// active on the screen, but takes no Tab or Space, and a screen reader hears
// nothing. Qt is told what the window system says.
void ComeBackAfterDialog(QWidget& window);
