// zef-sim: a simulated controller on a pseudo-terminal, for the service program's real serial
// code, for tests and for demonstrations without a controller on the bench.

#include "files/disk_write.h"
#include "sim/pty_server.h"

#include <atomic>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <optional>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::atomic<bool> g_stop{false};

void onSignal(int) {
    g_stop = true;
}

const char kUsage[] =
    "usage: zef-sim [options]\n"
    "Serves a simulated ZEF-K7LX controller on a pseudo-terminal and prints its device path.\n"
    "  --line-timing          pace replies like 19200 baud 8N2 (11 bit times a character)\n"
    "  --fault F              silent | short=N (1-3) | surplus=N | garbage | split=N:MS |\n"
    "                         unplugged (nothing acted on, nothing answered) | none\n"
    "                         (split=N:MS: N bytes (1-3) of each reply, the rest MS ms later)\n"
    "  --random FAULTS        faults at random, e.g. late=2:10-150,split=1:1-60,surplus=1:1-4\n"
    "                         (percent of the requests: late by 10-150 ms, split with a gap\n"
    "                         of 1-60 ms, 1-4 surplus bytes)\n"
    "  --seed N               seed of --random (default 1); the same seed, the same faults\n"
    "  --delay MS             wait MS milliseconds before every reply\n"
    "  --delay-address A=MS   wait MS milliseconds before replies to register A only\n"
    "  --blank-identity       the controller carries the blank factory serial number\n"
    "  --setup-mode           the controller reports setup mode\n"
    "  --drive                the engine runs a drive cycle over every map point, warming up\n"
    "                         from cold; its true injection need is a few per cent off the\n"
    "                         stored map, and the oxygen correction shows the difference\n"
    "  --true-map MS,...      --drive with this true need: 7 times in ms, 500 to 6000 rpm\n"
    "  --serial TEXT          the controller's serial number (24 characters, padded)\n"
    "  --param A=V            store V in calibration parameter A (0-255)\n"
    "  --link PATH            also make PATH a symbolic link to the device; PATH must not\n"
    "                         exist, unless it is a link left by a zef-sim that is gone\n"
    "  --log FILE             append every request received to FILE, one hex frame a line\n"
    "  --help                 this text\n";

bool parseInt(std::string_view s, int& out) {
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && p == s.data() + s.size();
}

std::optional<zef::sim::ControllerModel::MapMs> parseMap(std::string_view s) {
    std::vector<std::string_view> items;
    for (std::size_t comma; (comma = s.find(',')) != std::string_view::npos;) {
        items.push_back(s.substr(0, comma));
        s.remove_prefix(comma + 1);
    }
    items.push_back(s);
    zef::sim::ControllerModel::MapMs map{};
    if (items.size() != map.size())
        return std::nullopt;
    for (std::size_t i = 0; i < map.size(); ++i) {
        auto [p, ec] = std::from_chars(items[i].data(), items[i].data() + items[i].size(), map[i]);
        if (ec != std::errc() || p != items[i].data() + items[i].size() || map[i] < 1 || map[i] > 8)
            return std::nullopt;
    }
    return map;
}

int fail(const std::string& message) {
    std::cerr << "zef-sim: " << message << "\n" << kUsage;
    return 2;
}

std::string linkTarget(const std::string& path) {
    char target[4096];
    const auto n = ::readlink(path.c_str(), target, sizeof target - 1);
    return n < 0 ? std::string() : std::string(target, static_cast<std::size_t>(n));
}

// The run that made a link holds a lock on a file beside it for as long as it serves. A killed
// run's pseudo-terminal may live on while a program still holds it open, and its number may
// have gone to another terminal since: only the lock tells whether its maker is gone.
std::string ownerLockPath(const std::string& linkPath) {
    return linkPath + ".zef-sim";
}

// True when the lock beside the link was taken and is now held by this run.
bool takeOwnerLock(const std::string& linkPath, int& fd) {
    fd = ::open(ownerLockPath(linkPath).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0)
        return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        return true;
    ::close(fd);
    fd = -1;
    return false;
}

// A link that an earlier zef-sim left behind when it was killed: its maker no longer holds the
// lock beside it, or it points at a pseudo-terminal that no longer exists, or that has since
// been handed to this run.
bool isLeftOverLink(const std::string& path, const std::string& device, bool ownerGone) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return false;
    const std::string target = linkTarget(path);
    if (target == device)
        return true;
    if (!target.starts_with("/dev/pts/"))
        return false;
    return ownerGone || (::stat(target.c_str(), &st) != 0 && errno == ENOENT);
}

// Never replaces a file, a directory or a live link: only a free path or a left-over link.
bool makeLink(const std::string& device, const std::string& path, int& lockFd, std::string& error) {
    const bool ownerGone = takeOwnerLock(path, lockFd);
    if (!ownerGone) {
        error = "cannot link " + path + ": another zef-sim serves it";
        return false;
    }
    if (::symlink(device.c_str(), path.c_str()) == 0)
        return true;
    if (errno == EEXIST && isLeftOverLink(path, device, ownerGone) && ::unlink(path.c_str()) == 0 &&
        ::symlink(device.c_str(), path.c_str()) == 0)
        return true;
    error = errno == EEXIST ? "cannot link " + path +
                                  ": it exists and is not a link left by zef-sim; remove it or "
                                  "choose another path"
                            : "cannot link " + path + ": " + std::strerror(errno);
    return false;
}

