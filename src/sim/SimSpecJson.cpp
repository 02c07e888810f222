// Machine description files.  A file is one JSON object:
//
// { "pci": [ function, ... ], "passThrough": [ passThrough, ... ] }
//
// function: { "address": "BB:DD.F", "id": "VVVV:DDDD", "class": "CCSS",
//             "progIf": "PP", "multiFunction": bool, "bars": ["hex", ...],
//             "primary": channel, "secondary": channel }
// channel:  { "master": drive, "slave": drive, "floatingBus": "FF" or "7F" }
// drive:    the keys of kDriveFields below; every one but "model" and
//           "sectors" has a default.
// passThrough: { "name": "/dev/sda", "sense": "fixed" | "fixed-6.10" |
//           "descriptor", "bus": "sata" | "usb" | "usb-without-ata",
//           "drive": drive }: a drive the kernel owns, reached by its name.
//
// Every key is read by one row of a table (its type, its range, where it
// goes); a key no table knows, a value of the wrong type or out of range is
// refused with the place of the value in the file, never guessed at.
#include "sim/SimSpec.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QString>

#include <functional>
#include <map>

#include "common/SafeFile.h"
#include "sim/JsonFields.h"
#include "sim/SimMachine.h"

namespace sim {

namespace {

using json::kSectorLimit;
using json::Reader;

constexpr qint64 kMaxFileBytes = 4 << 20;
constexpr double kMaxMs = 1e7;  // the longest modelled time, about three hours

// ---- the table machinery -------------------------------------------------------------

template <class T>
struct Field {
    const char* key;
    std::function<void(Reader&, const QJsonValue&, T&)> read;
    bool required = false;
};

template <class T>
using Fields = std::vector<Field<T>>;

template <class T>
void ReadObject(Reader& r, const QJsonValue& v, const Fields<T>& fields, T& out)
{
    if (!v.isObject()) {
        r.Fail(v, QStringLiteral("нужен объект { ... }"));
        return;
    }
    const QJsonObject o = v.toObject();
    for (auto it = o.begin(); it != o.end() && !r.Failed(); ++it) {
        const Field<T>* f = nullptr;
        for (const Field<T>& candidate : fields)
            if (it.key() == QLatin1String(candidate.key))
                f = &candidate;
        Reader::Scope s(r, it.key());
        if (!f)
            r.FailHere(QStringLiteral("неизвестный ключ"));
        else
            f->read(r, it.value(), out);
    }
    for (const Field<T>& f : fields)
        if (f.required && !o.contains(QLatin1String(f.key)))
            r.FailHere(QStringLiteral("не задан ключ \"%1\"").arg(QLatin1String(f.key)));
}

// A list of objects, each read by the same table.
template <class T>
void ReadList(Reader& r, const QJsonValue& v, const Fields<T>& fields, std::vector<T>& out, int maxCount,
              const std::function<void(Reader&, const QJsonObject&, T&)>& after = nullptr)
{
    if (!v.isArray() || v.toArray().size() > maxCount) {
        r.Fail(v, QStringLiteral("нужен список [ ... ] не длиннее %1").arg(maxCount));
        return;
    }
    const QJsonArray a = v.toArray();
    for (int i = 0; i < a.size() && !r.Failed(); ++i) {
        Reader::Scope s(r, QStringLiteral("[%1]").arg(i));
        T item{};
        ReadObject(r, a[i], fields, item);
        if (after && !r.Failed())
            after(r, a[i].toObject(), item);
        out.push_back(item);
    }
}

template <class T, class M>
Field<T> UInt(const char* key, M T::*m, uint64_t min, uint64_t max, bool required = false)
{
    return {key, [=](Reader& r, const QJsonValue& v, T& o) {
                if (const auto n = r.ReadUnsigned(v, min, max))
                    o.*m = M(*n);
            },
            required};
}

template <class T, class M>
Field<T> HexField(const char* key, M T::*m, uint64_t max)
{
    return {key, [=](Reader& r, const QJsonValue& v, T& o) {
                if (const auto n = r.ReadHex(v, max))
                    o.*m = M(*n);
            }};
}

template <class T>
Field<T> Real(const char* key, double T::*m, double min, double max)
{
    return {key, [=](Reader& r, const QJsonValue& v, T& o) {
                if (const auto d = r.ReadReal(v, min, max))
                    o.*m = *d;
            }};
}

template <class T>
Field<T> Flag(const char* key, bool T::*m)
{
    return {key, [=](Reader& r, const QJsonValue& v, T& o) {
                if (const auto b = r.ReadBool(v))
                    o.*m = *b;
            }};
}

// Identify texts and passwords: printable ASCII, at most `maxLength`.
template <class T>
Field<T> Text(const char* key, std::string T::*m, int maxLength, bool required = false)
{
    return {key, [=](Reader& r, const QJsonValue& v, T& o) {
                const auto s = r.ReadString(v);
                if (!s)
                    return;
                bool printable = true;
                for (QChar c : *s)
                    printable = printable && c.unicode() >= 0x20 && c.unicode() < 0x7F;
                if (!printable || s->size() > maxLength || (required && s->isEmpty()))
                    r.Fail(v, QStringLiteral("нужна строка из %1 до %2 латинских букв, цифр и знаков")
                                  .arg(required ? 1 : 0)
                                  .arg(maxLength));
                else
                    o.*m = s->toStdString();
            },
            required};
}

// One of a few words.
template <class T, class M>
Field<T> Choice(const char* key, M T::*m, std::vector<std::pair<const char*, M>> words)
{
    return {key, [=](Reader& r, const QJsonValue& v, T& o) {
                QStringList names;
                for (const auto& [word, value] : words) {
                    if (v.isString() && v.toString() == QLatin1String(word)) {
                        o.*m = value;
                        return;
                    }
                    names << QStringLiteral("\"%1\"").arg(QLatin1String(word));
                }
                r.Fail(v, QStringLiteral("нужно одно из: %1").arg(names.join(QStringLiteral(", "))));
            }};
}

// ---- drives ---------------------------------------------------------------------------

const Fields<SecuritySpec> kSecurityFields = {
    Flag("supported", &SecuritySpec::supported),
    Text("password", &SecuritySpec::userPassword, 32),
    Choice<SecuritySpec, bool>("level", &SecuritySpec::levelMax, {{"high", false}, {"max", true}}),
    Text("master", &SecuritySpec::masterPassword, 32),
    Flag("enhancedErase", &SecuritySpec::enhancedErase),
    Flag("frozen", &SecuritySpec::frozen),
};

const Fields<SmartAttributeSpec> kAttributeFields = {
    UInt("id", &SmartAttributeSpec::id, 1, 255, true),
    HexField("flags", &SmartAttributeSpec::flags, 0xFFFF),
    UInt("value", &SmartAttributeSpec::value, 0, 255),
    UInt("worst", &SmartAttributeSpec::worst, 0, 255),
    {"threshold",
     [](Reader& r, const QJsonValue& v, SmartAttributeSpec& a) {
         if (v.isNull())
             a.threshold = -1;  // no threshold entry
         else if (const auto n = r.ReadUnsigned(v, 0, 255))
             a.threshold = int(*n);
     }},
    UInt("raw", &SmartAttributeSpec::raw, 0, kSectorLimit - 1),
};

const Fields<Zone> kZoneFields = {
    Real("to", &Zone::endFraction, 0, 1),
    Real("ms", &Zone::msPerBlock, 0, kMaxMs),
};

const Fields<SlowRange> kSlowFields = {
    UInt("first", &SlowRange::first, 0, kSectorLimit - 1, true),
    UInt("count", &SlowRange::count, 1, kSectorLimit),
    Real("ms", &SlowRange::extraMs, 0, kMaxMs),
};

const Fields<FailRange> kFailFields = {
    UInt("first", &FailRange::first, 0, kSectorLimit - 1, true),
    UInt("count", &FailRange::count, 1, kSectorLimit),
    HexField("error", &FailRange::error, 0xFF),
    Real("ms", &FailRange::ms, 0, kMaxMs),
};

const Fields<DriveSpec> kDriveFields = {
    Text("model", &DriveSpec::model, 40, true),
    Text("serial", &DriveSpec::serial, 20),
    Text("firmware", &DriveSpec::firmware, 8),
    UInt("sectors", &DriveSpec::sectors, 1, kSectorLimit - 1, true),
    UInt("hpaSectors", &DriveSpec::hpaSectors, 0, kSectorLimit - 1),
    Flag("lba48", &DriveSpec::lba48),
    Flag("hpa", &DriveSpec::hpaSupported),
    UInt("ataVersion", &DriveSpec::ataMajor, 1, 14),
    HexField("udma", &DriveSpec::udma, 0xFFFF),
    UInt("eraseWord", &DriveSpec::eraseWord, 0, 0xFFFF),
    UInt("enhancedEraseWord", &DriveSpec::enhancedEraseWord, 0, 0xFFFF),
    Real("eraseScale", &DriveSpec::eraseScale, 0, 1e6),
    {"aam",
     [](Reader& r, const QJsonValue& v, DriveSpec& d) {
         // A number is the current value, false switches the feature off.
         if (v.isBool()) {
             d.aamSupported = v.toBool();
         } else if (v.isDouble()) {
             if (const auto n = r.ReadUnsigned(v, 0, 255)) {
                 d.aamSupported = true;
                 d.aamValue = uint8_t(*n);
             }
         } else {
             r.Fail(v, QStringLiteral("нужно число от 0 до 255 или false"));
         }
     }},
    Flag("apm", &DriveSpec::apmSupported),
    Choice<DriveSpec, SmartMode>("smart", &DriveSpec::smart,
                                 {{"on", SmartMode::On}, {"off", SmartMode::Off}, {"none", SmartMode::Unsupported}}),
    {"security",
     [](Reader& r, const QJsonValue& v, DriveSpec& d) {
         if (v.isBool())
             d.security.supported = v.toBool();
         else if (v.isObject())
             ReadObject(r, v, kSecurityFields, d.security);
         else
             r.Fail(v, QStringLiteral("нужно false, true или объект { \"password\", \"level\", ... }"));
     }},
    {"attributes",
     [](Reader& r, const QJsonValue& v, DriveSpec& d) {
         // The SMART data structure has room for 30 attributes.
         ReadList<SmartAttributeSpec>(r, v, kAttributeFields, d.attributes, 30,
                                      [](Reader&, const QJsonObject& o, SmartAttributeSpec& a) {
                                          if (!o.contains(QLatin1String("worst")))
                                              a.worst = a.value;
                                      });
     }},
    Real("temperature", &DriveSpec::temperature, -20, 120),
    Real("timeScale", &DriveSpec::timeScale, 0, 1e6),
    {"zones", [](Reader& r, const QJsonValue& v, DriveSpec& d) { ReadList(r, v, kZoneFields, d.zones, 64); }},
    Real("trackToTrackMs", &DriveSpec::trackToTrackMs, 0, kMaxMs),
    Real("fullStrokeMs", &DriveSpec::fullStrokeMs, 0, kMaxMs),
    Real("rpm", &DriveSpec::rpm, 1, 1e6),
    Real("identifyMs", &DriveSpec::identifyMs, 0, kMaxMs),
    Real("statusLatencyNs", &DriveSpec::statusLatencyNs, 0, 1e6),
    UInt("eccBytes", &DriveSpec::eccBytes, 0, 64),
    UInt("eccBytesReported", &DriveSpec::eccBytesReported, 0, 0xFFFF),
    {"slow", [](Reader& r, const QJsonValue& v, DriveSpec& d) { ReadList(r, v, kSlowFields, d.slow, 100000); }},
    {"failing",
     [](Reader& r, const QJsonValue& v, DriveSpec& d) { ReadList(r, v, kFailFields, d.failing, 100000); }},
    {"softBad",
     [](Reader& r, const QJsonValue& v, DriveSpec& d) {
         if (!v.isArray()) {
             r.Fail(v, QStringLiteral("нужен список номеров секторов"));
             return;
         }
         const QJsonArray a = v.toArray();
         for (int i = 0; i < a.size() && !r.Failed(); ++i) {
             Reader::Scope s(r, QStringLiteral("[%1]").arg(i));
             if (const auto n = r.ReadUnsigned(a[i], 0, kSectorLimit - 1))
                 d.softBad.push_back(*n);
         }
     }},
};

DriveSpec DefaultDrive()
{
    DriveSpec d;
    d.serial = "SIM0000001";
    d.firmware = "1.00";
    return d;
}

void ReadDrive(Reader& r, const QJsonValue& v, std::optional<DriveSpec>& out)
{
    if (v.isNull())
        return;  // no drive there
    DriveSpec d = DefaultDrive();
    ReadObject(r, v, kDriveFields, d);
    if (r.Failed())
        return;
    if (d.hpaSectors > d.sectors) {
        Reader::Scope s(r, QStringLiteral("hpaSectors"));
        r.Fail(v.toObject().value(QLatin1String("hpaSectors")),
               QStringLiteral("больше ёмкости диска (\"sectors\": %1)").arg(d.sectors));
    }
    for (uint64_t lba : d.softBad)
        if (lba >= d.sectors) {
            Reader::Scope s(r, QStringLiteral("softBad"));
            r.FailHere(QStringLiteral("сектор %1 за пределами диска (\"sectors\": %2)").arg(lba).arg(d.sectors));
        }
    out = d;
}

// ---- PCI functions --------------------------------------------------------------------

std::optional<uint64_t> HexPart(const QString& text, int maxDigits)
{
    QString why;
    if (text.isEmpty() || text.size() > maxDigits)
        return std::nullopt;
    return json::Hex(QJsonValue(text), 0xFFFFFFFF, &why);
}

const Fields<ChannelSpec> kChannelFields = {
    {"master", [](Reader& r, const QJsonValue& v, ChannelSpec& c) { ReadDrive(r, v, c.master); }},
    {"slave", [](Reader& r, const QJsonValue& v, ChannelSpec& c) { ReadDrive(r, v, c.slave); }},
    HexField("floatingBus", &ChannelSpec::floatingBus, 0xFF),
};

const Fields<PciFunctionSpec> kFunctionFields = {
    {"address",
     [](Reader& r, const QJsonValue& v, PciFunctionSpec& f) {
         static const QRegularExpression re(QStringLiteral("^([0-9A-Fa-f]{1,2}):([0-9A-Fa-f]{1,2})\\.([0-7])$"));
         const QRegularExpressionMatch m = re.match(v.toString());
         std::optional<uint64_t> device;
         if (m.hasMatch())
             device = HexPart(m.captured(2), 2);
         if (!v.isString() || !device || *device > 31) {
             r.Fail(v, QStringLiteral("нужен адрес \"BB:DD.F\": шина 00-FF, устройство 00-1F, функция 0-7"));
             return;
         }
         f.bus = uint8_t(*HexPart(m.captured(1), 2));
         f.device = uint8_t(*device);
         f.function = uint8_t(m.captured(3).toUInt());
     },
     true},
    {"id",
     [](Reader& r, const QJsonValue& v, PciFunctionSpec& f) {
         const QStringList parts = v.toString().split(QLatin1Char(':'));
         const auto vendor = parts.size() == 2 ? HexPart(parts[0], 4) : std::nullopt;
         const auto device = parts.size() == 2 ? HexPart(parts[1], 4) : std::nullopt;
         if (!v.isString() || !vendor || !device) {
             r.Fail(v, QStringLiteral("нужно \"VVVV:DDDD\": код производителя и код устройства, шестнадцатеричные"));
             return;
         }
         f.vendorId = uint16_t(*vendor);
         f.deviceId = uint16_t(*device);
     },
     true},
    {"class",
     [](Reader& r, const QJsonValue& v, PciFunctionSpec& f) {
         const auto cls = v.isString() && v.toString().size() == 4 ? HexPart(v.toString(), 4) : std::nullopt;
         if (!cls) {
             r.Fail(v, QStringLiteral("нужны четыре шестнадцатеричные цифры: класс и подкласс, например \"0101\""));
             return;
         }
         f.classCode = uint8_t(*cls >> 8);
         f.subclass = uint8_t(*cls);
     },
     true},
    HexField("progIf", &PciFunctionSpec::progIf, 0xFF),
    Flag("multiFunction", &PciFunctionSpec::multiFunction),
    {"bars",
     [](Reader& r, const QJsonValue& v, PciFunctionSpec& f) {
         if (!v.isArray() || v.toArray().size() > 6) {
             r.Fail(v, QStringLiteral("нужен список не длиннее шести шестнадцатеричных строк"));
             return;
         }
         const QJsonArray a = v.toArray();
         for (int i = 0; i < a.size() && !r.Failed(); ++i) {
             Reader::Scope s(r, QStringLiteral("[%1]").arg(i));
             if (a[i].isString() && a[i].toString().isEmpty())
                 continue;  // an unused BAR
             const auto bar = r.ReadHex(a[i], 0xFFFFFFFF);
             if (bar && (*bar & 1) && *bar > 0xFFFF)
                 r.Fail(a[i], QStringLiteral("порт ввода-вывода (BAR с битом 0) не может быть выше FFFF"));
             else if (bar)
                 f.bars[size_t(i)] = uint32_t(*bar);
         }
     }},
    {"primary", [](Reader& r, const QJsonValue& v, PciFunctionSpec& f) { ReadObject(r, v, kChannelFields, f.channels[0]); }},
    {"secondary",
     [](Reader& r, const QJsonValue& v, PciFunctionSpec& f) { ReadObject(r, v, kChannelFields, f.channels[1]); }},
};

const Fields<PassThroughSpec> kPassThroughFields = {
    // A path, like the kernel's nodes: never taken for a port text.
    {"name",
     [](Reader& r, const QJsonValue& v, PassThroughSpec& p) {
         Text("name", &PassThroughSpec::name, 64, true).read(r, v, p);
         if (!r.Failed() && (p.name.size() < 2 || p.name[0] != '/' || p.name.find(' ') != std::string::npos))
             r.Fail(v, QStringLiteral("нужен путь устройства без пробелов, например \"/dev/sda\""));
     },
     true},
    Choice<PassThroughSpec, SenseLayout>("sense", &PassThroughSpec::sense,
                                         {{"fixed", SenseLayout::Fixed},
                                          {"fixed-6.10", SenseLayout::Fixed610},
                                          {"descriptor", SenseLayout::Descriptor}}),
    Choice<PassThroughSpec, PassThroughBus>("bus", &PassThroughSpec::bus,
                                            {{"sata", PassThroughBus::Sata},
                                             {"usb", PassThroughBus::Usb},
                                             {"usb-without-ata", PassThroughBus::UsbWithoutAta}}),
    {"drive",
     [](Reader& r, const QJsonValue& v, PassThroughSpec& p) {
         std::optional<DriveSpec> d;
         ReadDrive(r, v, d);
         if (d)
             p.drive = *d;
         else if (!r.Failed())
             r.Fail(v, QStringLiteral("нужен объект диска { \"model\", \"sectors\", ... }"));
     },
     true},
};

const Fields<MachineSpec> kMachineFields = {
    {"pci",
     [](Reader& r, const QJsonValue& v, MachineSpec& m) { ReadList(r, v, kFunctionFields, m.functions, 256); },
     true},
    {"passThrough",
     [](Reader& r, const QJsonValue& v, MachineSpec& m) {
         ReadList<PassThroughSpec>(r, v, kPassThroughFields, m.passThrough, 64,
                                   [&m](Reader& r, const QJsonObject&, PassThroughSpec& p) {
                                       for (const PassThroughSpec& other : m.passThrough)
                                           if (other.name == p.name)
                                               r.FailHere(QStringLiteral("имя \"%1\" уже занято другим диском")
                                                              .arg(QString::fromStdString(p.name)));
                                   });
     }},
};

// ---- the machine as a whole -------------------------------------------------------------

QString AddressText(const PciFunctionSpec& f)
{
    return QStringLiteral("%1:%2.%3")
        .arg(f.bus, 2, 16, QLatin1Char('0'))
        .arg(f.device, 2, 16, QLatin1Char('0'))
        .arg(f.function)
        .toUpper();
}

const char* const kChannelNames[2] = {"primary", "secondary"};

bool HasDrives(const ChannelSpec& c) { return c.master || c.slave; }

// What the machine would do wrong or not at all: refused or warned about.
void CheckMachine(Reader& r, const MachineSpec& m)
{
    std::map<QString, size_t> addresses;
    struct PortUse {
        uint32_t first, last;
        QString owner;
    };
    std::vector<PortUse> ports = {{0xCF8, 0xCFF, QStringLiteral("конфигурации PCI (0CF8-0CFF)")}};
    for (size_t i = 0; i < m.functions.size() && !r.Failed(); ++i) {
        const PciFunctionSpec& f = m.functions[i];
        const QString place = QStringLiteral("pci[%1]").arg(i);
        const QString address = AddressText(f);
        Reader::Scope s(r, place);
        const auto [known, added] = addresses.emplace(address, i);
        if (!added) {
            r.FailHere(QStringLiteral("адрес %1 уже занят функцией pci[%2]").arg(address).arg(known->second));
            return;
        }
        if (f.classCode != 0x01) {
            if (HasDrives(f.channels[0]) || HasDrives(f.channels[1]))
                r.Warn(QStringLiteral("%1 (%2): диски этой функции не видны: это не контроллер накопителей "
                                      "(класс 01)").arg(place, address));
            continue;
        }
        const auto channelPorts = ChannelPorts(f);
        for (int ch = 0; ch < 2; ++ch) {
            const auto [base, alt] = channelPorts[size_t(ch)];
            const QString name = place + QLatin1Char('.') + QLatin1String(kChannelNames[ch]);
            if (!base) {
                if (HasDrives(f.channels[ch]))
                    r.Warn(QStringLiteral("%1 (%2): у канала нет портов (BAR), его диски не видны").arg(name, address));
                continue;
            }
            const PortUse uses[] = {{base, uint32_t(base) + 7, QStringLiteral("канала ") + name},
                                    {alt, alt, QStringLiteral("канала ") + name}};
            for (const PortUse& u : uses) {
                if (u.last > 0xFFFF) {
                    r.FailHere(QStringLiteral("порты канала %1 выходят за FFFF").arg(QLatin1String(kChannelNames[ch])));
                    return;
                }
                for (const PortUse& other : ports)
                    if (u.first <= other.last && other.first <= u.last) {
                        r.FailHere(QStringLiteral("порт %1 канала %2 занят портами %3")
                                       .arg(QString::number(u.first, 16).rightJustified(4, QLatin1Char('0')).toUpper(),
                                            QLatin1String(kChannelNames[ch]), other.owner));
                        return;
                    }
            }
            ports.insert(ports.end(), std::begin(uses), std::end(uses));
        }
    }
    // The PCI scan looks at functions 1-7 of a device only when function 0
    // is there and says it has more.
    for (const PciFunctionSpec& f : m.functions) {
        if (f.function == 0)
            continue;
        const PciFunctionSpec* zero = nullptr;
        for (const PciFunctionSpec& g : m.functions)
            if (g.bus == f.bus && g.device == f.device && g.function == 0)
                zero = &g;
        PciFunctionSpec z = f;
        z.function = 0;
        if (!zero)
            r.Warn(QStringLiteral("функция %1 не будет найдена при поиске PCI: у устройства нет функции 0 "
                                  "(добавьте функцию \"%2\" с \"multiFunction\": true)")
                       .arg(AddressText(f), AddressText(z)));
        else if (!zero->multiFunction)
            r.Warn(QStringLiteral("функция %1 не будет найдена при поиске PCI: у функции %2 не задано "
                                  "\"multiFunction\": true")
                       .arg(AddressText(f), AddressText(z)));
    }
}

QString JsonErrorPlace(const std::string& json, int offset)
{
    int line = 1, column = 1;
    for (int i = 0; i < offset && i < int(json.size()); ++i) {
        if (json[size_t(i)] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return QStringLiteral("строка %1, столбец %2").arg(line).arg(column);
}

}  // namespace

std::optional<MachineSpec> ParseMachineSpec(const std::string& json, std::string* error,
                                            std::vector<std::string>* warnings)
{
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(json), &pe);
    if (pe.error != QJsonParseError::NoError) {
        if (error)
            *error = QStringLiteral("ошибка JSON (%1): %2")
                         .arg(JsonErrorPlace(json, pe.offset), pe.errorString())
                         .toStdString();
        return std::nullopt;
    }
    Reader r;
    MachineSpec m;
    if (!doc.isObject())
        r.FailHere(QStringLiteral("описание машины должно быть объектом { \"pci\": [ ... ] }"));
    else
        ReadObject(r, doc.object(), kMachineFields, m);
    if (!r.Failed())
        CheckMachine(r, m);
    if (warnings)
        *warnings = r.Warnings();
    if (r.Failed()) {
        if (error)
            *error = r.Error();
        return std::nullopt;
    }
    return m;
}

std::optional<MachineSpec> LoadMachineSpec(const std::string& fileName, std::string* error,
                                           std::vector<std::string>* warnings)
{
    QByteArray bytes;
    QString why;
    if (!ReadFileLimited(QString::fromStdString(fileName), kMaxFileBytes, bytes, &why)) {
        if (error)
            *error = QStringLiteral("не удалось прочитать: %1").arg(why).toStdString();
        return std::nullopt;
    }
    return ParseMachineSpec(bytes.toStdString(), error, warnings);
}

}  // namespace sim
