#pragma once

#include "link/register_exchange.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace zef {

// One register a step changed. `before` is missing when the controller's word was never seen
// before the write: such a register cannot be put back.
struct RegisterChange {
    std::uint8_t address = 0;
    std::optional<std::uint16_t> before;
    std::uint16_t after = 0;
    bool operator==(const RegisterChange&) const = default;
};

// What one action of the fitter did to the controller: an edit, a map step, a whole load.
struct ChangeStep {
    QDateTime time;
    QString description; // empty for a single parameter, which its register names
    std::vector<RegisterChange> changes;
};

// The words a list of changes leaves in the controller, going back or forth.
[[nodiscard]] std::vector<std::pair<std::uint8_t, std::uint16_t>>
WordsBefore(const ChangeStep& step);
[[nodiscard]] std::vector<std::pair<std::uint8_t, std::uint16_t>>
WordsAfter(const ChangeStep& step);

// The changes this session made to one controller, learned from the exchanges themselves, so
// that every way of writing is covered without each keeping its own record. It keeps what the
// controller was last seen to hold, by reads and writes alike, and takes every answered write
// as a change from that word. The operating counter and the identity are not calibration and
// are left out: putting back a counter would forge it.
//
// Exchanges may run on the line's thread; everything here may be called from any thread.
class ChangeHistory final : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;
    // Writes to one register closer than this to each other make one step, so that a held
    // arrow or a run of spin clicks is undone at once.
    static constexpr std::chrono::milliseconds kJoinWithin{2000};

    explicit ChangeHistory(Clock clock = &QDateTime::currentDateTime, QObject* parent = nullptr);

    // Fed with every exchange that reached the line (RegisterExchange::SetExchangeObserver).
    void Observe(Command command, std::uint8_t address, std::uint16_t value,
                 const std::optional<Reply>& reply);

    [[nodiscard]] std::optional<std::uint16_t> Known(std::uint8_t address) const;
    [[nodiscard]] std::map<std::uint8_t, std::uint16_t> KnownWords() const;

    // The writes made while a group lives are one step with this description.
    class Group {
    public:
        Group(ChangeHistory& history, const QString& description);
        ~Group();
        Group(const Group&) = delete;
        Group& operator=(const Group&) = delete;

    private:
        ChangeHistory& m_history;
    };

    // The writes made while a replay lives put a step back or forth: they are learned and not
    // recorded.
    class Replay {
    public:
        explicit Replay(ChangeHistory& history);
        ~Replay();
        Replay(const Replay&) = delete;
        Replay& operator=(const Replay&) = delete;

    private:
        ChangeHistory& m_history;
    };

    // Oldest first; the last of Done() is undone next, the last of Undone() redone next.
    [[nodiscard]] std::vector<ChangeStep> Done() const;
    [[nodiscard]] std::vector<ChangeStep> Undone() const;
    [[nodiscard]] bool CanUndo() const;
    [[nodiscard]] bool CanRedo() const;
    // Moves the step between the two lists once the controller took it back or again.
    void MarkUndone();
    void MarkRedone();

    // Another controller, or none: nothing of this one applies to it.
    void Clear();
    // Another controller met on a link that came back, its words read already.
    void ForgetSteps();

signals:
    // A step came, went or moved; may come from the line's thread.
    void Changed();

private:
    // Moves the last step of one list to the other: an undo or a redo done.
    void moveLast(std::vector<ChangeStep>& from, std::vector<ChangeStep>& to);
    [[nodiscard]] static bool Tracked(std::uint8_t address);
    // Returns whether a step changed.
    bool written(std::uint8_t address, std::uint16_t word);
    void endGroup();

    Clock m_clock;
    mutable std::mutex m_mutex;
    std::map<std::uint8_t, std::uint16_t> m_known;
    std::vector<ChangeStep> m_done;
    std::vector<ChangeStep> m_undone;
    std::optional<ChangeStep> m_group;
    int m_groupDepth = 0;
    int m_replaying = 0;
    // The last step may take the next write to its register.
    bool m_joinable = false;
};

// Why putting words back did not succeed, or nothing when the controller holds them all.
struct ReplayFailure {
    std::uint8_t address = 0;
    std::optional<std::uint16_t> held; // read back; missing when the controller did not answer
    bool written = false;              // false: the write itself went unanswered
};

// Writes the words in order and reads each back, stopping at the first write that goes
// unanswered; the failure names the first register that does not hold its word.
[[nodiscard]] std::optional<ReplayFailure>
WriteAndReadBack(RegisterExchange& link,
                 const std::vector<std::pair<std::uint8_t, std::uint16_t>>& words);

} // namespace zef
