#include "cli/cli_link.h"

#include <thread>

namespace zef {

void WaitOutPeriod(const CliEnvironment& environment, std::chrono::steady_clock::time_point started,
                   std::chrono::milliseconds period) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        started + period - std::chrono::steady_clock::now());
    if (left.count() <= 0)
        return;
    if (environment.sleep)
        environment.sleep(left);
    else
        std::this_thread::sleep_for(left);
}

CommandResult FailedWith(ExitStatus status, const QString& error) {
    CommandResult result;
    result.status = status;
    result.error = error;
    return result;
}

CliLink::CliLink(CliEnvironment& environment)
    : m_channel(*environment.ports, environment.step), m_device(environment.device) {}

CliLink::~CliLink() {
    m_channel.Close();
}

CommandResult CliLink::Connect() {
    if (!m_channel.Open(1, 19200)) {
        const QString reason = QString::fromStdString(m_channel.DeviceError());
        return FailedWith(ExitStatus::NoLink,
                          QStringLiteral("Невозможно открыть порт %1%2")
                              .arg(m_device, reason.isEmpty() ? QString() : ": " + reason));
    }
    m_channel.SetDtr();
    m_channel.ClearRts();
    if (!m_link.Exchange(Command::ReadLive, 0)) {
        const QString reason = QString::fromStdString(m_channel.DeviceError());
        m_channel.Close();
        return FailedWith(ExitStatus::NoLink,
                          QStringLiteral("Нет прибора на %1%2\nПроверьте кабель и зажигание.")
                              .arg(m_device, reason.isEmpty() ? QString() : ": " + reason));
    }
    return {};
}

CommandResult CliLink::Failed(const QString& reason) const {
    QString text = QStringLiteral("%1: %2").arg(m_device, reason);
    if (const QString lost = QString::fromStdString(m_channel.DeviceError()); !lost.isEmpty())
        text += QStringLiteral(" (%1)").arg(lost);
    return FailedWith(ExitStatus::NoLink, text);
}

} // namespace zef
