// "Правка": each kind of change the window makes to the controller undone and redone, checked
// on the simulated controller's own registers.
#include "app/change_journal.h"
#include "app/map_editor.h"
#include "app/map_tuning.h"
#include "controls/ext_edit.h"
#include "sim/simulator.h"
#include "support/window_fixture.h"

#include <QAction>
#include <QFile>

#include <functional>

using namespace zef;

namespace {

class Undo : public test::WindowFixture {
protected:
    [[nodiscard]] std::vector<std::uint16_t> words() const {
        std::vector<std::uint16_t> held;
        for (std::uint8_t address : kSettingsRegisters)
            held.push_back(ports.Param(address));
        return held;
    }
    // The controller's calibration with a few words moved, as a settings file.
    [[nodiscard]] QString changedFile(const QString& name, std::uint16_t delta) {
        SettingsValues values = *ReadSettings(link);
        for (std::size_t line : {0U, 5U, 9U, 12U})
            values[line] = static_cast<std::uint16_t>(values[line] + delta);
        const QString path = logDir.filePath(name);
        EXPECT_TRUE(WriteSettingsFile(path, values));
        return path;
    }
    [[nodiscard]] bool writesSent() const {
        const auto frames = ports.sim->Frames();
        return std::any_of(frames.begin(), frames.end(), [](const Frame& f) {
            return f[0] == static_cast<std::uint8_t>(Command::WriteParam);
        });
    }
};

TEST_F(Undo, every_kind_of_change_is_undone_and_redone_on_the_controller) {
    connectCom1();
    struct Kind {
        const char* name;
        std::function<void()> change;
        bool asks; // several registers go back: only after a "Да"
    };
    const Kind kinds[] = {
        {"edit", [&] { form.SpinEdit("SpinExtEdit9")->StepDown(); }, false},
        {"map step", [&] { form.Map().RaiseMapPoint(3); }, false},
        {"load", [&] { ASSERT_TRUE(form.LoadCalibration(changedFile("a.zef", 10))); }, true},
        {"restore",
         [&] { ASSERT_TRUE(form.LoadCalibration(changedFile("b.zef", 20), EventKind::Restored)); },
         true},
        {"tuning",
         [&] {
             const MapMicros before = *ReadMap(link);
             MapMicros chosen = before;
             chosen[2] += 100;
             chosen[5] -= 50;
             ASSERT_TRUE(WriteTunedMap(form, before, chosen));
         },
         true},
    };
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.name);
        const auto original = words();
        const auto shown = form.SpinEdit("SpinExtEdit9")->Value();
        const auto steps = form.History().Done().size();
        kind.change();
        const auto changed = words();
        ASSERT_NE(changed, original);
        ASSERT_EQ(form.History().Done().size(), steps + 1);

        prompts.questions.clear();
        prompts.answers = {false};
        EXPECT_EQ(form.UndoChange(), !kind.asks);
        if (kind.asks) {
            EXPECT_EQ(prompts.questions.size(), 1);
            EXPECT_EQ(words(), changed); // "Нет" writes nothing
            prompts.answers = {true};
            ASSERT_TRUE(form.UndoChange());
        }
        EXPECT_EQ(words(), original);
        EXPECT_EQ(form.SpinEdit("SpinExtEdit9")->Value(), shown); // read back, not remembered
        EXPECT_EQ(form.History().Done().size(), steps);

        prompts.answers = {true};
        ASSERT_TRUE(form.RedoChange());
        EXPECT_EQ(words(), changed);
        prompts.answers = {true};
        ASSERT_TRUE(form.UndoChange());
    }
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join("\n").toStdString();

    // The menu follows the history once the window has had its events.
    form.SpinEdit("SpinExtEdit9")->StepDown();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.UndoAction->isEnabled(); }));
    form.UndoAction->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.RedoAction->isEnabled(); }));
    // Enter in the journal does nothing to the controller.
    ChangeJournal* journal = form.ShowChangeJournal();
    EXPECT_TRUE(journal->topLevelItem(journal->topLevelItemCount() - 1)->text(2).contains(" → "));
    ports.sim->ClearFrames();
    for (const auto key : {Qt::Key_Return, Qt::Key_Enter})
        QTest::keyClick(journal, key);
    EXPECT_FALSE(writesSent());
    form.Close_COMClick();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.RedoAction->isEnabled(); }));
    EXPECT_TRUE(form.History().Undone().empty());
}

TEST_F(Undo, a_write_the_controller_does_not_answer_leaves_the_step_in_place) {
    connectCom1();
    form.Map().RaiseMapPoint(2);
    ASSERT_EQ(form.History().Done().size(), 1);
    const auto changed = words();
    ports.sim->SetFaultForAddress(8, sim::FaultPlan{sim::Fault::Unplugged, 0, {}});
    EXPECT_FALSE(form.UndoChange());
    ports.sim->SetFaultForAddress(8, std::nullopt);
    EXPECT_EQ(words(), changed);
    EXPECT_EQ(form.History().Done().size(), 1);
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_TRUE(prompts.messages[0].startsWith("Не отменено")) << prompts.messages[0].toStdString();
    EXPECT_TRUE(form.UndoChange()); // answered again, it goes through
}

} // namespace
