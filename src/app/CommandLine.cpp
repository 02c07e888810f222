#include "app/CommandLine.h"

#include "common/Version.h"

namespace {

QString SetMachine(CommandLineOptions& o, MachineChoice m, const QString& name)
{
    if (o.machine != MachineChoice::DefaultSimulated)
        return QStringLiteral("%1: машина уже выбрана (--sim и --hardware исключают друг друга)").arg(name);
    o.machine = m;
    return {};
}

// Options of the Qt toolkit that take a value; they are passed on untouched.
const QStringList kToolkitWithValue = {
    QStringLiteral("-platform"),  QStringLiteral("-platformpluginpath"), QStringLiteral("-platformtheme"),
    QStringLiteral("-plugin"),    QStringLiteral("-qwindowgeometry"),    QStringLiteral("-qwindowicon"),
    QStringLiteral("-qwindowtitle"), QStringLiteral("-style"),           QStringLiteral("-stylesheet"),
    QStringLiteral("-display"),   QStringLiteral("-geometry"),           QStringLiteral("-title"),
    QStringLiteral("-session"),   QStringLiteral("-name"),
};
const QStringList kToolkitSwitches = {
    QStringLiteral("-reverse"), QStringLiteral("-nograb"), QStringLiteral("-dograb"), QStringLiteral("-sync"),
    QStringLiteral("-widgetcount"),
};

}  // namespace

const std::vector<OptionDef>& CommandLineOptionTable()
{
    static const std::vector<OptionDef> table = {
        {QStringLiteral("--sim"), QStringLiteral("ФАЙЛ"),
         QStringLiteral("работать на симулированной машине, описанной в ФАЙЛе; изменения, "
                        "сделанные на её дисках, сохраняются в ФАЙЛ.state"),
         [](CommandLineOptions& o, const QString& v) -> QString {
             if (v.isEmpty())
                 return QStringLiteral("--sim: не задано имя файла машины");
             const QString e = SetMachine(o, MachineChoice::SimulatedFile, QStringLiteral("--sim"));
             if (e.isEmpty())
                 o.simFile = v;
             return e;
         }},
        {QStringLiteral("--hardware"), QString(),
         QStringLiteral("работать с настоящими портами ввода-вывода этого компьютера (нужны права root или CAP_SYS_RAWIO)"),
         [](CommandLineOptions& o, const QString&) {
             return SetMachine(o, MachineChoice::Hardware, QStringLiteral("--hardware"));
         }},
        {QStringLiteral("--help"), QString(), QStringLiteral("показать эту справку и выйти"),
         [](CommandLineOptions& o, const QString&) {
             o.help = true;
             return QString();
         }},
        {QStringLiteral("--version"), QString(), QStringLiteral("показать версию программы и выйти"),
         [](CommandLineOptions& o, const QString&) {
             o.version = true;
             return QString();
         }},
    };
    return table;
}

CommandLineOptions ParseCommandLine(const QStringList& args)
{
    CommandLineOptions o;
    const std::vector<OptionDef>& table = CommandLineOptionTable();
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg.startsWith(QLatin1String("--"))) {
            const int eq = arg.indexOf(QLatin1Char('='));
            const QString name = eq < 0 ? arg : arg.left(eq);
            const OptionDef* def = nullptr;
            for (const OptionDef& d : table)
                if (d.name == name)
                    def = &d;
            if (!def) {
                o.errors << QStringLiteral("неизвестный параметр %1").arg(name);
                continue;
            }
            QString value;
            if (def->valueName.isEmpty()) {
                if (eq >= 0) {
                    o.errors << QStringLiteral("параметр %1 не принимает значения").arg(name);
                    continue;
                }
            } else if (eq >= 0) {
                value = arg.mid(eq + 1);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                o.errors << QStringLiteral("параметру %1 нужно значение (%1 %2)").arg(name, def->valueName);
                continue;
            }
            const QString e = def->apply(o, value);
            if (!e.isEmpty())
                o.errors << e;
        } else if (kToolkitWithValue.contains(arg)) {
            o.toolkitArgs << arg;
            if (i + 1 < args.size())
                o.toolkitArgs << args[++i];
        } else if (kToolkitSwitches.contains(arg)) {
            o.toolkitArgs << arg;
        } else {
            o.errors << QStringLiteral("лишний аргумент %1").arg(arg);
        }
    }
    return o;
}

QString UsageText()
{
    QString text = QStringLiteral(
        "Использование: voran [ПАРАМЕТР]...\n"
        "Диагностика и обслуживание жёстких дисков ATA (IDE).\n"
        "Без параметров программа работает на встроенной симулированной машине.\n\n");
    int width = 0;
    auto left = [](const OptionDef& d) { return d.valueName.isEmpty() ? d.name : d.name + QLatin1Char(' ') + d.valueName; };
    for (const OptionDef& d : CommandLineOptionTable())
        width = std::max(width, int(left(d).size()));
    // Help texts are wrapped at 79 columns under their own column.
    const int indent = width + 4;
    for (const OptionDef& d : CommandLineOptionTable()) {
        QString line = QStringLiteral("  ") + left(d).leftJustified(width) + QStringLiteral("  ");
        int column = indent;
        for (const QString& word : d.help.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            if (column > indent && column + 1 + word.size() > 79) {
                line += QLatin1Char('\n') + QString(indent, QLatin1Char(' '));
                column = indent;
            } else if (column > indent) {
                line += QLatin1Char(' ');
                ++column;
            }
            line += word;
            column += int(word.size());
        }
        text += line + QLatin1Char('\n');
    }
    return text;
}

QString VersionText()
{
    const std::optional<VersionRecord> v = LookupVersion();
    if (!v)
        return QStringLiteral("voran 2.0\n");
    return QStringLiteral("%1 %2\n").arg(v->productName, v->fileVersion);
}
