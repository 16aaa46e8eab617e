#pragma once

// The controller session of one zef-cli command: the port opened as the window opens it, and
// how a failure on it is worded.

#include "cli/cli_session.h"
#include "files/identity.h"
#include "link/register_exchange.h"
#include "link/serial_channel.h"
#include "session/controller_session.h"

#include <QString>

namespace zef {

class CliLink {
public:
    explicit CliLink(CliEnvironment& environment);
    ~CliLink();
    CliLink(const CliLink&) = delete;
    CliLink& operator=(const CliLink&) = delete;

    // Opens the port and sees that the controller answers, as a connection of the window does.
    // On failure the result carries the status and the message; Success otherwise.
    [[nodiscard]] CommandResult Connect();

    [[nodiscard]] RegisterExchange& Link() { return m_link; }
    [[nodiscard]] const QString& Device() const { return m_device; }

    // A failure of the link in the middle of a command: the device, the reason, status 3.
    [[nodiscard]] CommandResult Failed(const QString& reason) const;

private:
    ControllerSession m_session;
    SerialChannel& m_channel = m_session.Channel();
    RegisterExchange& m_link = m_session.Link();
    QString m_device;
    std::function<QStringList()> m_portLines; // what a missing port's message lists
};

// The identity read-outs of the window have no counterpart on a terminal.
class UnshownIdentity final : public IdentityView {
public:
    void ShowSerial(const QString&) override {}
    void ShowDate(const QString&) override {}
    void Repaint() override {}
};

// Waits out what is left of a sampling period begun at `started`.
void WaitOutPeriod(const CliEnvironment& environment, std::chrono::steady_clock::time_point started,
                   std::chrono::milliseconds period);

// A result carrying one failure.
[[nodiscard]] CommandResult FailedWith(FailureKind kind, const QString& error);
// A result that is an answer, not a failure (status 1), with what differed for stderr.
[[nodiscard]] CommandResult DifferedWith(const QString& what);

} // namespace zef
