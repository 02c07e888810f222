#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>

// Report files: Windows-1251 text, every line ended by CR LF.
QByteArray EncodeWin1251(const QString& text);
QString DecodeWin1251(const QByteArray& bytes);
QByteArray ReportBytes(const QStringList& lines);

// Writes the report to `fileName` with WriteFileSafely (an existing file
// survives a failed write; a device or FIFO is written in place).  On
// failure returns false and puts the reason into `error`.
bool WriteReportFile(const QString& fileName, const QStringList& lines, QString* error = nullptr);
