#pragma once
// Checks of windows on a real desktop: an X server with a window manager
// (run-desktop.sh starts both).  What the user sees is read back from the X
// server (xwininfo, xprop), and the user's actions through the window
// manager are made with xdotool, as a task bar or the keyboard would.
//
// Every check waits for a condition with a deadline (WaitUntil); nothing
// sleeps a fixed time.  Tests derive their fixture from DesktopTest, which
// fails at once when the program is not on an X server.
#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>
#include <gtest/gtest.h>

class QWidget;

namespace desktop {

// Lets events run until `cond` holds; false when `timeoutMs` passed first.
bool WaitUntil(const std::function<bool()>& cond, int timeoutMs = 10000);

// What the X server knows of a top-level window.
struct XWindow {
    bool found = false;     // the server knows the window
    QString title;          // _NET_WM_NAME: the title the manager shows
    QRect client;           // the window itself, in screen coordinates
    QRect frame;            // with the manager's frame around it
    bool viewable = false;  // mapped (and its parents too)
    bool iconic = false;    // WM_STATE Iconic: minimised by the manager
    bool managed = false;   // WM_STATE present: the manager looks after it
};
XWindow Query(QWidget* window);
XWindow Query(unsigned long windowId);

// The screen (the root window).
QRect Screen();

// The user's actions through the window manager.
void Minimise(QWidget* window);   // the title bar's minimise button (WM_CHANGE_STATE)
void Activate(QWidget* window);   // a click on its task bar entry (_NET_ACTIVE_WINDOW)
void PressKeys(const QString& keys);  // xdotool key names ("Return", "alt+F4") to the focused window

// The window's pixels as the X server has them (frame excluded).
QImage Grab(QWidget* window);

// Answers the message boxes that come up while it lives, as the user does:
// once a box is on the screen it notes the box's text, its title and its
// frame as the X server has them, then presses the box's default button.
class BoxAnswerer {
public:
    struct Box {
        QString text;
        XWindow x;
    };
    BoxAnswerer();
    ~BoxAnswerer();
    std::vector<Box> boxes;

private:
    struct Impl;
    Impl* m_impl;
};

// Runs a program and returns its standard output; empty on failure.
QString Run(const QString& program, const QStringList& args);

}  // namespace desktop

// Base of every desktop test: the program must run on X (xcb).
class DesktopTest : public ::testing::Test {
protected:
    void SetUp() override;
};
