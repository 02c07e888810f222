#pragma once
// Saving a text report (the scan report, the SMART table): the proposed file
// name, and the save dialog that always gives the file its extension.
#include <QDateTime>
#include <QString>
#include <functional>

class QWidget;

// The date and the time as the user's locale writes them (short date, long
// time without the time zone), for report lines and file names.
QString ShortDateText(const QDateTime& t);
QString LongTimeText(const QDateTime& t);

// Characters a file name cannot hold (and control characters) become ".".
QString SafeFileName(const QString& name);

// prefix + " - " + model + " - " + date + "_" + hh.mm.ss, made safe.
QString ReportFileName(const QString& prefix, const QString& modelTrimmed, const QString& dateText,
                       const QTime& time);

// The name the dialog's answer stands for: with "Текстовый документ" chosen,
// a name that does not end in ".txt" gets it, even when it already holds a
// "." (a proposed name ends in "hh.mm.ss", which a file dialog would take
// for an extension).
QString WithReportSuffix(const QString& file, bool textFilterChosen);

// Asks for the file of a report: title "Введите имя файла", starts in `dir`
// with `proposed`, filters "Текстовый документ" (*.txt) and "Все файлы",
// adds ".txt" as above, and asks before replacing an existing file (about
// the name it will really write).  Empty when cancelled.
QString AskReportFile(QWidget* parent, const QString& dir, const QString& proposed);

// Windows take their save dialog through this type, so that tests can answer.
using ReportFileDialog = std::function<QString(QWidget*, const QString& dir, const QString& proposed)>;
