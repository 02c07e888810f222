// Machine description files.  A file is one JSON object:
//
// { "pci": [ function, ... ] }
//
// function: { "address": "BB:DD.F", "id": "VVVV:DDDD", "class": "CCSS",
//             "progIf": "PP", "multiFunction": bool, "bars": ["hex", ...],
//             "primary": channel, "secondary": channel }
// channel:  { "master": drive, "slave": drive, "floatingBus": "FF" or "7F" }
// drive:    see ParseDrive below; every field but "model" and "sectors" has
//           a default.
#include "sim/SimSpec.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QString>

#include <algorithm>

namespace sim {

namespace {

struct Reader {
    std::string error;
    QString where;

    void Fail(const QString& what)
    {
        if (error.empty())
            error = (where.isEmpty() ? what : where + ": " + what).toStdString();
    }

    uint64_t Number(const QJsonObject& o, const char* key, uint64_t def)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined() || v.isNull())
            return def;
        if (v.isDouble() && v.toDouble() >= 0)
            return uint64_t(v.toDouble());
        if (v.isString()) {
            bool ok = false;
            const uint64_t n = v.toString().toULongLong(&ok, 0);
            if (ok)
                return n;
        }
        Fail(QStringLiteral("\"%1\" is not a number").arg(QLatin1String(key)));
        return def;
    }

