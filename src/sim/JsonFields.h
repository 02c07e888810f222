#pragma once
// Strict reading of the values of the machine file and the .state file.
// Every rule refuses what it cannot read exactly instead of guessing, and
// says why in a sentence for the user.
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim::json {

// The largest sector count identify words 100-103 (and a 48-bit address)
// can express is below 2^48.
constexpr uint64_t kSectorLimit = 1ULL << 48;

// A non-negative integer: a JSON number without a fraction, or a string of
// decimal digits (no leading zero, no sign, no blanks) or "0x" and
// hexadecimal digits.  Checked against [min, max] before anything is cast.
std::optional<uint64_t> Unsigned(const QJsonValue& v, uint64_t min, uint64_t max, QString* why);

// A string of 1 to 16 hexadecimal digits, with or without "0x", at most
// `max`.  Numbers are refused: "error": 40 would be ambiguous.
std::optional<uint64_t> Hex(const QJsonValue& v, uint64_t max, QString* why);

// The value as the file writes it, shortened for a message.
QString ValueText(const QJsonValue& v);

// Collects the first error and every warning, with the place of the value
// in the file ("pci[0].primary.master.sectors").
class Reader {
public:
    // Enters a key or an index for the messages of what is read inside.
    class Scope {
    public:
        Scope(Reader& r, const QString& part) : m_r(r) { r.m_path << part; }
        ~Scope() { m_r.m_path.removeLast(); }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        Reader& m_r;
    };

    QString Path() const;
    // "<path> = <value>: <why>"; only the first error is kept.
    void Fail(const QJsonValue& v, const QString& why);
    // "<path>: <why>", for a value that is not at fault by itself.
    void FailHere(const QString& why);
    void Warn(const QString& text) { m_warnings.push_back(text.toStdString()); }
    bool Failed() const { return !m_error.empty(); }
    const std::string& Error() const { return m_error; }
    const std::vector<std::string>& Warnings() const { return m_warnings; }

    // Helpers that read one value and report a failure in place.
    std::optional<uint64_t> ReadUnsigned(const QJsonValue& v, uint64_t min, uint64_t max);
    std::optional<uint64_t> ReadHex(const QJsonValue& v, uint64_t max);
    std::optional<double> ReadReal(const QJsonValue& v, double min, double max);
    std::optional<bool> ReadBool(const QJsonValue& v);
    std::optional<QString> ReadString(const QJsonValue& v);

private:
    QStringList m_path;
    std::string m_error;
    std::vector<std::string> m_warnings;
};

}  // namespace sim::json
