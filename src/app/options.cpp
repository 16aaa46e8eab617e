#include "app/options.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <algorithm>
#include <span>

namespace zef {

namespace {

// One row per option. `apply` takes one occurrence and its value (empty for a flag) and
// answers an error text, or an empty one when the value is fine.
struct OptionRow {
    const char* name;
    const char* valueName; // nullptr: a flag without a value
    const char* description;
    QString (*apply)(AppOptions& options, const QString& value);
};

// A new option of either kind is one row below with one of these.
template <bool AppOptions::*member> QString setFlag(AppOptions& o, const QString&) {
    o.*member = true;
    return {};
}

template <std::optional<QString> AppOptions::*member>
QString setText(AppOptions& o, const QString& value) {
    o.*member = value;
    return {};
}

QString mapPort(AppOptions& o, const QString& value) {
    if (o.ports.MapFromOption(value.toStdString()))
        return {};
    return "--com needs N=DEVICE with N from 1 to 4, not " + value;
}

QString useSimulator(AppOptions& o, const QString&) {
    o.ports.Map(1, std::string(PortMap::kSimulator));
    return {};
}

QString useBlankSimulator(AppOptions& o, const QString& value) {
    (void)setFlag<&AppOptions::simulatorBlankIdentity>(o, value);
    return useSimulator(o, value);
}

QString setDataDir(AppOptions& o, const QString& value) {
    if (value.isEmpty())
        return QStringLiteral("--data-dir needs a folder");
    o.dataDir = value;
    return {};
}

constexpr OptionRow kOptions[] = {
    {"com", "N=DEVICE",
     "Put DEVICE behind \"Connect to COMN\" (N is 1 to 4), for example --com 2=/dev/ttyUSB0.",
     &mapPort},
    {"simulator", nullptr, "Put the built-in simulated controller behind COM1.", &useSimulator},
    {"simulator-blank", nullptr, "The same, with a controller that still has no serial number.",
     &useBlankSimulator},
    {"log-dir", "DIR",
     "Keep the production log Protocol.lst in DIR (for example a network folder shared by "
     "several workstations). Remembered for the next start; an empty DIR forgets it.",
     &setText<&AppOptions::logDir>},
    {"registry", "URL",
     "Take serial numbers from the production registry at URL: sqlite:PATH, or "
     "postgresql://USER@HOST:PORT/DATABASE with the password in ~/.pgpass. Remembered for the "
     "next start; an empty URL forgets it.",
     &setText<&AppOptions::registry>},
    {"data-dir", "DIR",
     "Keep the calibration archive under DIR instead of the per-user application data folder.",
     &setDataDir},
    {"list-ports", nullptr,
     "Print the serial ports the system has, one a line (device, description, manufacturer, "
     "serial number, USB ids, stable names), and exit.",
     &setFlag<&AppOptions::listPorts>},
};

// What QGuiApplication and QApplication take from the command line themselves.
// clang-format off
constexpr const char* kToolkitOptions[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "qwindowicon",
    "qwindowtitle", "reverse", "session", "display", "geometry", "style", "stylesheet",
    "widgetcount", "qmljsdebugger", "nograb", "dograb", "sync", "fn", "font", "bg", "background",
    "fg", "foreground", "btn", "button", "name", "title", "visual", "ncols", "cmap", "im",
    "inputstyle", "qwindowscreen"};
// clang-format on

struct Parser {
    QCommandLineParser parser;
    QCommandLineOption help = parser.addHelpOption();
    QCommandLineOption version = parser.addVersionOption();

    Parser() {
        parser.setApplicationDescription(
            "The service tool for the ZEF-K7LX gas injection controller.\n"
            "Without options COM1 to COM4 are /dev/ttyS0 to /dev/ttyS3, or the devices chosen\n"
            "in \"Порты...\"; --com maps one for this session only.");
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        for (const OptionRow& row : kOptions) {
            QCommandLineOption option(QString::fromLatin1(row.name),
                                      QString::fromUtf8(row.description));
            if (row.valueName)
                option.setValueName(QString::fromLatin1(row.valueName));
            parser.addOption(option);
        }
    }
};

} // namespace

void SetApplicationIdentity() {
    UseApplicationNames();
    QCoreApplication::setApplicationVersion(QStringLiteral(ZEF_VERSION));
}

AppOptions AppOptions::Parse(const QStringList& arguments) {
    AppOptions o;
    Parser p;
    const bool parsed = p.parser.parse(arguments);
    o.help = p.parser.isSet(p.help) || p.parser.isSet(QStringLiteral("help-all"));
    o.version = p.parser.isSet(p.version);
    if (!parsed) {
        o.error = p.parser.errorText();
        return o;
    }
    if (const QStringList rest = p.parser.positionalArguments(); !rest.isEmpty()) {
        o.error = "unexpected argument " + rest.first();
        return o;
    }
    // optionNames() lists every occurrence in order, values() every value of one option in
    // order: together they replay the command line as typed.
    std::map<QString, qsizetype> taken;
    for (const QString& name : p.parser.optionNames()) {
        const auto row = std::find_if(std::begin(kOptions), std::end(kOptions),
                                      [&](const OptionRow& r) { return name == r.name; });
        if (row == std::end(kOptions))
            continue; // help and version
        QString value;
        if (row->valueName)
            value = p.parser.values(name).value(taken[name]++);
        if (const QString error = row->apply(o, value); !error.isEmpty()) {
            o.error = error;
            return o;
        }
    }
    return o;
}

QString AppOptions::Usage() {
    // The parser names the program by the path it was started with, or not at all before the
    // application object exists.
    QString text = Parser().parser.helpText();
    const qsizetype firstLineEnd = text.indexOf('\n');
    return QStringLiteral("Usage: %1 [options]").arg(kApplicationName) + text.mid(firstLineEnd);
}

QString AppOptions::VersionText() {
    return QCoreApplication::applicationName() + ' ' + QCoreApplication::applicationVersion() +
           '\n';
}

bool AppOptions::OnlyToolkitOptionsUnknown(const QStringList& arguments) {
    Parser p;
    if (p.parser.parse(arguments))
        return false; // the parser took everything: the error is in a value
    const QStringList unknown = p.parser.unknownOptionNames();
    if (unknown.isEmpty())
        return false; // the error is ours, such as a missing value
    return std::all_of(unknown.begin(), unknown.end(), [](const QString& name) {
        return std::any_of(std::begin(kToolkitOptions), std::end(kToolkitOptions),
                           [&](const char* known) { return name == known; });
    });
}

} // namespace zef
