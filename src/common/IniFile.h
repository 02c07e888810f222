#pragma once
#include <QString>
#include <stdexcept>

// Raised when the configuration file cannot be written.  what() holds
// "Unable to write to <file>"; the caller decides how it is shown.
class IniWriteError : public std::runtime_error {
public:
    explicit IniWriteError(const QString& fileName);
    QString message() const { return m_message; }

private:
    QString m_message;
};

// A profile (INI) file with the classic semantics: section and key names are
// case-insensitive, every read and write goes to the file itself (nothing is
// cached), a missing file or key gives the reader's default, keys and
// sections are never deleted, and a rewrite goes through WriteFileSafely, so
// a failed write leaves the old file whole.  A file that exists but cannot
// be read (or is larger than 1 MB) reads as empty and is never rewritten.
class IniFile {
public:
    explicit IniFile(QString fileName);

    const QString& FileName() const { return m_fileName; }

    // Up to 2047 characters of the value; Default when the key is missing.
    QString ReadString(const QString& Section, const QString& Ident, const QString& Default) const;
    // Decimal, or hexadecimal after "0x"/"0X"; Default for missing keys and
    // for values that are not a number.
    int ReadInteger(const QString& Section, const QString& Ident, int Default) const;
    // Any non-zero integer reads true.
    bool ReadBool(const QString& Section, const QString& Ident, bool Default) const;

    void WriteString(const QString& Section, const QString& Ident, const QString& Value);
    void WriteInteger(const QString& Section, const QString& Ident, int Value);
    void WriteBool(const QString& Section, const QString& Ident, bool Value);

    // True when the key exists in the file.
    bool ValueExists(const QString& Section, const QString& Ident) const;

    // The number parsing of ReadInteger on its own (decimal, "$" or
    // "0x" hexadecimal, optional sign and surrounding blanks).
    static bool ParseInteger(const QString& text, int& value);

    // The rules of the file on its contents: the value of a key, and the
    // contents after a write of one.
    static bool LookupIn(const QByteArray& content, const QString& Section, const QString& Ident, QString& value);
    static QByteArray WithValue(const QByteArray& content, const QString& Section, const QString& Ident,
                                const QString& Value);

private:
    bool Lookup(const QString& Section, const QString& Ident, QString& value) const;

    QString m_fileName;
};
