#pragma once

class QWidget;

// Keeps a top-level window from getting a taskbar button of its own, where
// the platform lets a program ask for that. Call before the window is shown.
void SkipTaskbar(QWidget& window);