    double Real(const QJsonObject& o, const char* key, double def)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined() || v.isNull())
            return def;
        if (v.isDouble())
            return v.toDouble();
        Fail(QStringLiteral("\"%1\" is not a number").arg(QLatin1String(key)));
        return def;
    }

    uint32_t Hex(const QJsonObject& o, const char* key, uint32_t def)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined() || v.isNull())
            return def;
        if (v.isDouble())
            return uint32_t(v.toDouble());
        bool ok = false;
        const uint32_t n = v.toString().toUInt(&ok, 16);
        if (!ok)
            Fail(QStringLiteral("\"%1\" is not hexadecimal").arg(QLatin1String(key)));
        return ok ? n : def;
    }

    bool Bool(const QJsonObject& o, const char* key, bool def)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined() || v.isNull())
            return def;
        if (!v.isBool())
            Fail(QStringLiteral("\"%1\" must be true or false").arg(QLatin1String(key)));
        return v.toBool(def);
    }

    std::string Text(const QJsonObject& o, const char* key, const std::string& def)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined() || v.isNull())
            return def;
        return v.toString().toStdString();
    }

    DriveSpec ParseDrive(const QJsonObject& o)
    {
        DriveSpec d;
        d.model = Text(o, "model", "");
        if (d.model.empty())
            Fail(QStringLiteral("a drive needs a \"model\""));
        d.serial = Text(o, "serial", "SIM0000001");
        d.firmware = Text(o, "firmware", "1.00");
        d.sectors = Number(o, "sectors", 0);
        if (d.sectors == 0)
            Fail(QStringLiteral("a drive needs \"sectors\""));
        d.hpaSectors = Number(o, "hpaSectors", 0);
        d.lba48 = Bool(o, "lba48", true);
        d.hpaSupported = Bool(o, "hpa", true);
        d.ataMajor = int(Number(o, "ataVersion", 7));
        d.udma = uint16_t(Hex(o, "udma", 0x203F));
        d.eraseWord = uint16_t(Number(o, "eraseWord", 30));
        d.enhancedEraseWord = uint16_t(Number(o, "enhancedEraseWord", 35));
        d.eraseScale = Real(o, "eraseScale", 1.0);
        // "aam": a number is the current value, false switches the feature off.
        if (o.contains("aam")) {
            const QJsonValue aam = o.value("aam");
            d.aamSupported = aam.isDouble() || (aam.isBool() && aam.toBool());
            if (aam.isDouble())
                d.aamValue = uint8_t(aam.toDouble());
        }
        d.apmSupported = Bool(o, "apm", true);
        const std::string smart = Text(o, "smart", "on");
        if (smart == "on")
            d.smart = SmartMode::On;
        else if (smart == "off")
            d.smart = SmartMode::Off;
        else if (smart == "none")
            d.smart = SmartMode::Unsupported;
        else
            Fail(QStringLiteral("\"smart\" is \"on\", \"off\" or \"none\""));
        const QJsonValue sec = o.value("security");
        if (sec.isBool()) {
            d.security.supported = sec.toBool();
        } else if (sec.isObject()) {
            const QJsonObject s = sec.toObject();
            d.security.supported = Bool(s, "supported", true);
            d.security.userPassword = Text(s, "password", "");
            const std::string level = Text(s, "level", "high");
            if (level != "high" && level != "max")
                Fail(QStringLiteral("security \"level\" is \"high\" or \"max\""));
            d.security.levelMax = level == "max";
            d.security.masterPassword = Text(s, "master", "");
            d.security.enhancedErase = Bool(s, "enhancedErase", true);
            d.security.frozen = Bool(s, "frozen", false);
        }
        for (const QJsonValue& a : o.value("attributes").toArray()) {
            const QJsonObject ao = a.toObject();
            SmartAttributeSpec s;
            s.id = uint8_t(Number(ao, "id", 0));
            s.flags = uint16_t(Hex(ao, "flags", 0x0033));
            s.value = uint8_t(Number(ao, "value", 100));
            s.worst = uint8_t(Number(ao, "worst", s.value));
            s.threshold = ao.contains("threshold") && ao.value("threshold").isNull() ? -1
                                                                                       : int(Number(ao, "threshold", 0));
            s.raw = Number(ao, "raw", 0);
            d.attributes.push_back(s);
        }
        d.temperature = Real(o, "temperature", 36);
        d.timeScale = Real(o, "timeScale", 1.0);
        for (const QJsonValue& z : o.value("zones").toArray()) {
            const QJsonObject zo = z.toObject();
            d.zones.push_back(Zone{Real(zo, "to", 1.0), Real(zo, "ms", 1.0)});
        }
        d.trackToTrackMs = Real(o, "trackToTrackMs", 1.0);
        d.fullStrokeMs = Real(o, "fullStrokeMs", 18.0);
        d.rpm = Real(o, "rpm", 7200);
        d.identifyMs = Real(o, "identifyMs", 2.0);
        for (const QJsonValue& s : o.value("slow").toArray()) {
            const QJsonObject so = s.toObject();
            d.slow.push_back(SlowRange{Number(so, "first", 0), Number(so, "count", 1), Real(so, "ms", 0)});
        }
        for (const QJsonValue& f : o.value("failing").toArray()) {
            const QJsonObject fo = f.toObject();
            d.failing.push_back(FailRange{Number(fo, "first", 0), Number(fo, "count", 1),
                                          uint8_t(Hex(fo, "error", 0x40)), Real(fo, "ms", 50)});
        }
        for (const QJsonValue& b : o.value("softBad").toArray())
            d.softBad.push_back(b.isString() ? b.toString().toULongLong() : uint64_t(b.toDouble()));

        // Protocol behaviour: status latency in ns, WRITE LONG's ECC bytes
        // and what identify word 22 says of them.
        d.statusLatencyNs = Real(o, "statusLatencyNs", 0);
        if (d.statusLatencyNs < 0 || d.statusLatencyNs > 1e6)
            Fail(QStringLiteral("\"statusLatencyNs\" is 0 to 1000000"));
        d.eccBytes = uint16_t(std::min<uint64_t>(Number(o, "eccBytes", 4), 0xFFFF));
        if (d.eccBytes > 64)
            Fail(QStringLiteral("\"eccBytes\" is 0 to 64"));
        if (o.contains("eccBytesReported"))
            d.eccBytesReported = int(std::min<uint64_t>(Number(o, "eccBytesReported", 0), 0xFFFF));
        return d;
    }

    ChannelSpec ParseChannel(const QJsonObject& o)
    {
        ChannelSpec c;
        // What the bus reads with no device driving it: "FF" or "7F".
        c.floatingBus = uint8_t(Hex(o, "floatingBus", 0xFF));
        if (o.value("master").isObject()) {
            where += QStringLiteral(" master");
            c.master = ParseDrive(o.value("master").toObject());
        }
        if (o.value("slave").isObject()) {
            where += QStringLiteral(" slave");
            c.slave = ParseDrive(o.value("slave").toObject());
        }
        return c;
    }

    PciFunctionSpec ParseFunction(const QJsonObject& o)
    {
        PciFunctionSpec f;
        const QString addr = o.value("address").toString();
        where = addr;
        const QStringList a = addr.split(QRegularExpression(QStringLiteral("[:.]")));
        bool ok1 = false, ok2 = false, ok3 = false;
        if (a.size() == 3) {
            f.bus = uint8_t(a[0].toUInt(&ok1, 16));
            f.device = uint8_t(a[1].toUInt(&ok2, 16));
            f.function = uint8_t(a[2].toUInt(&ok3, 16));
        }
        if (!(ok1 && ok2 && ok3) || f.device > 31 || f.function > 7)
            Fail(QStringLiteral("\"address\" must read BB:DD.F"));
        const QStringList id = o.value("id").toString().split(QLatin1Char(':'));
        if (id.size() == 2) {
            f.vendorId = uint16_t(id[0].toUInt(nullptr, 16));
            f.deviceId = uint16_t(id[1].toUInt(nullptr, 16));
        } else {
            Fail(QStringLiteral("\"id\" must read VVVV:DDDD"));
        }
        const uint32_t cls = Hex(o, "class", 0);
        f.classCode = uint8_t(cls >> 8);
        f.subclass = uint8_t(cls);
        f.progIf = uint8_t(Hex(o, "progIf", 0));
        f.multiFunction = Bool(o, "multiFunction", false);
        const QJsonArray bars = o.value("bars").toArray();
        for (int i = 0; i < 6 && i < bars.size(); ++i)
            f.bars[i] = bars[i].toString().isEmpty() ? 0 : bars[i].toString().toUInt(nullptr, 16);
        const QString base = where;
        where = base + QStringLiteral(" primary");
        f.channels[0] = ParseChannel(o.value("primary").toObject());
        where = base + QStringLiteral(" secondary");
        f.channels[1] = ParseChannel(o.value("secondary").toObject());
        where.clear();
        return f;
    }
};

}  // namespace

std::optional<MachineSpec> ParseMachineSpec(const std::string& json, std::string* error)
{
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(json), &pe);
    if (pe.error != QJsonParseError::NoError) {
        if (error)
            *error = "JSON: " + pe.errorString().toStdString() + " at offset " + std::to_string(pe.offset);
        return std::nullopt;
    }
    if (!doc.isObject() || !doc.object().value("pci").isArray()) {
        if (error)
            *error = "the description needs a \"pci\" list";
        return std::nullopt;
    }
    Reader r;
    MachineSpec m;
    for (const QJsonValue& f : doc.object().value("pci").toArray())
        m.functions.push_back(r.ParseFunction(f.toObject()));
    if (!r.error.empty()) {
        if (error)
            *error = r.error;
        return std::nullopt;
    }
    return m;
}

std::optional<MachineSpec> LoadMachineSpec(const std::string& fileName, std::string* error)
{
    QFile f(QString::fromStdString(fileName));
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = "cannot read " + fileName + ": " + f.errorString().toStdString();
        return std::nullopt;
    }
    std::string err;
    auto spec = ParseMachineSpec(f.readAll().toStdString(), &err);
    if (!spec && error)
        *error = fileName + ": " + err;
    return spec;
}

}  // namespace sim
