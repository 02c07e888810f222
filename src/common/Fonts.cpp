#include "common/Fonts.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QStringList>

QFont FixedPitchFont()
{
    const QFont system = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (QFontInfo(system).fixedPitch())
        return system;
    QFont any;
    any.setStyleHint(QFont::Monospace);
    any.setFixedPitch(true);
    if (QFontInfo(any).fixedPitch())
        return any;
    for (const char* family : {"DejaVu Sans Mono", "Liberation Mono", "Courier New", "Nimbus Mono PS"}) {
        QFont f(QString::fromLatin1(family));
        f.setStyleHint(QFont::TypeWriter);
        f.setFixedPitch(true);
        if (QFontInfo(f).fixedPitch())
            return f;
    }
    return system;
}
