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

// Options of the Qt toolkit that take a value; a window gets them, nothing
// else does.
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

// A sector address of the command line: decimal digits, nothing else (no
// sign, no blanks).
QString ParseLba(const QString& text, std::optional<int64_t>& out, const QString& what)
{
    bool ok = !text.isEmpty();
    for (QChar c : text)
        ok = ok && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    const qlonglong v = ok ? text.toLongLong(&ok, 10) : 0;
    if (!ok)
        return QStringLiteral("--scan: %1 \"%2\" не является номером сектора").arg(what, text);
    out = int64_t(v);
    return {};
}

// A value given as the argument after its option; one that starts with "-"
// is the next option, not a value (write --name=-value for such a value).
bool NextIsValue(const QStringList& args, int i)
{
    return i + 1 < args.size() && !args[i + 1].startsWith(QLatin1Char('-'));
}

QString MissingValue(const QString& name, const QString& valueName)
{
    return QStringLiteral("параметру %1 нужно значение (%1 %2)").arg(name, valueName);
}

QString Switch(bool& flag)
{
    flag = true;
    return {};
}

// Rules between the options, checked once all of them are read.
void CheckCombinations(CommandLineOptions& o)
{
    if (o.help || o.version)
        return;
    QStringList commands;
    for (const auto& [set, name] : {std::pair{o.identify, "--identify"}, std::pair{o.smart, "--smart"},
                                    std::pair{o.scan, "--scan"}})
        if (set)
            commands << QLatin1String(name);
    if (o.list)
        commands << QStringLiteral("--list");
    if (commands.size() > 1)
        o.errors << QStringLiteral("%1 нельзя указывать вместе").arg(commands.join(QStringLiteral(" и ")));
    if (o.ConsoleCommand() && o.channel.isEmpty() && o.device.isEmpty())
        o.errors << QStringLiteral("%1: не указан канал (--channel BASE[:CONTROL]) или диск (--device УСТРОЙСТВО)")
                        .arg(commands.first());
    if (!o.channel.isEmpty() && !o.device.isEmpty())
        o.errors << QStringLiteral("--channel и --device исключают друг друга");
    if (!o.device.isEmpty())
        for (const auto& [set, name] : {std::pair{o.slave, "--slave"}, std::pair{o.force, "--force"}})
            if (set)
                o.errors << QStringLiteral("%1 действует только вместе с --channel").arg(QLatin1String(name));
    if (!o.ConsoleCommand()) {
        for (const auto& [set, name] : {std::pair{!o.channel.isEmpty(), "--channel"},
                                        std::pair{!o.device.isEmpty(), "--device"}, std::pair{o.slave, "--slave"},
                                        std::pair{o.force, "--force"}, std::pair{!o.output.isEmpty(), "--output"}})
            if (set)
                o.errors << QStringLiteral("%1 действует только вместе с --identify, --smart или --scan")
                                .arg(QLatin1String(name));
    }
    if (!o.output.isEmpty() && o.identify && !o.scan && !o.smart)
        o.errors << QStringLiteral("--output действует только вместе с --scan или --smart");
    if (o.scanStart && o.scanEnd && *o.scanEnd <= *o.scanStart)
        o.errors << QStringLiteral("Конец диапазона не может быть меньше начала!");
}

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
        {QStringLiteral("--channel"), QStringLiteral("BASE[:CONTROL]"),
         QStringLiteral("канал без окна: порты, как их показывает окно выбора порта, например 01F0, 0170 "
                        "или CC00:C800 (к регистру управления прибавляется 2, кроме каналов 01F0 и 0170)"),
         [](CommandLineOptions& o, const QString& v) -> QString {
             if (v.isEmpty())
                 return QStringLiteral("--channel: не задан канал");
             o.channel = v;
             return {};
         }},
        {QStringLiteral("--device"), QStringLiteral("УСТРОЙСТВО"),
         QStringLiteral("диск без окна через драйвер ядра (ATA PASS-THROUGH), например /dev/sda или /dev/sg1: "
                        "настоящий диск этого компьютера (нужен доступ к устройству, см. README), а с --sim — "
                        "диск симулированной машины из её списка \"passThrough\""),
         [](CommandLineOptions& o, const QString& v) -> QString {
             if (v.isEmpty())
                 return QStringLiteral("--device: не задано устройство");
             o.device = v;
             return {};
         }},
        {QStringLiteral("--slave"), QString(), QStringLiteral("работать с ведомым устройством канала (Slave) вместо ведущего"),
         [](CommandLineOptions& o, const QString&) { return Switch(o.slave); }},
        {QStringLiteral("--identify"), QString(),
         QStringLiteral("напечатать отчёт идентификации диска на канале и выйти"),
         [](CommandLineOptions& o, const QString&) { return Switch(o.identify); }},
        {QStringLiteral("--smart"), QString(),
         QStringLiteral("напечатать таблицу атрибутов SMART диска на канале, как в отчёте окна SMART, и выйти; "
                        "отключённый SMART включается на время чтения и снова отключается"),
         [](CommandLineOptions& o, const QString&) { return Switch(o.smart); }},
        {QStringLiteral("--scan"), QStringLiteral("[START [END]]"),
         QStringLiteral("проверить поверхность секторов с START по END − 1 (по умолчанию весь диск) и напечатать "
                        "отчёт; Ctrl+C прерывает проверку, как кнопка Stop"),
         [](CommandLineOptions& o, const QString&) { return Switch(o.scan); }, 2,
         [](CommandLineOptions& o, const QString& v, int index) {
             return index == 0 ? ParseLba(v, o.scanStart, QStringLiteral("начало")) : ParseLba(v, o.scanEnd, QStringLiteral("конец"));
         }},
        {QStringLiteral("--output"), QStringLiteral("ФАЙЛ"),
         QStringLiteral("записать отчёт проверки (как его сохраняет окно) или таблицу SMART в ФАЙЛ "
                        "(Windows-1251, строки с CR LF)"),
         [](CommandLineOptions& o, const QString& v) -> QString {
             if (v.isEmpty())
                 return QStringLiteral("--output: не задано имя файла");
             o.output = v;
             return {};
         }},
        {QStringLiteral("--force"), QString(),
         QStringLiteral("с --hardware: работать с каналом, даже если его контроллер занят драйвером ядра"),
         [](CommandLineOptions& o, const QString&) { return Switch(o.force); }},
        {QStringLiteral("--list"), QString(),
         QStringLiteral("перечислить все диски, доступные в этом режиме, по одному в строке: устройства каналов IDE "
                        "и диски, которыми управляет ядро (SATA, USB), с моделью; первое поле — значение для "
                        "--channel или --device"),
         [](CommandLineOptions& o, const QString&) { return Switch(o.list); }},
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
    const OptionDef* positionalOwner = nullptr;  // the option plain arguments belong to
    int positionalTaken = 0;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (positionalOwner && positionalTaken < positionalOwner->positionals && !arg.startsWith(QLatin1Char('-'))) {
            const QString e = positionalOwner->takePositional(o, arg, positionalTaken++);
            if (!e.isEmpty())
                o.errors << e;
            continue;
        }
        positionalOwner = nullptr;
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
            if (def->positionals > 0) {
                // Its values are the plain arguments that follow.
                if (eq >= 0) {
                    o.errors << QStringLiteral("параметр %1 не принимает значения через =").arg(name);
                    continue;
                }
                positionalOwner = def;
                positionalTaken = 0;
            } else if (def->valueName.isEmpty()) {
                if (eq >= 0) {
                    o.errors << QStringLiteral("параметр %1 не принимает значения").arg(name);
                    continue;
                }
            } else if (eq >= 0) {
                value = arg.mid(eq + 1);
            } else if (NextIsValue(args, i)) {
                value = args[++i];
            } else {
                o.errors << MissingValue(name, def->valueName);
                continue;
            }
            const QString e = def->apply(o, value);
            if (!e.isEmpty())
                o.errors << e;
        } else if (kToolkitWithValue.contains(arg)) {
            if (!NextIsValue(args, i)) {
                o.errors << MissingValue(arg, QStringLiteral("ЗНАЧЕНИЕ"));
                continue;
            }
            o.toolkitArgs << arg << args[++i];
        } else if (kToolkitSwitches.contains(arg)) {
            o.toolkitArgs << arg;
        } else {
            o.errors << QStringLiteral("лишний аргумент %1").arg(arg);
        }
    }
    CheckCombinations(o);
    return o;
}

