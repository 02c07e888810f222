#include "sim/SimState.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QString>

#include <cstdio>

#include "common/SafeFile.h"
#include "sim/JsonFields.h"
#include "sim/SimMachine.h"

namespace sim {

namespace {

using json::Reader;

QString PasswordHex(const std::array<uint8_t, 32>& a)
{
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(a.data()), 32).toHex());
}

void ReadPassword(Reader& r, const QJsonValue& v, std::array<uint8_t, 32>& out)
{
    static const QRegularExpression re(QStringLiteral("^[0-9A-Fa-f]{64}$"));
    if (!v.isString() || !re.match(v.toString()).hasMatch()) {
        r.Fail(v, QStringLiteral("нужны 64 шестнадцатеричные цифры"));
        return;
    }
    const QByteArray b = QByteArray::fromHex(v.toString().toLatin1());
    std::copy_n(b.begin(), 32, out.begin());
}

bool ReadFlag(Reader& r, const QJsonValue& v, bool& out)
{
    const auto b = r.ReadBool(v);
    if (b)
        out = *b;
    return b.has_value();
}

// One drive's entry, over the state it has now.
void ReadDriveState(Reader& r, const QJsonValue& v, const Drive& drive, PersistentState& s)
{
    if (!v.isObject()) {
        r.Fail(v, QStringLiteral("нужен объект { ... }"));
        return;
    }
    const uint64_t maxLba = drive.NativeMaxAddress();
    const QJsonObject o = v.toObject();
    for (auto it = o.begin(); it != o.end() && !r.Failed(); ++it) {
        Reader::Scope scope(r, it.key());
        const QString& k = it.key();
        const QJsonValue& x = it.value();
        if (k == QLatin1String("smartEnabled")) {
            ReadFlag(r, x, s.smartEnabled);
        } else if (k == QLatin1String("securityEnabled")) {
            ReadFlag(r, x, s.securityEnabled);
        } else if (k == QLatin1String("levelMax")) {
            ReadFlag(r, x, s.levelMax);
        } else if (k == QLatin1String("user")) {
            ReadPassword(r, x, s.user);
        } else if (k == QLatin1String("master")) {
            ReadPassword(r, x, s.master);
        } else if (k == QLatin1String("maxAddress")) {
            if (const auto n = r.ReadUnsigned(x, 0, maxLba))
                s.maxAddress = *n;
        } else if (k == QLatin1String("softBad")) {
            if (!x.isArray()) {
                r.Fail(x, QStringLiteral("нужен список номеров секторов"));
                continue;
            }
            s.softBad.clear();
            const QJsonArray a = x.toArray();
            for (int i = 0; i < a.size() && !r.Failed(); ++i) {
                Reader::Scope item(r, QStringLiteral("[%1]").arg(i));
                if (const auto n = r.ReadUnsigned(a[i], 0, maxLba))
                    s.softBad.insert(*n);
            }
        } else {
            r.FailHere(QStringLiteral("неизвестный ключ"));
        }
    }
}

}  // namespace

std::string StateKey(uint16_t basePort, int device)
{
    return QStringLiteral("%1:%2")
        .arg(QString::number(basePort, 16).rightJustified(4, QLatin1Char('0')).toUpper(),
             QLatin1String(device ? "slave" : "master"))
        .toStdString();
}

std::string StateKey(const std::string& passThroughName) { return "pt:" + passThroughName; }

