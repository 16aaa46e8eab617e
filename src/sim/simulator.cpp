#include "sim/simulator.h"

#include <charconv>

namespace zef::sim {

std::optional<FaultPlan> ParseFault(std::string_view text) {
    auto number = [](std::string_view s) -> std::optional<int> {
        int n = 0;
        auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
        if (ec != std::errc() || p != s.data() + s.size())
            return std::nullopt;
        return n;
    };
    if (text == "none")
        return FaultPlan{};
    if (text == "silent")
        return FaultPlan{Fault::Silent, 0, {}};
    if (text == "garbage")
        return FaultPlan{Fault::Garbage, 4, {}};
    if (text.starts_with("short=")) {
        auto n = number(text.substr(6));
        if (n && *n >= 1 && *n <= 3)
            return FaultPlan{Fault::ShortReply, *n, {}};
    }
    if (text.starts_with("surplus=")) {
        auto n = number(text.substr(8));
        if (n && *n >= 1 && *n <= 64)
            return FaultPlan{Fault::Surplus, *n, {}};
    }
    return std::nullopt;
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
            if (!r.bytes.empty())
                replies.push_back(std::move(r));
        }
    }
    return replies;
}

Simulator::Reply Simulator::Answer(const Frame& request) {
    FaultPlan plan = m_fault;
    for (const auto& [address, p] : m_byAddress) {
        if (address == request[1])
            plan = p;
    }
    if (!m_once.empty()) {
        plan = m_once.front();
        m_once.pop_front();
    }

    // The controller acts on the request even when its answer is lost on the way back.
    const Frame answer = m_model.Handle(request, m_clock());

    Reply reply;
    switch (plan.fault) {
    case Fault::None:
        reply.bytes.assign(answer.begin(), answer.end());
        break;
    case Fault::Silent:
        break;
    case Fault::ShortReply:
        reply.bytes.assign(answer.begin(), answer.begin() + std::clamp(plan.bytes, 1, 3));
        break;
    case Fault::Surplus:
        reply.bytes.assign(answer.begin(), answer.end());
        reply.bytes.insert(reply.bytes.end(), static_cast<std::size_t>(std::max(plan.bytes, 1)),
                           0xEE);
        break;
    case Fault::Garbage:
        for (int i = 0; i < 4; ++i) {
            m_noise ^= m_noise << 13;
            m_noise ^= m_noise >> 17;
            m_noise ^= m_noise << 5;
            reply.bytes.push_back(static_cast<std::uint8_t>(m_noise));
        }
        break;
    }
    reply.start = plan.delay;
    if (m_options.lineTiming) {
        reply.start += 4 * kCharTime19200; // the request's own four characters on the line
        reply.perByte = kCharTime19200;
    }
    return reply;
}

void Simulator::SetFault(FaultPlan plan) {
    std::lock_guard lock(m_mutex);
    m_fault = plan;
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

std::vector<Frame> Simulator::Frames() const {
    std::lock_guard lock(m_mutex);
    return m_frames;
}

void Simulator::ClearFrames() {
    std::lock_guard lock(m_mutex);
    m_frames.clear();
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
