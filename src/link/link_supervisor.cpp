#include "link/link_supervisor.h"

#include <array>

namespace zef {

QString LinkStateText(LinkState state, int portNumber, const std::string& device) {
    switch (state) {
    case LinkState::Closed:
        return QStringLiteral("Нет подключения");
    case LinkState::Live:
        return QStringLiteral("Подключено: COM%1 (%2)")
            .arg(portNumber)
            .arg(QString::fromStdString(device));
    case LinkState::Lost:
        return QStringLiteral("Нет связи");
    }
    return {};
}

double ExchangesPerSecond(const LinkFigures& before, const LinkFigures& now, double seconds) {
    if (seconds <= 0)
        return 0;
    const std::uint64_t made =
        now.exchanges >= before.exchanges ? now.exchanges - before.exchanges : now.exchanges;
    return static_cast<double>(made) / seconds;
}

QString LinkFiguresText(double exchangesPerSecond, const LinkFigures& figures) {
    return QStringLiteral("Обменов/с: %1   Неудачных: %2   Отброшено байт: %3")
        .arg(exchangesPerSecond, 0, 'f', 0)
        .arg(figures.failedExchanges)
        .arg(figures.lateBytesDiscarded);
}

bool OpenControllerPort(SerialChannel& channel, int portNumber, std::int32_t baud) {
    if (!channel.Open(portNumber, baud))
        return false;
    channel.SetDtr();
    channel.ClearRts();
    return true;
}

LinkSupervisor::LinkSupervisor(RegisterExchange& link) : m_link(link) {
    m_link.SetWatcher(this);
}

LinkSupervisor::~LinkSupervisor() {
    m_link.SetWatcher(nullptr);
}

LinkFigures LinkSupervisor::SessionFigures() const {
    LinkFigures sum = m_closedFigures;
    const SerialChannel& channel = m_link.Channel();
    if (channel.IsOpen()) {
        const LinkFigures& open = channel.Figures();
        sum.exchanges += open.exchanges;
        sum.failedExchanges += open.failedExchanges;
        sum.lateBytesDiscarded += open.lateBytesDiscarded;
        sum.quietWaits += open.quietWaits;
    }
    return sum;
}

void LinkSupervisor::closePort() {
    SerialChannel& channel = m_link.Channel();
    if (channel.IsOpen())
        m_closedFigures = SessionFigures();
    channel.Close();
}

void LinkSupervisor::Start(int portNumber, std::int32_t baud) {
    m_portNumber = portNumber;
    m_baud = baud;
    m_deviceName = m_link.Channel().DeviceName();
    m_lostReason.clear();
    m_closedFigures = {};
    m_failuresInARow = 0;
    m_probeSent.reset();
    enter(LinkState::Live);
}

void LinkSupervisor::Stop() {
    m_failuresInARow = 0;
    m_probeSent.reset();
    enter(LinkState::Closed);
}

void LinkSupervisor::enter(LinkState state) {
    if (state == m_state)
        return;
    m_state = state;
    if (m_onState)
        m_onState(state);
}

void LinkSupervisor::Exchanged(bool answered) {
    if (m_state != LinkState::Live)
        return;
    if (answered) {
        m_failuresInARow = 0;
        return;
    }
    ++m_failuresInARow;
    if (m_failuresInARow >= kFailuresForLoss || m_link.Channel().DeviceLost())
        lose();
}

void LinkSupervisor::lose() {
    m_probeSent.reset();
    SerialChannel& channel = m_link.Channel();
    if (channel.DeviceLost()) {
        m_lostReason = channel.DeviceError();
        // Let go of the device at once, so that the system can hand the name to the adapter
        // when it comes back.
        closePort();
        m_lastReopen = {};
    }
    enter(LinkState::Lost);
}

bool LinkSupervisor::reopen(Clock::time_point now) {
    SerialChannel& channel = m_link.Channel();
    if (channel.IsOpen() && !channel.DeviceLost())
        return true;
    if (m_lastReopen != Clock::time_point{} && now - m_lastReopen < kReopenInterval)
        return false;
    m_lastReopen = now;
    closePort();
    if (!OpenControllerPort(channel, m_portNumber, m_baud)) {
        m_lostReason = channel.DeviceError();
        return false;
    }
    return true;
}

bool LinkSupervisor::Probe(Clock::time_point now) {
    if (m_state != LinkState::Lost)
        return m_state == LinkState::Live;
    SerialChannel& channel = m_link.Channel();
    const auto noteLostDevice = [&] {
        if (!channel.DeviceLost())
            return;
        m_lostReason = channel.DeviceError();
        closePort();
        m_probeSent.reset();
    };
    noteLostDevice();
    if (m_probeSent) {
        if (now - *m_probeSent < SerialChannel::kWaitPeriods * channel.Step())
            return false; // its answer may still be on its way
        m_probeSent.reset();
        // Straight on the channel: the reply record the window reads stays as it was. A
        // reply with more behind it is a stopped controller answering all it missed at once.
        std::array<std::uint8_t, 4> reply{};
        if (channel.ReadWaiting(reply) == reply.size() && channel.QuietForAStep()) {
            m_failuresInARow = 0;
            m_lostReason.clear();
            enter(LinkState::Live);
            return true;
        }
        noteLostDevice();
    }
    if (!reopen(now))
        return false;
    const Frame request = BuildRequest(Command::ReadLive, 0, 0);
    if (channel.Write(request))
        m_probeSent = now;
    else
        noteLostDevice();
    return false;
}

} // namespace zef
