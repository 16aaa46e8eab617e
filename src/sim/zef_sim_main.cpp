// zef-sim: a simulated controller on a pseudo-terminal, for the service program's real serial
// code, for tests and for demonstrations without a controller on the bench.

#include "sim/pty_server.h"

#include <atomic>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string_view>
#include <thread>
#include <unistd.h>

namespace {

std::atomic<bool> g_stop{false};

void onSignal(int) { g_stop = true; }

const char kUsage[] =
    "usage: zef-sim [options]\n"
    "Serves a simulated ZEF-K7LX controller on a pseudo-terminal and prints its device path.\n"
    "  --line-timing          pace replies like 19200 baud 8N2 (11 bit times a character)\n"
    "  --fault F              silent | short=N (1-3) | surplus=N | garbage | none\n"
    "  --delay MS             wait MS milliseconds before every reply\n"
    "  --delay-address A=MS   wait MS milliseconds before replies to register A only\n"
    "  --blank-identity       the controller carries the blank factory serial number\n"
    "  --setup-mode           the controller reports setup mode\n"
    "  --link PATH            also make PATH a symbolic link to the device\n"
    "  --log FILE             append every request received to FILE, one hex frame a line\n"
    "  --help                 this text\n";

bool parseInt(std::string_view s, int& out) {
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && p == s.data() + s.size();
}

int fail(const std::string& message) {
    std::cerr << "zef-sim: " << message << "\n" << kUsage;
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    using namespace zef::sim;
    Simulator::Options options;
    FaultPlan plan;
    std::vector<std::pair<int, int>> addressDelays;
    bool setupMode = false;
    std::string linkPath, logPath;

    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&]() -> std::optional<std::string_view> {
            if (i + 1 >= argc)
                return std::nullopt;
            return std::string_view(argv[++i]);
        };
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (arg == "--line-timing") {
            options.lineTiming = true;
        } else if (arg == "--blank-identity") {
            options.blankIdentity = true;
        } else if (arg == "--setup-mode") {
            setupMode = true;
        } else if (arg == "--fault") {
            auto v = value();
            auto parsed = v ? ParseFault(*v) : std::nullopt;
            if (!parsed)
                return fail("--fault needs silent, short=N, surplus=N, garbage or none");
            const auto delay = plan.delay;
            plan = *parsed;
            plan.delay = delay;
        } else if (arg == "--delay") {
            auto v = value();
            int ms = 0;
            if (!v || !parseInt(*v, ms) || ms < 0)
                return fail("--delay needs a number of milliseconds");
            plan.delay = std::chrono::milliseconds(ms);
        } else if (arg == "--delay-address") {
            auto v = value();
            int address = 0, ms = 0;
            const auto eq = v ? v->find('=') : std::string_view::npos;
            if (eq == std::string_view::npos || !parseInt(v->substr(0, eq), address) ||
                !parseInt(v->substr(eq + 1), ms) || address < 0 || address > 255 || ms < 0)
                return fail("--delay-address needs A=MS");
            addressDelays.emplace_back(address, ms);
        } else if (arg == "--link") {
            auto v = value();
            if (!v)
                return fail("--link needs a path");
            linkPath = std::string(*v);
        } else if (arg == "--log") {
            auto v = value();
            if (!v)
                return fail("--log needs a file");
            logPath = std::string(*v);
        } else {
            return fail("unknown option " + std::string(arg));
        }
    }

    auto sim = std::make_shared<Simulator>(options);
    sim->SetFault(plan);
    for (auto [address, ms] : addressDelays)
        sim->SetFaultForAddress(static_cast<std::uint8_t>(address),
                                FaultPlan{plan.fault, plan.bytes, std::chrono::milliseconds(ms)});
    if (setupMode)
        sim->WithModel([](ControllerModel& m) { m.SetSetupMode(true); });

    PtyServer server(sim);
    std::string error;
    if (!server.Open(error)) {
        std::cerr << "zef-sim: " << error << "\n";
        return 1;
    }
    if (!linkPath.empty()) {
        ::unlink(linkPath.c_str());
        if (::symlink(server.DevicePath().c_str(), linkPath.c_str()) != 0) {
            std::cerr << "zef-sim: cannot link " << linkPath << ": " << std::strerror(errno) << "\n";
            return 1;
        }
    }

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::cout << server.DevicePath() << std::endl;

    std::ofstream log;
    if (!logPath.empty())
        log.open(logPath, std::ios::app);
    server.Start();
    std::size_t logged = 0;
    while (!g_stop) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (!log.is_open())
            continue;
        const auto frames = sim->Frames();
        for (; logged < frames.size(); ++logged) {
            char line[16];
            const auto& f = frames[logged];
            std::snprintf(line, sizeof line, "%02X %02X %02X %02X", f[0], f[1], f[2], f[3]);
            log << line << '\n';
        }
        log.flush();
    }
    server.Stop();
    if (!linkPath.empty())
        ::unlink(linkPath.c_str());
    return 0;
}
