#include "desktop/Desktop.h"

#include "common/WindowPlace.h"

#include <QAbstractButton>
#include <QPushButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>
#include <QWidget>

namespace desktop {

bool WaitUntil(const std::function<bool()>& cond, int timeoutMs) { return QTest::qWaitFor(cond, timeoutMs); }

QString Run(const QString& program, const QStringList& args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));  // titles as UTF-8, not escaped
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(10000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

namespace {

QString Id(unsigned long id) { return QStringLiteral("0x%1").arg(id, 0, 16); }

unsigned long WindowId(QWidget* w)
{
    // The widget's own X window; the manager's frame is its parent.
    return w ? static_cast<unsigned long>(w->window()->winId()) : 0;
}

int Field(const QString& text, const QString& name)
{
    const QRegularExpression re(QRegularExpression::escape(name) + QStringLiteral(":\\s*(-?\\d+)"));
    const QRegularExpressionMatch m = re.match(text);
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

// Flushes what Qt has asked of the X server, so that the answers read
// back are about the present.
void SyncWithServer()
{
    QCoreApplication::processEvents();
    QGuiApplication::sync();
}

}  // namespace

XWindow Query(unsigned long id)
{
    XWindow w;
    SyncWithServer();
    const QString info = Run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), Id(id)});
    if (info.isEmpty())
        return w;
    w.found = true;
    w.client = QRect(Field(info, QStringLiteral("Absolute upper-left X")), Field(info, QStringLiteral("Absolute upper-left Y")),
                     Field(info, QStringLiteral("Width")), Field(info, QStringLiteral("Height")));
    w.viewable = info.contains(QStringLiteral("Map State: IsViewable"));

    const QString props = Run(QStringLiteral("xprop"), {QStringLiteral("-id"), Id(id), QStringLiteral("_NET_FRAME_EXTENTS"),
                                                        QStringLiteral("_NET_WM_NAME"), QStringLiteral("WM_STATE")});
    // _NET_FRAME_EXTENTS(CARDINAL) = left, right, top, bottom
    int left = 0, right = 0, top = 0, bottom = 0;
    const QRegularExpression extents(QStringLiteral("_NET_FRAME_EXTENTS\\(CARDINAL\\) = (\\d+), (\\d+), (\\d+), (\\d+)"));
    if (const QRegularExpressionMatch m = extents.match(props); m.hasMatch()) {
        left = m.captured(1).toInt();
        right = m.captured(2).toInt();
        top = m.captured(3).toInt();
        bottom = m.captured(4).toInt();
    }
    w.frame = w.client.adjusted(-left, -top, right, bottom);
    // _NET_WM_NAME(UTF8_STRING) = "text", with " and \ escaped.
    const QRegularExpression name(QStringLiteral("_NET_WM_NAME\\(UTF8_STRING\\) = \"(.*)\"\\s*$"),
                                  QRegularExpression::MultilineOption);
    if (const QRegularExpressionMatch m = name.match(props); m.hasMatch()) {
        QString t = m.captured(1);
        t.replace(QStringLiteral("\\\""), QStringLiteral("\"")).replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
        w.title = t;
    }
    w.managed = props.contains(QStringLiteral("window state:"));
    w.iconic = props.contains(QStringLiteral("window state: Iconic"));
    return w;
}

XWindow Query(QWidget* window) { return Query(WindowId(window)); }

QRect Screen()
{
    const QString info = Run(QStringLiteral("xwininfo"), {QStringLiteral("-root")});
    return QRect(0, 0, Field(info, QStringLiteral("Width")), Field(info, QStringLiteral("Height")));
}

void Minimise(QWidget* window)
{
    SyncWithServer();
    Run(QStringLiteral("xdotool"), {QStringLiteral("windowminimize"), Id(WindowId(window))});
}

void Activate(QWidget* window)
{
    SyncWithServer();
    Run(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), Id(WindowId(window))});
}

void PressKeys(const QString& keys)
{
    SyncWithServer();
    Run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("--clearmodifiers"), keys});
}

QImage Grab(QWidget* window)
{
    SyncWithServer();
    QScreen* s = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    return s->grabWindow(WindowId(window)).toImage();
}

struct BoxAnswerer::Impl {
    QTimer timer;
    QPointer<QMessageBox> answered;
};

BoxAnswerer::BoxAnswerer() : m_impl(new Impl)
{
    QObject::connect(&m_impl->timer, &QTimer::timeout, [this] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || box == m_impl->answered)
            return;
        const XWindow x = Query(box);
        if (!x.viewable || x.frame == x.client || BeingPlaced(box))
            return;  // not framed or not in its place yet
        m_impl->answered = box;
        boxes.push_back({box->text(), x});
        QAbstractButton* b = box->defaultButton();
        if (!b)
            b = box->buttons().value(0);
        if (b)
            b->click();
    });
    m_impl->timer.start(10);
}

BoxAnswerer::~BoxAnswerer() { delete m_impl; }

}  // namespace desktop

void DesktopTest::SetUp()
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"))
        << "desktop tests run on an X server: tests/desktop/run-desktop.sh PROGRAM";
}
