// The main window and the port selection on a real desktop.
#include <QApplication>
#include <QLineEdit>
#include <QTableWidget>
#include <QToolTip>

#include "app/ConnectRules.h"
#include "app/StatusBar.h"
#include "common/WindowPlace.h"
#include "desktop/Desktop.h"
#include "desktop/DesktopApp.h"
#include "select/AddPort.h"
#include "select/RadioGroup.h"
#include "select/SelectPort.h"

using desktop::Query;
using desktop::WaitUntil;

namespace {

class MainWindowDesktop : public DesktopTest {};

// The selection dialog on the screen as the program shows it; `answer`
// then makes the choice.  Notes what the X server says of the dialog.
std::function<int(TfrmSelectPort&)> ShowThen(desktop::XWindow* seen, std::function<void(TfrmSelectPort&)> answer)
{
    return [seen, answer](TfrmSelectPort& d) {
        d.show();
        EXPECT_TRUE(WaitUntil([&] {
            *seen = Query(&d);
            return seen->viewable && seen->frame != seen->client && !BeingPlaced(&d);
        }));
        answer(d);
        return d.result();
    };
}

void Choose(TfrmSelectPort& d, const QString& port, int device = 0)
{
    for (int r = 0; r < d.Grid->rowCount(); ++r)
        if (d.Cell(1, r) == port)
            d.Grid->setCurrentCell(r, 0);
    d.rgbDevice->SetItemIndex(device);
    d.bbOkClick();
}

std::string Text(const QRect& r)
{
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()).toStdString();
}

// The same centre, give or take the rounding of an odd size.
bool Centred(const QRect& a, const QRect& on)
{
    const QPoint d = a.center() - on.center();
    return std::abs(d.x()) <= 1 && std::abs(d.y()) <= 1;
}

}  // namespace

TEST_F(MainWindowDesktop, TitlesAreTheCaptionsAndTheMainWindowSitsTopRightByItsFrame)
{
    desktop::XWindow dialog;
    DesktopApp::Options o;
    o.selectDialog = ShowThen(&dialog, [](TfrmSelectPort& d) { Choose(d, QStringLiteral("0170")); });
    DesktopApp app(o);
    TfrmMain& main = app.Main();
    ASSERT_TRUE(app.WaitShown());

    // Titles as the window manager shows them: the caption alone, the
    // simulator marker in the main window's only.
    EXPECT_EQ(dialog.title, QStringLiteral("Выберите порт"));
    const desktop::XWindow m = Query(&main);
    EXPECT_EQ(m.title, VersionTitle() + QString::fromUtf8(kSimulatedMarker));
    EXPECT_EQ(m.title, main.windowTitle());

    // The selection dialog was centred on the screen, frame included.
    const QRect screen = desktop::Screen();
    EXPECT_TRUE(Centred(dialog.frame, screen)) << dialog.frame.x() << "," << dialog.frame.y();

    // The frame, not only the window, in the top-right corner.
    EXPECT_TRUE(WaitUntil([&] {
        const QRect f = Query(&main).frame;
        return f.top() == screen.top() && f.right() == screen.right();
    })) << "frame " << Query(&main).frame.x() << "," << Query(&main).frame.y() << " "
        << Query(&main).frame.width() << " wide";
    EXPECT_GT(m.frame.width(), m.client.width());  // there is a frame at all
}

TEST_F(MainWindowDesktop, LongPanelTextsAreShortenedInTheMiddleWithTheWholeTextAsTooltip)
{
    DesktopApp app;
    TfrmMain& main = app.Main();
    ASSERT_TRUE(app.WaitShown());
    TStatusBar* bar = main.StatusBar;
    const QString channel = QStringLiteral("OnBoard Intel i82371AB/MB, Secondary Channel");
    ASSERT_EQ(bar->PanelText(0), channel);
    main.SetStatusPanel(2, QStringLiteral("SIMDISK SD-6000X DEFECTS WITH A VERY LONG MODEL NAME"));

    for (int panel : {0, 2}) {
        const QString shown = bar->DisplayedText(panel);
        EXPECT_LE(bar->fontMetrics().horizontalAdvance(shown), bar->PanelRect(panel).width()) << panel;
        EXPECT_NE(shown, bar->PanelText(panel));
        EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
        EXPECT_EQ(shown.left(7), bar->PanelText(panel).left(7));  // both ends stay
        EXPECT_EQ(shown.right(4), bar->PanelText(panel).right(4));
    }
    EXPECT_EQ(bar->DisplayedText(1), QStringLiteral("Master"));  // what fits stays whole

    // The pointer rests on panel 0: its whole text comes up.
    const QPoint at = bar->mapToGlobal(bar->PanelRect(0).center());
    desktop::Run(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y())});
    EXPECT_TRUE(WaitUntil([&] { return QToolTip::isVisible() && QToolTip::text() == channel; }))
        << QToolTip::text().toStdString();
}

TEST_F(MainWindowDesktop, BoxesOfTheFirstSelectionAreCentredOnTheDialog)
{
    desktop::BoxAnswerer boxes;
    desktop::XWindow first, second;
    int asked = 0;
    DesktopApp::Options o;
    o.autoDetect = true;
    o.selectDialog = [&](TfrmSelectPort& d) {
        ++asked;
        if (asked == 1) {
            // A channel entered by hand that has no ports: it cannot be used.
            d.runAddPort = [](TfrmAddPort& a) {
                a.ePortName->setText(QStringLiteral("Без портов"));
                a.eBaseAdr->setText(QStringLiteral("0000"));
                a.eAltAdr->setText(QStringLiteral("0000"));
                return int(QDialog::Accepted);
            };
            return ShowThen(&first, [](TfrmSelectPort& dlg) {
                dlg.bbAddPortClick();
                dlg.GridDblClick();
            })(d);
        }
        // Then a device that is not there: its identification fails.
        return ShowThen(&second, [](TfrmSelectPort& dlg) { Choose(dlg, QStringLiteral("D800"), 1); })(d);
    };
    DesktopApp app(o);
    ASSERT_TRUE(app.WaitShown());
    EXPECT_EQ(asked, 2);
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_TRUE(boxes.boxes[0].text.contains(QStringLiteral("нет портов")));
    EXPECT_TRUE(Centred(boxes.boxes[0].x.frame, first.frame))
        << Text(boxes.boxes[0].x.frame) << " on " << Text(first.frame);
    EXPECT_EQ(boxes.boxes[1].text, QStringLiteral("Ошибка идентификации устройства!"));
    EXPECT_TRUE(Centred(boxes.boxes[1].x.frame, second.frame))
        << Text(boxes.boxes[1].x.frame) << " on " << Text(second.frame);
    EXPECT_EQ(boxes.boxes[1].x.title, QStringLiteral("Выберите порт"));
}
