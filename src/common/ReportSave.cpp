#include "common/ReportSave.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>

#include "common/Services.h"

namespace {
const QString kTextFilter = QStringLiteral("Текстовый документ (*.txt)");
const QString kAllFilter = QStringLiteral("Все файлы (*)");
}  // namespace

QString ShortDateText(const QDateTime& t)
{
    return QLocale::system().toString(t.date(), QLocale::ShortFormat);
}

QString LongTimeText(const QDateTime& t)
{
    // The long time format of Qt may carry the time zone ("t"); the
    // program's texts never show it.
    const QString fmt = QLocale::system().timeFormat(QLocale::LongFormat);
    QString cleaned;
    bool quoted = false;
    for (QChar ch : fmt) {
        if (ch == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && ch == QLatin1Char('t'))
            continue;
        cleaned += ch;
    }
    cleaned = cleaned.simplified();
    if (cleaned.isEmpty())
        cleaned = QStringLiteral("HH:mm:ss");
    return QLocale::system().toString(t.time(), cleaned);
}

QString SafeFileName(const QString& name)
{
    QString out = name;
    for (QChar& ch : out) {
        const ushort u = ch.unicode();
        if (u < 0x20 || u == 0x7F || QStringLiteral("/\\:*?\"<>|").contains(ch))
            ch = QLatin1Char('.');
    }
    return out;
}

QString ReportFileName(const QString& prefix, const QString& modelTrimmed, const QString& dateText,
                       const QTime& time)
{
    // hh.mm.ss always has two digits per field, whatever the time format.
    return SafeFileName(prefix + QStringLiteral(" - ") + modelTrimmed + QStringLiteral(" - ") + dateText +
                        QLatin1Char('_') + time.toString(QStringLiteral("HH.mm.ss")));
}

QString WithReportSuffix(const QString& file, bool textFilterChosen)
{
    if (file.isEmpty() || !textFilterChosen || file.endsWith(QStringLiteral(".txt"), Qt::CaseInsensitive))
        return file;
    return file + QStringLiteral(".txt");
}

QString AskReportFile(QWidget* parent, const QString& dir, const QString& proposed)
{
    QString start = proposed;
    for (;;) {
        QFileDialog dlg(parent, QStringLiteral("Введите имя файла"), dir);
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setFileMode(QFileDialog::AnyFile);
        // The dialog would check the name before our ".txt" is added: we ask
        // ourselves, about the name that is really written.
        dlg.setOption(QFileDialog::DontConfirmOverwrite, true);
        dlg.setOption(QFileDialog::ReadOnly, false);
        dlg.setNameFilters({kTextFilter, kAllFilter});
        dlg.selectNameFilter(kTextFilter);
        dlg.selectFile(start);
        if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
            return QString();
        const QString file = WithReportSuffix(dlg.selectedFiles().first(), dlg.selectedNameFilter() == kTextFilter);
        const QFileInfo info(file);
        if (!info.exists())
            return file;
        if (AskYesNo(parent, QStringLiteral("%1 уже существует.\nЗаменить его?").arg(info.fileName())))
            return file;
        start = info.fileName();
    }
}
