#include "app/options.h"

namespace zef {

QString AppOptions::Usage() {
    return QStringLiteral(
        "usage: zef-service [options]\n"
        "  --com N=DEVICE        put DEVICE behind \"Connect to COMN\" (N is 1 to 4),\n"
        "                        for example --com 2=/dev/ttyUSB0\n"
        "  --simulator           put the built-in simulated controller behind COM1\n"
        "  --simulator-blank     the same, with a controller that still has no serial number\n"
        "  --data-dir DIR        keep the calibration archive under DIR instead of the\n"
        "                        per-user application data folder\n"
        "  --help                this text\n"
        "Without options COM1 to COM4 are /dev/ttyS0 to /dev/ttyS3.\n");
}

AppOptions AppOptions::Parse(const QStringList& arguments) {
    AppOptions o;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (arg == "--help" || arg == "-h") {
            o.help = true;
        } else if (arg == "--simulator" || arg == "--simulator-blank") {
            o.ports.Map(1, std::string(PortMap::kSimulator));
            o.simulatorBlankIdentity = o.simulatorBlankIdentity || arg == "--simulator-blank";
        } else if (arg == "--com" || arg.startsWith("--com=")) {
            QString value;
            if (arg == "--com") {
                if (i + 1 >= arguments.size()) {
                    o.error = "--com needs N=DEVICE";
                    return o;
                }
                value = arguments[++i];
            } else {
                value = arg.mid(6);
            }
            if (!o.ports.MapFromOption(value.toStdString())) {
                o.error = "--com needs N=DEVICE with N from 1 to 4, not " + value;
                return o;
            }
        } else if (arg == "--data-dir" || arg.startsWith("--data-dir=")) {
            if (arg == "--data-dir") {
                if (i + 1 >= arguments.size()) {
                    o.error = "--data-dir needs a folder";
                    return o;
                }
                o.dataDir = arguments[++i];
            } else {
                o.dataDir = arg.mid(11);
            }
            if (o.dataDir.isEmpty()) {
                o.error = "--data-dir needs a folder";
                return o;
            }
        } else {
            o.error = "unknown option " + arg;
            return o;
        }
    }
    return o;
}

} // namespace zef
