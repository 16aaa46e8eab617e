#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <string>

namespace zef::test {

// zef-sim started as its own process, for the real serial path and for pulling the plug.
class SimProcess {
public:
    explicit SimProcess(const QStringList& arguments) {
        QByteArray program = qgetenv("ZEF_SIM");
#ifdef ZEF_SIM_PATH
        if (program.isEmpty())
            program = ZEF_SIM_PATH;
#endif
        m_process.setProgram(QString::fromLocal8Bit(program));
        m_process.setArguments(arguments);
        m_process.start();
        if (!m_process.waitForStarted(5000)) {
            m_error = "zef-sim did not start";
            return;
        }
        while (!m_process.canReadLine() && m_process.waitForReadyRead(5000)) {
        }
        m_device = QString::fromLocal8Bit(m_process.readLine()).trimmed().toStdString();
        if (m_device.empty())
            m_error =
                "zef-sim printed no device: " + m_process.readAllStandardError().toStdString();
    }
    ~SimProcess() {
        Kill();
    }

    [[nodiscard]] const std::string& Device() const {
        return m_device;
    }
    [[nodiscard]] const std::string& Error() const {
        return m_error;
    }
    // For a kill from another thread, which QProcess itself does not allow.
    [[nodiscard]] qint64 Pid() const {
        return m_process.processId();
    }

    void Kill() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

private:
    QProcess m_process;
    std::string m_device;
    std::string m_error;
};

} // namespace zef::test
