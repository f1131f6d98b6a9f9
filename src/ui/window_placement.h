// Where top-level windows open: always inside the available area of their screen (the screen
// less its panels and docks), frame included, so no part of a window opens out of reach.
// User-interface thread only.
#pragma once

#include <QPoint>
#include <QRect>

class QWidget;

namespace kw {

// The frame rectangle moved the least so that it lies inside area; a frame wider or taller
// than the area starts at the area's left or top edge.
QRect fit_inside(const QRect& frame, const QRect& area);

// Moves a top-level window that is about to be shown so that its client area starts at
// `wanted` (global coordinates), shifted into the available area of the screen at `wanted`.
void place_inside_screen(QWidget* window, QPoint wanted);
// The client position that centres the window, frame included, on `over` (global).
QPoint centred_position(const QWidget* window, const QRect& over);
// Centres a window that has not been placed yet on its screen; one already placed (moved, or
// shown before) is only shifted back inside the screen.
void keep_inside_screen(QWidget* window);

}  // namespace kw
