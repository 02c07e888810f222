// The About window and its picture, the help file and its viewer.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextBrowser>
#include <set>

#include "app/About.h"
#include "app/ConnectRules.h"
#include "app/Startup.h"
#include "app/HelpViewer.h"
#include "app/JpegImage.h"
#include "common/DriveContext.h"
#include "common/Services.h"

namespace {
const QString kHelpDir = QStringLiteral(VORAN_SOURCE_DIR "/Help/");

QString ReadText(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll());
}
}  // namespace

TEST(About, ShowsTheNameOurPictureAndTheFileVersion)
{
    ResetDriveContext();
    VersionTitle();
    TfrmAbout about;
    EXPECT_EQ(about.windowTitle(), "О программе");
    EXPECT_EQ(about.ProductName->text(), "VORAN");
    EXPECT_EQ(about.Version->text(), "2.0.0.10");
    ASSERT_FALSE(about.Picture->pixmap().isNull());
    EXPECT_EQ(about.Picture->pixmap().size(), QSize(320, 200));

    ResetDriveContext();  // no version information: an empty version
    TfrmAbout bare;
    EXPECT_EQ(bare.Version->text(), "");
}

TEST(About, PictureIsAJpegThatLibjpegDecodes)
{
    QString why;
    const QImage img = AboutPicture(&why);
    ASSERT_FALSE(img.isNull()) << why.toStdString();
    EXPECT_EQ(img.size(), QSize(320, 200));
    const QColor corner = img.pixelColor(2, 2);
    EXPECT_LT(corner.red(), 60) << "dark blue background";
    EXPECT_GT(corner.blue(), corner.red());

    // Round trip through our encoder, and data that is no picture.
    QImage square(16, 8, QImage::Format_RGB32);
    square.fill(QColor(200, 40, 30));
    const QImage back = DecodeJpeg(EncodeJpeg(square, 95));
    ASSERT_EQ(back.size(), square.size());
    EXPECT_NEAR(back.pixelColor(8, 4).red(), 200, 8);
    EXPECT_NEAR(back.pixelColor(8, 4).green(), 40, 8);

    why.clear();
    EXPECT_TRUE(DecodeJpeg(QByteArray("this is not a picture at all"), &why).isNull());
    EXPECT_FALSE(why.isEmpty());
    EXPECT_TRUE(DecodeJpeg(QByteArray(), &why).isNull());
}

TEST(Help, EveryContextHasARussianPageAndEveryLinkLeadsSomewhere)
{
    std::set<int> contexts;
    for (const HelpTopic& t : HelpTopics())
        contexts.insert(t.context);
    for (int n : {0, 10, 20, 30, 40, 100, 110, 200, 300, 310, 400, 410, 1050})
        EXPECT_TRUE(contexts.count(n)) << "context " << n;

    const QString contents = ReadText(kHelpDir + "Voran.html");
    ASSERT_FALSE(contents.isEmpty());
    const QRegularExpression href("href=\"([^\"#]+)\"");
    const QRegularExpression cyrillic("[А-Яа-я]{4,}");
    for (const HelpTopic& t : HelpTopics()) {
        const QString page = ReadText(kHelpDir + t.file);
        ASSERT_FALSE(page.isEmpty()) << t.file;
        EXPECT_TRUE(page.contains("<title>")) << t.file;
        EXPECT_TRUE(page.contains(cyrillic)) << t.file;
        if (t.context != 0) {
            EXPECT_TRUE(page.contains("href=\"Voran.html\"")) << t.file << " leads back to the contents";
            EXPECT_TRUE(contents.contains(QString("href=\"%1\"").arg(t.file))) << t.file << " is in the contents";
        }
        for (auto it = href.globalMatch(page); it.hasNext();) {
            const QString target = it.next().captured(1);
            EXPECT_TRUE(QFileInfo::exists(kHelpDir + target)) << t.file << " -> " << target.toStdString();
        }
    }
    EXPECT_EQ(HelpTopicFile(100), "scan.html");
    EXPECT_EQ(HelpTopicFile(12345), "Voran.html");
}

TEST(Help, TheViewerOpensAtTheContextAndReportsAMissingFile)
{
    MessageRecorder messages;
    AppHelpService help;
    SetHelpService(&help);
    SetHelpFile(kHelpDir + "Voran.html");

    ShowHelpContext(nullptr, 1050);
    ASSERT_NE(help.Viewer(), nullptr);
    EXPECT_TRUE(help.Viewer()->isVisible());
    EXPECT_TRUE(help.Viewer()->CurrentFile().endsWith("/securityerase.html"));
    EXPECT_TRUE(help.Viewer()->Browser->toPlainText().contains("KRENT"));
    help.Viewer()->bbContents->click();
    EXPECT_TRUE(help.Viewer()->CurrentFile().endsWith("/Voran.html"));

    // Opened from a modal tool window the viewer belongs to it.
    QWidget tool;
    ShowHelpContext(&tool, 100);
    EXPECT_EQ(help.Viewer()->parentWidget(), &tool);
    EXPECT_TRUE(help.Viewer()->CurrentFile().endsWith("/scan.html"));
    ShowHelpContents(nullptr);
    EXPECT_TRUE(help.Viewer()->CurrentFile().endsWith("/Voran.html"));
    EXPECT_TRUE(messages.shown.empty());

    SetHelpFile(QDir::tempPath() + "/no-such-dir/Help/Voran.html");
    ShowHelpContext(nullptr, 10);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].kind, MsgKind::Error);
    EXPECT_TRUE(messages.shown[0].text.contains("identify.html"));
    SetHelpService(nullptr);
    SetHelpFile(QString());
}

// The standard dialogs and buttons (file dialog, message box buttons) take
// their texts from Qt's own catalogue: it must be there, and in Russian.
TEST(QtTranslations, StandardDialogsAndButtonsSpeakRussian)
{
    QString why;
    ASSERT_TRUE(InstallQtTranslations(&why)) << why.toStdString();
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Отмена");
    EXPECT_NE(QCoreApplication::translate("QFileDialog", "Look in:"), "Look in:");
    EXPECT_NE(QCoreApplication::translate("QFileDialog", "File &name:"), "File &name:");
    // A second call keeps the one catalogue.
    EXPECT_TRUE(InstallQtTranslations());
}
