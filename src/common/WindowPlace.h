#pragma once
// Where top-level windows appear.  A window is placed by its frame (the
// window manager's border and title bar included), which the manager adds
// only once the window is on the screen: the place is worked out when the
// window is shown, and again when it is first exposed, with the real frame.
#include <QPoint>
#include <QRect>
#include <QSize>
#include <functional>

class QWidget;

// `where` gets the frame's size and returns the frame's top-left corner.
// Applies at the window's first showing only (the user may move it later).
void PlaceByFrame(QWidget* window, std::function<QPoint(const QSize& frame)> where);

// True while the window's place is still being worked out (it has been
// shown, and the manager has not framed it yet or it has not been moved to
// its place).
bool BeingPlaced(const QWidget* window);

// A top-level window's frame on the screen.
QRect FrameOf(QWidget* window);

// Centred on `on`'s frame, or on the screen when `on` is null or not shown.
void PlaceCentred(QWidget* window, QWidget* on = nullptr);
