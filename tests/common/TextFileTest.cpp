#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "common/TextFile.h"

TEST(ReportFile, Windows1251WithCrLf)
{
    QTemporaryDir dir;
    const QString f = dir.filePath("r.txt");
    ASSERT_TRUE(WriteReportFile(f, {QStringLiteral("Ошибок.....5"), QString(), QStringLiteral("№ °C")}));
    QFile in(f);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    const QByteArray b = in.readAll();
    // "О" is 0xCE in Windows-1251, "№" 0xB9 and "°" 0xB0.
    EXPECT_EQ(uint8_t(b[0]), 0xCE);
    EXPECT_TRUE(b.contains("\r\n\r\n"));
    EXPECT_TRUE(b.endsWith("\r\n"));
    EXPECT_TRUE(b.contains(QByteArray("\xB9 \xB0" "C\r\n")));
    EXPECT_EQ(DecodeWin1251(b.left(b.indexOf('\r'))), QStringLiteral("Ошибок.....5"));
}

TEST(ReportFile, AFailedWriteLeavesTheOldFile)
{
    QTemporaryDir dir;
    const QString f = dir.filePath("keep.txt");
    ASSERT_TRUE(WriteReportFile(f, {"old"}));
    QString error;
    EXPECT_FALSE(WriteReportFile(dir.filePath("missing/dir/x.txt"), {"new"}, &error));
    EXPECT_FALSE(error.isEmpty());
    QFile in(f);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    EXPECT_EQ(in.readAll(), QByteArray("old\r\n"));
}

TEST(ReportFile, CharactersOutsideTheCodePageBecomeQuestionMarks)
{
    EXPECT_EQ(EncodeWin1251(QStringLiteral("a\u4E2Db")), QByteArray("a?b"));
}
