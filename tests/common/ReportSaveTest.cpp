// The report save dialog: the extension is always added, and replacing a
// file is asked about the name that is really written.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include "common/ReportSave.h"
#include "common/Services.h"

TEST(ReportSave, TheTextFilterAlwaysGivesTxt)
{
    // A proposed name ends in hh.mm.ss: ".10" is not an extension.
    EXPECT_EQ(WithReportSuffix("/x/Scan - M - 9 Dec 2026_12.33.10", true), "/x/Scan - M - 9 Dec 2026_12.33.10.txt");
    EXPECT_EQ(WithReportSuffix("/x/a.txt", true), "/x/a.txt");
    EXPECT_EQ(WithReportSuffix("/x/a.TXT", true), "/x/a.TXT");
    EXPECT_EQ(WithReportSuffix("/x/a.log", false), "/x/a.log");  // "Все файлы": as typed
    EXPECT_EQ(WithReportSuffix("", true), "");
    EXPECT_EQ(ReportFileName("SMART", "A/B", "12/7/26", QTime(4, 5, 6)), "SMART - A.B - 12.7.26_04.05.06");
}

namespace {
// Answers the next file dialog with `name` once it is on screen.
void AnswerFileDialog(const QString& name)
{
    QTimer::singleShot(0, [name] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* dlg = qobject_cast<QFileDialog*>(w);
            if (dlg && dlg->isVisible()) {
                dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(name);
                QMetaObject::invokeMethod(dlg, "accept");
                return;
            }
        }
        AnswerFileDialog(name);
    });
}
}  // namespace

TEST(ReportSave, DialogAddsTheExtensionAndAsksBeforeReplacing)
{
    QTemporaryDir dir;
    MessageRecorder boxes;
    AnswerFileDialog(QStringLiteral("Scan - M - 9 Dec 2026_12.33.10"));
    EXPECT_EQ(AskReportFile(nullptr, dir.path(), QStringLiteral("proposed")),
              dir.filePath(QStringLiteral("Scan - M - 9 Dec 2026_12.33.10.txt")));
    EXPECT_TRUE(boxes.shown.empty());

    // The file exists: the question names it; No opens the dialog again.
    QFile existing(dir.filePath(QStringLiteral("r.txt")));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.close();
    boxes.answers = {MsgAnswer::No, MsgAnswer::Yes};
    int dialogs = 0;
    boxes.onShow = [&](const MessageRecorder::Entry&) {
        if (dialogs++ == 0)  // after the No, the dialog opens once more
            AnswerFileDialog(QStringLiteral("r"));
    };
    AnswerFileDialog(QStringLiteral("r"));
    EXPECT_EQ(AskReportFile(nullptr, dir.path(), QStringLiteral("r")), dir.filePath(QStringLiteral("r.txt")));
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[0].kind, MsgKind::Question);
    EXPECT_TRUE(boxes.shown[0].text.startsWith(QStringLiteral("r.txt уже существует.")));
}