QString UsageText()
{
    QString text = QStringLiteral(
        "Использование: voran [ПАРАМЕТР]...\n"
        "Диагностика и обслуживание жёстких дисков ATA (IDE).\n"
        "Без параметров программа работает на встроенной симулированной машине.\n"
        "С --identify, --smart или --scan программа работает без окна: отчёт печатается\n"
        "в стандартный вывод (UTF-8), ход проверки — в стандартный поток ошибок.\n\n");
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
    text += QStringLiteral(
        "\nКоды завершения: 0 — всё в порядке; 1 — проверка нашла предупреждения или ошибки;\n"
        "2 — ошибка в параметрах; 3 — канал или диск не работает (нет устройства, ошибка\n"
        "идентификации, SMART не поддерживается или не читается, порт занят или нет\n"
        "доступа к портам или к устройству); 4 — отчёт не удалось записать;\n"
        "130 — проверка прервана (Ctrl+C), при этом отчёт с итогом всё равно выводится.\n"
        "\nПримеры:\n"
        "  voran --channel 0170 --identify\n"
        "  voran --channel 0170 --slave --smart\n"
        "  voran --channel 0170 --scan 0 1000000 --output отчет.txt\n"
        "  voran --hardware --channel 01F0 --slave --scan\n"
        "  voran --device /dev/sdb --smart\n"
        "  voran --hardware --list\n");
    return text;
}

QString VersionText()
{
    const std::optional<VersionRecord> v = LookupVersion();
    if (!v)
        return QStringLiteral("voran 2.0\n");
    return QStringLiteral("%1 %2\n").arg(v->productName, v->fileVersion);
}
