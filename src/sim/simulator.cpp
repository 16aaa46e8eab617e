#include "sim/simulator.h"

#include <utility>

#include <algorithm>
#include <charconv>

namespace zef::sim {

namespace {

template <typename T> std::optional<T> number(std::string_view s) {
    T n{};
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
    if (ec != std::errc() || p != s.data() + s.size())
        return std::nullopt;
    return n;
}

// "LOW-HIGH", both from 0 to `most`, LOW not above HIGH.
std::optional<std::pair<int, int>> range(std::string_view s, int most) {
    const auto dash = s.find('-');
    if (dash == std::string_view::npos)
        return std::nullopt;
    const auto low = number<int>(s.substr(0, dash));
    const auto high = number<int>(s.substr(dash + 1));
    if (!low || !high || *low < 0 || *low > *high || *high > most)
        return std::nullopt;
    return std::pair{*low, *high};
}

} // namespace

std::optional<FaultPlan> ParseFault(std::string_view text) {
    if (text == "none")
        return FaultPlan{};
    if (text == "silent")
        return FaultPlan{.fault = Fault::Silent};
    if (text == "unplugged")
        return FaultPlan{.fault = Fault::Unplugged};
    if (text == "garbage")
        return FaultPlan{.fault = Fault::Garbage, .bytes = 4};
    if (text.starts_with("short=")) {
        auto n = number<int>(text.substr(6));
        if (n && *n >= 1 && *n <= 3)
            return FaultPlan{.fault = Fault::ShortReply, .bytes = *n};
    }
    if (text.starts_with("surplus=")) {
        auto n = number<int>(text.substr(8));
        if (n && *n >= 1 && *n <= 64)
            return FaultPlan{.fault = Fault::Surplus, .bytes = *n};
    }
    if (text.starts_with("split=")) {
        const auto rest = text.substr(6);
        const auto colon = rest.find(':');
        if (colon != std::string_view::npos) {
            auto n = number<int>(rest.substr(0, colon));
            auto ms = number<int>(rest.substr(colon + 1));
            if (n && ms && *n >= 1 && *n <= 3 && *ms >= 0 && *ms <= 60000)
                return FaultPlan{
                    .fault = Fault::Split, .bytes = *n, .gap = std::chrono::milliseconds(*ms)};
        }
    }
    return std::nullopt;
}

std::optional<RandomFaults> ParseRandomFaults(std::string_view text, std::uint64_t seed) {
    RandomFaults faults;
    faults.seed = seed;
    while (!text.empty()) {
        const auto comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);

        const auto eq = item.find('=');
        const auto colon = item.find(':');
        if (eq == std::string_view::npos || colon == std::string_view::npos || colon < eq)
            return std::nullopt;
        const std::string_view kind = item.substr(0, eq);
        const auto percent = number<double>(item.substr(eq + 1, colon - eq - 1));
        if (!percent || *percent < 0 || *percent > 100)
            return std::nullopt;
        RandomFaults::Range* target = kind == "late"      ? &faults.late
                                      : kind == "split"   ? &faults.split
                                      : kind == "surplus" ? &faults.surplus
                                      : kind == "garbage" ? &faults.garbage
                                                          : nullptr;
        if (!target)
            return std::nullopt;
        const bool inBytes = target == &faults.surplus || target == &faults.garbage;
        const auto r = range(item.substr(colon + 1), inBytes ? 64 : 60000);
        if (!r || (inBytes && r->first < 1))
            return std::nullopt;
        *target = {*percent, r->first, r->second};
    }
    if (faults.late.percent + faults.split.percent + faults.surplus.percent +
            faults.garbage.percent >
        100)
        return std::nullopt;
    return faults;
}

std::vector<std::uint8_t> Simulator::Reply::Bytes() const {
    std::vector<std::uint8_t> all;
    for (const auto& piece : pieces)
        all.insert(all.end(), piece.bytes.begin(), piece.bytes.end());
    return all;
}

Simulator::Simulator() : Simulator(Options{}) {}

