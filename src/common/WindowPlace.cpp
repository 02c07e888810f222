#include "common/WindowPlace.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace {

// The frame's margins as far as they are known.  Before the manager has
// framed the window, Qt's answer can be anything (it walks up a window tree
// that is not yet the manager's).
QMargins KnownFrameMargins(QWidget* window)
{
    QWindow* handle = window->windowHandle();
    if (!handle)
        return {};
    const QMargins m = handle->frameMargins();
    const auto sane = [](int v) { return v >= 0 && v <= 200; };
    if (!sane(m.left()) || !sane(m.top()) || !sane(m.right()) || !sane(m.bottom()))
        return {};
    return m;
}

// Places its window at its first Show, with the frame as far as it is known,
// and keeps it there while the window manager frames it: the frame's extents
// arrive without an event of their own, and Qt may still apply a geometry of
// its own (a dialog that sizes itself once shown), so it looks every few
// milliseconds.  It goes away once the frame is known and the window has
// stayed in its place for a moment; without a window manager no frame ever
// comes, and it gives up after a while.
class FramePlacer : public QObject {
public:
    static constexpr const char* kName = "FramePlacer";

    FramePlacer(QWidget* window, std::function<QPoint(const QSize&)> where)
        : QObject(window), m_window(window), m_where(std::move(where))
    {
        setObjectName(QLatin1String(kName));
        window->installEventFilter(this);
        m_look.setInterval(kLookMs);
        connect(&m_look, &QTimer::timeout, this, &FramePlacer::Place);
    }

    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (watched == m_window && e->type() == QEvent::Show && !m_shown) {
            m_shown = true;
            QTimer::singleShot(kGiveUpMs, this, &FramePlacer::Finish);
            m_look.start();
            Place();
        } else if (m_shown && watched == m_window && (e->type() == QEvent::Move || e->type() == QEvent::Resize)) {
            Place();
        }
        return QObject::eventFilter(watched, e);
    }

private:
    static constexpr int kLookMs = 20;
    static constexpr int kSettledLooks = 10;  // in its place for this long: done
    static constexpr int kGiveUpMs = 5000;
    static constexpr int kMaxMoves = 10;  // a manager that keeps it elsewhere wins

    void Place()
    {
        const QMargins margins = KnownFrameMargins(m_window);
        const QPoint to = m_where(m_window->size().grownBy(margins));
        if (FrameOf(m_window).topLeft() != to) {
            m_settled = 0;
            if (++m_moves > kMaxMoves)
                return;
            // The window itself, inside the frame.  (QWidget::move() would
            // work it out from a frame Qt may not know yet.)
            m_window->setGeometry(QRect(to + QPoint(margins.left(), margins.top()), m_window->size()));
        } else if (!margins.isNull() && ++m_settled >= kSettledLooks) {
            Finish();
        }
    }

    void Finish()
    {
        m_look.stop();
        setObjectName(QString());  // no longer at work
        deleteLater();
    }

    QWidget* m_window;
    std::function<QPoint(const QSize&)> m_where;
    QTimer m_look;
    bool m_shown = false;
    int m_moves = 0;
    int m_settled = 0;
};

}  // namespace

bool BeingPlaced(const QWidget* window)
{
    return window && window->findChild<QObject*>(QLatin1String(FramePlacer::kName), Qt::FindDirectChildrenOnly);
}

QRect FrameOf(QWidget* window)
{
    // The native window's geometry as the server last reported it, and the
    // manager's frame around it.
    if (QWindow* handle = window->windowHandle(); handle && window->isVisible())
        return handle->geometry().marginsAdded(KnownFrameMargins(window));
    return window->geometry();
}

void PlaceByFrame(QWidget* window, std::function<QPoint(const QSize& frame)> where)
{
    new FramePlacer(window, std::move(where));
}

void PlaceCentred(QWidget* window, QWidget* on)
{
    QPointer<QWidget> anchor(on);
    PlaceByFrame(window, [window, anchor](const QSize& frame) {
        QRect area;
        if (anchor && anchor->isVisible()) {
            area = FrameOf(anchor);
        } else {
            const QScreen* s = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
            area = s ? s->availableGeometry() : QRect(0, 0, 1024, 768);
        }
        return area.center() - QPoint((frame.width() - 1) / 2, (frame.height() - 1) / 2);
    });
}
