#include "common/TextFile.h"

#include "common/SafeFile.h"

#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace {

QByteArray Convert(const char* to, const char* from, const QByteArray& in)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return {};
    QByteArray out;
    out.resize(in.size() * 4 + 16);
    char* inp = const_cast<char*>(in.constData());
    size_t inLeft = static_cast<size_t>(in.size());
    char* outp = out.data();
    size_t outLeft = static_cast<size_t>(out.size());
    while (inLeft > 0) {
        const size_t r = iconv(cd, &inp, &inLeft, &outp, &outLeft);
        if (r == static_cast<size_t>(-1)) {
            if (errno == EILSEQ || errno == EINVAL) {
                // A character the code page lacks: write "?" and go on.
                if (outLeft == 0)
                    break;
                *outp++ = '?';
                --outLeft;
                // Skip one UTF-8 sequence (or one byte of anything else).
                const unsigned char c = static_cast<unsigned char>(*inp);
                size_t skip = 1;
                if (std::strcmp(from, "UTF-8") == 0) {
                    if (c >= 0xF0) skip = 4;
                    else if (c >= 0xE0) skip = 3;
                    else if (c >= 0xC0) skip = 2;
                }
                skip = std::min(skip, inLeft);
                inp += skip;
                inLeft -= skip;
                continue;
            }
            break;
        }
    }
    iconv_close(cd);
    out.resize(out.size() - static_cast<int>(outLeft));
    return out;
}

}  // namespace

QByteArray EncodeWin1251(const QString& text)
{
    return Convert("WINDOWS-1251", "UTF-8", text.toUtf8());
}

QString DecodeWin1251(const QByteArray& bytes)
{
    return QString::fromUtf8(Convert("UTF-8", "WINDOWS-1251", bytes));
}

QByteArray ReportBytes(const QStringList& lines)
{
    QByteArray out;
    for (const QString& l : lines) {
        out += EncodeWin1251(l);
        out += "\r\n";
    }
    return out;
}

bool WriteReportFile(const QString& fileName, const QStringList& lines, QString* error)
{
    return WriteFileSafely(fileName, ReportBytes(lines), error);
}
