// What the change history makes of the exchanges it is told of: which writes are steps, which
// join, and what undoing a step writes.
#include "session/change_history.h"

#include <gtest/gtest.h>

using namespace zef;

namespace {

struct Event {
    Command command;
    std::uint8_t address;
    std::uint16_t word;
    bool answered = true;
    int laterMs = 0; // after the event before it
};

struct Case {
    const char* name;
    bool grouped; // the writes made as one action
    std::vector<Event> events;
    std::vector<std::vector<RegisterChange>> steps;
};

constexpr Command R = Command::ReadParam;
constexpr Command L = Command::ReadLive;
constexpr Command W = Command::WriteParam;

TEST(ChangeHistory, tells_steps_from_the_exchanges) {
    const Case cases[] = {
        {"clicks on one register in quick succession are one step",
         false,
         {{R, 20, 1500}, {W, 20, 1550}, {W, 20, 1600, true, 500}},
         {{{20, 1500, 1600}}}},
        {"clicks further apart are a step each",
         false,
         {{R, 20, 1500}, {W, 20, 1550}, {W, 20, 1600, true, 2500}},
         {{{20, 1500, 1550}}, {{20, 1550, 1600}}}},
        {"clicks back to where they started leave nothing to undo",
         false,
         {{R, 20, 1500}, {W, 20, 1550}, {W, 20, 1500, true, 100}},
         {}},
        {"a map point is known from the live register it reads back through",
         false,
         {{L, 234, 3000}, {W, 8, 3050}},
         {{{8, 3000, 3050}}}},
        {"the counter and the identity are no calibration",
         false,
         {{R, 35, 5}, {W, 35, 0}, {W, 40, 'A'}},
         {}},
        {"an unanswered write changes nothing known, and its word is no longer known",
         false,
         {{R, 20, 1500}, {W, 20, 1550, false}, {W, 20, 1600, true, 3000}},
         {{{20, std::nullopt, 1600}}}},
        {"an action is one step, the words it did not change left out",
         true,
         {{R, 0, 1}, {R, 5, 2}, {R, 6, 7}, {W, 0, 3}, {W, 5, 4}, {W, 6, 7}, {W, 0, 5}},
         {{{0, 1, 3}, {5, 2, 4}, {0, 3, 5}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QDateTime now(QDate(2026, 12, 8), QTime(10, 0));
        ChangeHistory history([&now] { return now; });
        std::optional<ChangeHistory::Group> group;
        if (c.grouped)
            group.emplace(history, QStringLiteral("Загрузка"));
        for (const Event& e : c.events) {
            now = now.addMSecs(e.laterMs);
            history.Observe(e.command, e.address, e.word,
                            e.answered ? std::optional(Reply{0, e.word}) : std::nullopt);
        }
        group.reset();
        const auto done = history.Done();
        ASSERT_EQ(done.size(), c.steps.size());
        for (std::size_t i = 0; i < done.size(); ++i)
            EXPECT_EQ(done[i].changes, c.steps[i]) << i;
    }
}

// A register an action wrote twice goes back to its word before the first write, and forth
// to the last; writes that put a step back are not steps of their own.
TEST(ChangeHistory, undoing_an_action_writes_each_register_once) {
    ChangeHistory history;
    history.Observe(R, 0, 0, Reply{0, 1});
    history.Observe(R, 5, 0, Reply{0, 2});
    {
        const ChangeHistory::Group load(history, QStringLiteral("Загрузка"));
        for (auto [address, word] : {std::pair{0, 3}, {5, 4}, {0, 5}})
            history.Observe(W, address, word, Reply{});
    }
    const ChangeStep step = history.Done().back();
    using Words = std::vector<std::pair<std::uint8_t, std::uint16_t>>;
    EXPECT_EQ(WordsBefore(step), (Words{{0, 1}, {5, 2}}));
    EXPECT_EQ(WordsAfter(step), (Words{{0, 5}, {5, 4}}));
    {
        const ChangeHistory::Replay replay(history);
        for (const auto& [address, word] : WordsBefore(step))
            history.Observe(W, address, word, Reply{});
    }
    history.MarkUndone();
    EXPECT_TRUE(history.Done().empty());
    EXPECT_EQ(history.Undone().size(), 1);
    EXPECT_EQ(history.Known(0), 1);
}

} // namespace
