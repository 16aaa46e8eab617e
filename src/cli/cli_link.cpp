#include "cli/cli_link.h"

#include "link/open_failure.h"

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

namespace {

// The window's message with its first line naming the device as the command line was given it,
// not the window's port number the command line borrows.
QString NamingDevice(QString text, const QString& firstLine) {
    const qsizetype end = text.indexOf(QChar('\n'));
    return firstLine + (end < 0 ? QString() : text.mid(end));
}

} // namespace

CommandResult CliLink::Connect() {
    if (!m_channel.Open(1, 19200))
        return FailedWith(
            ExitStatus::NoLink,
            NamingDevice(OpenFailureText(ReportOpenFailure(1, m_channel, std::nullopt)),
                         QStringLiteral("Невозможно открыть порт %1").arg(m_device)));
    m_channel.SetDtr();
    m_channel.ClearRts();
    if (!ReadVerified(m_link, 0, Command::ReadLive)) {
        const std::string device = m_channel.DeviceName();
        m_channel.Close();
        return FailedWith(ExitStatus::NoLink,
                          NamingDevice(NoControllerText(1, device),
                                       QStringLiteral("Нет прибора на %1").arg(m_device)));
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