// Removes the link only while it is still the one this run made.
void removeOwnLink(const std::string& device, const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && linkTarget(path) == device) {
        ::unlink(path.c_str());
        ::unlink(ownerLockPath(path).c_str());
    }
}

} // namespace

int main(int argc, char** argv) {
    zef::IgnoreFileSizeSignal(); // a file-size limit fails the write, not the program
    using namespace zef::sim;
    Simulator::Options options;
    FaultPlan plan;
    std::vector<std::pair<int, int>> addressDelays;
    bool setupMode = false;
    std::string linkPath, logPath;
    std::optional<std::string> randomSpec;
    std::uint64_t seed = 1;
    std::optional<std::string> serial;
    std::vector<std::pair<int, int>> params;
    std::optional<ControllerModel::MapMs> trueMap;

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
        } else if (arg == "--drive") {
            if (!trueMap)
                trueMap = ControllerModel::DefaultTrueMapMs();
        } else if (arg == "--true-map") {
            auto v = value();
            auto map = v ? parseMap(*v) : std::nullopt;
            if (!map)
                return fail("--true-map needs 7 times in ms, 1 to 8, separated by commas");
            trueMap = *map;
        } else if (arg == "--fault") {
            auto v = value();
            auto parsed = v ? ParseFault(*v) : std::nullopt;
            if (!parsed)
                return fail("--fault needs silent, short=N, surplus=N, garbage, unplugged or none");
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
        } else if (arg == "--random") {
            auto v = value();
            if (!v || !ParseRandomFaults(*v))
                return fail("--random needs KIND=PERCENT:LOW-HIGH,... with KIND late, split or "
                            "surplus");
            randomSpec = std::string(*v);
        } else if (arg == "--seed") {
            auto v = value();
            auto [p, ec] = v ? std::from_chars(v->data(), v->data() + v->size(), seed)
                             : std::from_chars_result{nullptr, std::errc::invalid_argument};
            if (!v || ec != std::errc() || p != v->data() + v->size())
                return fail("--seed needs a whole number");
        } else if (arg == "--serial") {
            auto v = value();
            if (!v || v->empty() || v->size() > 24)
                return fail("--serial needs 1 to 24 characters");
            serial = std::string(*v);
        } else if (arg == "--param") {
            auto v = value();
            int address = 0, word = 0;
            const auto eq = v ? v->find('=') : std::string_view::npos;
            if (eq == std::string_view::npos || !parseInt(v->substr(0, eq), address) ||
                !parseInt(v->substr(eq + 1), word) || address < 0 || address > 255 || word < 0 ||
                word > 65535)
                return fail("--param needs A=V with A 0-255 and V 0-65535");
            params.emplace_back(address, word);
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
                                FaultPlan{.fault = plan.fault,
                                          .bytes = plan.bytes,
                                          .delay = std::chrono::milliseconds(ms),
                                          .gap = plan.gap});
    if (randomSpec)
        sim->SetRandomFaults(*ParseRandomFaults(*randomSpec, seed));
    if (setupMode)
        sim->WithModel([](ControllerModel& m) { m.SetSetupMode(true); });
    sim->WithModel([&](ControllerModel& m) {
        if (serial)
            m.SetIdentity(*serial, m.Date());
        m.SetTrueMap(trueMap);
        for (auto [address, word] : params)
            m.SetParam(static_cast<std::uint8_t>(address), static_cast<std::uint16_t>(word));
    });

    // A log that cannot be written is an error now, not a silent gap found later.
    FILE* log = nullptr;
    if (!logPath.empty()) {
        log = std::fopen(logPath.c_str(), "a");
        if (!log) {
            std::cerr << "zef-sim: cannot write the log " << logPath << ": " << std::strerror(errno)
                      << "\n";
            return 1;
        }
    }

    PtyServer server(sim);
    std::string error;
    if (!server.Open(error)) {
        std::cerr << "zef-sim: " << error << "\n";
        return 1;
    }
    int linkLock = -1; // held until the process ends
    if (!linkPath.empty() && !makeLink(server.DevicePath(), linkPath, linkLock, error)) {
        std::cerr << "zef-sim: " << error << "\n";
        return 1;
    }

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::cout << server.DevicePath() << std::endl;

    server.Start();
    // Appends the requests not yet in the log; false with errno set when the disk refused.
    auto logNewRequests = [&]() -> bool {
        // Taken, not copied: the simulator forgets what has been logged, and without a log
        // it forgets it all the same.
        const auto frames = sim->TakeFrames();
        if (!log)
            return true;
        for (const auto& f : frames) {
            if (std::fprintf(log, "%02X %02X %02X %02X\n", f[0], f[1], f[2], f[3]) < 0)
                return false;
        }
        return std::fflush(log) == 0;
    };
    int logError = 0;
    while (!g_stop && logError == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (!logNewRequests())
            logError = errno;
    }
    server.Stop();
    if (logError == 0 && !logNewRequests()) // what came in the last moments
        logError = errno;
    if (log && std::fclose(log) != 0 && logError == 0)
        logError = errno;
    int status = 0;
    if (logError != 0) {
        std::cerr << "zef-sim: cannot write the log " << logPath << ": " << std::strerror(logError)
                  << "\n";
        status = 1;
    }
    if (!linkPath.empty())
        removeOwnLink(server.DevicePath(), linkPath);
    return status;
}
