#include "FrameHints.h"

#include <QWidget>

// Without X11 there is nothing the program can ask of the window manager.
void KeepFrameHints(QWidget&, Sizing) {}

void ComeBackAfterDialog(QWidget& window)
{
    window.activateWindow();
}
