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
