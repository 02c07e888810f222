#include "common/Format.h"

#include <QLocale>
#include <cmath>

QString FormatThousands(int64_t Value)
{
    QString s = QString::number(Value);
    QString result;
    const int groups = s.length() / 3;
    for (int i = 0; i <= groups; ++i) {
        if (!result.isEmpty())
            result += QLatin1Char('`');
        const int take = s.length() - (groups - i) * 3;
        result += s.left(take);
        s.remove(0, take);
    }
    return result;
}

int64_t RoundHalfEven(double value)
{
    // nearbyint follows the current rounding mode, which is round-to-nearest
    // with ties to even unless someone changed it; do it explicitly.
    const double fl = std::floor(value);
    const double diff = value - fl;
    if (diff > 0.5)
        return static_cast<int64_t>(fl) + 1;
    if (diff < 0.5)
        return static_cast<int64_t>(fl);
    const int64_t f = static_cast<int64_t>(fl);
    return (f % 2 == 0) ? f : f + 1;
}

static QString TwoDigits(int64_t v)
{
    QString t = QString::number(v);
    if (t.length() == 1)
        t.prepend(QLatin1Char('0'));
    return t;
}

static int64_t DateTimeToMs(double dt)
{
    const double days = std::trunc(dt);
    const double frac = std::fabs(dt - days);
    const int64_t dayMs = static_cast<int64_t>(days) * 86400000LL;
    const int64_t timeMs = static_cast<int64_t>(std::llround(frac * 86400000.0));
    return dt < 0 ? dayMs - timeMs : dayMs + timeMs;
}

QString FormatElapsed(double Later, double Earlier)
{
    const int64_t diffMs = DateTimeToMs(Later) - DateTimeToMs(Earlier);
    const int64_t t = RoundHalfEven(static_cast<double>(diffMs) / 1000.0);
    const int64_t h = t / 3600;
    const int64_t r = t - 3600 * h;
    const int64_t m = r / 60;
    const int64_t s = r - 60 * m;
    return TwoDigits(h) + QLatin1Char(':') + TwoDigits(m) + QLatin1Char(':') + TwoDigits(s);
}

QString FormatHoursMinSec(int64_t seconds)
{
    if (seconds < 0)
        seconds = 0;
    const int64_t h = seconds / 3600;
    const int64_t m = (seconds % 3600) / 60;
    const int64_t s = seconds % 60;
    return TwoDigits(h) + QLatin1Char(':') + TwoDigits(m) + QLatin1Char(':') + TwoDigits(s);
}

QString FormatSpeed(double mbPerSecond)
{
    QLocale loc = QLocale::system();
    loc.setNumberOptions(QLocale::OmitGroupSeparator);
    // "%4.1f" pads to four characters on the left; the trim that follows
    // takes the padding off again, so only the number remains.
    return loc.toString(mbPerSecond, 'f', 1) + QStringLiteral(" MB/c");
}

QString TrimControl(const QString& s)
{
    int b = 0;
    int e = s.length();
    while (b < e && s.at(b).unicode() <= 0x20)
        ++b;
    while (e > b && s.at(e - 1).unicode() <= 0x20)
        --e;
    return s.mid(b, e - b);
}

QString TrimIdentifyText(const uint8_t* bytes, int length)
{
    int b = 0;
    int e = length;
    while (b < e && bytes[b] <= 0x20)
        ++b;
    while (e > b && bytes[e - 1] <= 0x20)
        --e;
    return QString::fromLatin1(reinterpret_cast<const char*>(bytes) + b, e - b);
}

QString TrimIdentifyText(const QByteArray& raw)
{
    return TrimIdentifyText(reinterpret_cast<const uint8_t*>(raw.constData()),
                            static_cast<int>(raw.size()));
}

QString HexText(uint64_t value, int digits)
{
    return QString::number(value, 16).toUpper().rightJustified(digits, QLatin1Char('0'));
}

bool ParseHexText(const QString& text, uint32_t& value)
{
    const QString t = text.trimmed();
    if (t.isEmpty() || t.length() > 8)
        return false;
    bool ok = false;
    const uint v = t.toUInt(&ok, 16);
    if (!ok)
        return false;
    for (QChar c : t)
        if (!isxdigit(c.toLatin1()))
            return false;
    value = v;
    return true;
}
