#include "session/change_history.h"

#include "files/identity.h"
#include "params/map_points.h"

#include <algorithm>

namespace zef {

namespace {

// One word a register, in the order the step first wrote them: a register written twice by a
// step is put back as it was before the first write, or again as the last left it.
std::vector<std::pair<std::uint8_t, std::uint16_t>> Words(const ChangeStep& step, bool before) {
    std::vector<std::pair<std::uint8_t, std::uint16_t>> words;
    for (const RegisterChange& c : step.changes) {
        auto same = std::find_if(words.begin(), words.end(),
                                 [&](const auto& w) { return w.first == c.address; });
        if (same == words.end()) {
            if (before && !c.before)
                continue;
            words.emplace_back(c.address, before ? *c.before : c.after);
        } else if (!before) {
            same->second = c.after;
        }
    }
    return words;
}

} // namespace

std::vector<std::pair<std::uint8_t, std::uint16_t>> WordsBefore(const ChangeStep& step) {
    return Words(step, true);
}

std::vector<std::pair<std::uint8_t, std::uint16_t>> WordsAfter(const ChangeStep& step) {
    return Words(step, false);
}

ChangeHistory::ChangeHistory(Clock clock, QObject* parent)
    : QObject(parent), m_clock(std::move(clock)) {}

bool ChangeHistory::Tracked(std::uint8_t address) {
    return address < kCounterRegister || address >= kDateRegister + kDateLength;
}

void ChangeHistory::Observe(Command command, std::uint8_t address, std::uint16_t value,
                            const std::optional<Reply>& reply) {
    bool changed = false;
    {
        std::lock_guard lock(m_mutex);
        switch (command) {
        case Command::ReadParam:
            if (reply)
                m_known[address] = reply->second;
            break;
        case Command::ReadLive:
            // The map's points from 1000 rpm on read back through live registers.
            for (const MapPoint& point : kMapPoints) {
                if (reply && point.liveRegister != 0 && point.liveRegister == address)
                    m_known[point.parameter] = reply->second;
            }
            break;
        case Command::WriteParam:
            if (reply)
                changed = written(address, value);
            else
                m_known.erase(address); // taken or not, nobody can tell
            break;
        }
    }
    if (changed)
        emit Changed();
}

bool ChangeHistory::written(std::uint8_t address, std::uint16_t word) {
    const auto known = m_known.find(address);
    const std::optional<std::uint16_t> before =
        known == m_known.end() ? std::nullopt : std::optional(known->second);
    m_known[address] = word;
    if (m_replaying > 0 || !Tracked(address))
        return false;
    if (m_group) {
        if (before != word)
            m_group->changes.push_back({address, before, word});
        return false;
    }
    if (before == word)
        return false;
    const QDateTime now = m_clock();
    m_undone.clear();
    if (m_joinable && !m_done.empty()) {
        ChangeStep& last = m_done.back();
        if (last.description.isEmpty() && last.changes.size() == 1 &&
            last.changes.front().address == address &&
            last.time.msecsTo(now) < kJoinWithin.count()) {
            last.changes.front().after = word;
            last.time = now;
            if (last.changes.front().before == word)
                m_done.pop_back(); // back where it started: nothing to undo
            return true;
        }
    }
    m_done.push_back({now, QString(), {{address, before, word}}});
    m_joinable = true;
    return true;
}

std::optional<std::uint16_t> ChangeHistory::Known(std::uint8_t address) const {
    std::lock_guard lock(m_mutex);
    const auto known = m_known.find(address);
    return known == m_known.end() ? std::nullopt : std::optional(known->second);
}

std::map<std::uint8_t, std::uint16_t> ChangeHistory::KnownWords() const {
    std::lock_guard lock(m_mutex);
    return m_known;
}

ChangeHistory::Group::Group(ChangeHistory& history, const QString& description)
    : m_history(history) {
    std::lock_guard lock(m_history.m_mutex);
    if (m_history.m_groupDepth++ == 0)
        m_history.m_group = ChangeStep{m_history.m_clock(), description, {}};
}

ChangeHistory::Group::~Group() {
    m_history.endGroup();
}

void ChangeHistory::endGroup() {
    bool changed = false;
    {
        std::lock_guard lock(m_mutex);
        if (--m_groupDepth > 0 || !m_group)
            return;
        if (!m_group->changes.empty()) {
            m_undone.clear();
            m_done.push_back(std::move(*m_group));
            m_joinable = false;
            changed = true;
        }
        m_group.reset();
    }
    if (changed)
        emit Changed();
}

ChangeHistory::Replay::Replay(ChangeHistory& history) : m_history(history) {
    std::lock_guard lock(m_history.m_mutex);
    ++m_history.m_replaying;
}

ChangeHistory::Replay::~Replay() {
    std::lock_guard lock(m_history.m_mutex);
    --m_history.m_replaying;
}

std::vector<ChangeStep> ChangeHistory::Done() const {
    std::lock_guard lock(m_mutex);
    return m_done;
}

std::vector<ChangeStep> ChangeHistory::Undone() const {
    std::lock_guard lock(m_mutex);
    return m_undone;
}

bool ChangeHistory::CanUndo() const {
    std::lock_guard lock(m_mutex);
    return !m_done.empty();
}

bool ChangeHistory::CanRedo() const {
    std::lock_guard lock(m_mutex);
    return !m_undone.empty();
}

void ChangeHistory::MarkUndone() {
    moveLast(m_done, m_undone);
}

void ChangeHistory::MarkRedone() {
    moveLast(m_undone, m_done);
}

void ChangeHistory::moveLast(std::vector<ChangeStep>& from, std::vector<ChangeStep>& to) {
    {
        std::lock_guard lock(m_mutex);
        if (from.empty())
            return;
        to.push_back(std::move(from.back()));
        from.pop_back();
        m_joinable = false;
    }
    emit Changed();
}

void ChangeHistory::Clear() {
    {
        std::lock_guard lock(m_mutex);
        m_known.clear();
    }
    ForgetSteps();
}

void ChangeHistory::ForgetSteps() {
    {
        std::lock_guard lock(m_mutex);
        m_done.clear();
        m_undone.clear();
        m_joinable = false;
    }
    emit Changed();
}

std::optional<ReplayFailure>
WriteAndReadBack(RegisterExchange& link,
                 const std::vector<std::pair<std::uint8_t, std::uint16_t>>& words) {
    for (const auto& [address, word] : words) {
        if (!link.Exchange(Command::WriteParam, address, word))
            return ReplayFailure{address, std::nullopt, false};
    }
    for (const auto& [address, word] : words) {
        const auto held = ReadVerified(link, address);
        if (!held || held->second != word)
            return ReplayFailure{address, held ? std::optional(held->second) : std::nullopt, true};
    }
    return std::nullopt;
}

} // namespace zef