std::optional<DriveStates> ParseMachineState(const QByteArray& json, const DriveLookup& lookup, std::string* error,
                                             const NamedDriveLookup& named)
{
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &pe);
    Reader r;
    DriveStates out;
    if (pe.error != QJsonParseError::NoError) {
        r.FailHere(QStringLiteral("ошибка JSON в позиции %1: %2").arg(pe.offset).arg(pe.errorString()));
    } else if (!doc.isObject()) {
        r.FailHere(QStringLiteral("нужен объект { \"01F0:master\": { ... }, ... }, а не список или значение"));
    } else {
        static const QRegularExpression key(QStringLiteral("^([0-9A-F]{4}):(master|slave)$"));
        const QJsonObject root = doc.object();
        for (auto it = root.begin(); it != root.end() && !r.Failed(); ++it) {
            Reader::Scope scope(r, it.key());
            const QRegularExpressionMatch m = key.match(it.key());
            Drive* drive = nullptr;
            if (it.key().startsWith(QLatin1String("pt:")) && it.key().size() > 3) {
                drive = named ? named(it.key().mid(3).toStdString()) : nullptr;
            } else if (m.hasMatch()) {
                drive = lookup(uint16_t(m.captured(1).toUInt(nullptr, 16)), m.captured(2) == QLatin1String("slave"));
            } else {
                r.FailHere(QStringLiteral("неизвестный ключ: нужен порт и устройство, например \"01F0:master\", "
                                          "или диск за ядром, например \"pt:/dev/sda\""));
                continue;
            }
            if (!drive)
                continue;  // a drive the machine file no longer has
            PersistentState s = drive->State();
            ReadDriveState(r, it.value(), *drive, s);
            out.emplace_back(drive, s);
        }
    }
    if (r.Failed()) {
        if (error)
            *error = r.Error();
        return std::nullopt;
    }
    return out;
}

bool Machine::SaveStateLocked(std::string* error)
{
    if (m_stateFile.empty() || m_loadingState)
        return true;
    QJsonObject root;
    std::vector<std::pair<std::string, const Drive*>> drives;
    for (auto& c : m_channels)
        for (int d = 0; d < 2; ++d)
            if (const Drive* drv = c->DriveAt(d))
                drives.emplace_back(StateKey(c->Base(), d), drv);
    for (auto& p : m_passThrough)
        drives.emplace_back(StateKey(p->Name()), p->Model());
    {
        for (const auto& [stateKey, drv] : drives) {
            const PersistentState& s = drv->State();
            QJsonObject o;
            o["smartEnabled"] = s.smartEnabled;
            o["securityEnabled"] = s.securityEnabled;
            o["levelMax"] = s.levelMax;
            o["user"] = PasswordHex(s.user);
            o["master"] = PasswordHex(s.master);
            o["maxAddress"] = QString::number(s.maxAddress);
            QJsonArray bad;
            for (uint64_t lba : s.softBad)
                bad.append(QString::number(lba));
            o["softBad"] = bad;
            root[QString::fromStdString(stateKey)] = o;
        }
    }
    QString why;
    if (WriteFileSafely(QString::fromStdString(m_stateFile), QJsonDocument(root).toJson(), &why)) {
        m_saveFailing = false;
        return true;
    }
    if (error)
        *error = why.toStdString();
    // Said once until a save works again; the drives go on either way.
    else if (!m_saveFailing)
        std::fprintf(stderr, "voran: файл состояния %s: изменения дисков не сохранены: %s\n", m_stateFile.c_str(),
                     why.toLocal8Bit().constData());
    m_saveFailing = true;
    return false;
}

bool Machine::AttachStateFile(const std::string& stateFile, std::string* error, std::string* warning)
{
    std::lock_guard<std::mutex> l(m_mutex);
    m_stateFile = stateFile;
    QByteArray bytes;
    QString why;
    bool missing = false;
    if (!ReadFileLimited(QString::fromStdString(stateFile), kMaxStateFileBytes, bytes, &why, &missing) && !missing) {
        m_stateFile.clear();
        if (error)
            *error = QStringLiteral("не удалось прочитать: %1").arg(why).toStdString();
        return false;
    }
    if (!missing) {
        std::string bad;
        const auto states =
            ParseMachineState(
                bytes, [this](uint16_t base, int device) { return DriveAt(base, device); }, &bad,
                [this](const std::string& name) { PassThroughDrive* p = PassThroughAt(name); return p ? p->Model() : nullptr; });
        if (!states) {
            m_stateFile.clear();
            if (error)
                *error = bad;
            return false;
        }
        m_loadingState = true;
        for (const auto& [drive, s] : *states)
            drive->LoadState(s);
        m_loadingState = false;
    }
    // Written now, so that a file that cannot be written is said at once.
    std::string saveError;
    if (!SaveStateLocked(&saveError) && warning)
        *warning = "не удаётся записать (" + saveError + "), изменения дисков не будут сохраняться";
    return true;
}

}  // namespace sim