Simulator::Simulator(Options options, Clock clock)
    : m_options(options), m_clock(std::move(clock)),
      m_model(ControllerModel::Options{options.blankIdentity}) {
    if (!m_clock) {
        const auto start = std::chrono::steady_clock::now();
        m_clock = [start] {
            return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        };
    }
}

std::vector<Simulator::Reply> Simulator::Receive(std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(m_mutex);
    std::vector<Reply> replies;
    for (auto b : bytes) {
        m_partial.push_back(b);
        if (m_partial.size() == 4) {
            const Frame frame = {m_partial[0], m_partial[1], m_partial[2], m_partial[3]};
            m_partial.clear();
            m_frames.push_back(frame);
            Reply r = Answer(frame);
            if (!r.pieces.empty())
                replies.push_back(std::move(r));
        }
    }
    return replies;
}

std::uint64_t Simulator::NextRandom() {
    // splitmix64: the same sequence from the same seed on every platform.
    std::uint64_t z = (m_randomState += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

int Simulator::Draw(int low, int high) {
    return low + static_cast<int>(NextRandom() % static_cast<std::uint64_t>(high - low + 1));
}

FaultPlan Simulator::PlanFor(const Frame& request) {
    if (m_writesBeforeUnplug && request[0] == static_cast<std::uint8_t>(Command::WriteParam) &&
        (*m_writesBeforeUnplug)-- == 0) {
        m_writesBeforeUnplug.reset();
        m_fault = FaultPlan{.fault = Fault::Unplugged};
    }
    if (m_fault.fault == Fault::Unplugged)
        return m_fault; // nothing reaches a controller without its cable
    if (!m_once.empty()) {
        const FaultPlan plan = m_once.front();
        m_once.pop_front();
        return plan;
    }
    for (const auto& [address, p] : m_byAddress) {
        if (address == request[1])
            return p;
    }
    const auto& r = m_random;
    if (r.late.percent + r.split.percent + r.surplus.percent + r.garbage.percent > 0) {
        // One draw per request whatever it decides, so a fault's place in the sequence does not
        // depend on the others' shares.
        const double u = static_cast<double>(NextRandom() % 1'000'000) / 10'000.0;
        const int a = Draw(0, 1 << 20), b = Draw(0, 1 << 20);
        auto within = [](const RandomFaults::Range& range, int x) {
            return range.low + x % (range.high - range.low + 1);
        };
        if (u < r.late.percent)
            return {.fault = m_fault.fault,
                    .bytes = m_fault.bytes,
                    .delay = std::chrono::milliseconds(within(r.late, a)),
                    .gap = m_fault.gap};
        if (u < r.late.percent + r.split.percent)
            return {.fault = Fault::Split,
                    .bytes = 1 + b % 3,
                    .delay = m_fault.delay,
                    .gap = std::chrono::milliseconds(within(r.split, a))};
        if (u < r.late.percent + r.split.percent + r.surplus.percent)
            return {.fault = Fault::Surplus, .bytes = within(r.surplus, a), .delay = m_fault.delay};
        if (u < r.late.percent + r.split.percent + r.surplus.percent + r.garbage.percent)
            return {.fault = Fault::Garbage, .bytes = within(r.garbage, a), .delay = m_fault.delay};
    }
    return m_fault;
}

Simulator::Reply Simulator::Answer(const Frame& request) {
    const FaultPlan plan = PlanFor(request);
    m_applied.push_back(plan);

    Reply reply;
    reply.request = m_framesTaken + m_frames.size() - 1;
    if (plan.fault == Fault::Unplugged)
        return reply;
    // The controller acts on the request even when its answer is lost on the way back.
    const Frame answer = m_model.Handle(request, m_clock());

    std::vector<std::uint8_t> bytes;
    std::size_t firstPiece = 0; // bytes before the pause of a split reply; 0 for one piece
    switch (plan.fault) {
    case Fault::None:
        bytes.assign(answer.begin(), answer.end());
        break;
    case Fault::Silent:
    case Fault::Unplugged:
        break;
    case Fault::ShortReply:
        bytes.assign(answer.begin(), answer.begin() + std::clamp(plan.bytes, 1, 3));
        break;
    case Fault::Surplus:
        bytes.assign(answer.begin(), answer.end());
        bytes.insert(bytes.end(), static_cast<std::size_t>(std::max(plan.bytes, 1)), 0xEE);
        break;
    case Fault::Garbage:
        for (int i = 0; i < (plan.bytes > 0 ? plan.bytes : 4); ++i) {
            m_noise ^= m_noise << 13;
            m_noise ^= m_noise >> 17;
            m_noise ^= m_noise << 5;
            bytes.push_back(static_cast<std::uint8_t>(m_noise));
        }
        break;
    case Fault::Split:
        bytes.assign(answer.begin(), answer.end());
        firstPiece = static_cast<std::size_t>(std::clamp(plan.bytes, 1, 3));
        break;
    }

    if (bytes.empty())
        return reply;
    const auto charTime = m_options.lineTiming ? kCharTime19200 : std::chrono::nanoseconds::zero();
    // The request's own four characters have to cross the line before the controller can act.
    auto at = std::chrono::nanoseconds(plan.delay) + 4 * charTime;
    auto piece = [&](std::size_t from, std::size_t to) {
        if (charTime > std::chrono::nanoseconds::zero()) {
            // A UART hands each character over as it has crossed the line: a receiver sees a
            // reply and the bytes behind it grow one at a time, never as one block.
            for (std::size_t i = from; i < to; ++i) {
                at += charTime;
                reply.pieces.push_back({{bytes[i]}, at});
            }
            return;
        }
        reply.pieces.push_back({{bytes.begin() + static_cast<std::ptrdiff_t>(from),
                                 bytes.begin() + static_cast<std::ptrdiff_t>(to)},
                                at});
    };
    if (firstPiece > 0) {
        piece(0, firstPiece);
        at += plan.gap;
        piece(firstPiece, bytes.size());
    } else {
        piece(0, bytes.size());
    }
    return reply;
}

void Simulator::SetFault(FaultPlan plan) {
    std::lock_guard lock(m_mutex);
    m_fault = plan;
    m_writesBeforeUnplug.reset();
}

void Simulator::InjectOnce(FaultPlan plan) {
    std::lock_guard lock(m_mutex);
    m_once.push_back(plan);
}

void Simulator::SetFaultForAddress(std::uint8_t address, std::optional<FaultPlan> plan) {
    std::lock_guard lock(m_mutex);
    std::erase_if(m_byAddress, [&](const auto& entry) { return entry.first == address; });
    if (plan)
        m_byAddress.emplace_back(address, *plan);
}

void Simulator::UnplugAfterWrites(int writes) {
    std::lock_guard lock(m_mutex);
    m_writesBeforeUnplug = writes;
}

void Simulator::SetRandomFaults(RandomFaults faults) {
    std::lock_guard lock(m_mutex);
    m_random = faults;
    m_randomState = faults.seed;
}

std::vector<Frame> Simulator::Frames() const {
    std::lock_guard lock(m_mutex);
    return m_frames;
}

std::vector<FaultPlan> Simulator::AppliedFaults() const {
    std::lock_guard lock(m_mutex);
    return m_applied;
}

std::size_t Simulator::Received() const {
    std::lock_guard lock(m_mutex);
    return m_framesTaken + m_frames.size();
}

std::vector<Frame> Simulator::TakeFrames() {
    std::lock_guard lock(m_mutex);
    m_framesTaken += m_frames.size();
    m_applied.clear();
    return std::exchange(m_frames, {});
}

void Simulator::ClearFrames() {
    std::lock_guard lock(m_mutex);
    m_frames.clear();
    m_applied.clear();
}

bool Simulator::Claim() {
    std::lock_guard lock(m_mutex);
    if (m_claimed)
        return false;
    m_claimed = true;
    m_partial.clear();
    return true;
}

void Simulator::Release() {
    std::lock_guard lock(m_mutex);
    m_claimed = false;
}

} // namespace zef::sim
