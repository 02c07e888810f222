#include "sim/JsonFields.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>
#include <limits>

namespace sim::json {

namespace {

int HexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

// Digits of `base` only, 1 to `maxDigits` of them, without overflow.
std::optional<uint64_t> Digits(const QString& s, int base, int maxDigits)
{
    if (s.isEmpty() || s.size() > maxDigits)
        return std::nullopt;
    uint64_t n = 0;
    for (QChar c : s) {
        const int d = HexDigit(c);
        if (d < 0 || d >= base)
            return std::nullopt;
        if (n > (std::numeric_limits<uint64_t>::max() - uint64_t(d)) / uint64_t(base))
            return std::nullopt;
        n = n * uint64_t(base) + uint64_t(d);
    }
    return n;
}

bool HexPrefix(const QString& s) { return s.startsWith(QLatin1String("0x")) || s.startsWith(QLatin1String("0X")); }

std::optional<uint64_t> OutOfRange(uint64_t min, uint64_t max, QString* why)
{
    *why = QStringLiteral("нужно целое число от %1 до %2").arg(min).arg(max);
    return std::nullopt;
}

std::optional<uint64_t> InRange(uint64_t n, uint64_t min, uint64_t max, QString* why)
{
    if (n >= min && n <= max)
        return n;
    return OutOfRange(min, max, why);
}

}  // namespace

std::optional<uint64_t> Unsigned(const QJsonValue& v, uint64_t min, uint64_t max, QString* why)
{
    if (v.isDouble()) {
        const double d = v.toDouble();
        if (!std::isfinite(d) || d != std::floor(d)) {
            *why = QStringLiteral("нужно целое число, без дробной части");
            return std::nullopt;
        }
        // Compared as a double first: only a value known to fit is cast.
        if (d < double(min) || d > double(max) || d >= 18446744073709551616.0)
            return OutOfRange(min, max, why);
        return InRange(uint64_t(d), min, max, why);
    }
    if (v.isString()) {
        const QString s = v.toString();
        std::optional<uint64_t> n;
        if (HexPrefix(s))
            n = Digits(s.mid(2), 16, 16);
        else if (s == QLatin1String("0") || !s.startsWith(QLatin1Char('0')))
            n = Digits(s, 10, 20);
        if (!n) {
            *why = QStringLiteral("нужно целое число: десятичное без ведущих нулей или шестнадцатеричное с 0x");
            return std::nullopt;
        }
        return InRange(*n, min, max, why);
    }
    *why = QStringLiteral("нужно целое число");
    return std::nullopt;
}

std::optional<uint64_t> Hex(const QJsonValue& v, uint64_t max, QString* why)
{
    std::optional<uint64_t> n;
    if (v.isString()) {
        const QString s = v.toString();
        n = Digits(HexPrefix(s) ? s.mid(2) : s, 16, 16);
    }
    if (!n) {
        *why = QStringLiteral("нужна строка шестнадцатеричных цифр, например \"%1\"").arg(max, 0, 16);
        return std::nullopt;
    }
    if (*n > max) {
        *why = QStringLiteral("нужно шестнадцатеричное число не больше %1").arg(max, 0, 16).toUpper();
        return std::nullopt;
    }
    return n;
}

QString ValueText(const QJsonValue& v)
{
    QString t = QString::fromUtf8(QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact));
    t = t.mid(1, t.size() - 2);
    if (t.size() > 60)
        t = t.left(57) + QStringLiteral("...");
    return t;
}

QString Reader::Path() const
{
    QString p;
    for (const QString& part : m_path) {
        if (!p.isEmpty() && !part.startsWith(QLatin1Char('[')))
            p += QLatin1Char('.');
        p += part;
    }
    return p;
}

void Reader::Fail(const QJsonValue& v, const QString& why)
{
    if (m_error.empty())
        m_error = QStringLiteral("%1 = %2: %3").arg(Path(), ValueText(v), why).toStdString();
}

void Reader::FailHere(const QString& why)
{
    if (m_error.empty())
        m_error = (m_path.isEmpty() ? why : Path() + QStringLiteral(": ") + why).toStdString();
}

std::optional<uint64_t> Reader::ReadUnsigned(const QJsonValue& v, uint64_t min, uint64_t max)
{
    QString why;
    const auto n = Unsigned(v, min, max, &why);
    if (!n)
        Fail(v, why);
    return n;
}

std::optional<uint64_t> Reader::ReadHex(const QJsonValue& v, uint64_t max)
{
    QString why;
    const auto n = Hex(v, max, &why);
    if (!n)
        Fail(v, why);
    return n;
}

std::optional<double> Reader::ReadReal(const QJsonValue& v, double min, double max)
{
    if (v.isDouble() && v.toDouble() >= min && v.toDouble() <= max)
        return v.toDouble();
    Fail(v, QStringLiteral("нужно число от %1 до %2").arg(min).arg(max));
    return std::nullopt;
}

std::optional<bool> Reader::ReadBool(const QJsonValue& v)
{
    if (v.isBool())
        return v.toBool();
    Fail(v, QStringLiteral("нужно true или false"));
    return std::nullopt;
}

std::optional<QString> Reader::ReadString(const QJsonValue& v)
{
    if (v.isString())
        return v.toString();
    Fail(v, QStringLiteral("нужна строка в кавычках"));
    return std::nullopt;
}

}  // namespace sim::json
