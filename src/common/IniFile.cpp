#include "common/IniFile.h"

#include <QByteArray>
#include <QList>

#include "common/SafeFile.h"

namespace {

constexpr int kMaxValueLength = 2047;

// A profile file is a few hundred bytes; anything this large is not one.
constexpr qint64 kMaxFileBytes = 1 << 20;

QList<QByteArray> SplitLines(const QByteArray& all)
{
    QList<QByteArray> lines = all.split('\n');
    // A final newline leaves one empty piece behind; a last line without an
    // end is kept as it is.
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// The file's bytes; a missing file has none.  `readable` is false when the
// file exists but cannot be read whole (then it must not be rewritten).
QByteArray ReadContent(const QString& fileName, bool* readable = nullptr)
{
    QByteArray all;
    bool missing = false;
    const bool ok = ReadFileLimited(fileName, kMaxFileBytes, all, nullptr, &missing);
    if (readable)
        *readable = ok || missing;
    return all;
}

QString Decode(const QByteArray& bytes)
{
    return QString::fromUtf8(bytes);
}

QString StripLine(const QByteArray& line)
{
    QByteArray l = line;
    if (l.endsWith('\r'))
        l.chop(1);
    return Decode(l).trimmed();
}

// Section name of a "[name]" line, or a null string.
QString SectionOf(const QString& stripped)
{
    if (stripped.startsWith(QLatin1Char('[')) && stripped.contains(QLatin1Char(']'))) {
        const int close = stripped.indexOf(QLatin1Char(']'));
        return stripped.mid(1, close - 1).trimmed();
    }
    return QString();
}

bool KeyOf(const QString& stripped, QString& key, QString& value)
{
    if (stripped.startsWith(QLatin1Char(';')) || stripped.startsWith(QLatin1Char('[')))
        return false;
    const int eq = stripped.indexOf(QLatin1Char('='));
    if (eq <= 0)
        return false;
    key = stripped.left(eq).trimmed();
    value = stripped.mid(eq + 1).trimmed();
    if (value.length() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
        value = value.mid(1, value.length() - 2);
    return !key.isEmpty();
}

bool SameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

}  // namespace

IniWriteError::IniWriteError(const QString& fileName)
    : std::runtime_error(QStringLiteral("Unable to write to %1").arg(fileName).toStdString()),
      m_message(QStringLiteral("Unable to write to %1").arg(fileName))
{
}

IniFile::IniFile(QString fileName) : m_fileName(std::move(fileName)) {}

bool IniFile::Lookup(const QString& Section, const QString& Ident, QString& value) const
{
    return LookupIn(ReadContent(m_fileName), Section, Ident, value);
}

bool IniFile::LookupIn(const QByteArray& content, const QString& Section, const QString& Ident, QString& value)
{
    bool inSection = false;
    for (const QByteArray& raw : SplitLines(content)) {
        const QString l = StripLine(raw);
        const QString sec = SectionOf(l);
        if (!sec.isNull()) {
            inSection = SameName(sec, Section);
            continue;
        }
        if (!inSection)
            continue;
        QString k, v;
        if (KeyOf(l, k, v) && SameName(k, Ident)) {
            value = v;
            return true;
        }
    }
    return false;
}

QString IniFile::ReadString(const QString& Section, const QString& Ident, const QString& Default) const
{
    QString v;
    if (!Lookup(Section, Ident, v))
        return Default.left(kMaxValueLength);
    return v.left(kMaxValueLength);
}

bool IniFile::ValueExists(const QString& Section, const QString& Ident) const
{
    QString v;
    return Lookup(Section, Ident, v);
}

bool IniFile::ParseInteger(const QString& text, int& value)
{
    QString t = text.trimmed();
    bool negative = false;
    if (t.startsWith(QLatin1Char('+')) || t.startsWith(QLatin1Char('-'))) {
        negative = t.startsWith(QLatin1Char('-'));
        t.remove(0, 1);
    }
    int base = 10;
    if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        base = 16;
        t.remove(0, 2);
    } else if (t.startsWith(QLatin1Char('$'))) {
        base = 16;
        t.remove(0, 1);
    }
    if (t.isEmpty())
        return false;
    for (QChar c : t) {
        const char ch = c.toLatin1();
        const bool ok = base == 16 ? bool(isxdigit(static_cast<unsigned char>(ch)))
                                   : bool(isdigit(static_cast<unsigned char>(ch)));
        if (!ok)
            return false;
    }
    bool ok = false;
    const qulonglong u = t.toULongLong(&ok, base);
    if (!ok)
        return false;
    if (base == 16) {
        if (u > 0xFFFFFFFFull)
            return false;
        // A 32-bit pattern ("0xFFFFFFFF" is -1); a sign negates it in the
        // same 32 bits, so "-0x80000000" stays the lowest value.
        const uint32_t bits = static_cast<uint32_t>(u);
        value = static_cast<int32_t>(negative ? 0u - bits : bits);
        return true;
    }
    if (u > (negative ? 2147483648ull : 2147483647ull))
        return false;
    value = negative ? static_cast<int>(-static_cast<long long>(u)) : static_cast<int>(u);
    return true;
}

int IniFile::ReadInteger(const QString& Section, const QString& Ident, int Default) const
{
    QString v;
    if (!Lookup(Section, Ident, v))
        return Default;
    int result = 0;
    return ParseInteger(v, result) ? result : Default;
}

bool IniFile::ReadBool(const QString& Section, const QString& Ident, bool Default) const
{
    return ReadInteger(Section, Ident, Default ? 1 : 0) != 0;
}

void IniFile::WriteString(const QString& Section, const QString& Ident, const QString& Value)
{
    bool readable = true;
    const QByteArray content = ReadContent(m_fileName, &readable);
    // A file that exists but cannot be read is not replaced by one key.
    if (!readable || !WriteFileSafely(m_fileName, WithValue(content, Section, Ident, Value)))
        throw IniWriteError(m_fileName);
}

QByteArray IniFile::WithValue(const QByteArray& content, const QString& Section, const QString& Ident,
                              const QString& Value)
{
    QList<QByteArray> lines = SplitLines(content);
    const QByteArray newLine = (Ident + QLatin1Char('=') + Value).toUtf8();

    int sectionStart = -1;   // index of the "[Section]" line
    int lastInSection = -1;  // last non-empty line of that section
    bool replaced = false;
    bool inSection = false;
    for (int i = 0; i < lines.size() && !replaced; ++i) {
        const QString l = StripLine(lines[i]);
        const QString sec = SectionOf(l);
        if (!sec.isNull()) {
            if (inSection)
                break;  // the section ended without the key
            inSection = SameName(sec, Section);
            if (inSection) {
                sectionStart = i;
                lastInSection = i;
            }
            continue;
        }
        if (!inSection)
            continue;
        if (!l.isEmpty())
            lastInSection = i;
        QString k, v;
        if (KeyOf(l, k, v) && SameName(k, Ident)) {
            lines[i] = newLine;
            replaced = true;
        }
    }
    if (!replaced) {
        if (sectionStart >= 0) {
            lines.insert(lastInSection + 1, newLine);
        } else {
            if (!lines.isEmpty() && !StripLine(lines.last()).isEmpty())
                lines.append(QByteArray());
            lines.append(('[' + Section + ']').toUtf8());
            lines.append(newLine);
        }
    }

    QByteArray out;
    for (const QByteArray& l : lines) {
        out += l;
        out += '\n';
    }
    return out;
}

void IniFile::WriteInteger(const QString& Section, const QString& Ident, int Value)
{
    WriteString(Section, Ident, QString::number(Value));
}

void IniFile::WriteBool(const QString& Section, const QString& Ident, bool Value)
{
    WriteString(Section, Ident, Value ? QStringLiteral("1") : QStringLiteral("0"));
}
