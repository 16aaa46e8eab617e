#pragma once

#include "cli/cli_session.h"
#include "support/sim_ports.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdint>

namespace zef::test {

// zef-cli's commands run in-process on the simulated controller, with their own folders.
class CliRun {
public:
    explicit CliRun(sim::Simulator::Options options = {}) : ports(options) {
        environment.ports = &ports;
        environment.device = QStringLiteral("simulator");
        environment.step = std::chrono::milliseconds(5);
        environment.dataFolder = data.path();
        environment.logFolder = [this](const std::optional<QString>& named) {
            return LogFolder{named.value_or(logs.path()), LogFolderSource::Named};
        };
        environment.today = [] { return QDate(2026, 12, 8); };
        // Samples follow each other at once; the time they cover is not what is tested here.
        environment.sleep = [](std::chrono::milliseconds) {};
    }

    CommandResult Run(const QStringList& arguments) {
        const CliOptions options = CliOptions::Parse(QStringList{"zef-cli"} + arguments);
        EXPECT_TRUE(options.error.isEmpty()) << options.error.toStdString();
        return RunCommand(options, environment);
    }

    [[nodiscard]] int Writes() const {
        int writes = 0;
        for (const auto& f : ports.sim->Frames())
            writes += f[0] == 3 ? 1 : 0;
        return writes;
    }

    [[nodiscard]] QString File(const QString& name) const {
        return QDir(files.path()).filePath(name);
    }

    SimPorts ports;
    QTemporaryDir data, logs, files;
    CliEnvironment environment;
};

inline QByteArray Contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool Put(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

} // namespace zef::test
