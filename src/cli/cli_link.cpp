#include "cli/cli_link.h"

#include "link/open_failure.h"

#include <QDateTime>

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

CommandResult FailedWith(FailureKind kind, const QString& error) {
    CommandResult result;
    result.Fail(kind, error);
    return result;
}

CommandResult DifferedWith(const QString& what) {
    CommandResult result;
    result.status = ExitStatus::Differs;
    result.error = what;
    return result;
}

CliLink::CliLink(CliEnvironment& environment)
    : m_session(*environment.ports, Threading::Caller, environment.step),
      m_device(environment.device), m_portLines(environment.portLines) {
    m_link.SetRetries(environment.retries);
    if (environment.progress && !environment.trace)
        m_link.SetTrace(
            [progress = environment.progress,
             made = 0](const Frame&, const std::optional<Frame>&) mutable { progress(++made); });
    if (environment.trace)
        m_link.SetTrace([trace = environment.trace](const Frame& request,
                                                    const std::optional<Frame>& reply) {
            const auto hex = [](const Frame& f) {
                return QByteArray(reinterpret_cast<const char*>(f.data()), f.size()).toHex(' ');
            };
            trace(QStringLiteral("%1 > %2 < %3")
                      .arg(QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz")),
                           QString::fromLatin1(hex(request)),
                           reply ? QString::fromLatin1(hex(*reply)) : QStringLiteral("no answer")));
        });
}

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

FailureKind KindOf(OpenFailure failure) {
    switch (failure) {
    case OpenFailure::Busy:
        return FailureKind::PortBusy;
    case OpenFailure::NoPermission:
        return FailureKind::NoPermission;
    case OpenFailure::NotSerial:
        return FailureKind::NotSerialPort;
    case OpenFailure::Absent:
    case OpenFailure::Unknown:
        break;
    }
    // A port that did not open for a reason the system keeps to itself is no more use to a
    // station than a missing one: somebody has to look at it.
    return FailureKind::NoPort;
}

} // namespace

CommandResult CliLink::Connect() {
    // A station retries an unanswered probe too: one missed answer on a loaded host must not
    // stop the line.
    switch (m_session.Connect(1, /*retryUnanswered=*/true)) {
    case Handshake::Connected:
        return {};
    case Handshake::NoAnswer:
        return FailedWith(FailureKind::NoAnswer,
                          NamingDevice(NoControllerText(1, m_channel.DeviceName()),
                                       QStringLiteral("Нет прибора на %1").arg(m_device)));
    case Handshake::PortFailed:
        break;
    }
    std::optional<std::vector<std::string>> existing;
    if (m_portLines) {
        existing.emplace();
        for (const QString& line : m_portLines())
            existing->push_back(line.section(QChar('\t'), 0, 0).toStdString());
    }
    OpenFailureReport report = ReportOpenFailure(1, m_channel, std::move(existing));
    QString text = NamingDevice(OpenFailureText(report),
                                QStringLiteral("Невозможно открыть порт %1").arg(m_device));
    if (report.failure == OpenFailure::Absent || report.failure == OpenFailure::Unknown)
        text += QStringLiteral("\nСписок портов: zef-cli ports");
    return FailedWith(KindOf(report.failure), text);
}

CommandResult CliLink::Failed(const QString& reason) const {
    QString text = QStringLiteral("%1: %2").arg(m_device, reason);
    if (const QString lost = QString::fromStdString(m_channel.DeviceError()); !lost.isEmpty())
        text += QStringLiteral(" (%1)").arg(lost);
    return FailedWith(FailureKind::LinkLost, text);
}

} // namespace zef
