#include "fault_run.h"

#include "bench/device_link.h"

#include "link/qt_serial_backend.h"
#include "link/register_exchange.h"
#include "sim/pty_server.h"
#include "support/monitor_burst.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <map>
#include <set>
#include <sys/resource.h>

namespace zef::bench {

namespace {

using Clock = std::chrono::steady_clock;

double processorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Every register of the burst answers a value of its own, steady over the run.
std::map<std::uint8_t, std::uint16_t> distinguish(sim::Simulator& sim) {
    std::map<std::uint8_t, std::uint16_t> expected;
    sim.WithModel([&](sim::ControllerModel& m) {
        for (const auto& read : test::kMonitorBurst) {
            const auto value = static_cast<std::uint16_t>(0x5000 + read.address);
            if (read.command == Command::ReadParam)
                m.SetParam(read.address, value);
            else
                m.PinLive(read.address, value);
            expected[read.address] = value;
        }
        return 0;
    });
    return expected;
}

class Bursts {
public:
    Bursts(RegisterExchange& link, std::map<std::uint8_t, std::uint16_t> expected, int total,
           FaultRunReport& report)
        : m_link(link), m_expected(std::move(expected)), m_total(total), m_report(report) {}

    // One tick of the monitor as one burst: false once every exchange is made. A word counts as
    // returned only when its burst was verified; a void burst returns none of its words.
    bool Tick() {
        Burst burst(m_link);
        std::vector<std::pair<std::optional<Reply>, test::Read>> replies;
        for (const auto& read : test::kMonitorBurst) {
            if (m_report.exchanges == m_total)
                break;
            ++m_report.exchanges;
            replies.emplace_back(m_link.Exchange(read.command, read.address), read);
            m_answered.push_back(replies.back().first.has_value());
        }
        const bool verified = burst.Verified();
        if (!verified)
            ++m_report.voidBursts;
        int index = m_report.exchanges - static_cast<int>(replies.size());
        for (const auto& [reply, read] : replies) {
            const bool own = reply && test::IsAnswerTo(*reply, read) &&
                             reply->second == m_expected[read.address];
            if (!reply || !verified) {
                ++m_report.failed;
                m_run = 0;
            } else if (!own) {
                ++m_report.wrongAnswers;
                m_wrongAt.push_back(index);
                m_report.longestWrongRun = std::max(m_report.longestWrongRun, ++m_run);
            } else {
                m_run = 0;
            }
            ++index;
        }
        return m_report.exchanges < m_total;
    }

    [[nodiscard]] const std::vector<int>& WrongAt() const { return m_wrongAt; }
    [[nodiscard]] const std::vector<bool>& Answered() const { return m_answered; }

private:
    RegisterExchange& m_link;
    std::map<std::uint8_t, std::uint16_t> m_expected;
    int m_total;
    FaultRunReport& m_report;
    int m_run = 0;
    std::vector<int> m_wrongAt;
    std::vector<bool> m_answered;
};

void runEventLoop(std::chrono::milliseconds span) {
    QTimer::singleShot(span, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
}

} // namespace

FaultRunReport RunFaults(const FaultRunOptions& options) {
    FaultRunReport report;
    auto simulator = std::make_shared<sim::Simulator>(sim::Simulator::Options{.lineTiming = true});
    const auto expected = distinguish(*simulator);
    sim::RandomFaults faults;
    faults.seed = options.seed;
    faults.late = {2, 10, 150};
    faults.split = {1, 1, 60};
    faults.surplus = {1, 1, 5};
    faults.garbage = {1, 1, 6};
    simulator->SetRandomFaults(faults);

    sim::PtyServer server(simulator);
    if (!server.Open(report.error))
        return report;
    server.Start();

    DeviceLink line(server.DevicePath());
    SerialChannel& channel = line.channel;
    RegisterExchange& link = line.link;
    if (!channel.Open(1, 19200)) {
        report.error = "cannot open " + server.DevicePath() + ": " + channel.DeviceError();
        return report;
    }
    channel.SetDtr();
    channel.ClearRts();

    Bursts bursts(link, expected, options.exchanges, report);
    QTimer monitor;
    monitor.setTimerType(Qt::PreciseTimer);
    monitor.setInterval(350);
    QObject::connect(&monitor, &QTimer::timeout, [&] {
        if (!bursts.Tick()) {
            monitor.stop();
            QCoreApplication::quit();
        }
    });
    const auto t0 = Clock::now();
    monitor.start();
    QCoreApplication::exec();
    report.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    runEventLoop(std::chrono::milliseconds(400)); // the last late answers land
    report.figures = channel.Figures();

    const auto applied = simulator->AppliedFaults();
    if (applied.size() != bursts.Answered().size()) {
        report.error = "the controller received " + std::to_string(applied.size()) +
                       " requests for " + std::to_string(bursts.Answered().size()) + " exchanges";
        return report;
    }
    const auto overtakenList = server.Overtaken();
    const std::set<std::size_t> overtaken(overtakenList.begin(), overtakenList.end());
    std::vector<bool> lateAt(applied.size());
    for (std::size_t i = 0; i < applied.size(); ++i) {
        const auto& plan = applied[i];
        if (plan.delay.count() > 0) {
            ++report.lateReplies;
            lateAt[i] = true;
            if (overtaken.contains(i))
                ++report.lateBeyondBound;
            else if (bursts.Answered()[i])
                ++report.lateAnsweredInTime;
        } else if (plan.fault == sim::Fault::Split) {
            ++report.splitReplies;
        } else if (plan.fault == sim::Fault::Surplus) {
            ++report.surplusReplies;
        } else if (plan.fault == sim::Fault::Garbage) {
            ++report.garbageReplies;
        }
    }
    // The simulator received one request per exchange, in order, while the device was there.
    for (int i : bursts.WrongAt()) {
        const auto at = static_cast<std::size_t>(i);
        // Noise of exactly a reply's length in its place: without a checksum no framing can
        // tell it from the controller's answer.
        if (applied[at].fault == sim::Fault::Garbage && applied[at].bytes == 4) {
            ++report.noiseTakenForReply;
            continue;
        }
        const bool afterLate = (at >= 1 && lateAt[at - 1]) || (at >= 2 && lateAt[at - 2]);
        ++(afterLate ? report.wrongAfterLate : report.wrongAfterOther);
    }

    // Pull the plug, ask once more as the next tick would, and leave the port open.
    server.Hangup();
    const auto g0 = Clock::now();
    for (const auto& read : test::kMonitorBurst)
        report.goneExchangesFailed += link.Exchange(read.command, read.address) ? 0 : 1;
    report.goneExchangeMillis =
        std::chrono::duration<double, std::milli>(Clock::now() - g0).count() /
        static_cast<double>(test::kMonitorBurst.size());
    const double c0 = processorSeconds();
    const auto w0 = Clock::now();
    runEventLoop(std::chrono::milliseconds(2000));
    report.goneProcessorShare =
        (processorSeconds() - c0) / std::chrono::duration<double>(Clock::now() - w0).count();
    report.deviceLost = channel.DeviceLost();
    report.deviceError = channel.DeviceError();
    return report;
}

} // namespace zef::bench
