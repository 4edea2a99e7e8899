#pragma once
#include <QColor>
#include <QPalette>

class QApplication;

namespace mainwindow {

// The one look of every window that is not a skin picture: the dialogs,
// message boxes, input boxes, menus and drop-down lists take the skin's dark
// surface with light text, as the format settings dialog does. Call once,
// right after the application object is made and before any window exists.
// It also keeps text readable on the few windows that paint a light surface
// of their own: when one is shown with window text too faint for its surface
// (below 4.5:1), that text becomes dark.
void ApplyLook(QApplication& app);

// The palette ApplyLook gives the application.
QPalette DarkPalette();

// Contrast ratio of two colours by their relative luminance (1 to 21), the
// measure used for readable text: 4.5 or more for ordinary text.
double ContrastRatio(const QColor& a, const QColor& b);
double RelativeLuminance(const QColor& c);

} // namespace mainwindow
