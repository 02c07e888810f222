#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>

// Report files: Windows-1251 text, every line ended by CR LF.
QByteArray EncodeWin1251(const QString& text);
QString DecodeWin1251(const QByteArray& bytes);
QByteArray ReportBytes(const QStringList& lines);

// Writes the report to `fileName` through a temporary file renamed over the
// target, so an existing file survives a failed write.  On failure returns
// false and puts a readable reason into `error`.
bool WriteReportFile(const QString& fileName, const QStringList& lines, QString* error = nullptr);
