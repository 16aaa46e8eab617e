// What the window does to a numbered controller lands in its history in the production
// registry, through the session, with the calibration where one is involved.
#include "app/main_window.h"
#include "registry/production_registry.h"
#include "session/controller_session.h"
#include "support/scripted_prompts.h"
#include "support/sim_ports.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace zef;
using namespace std::chrono_literals;

namespace {

TEST(WindowEvents, every_action_on_the_controller_is_in_its_history_in_order) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ProductionRegistry registry(RegistryOptions{
        .url = "sqlite:" + dir.filePath("registry.sqlite"),
        .workplace = {.station = "bench 1", .user = "fitter", .programVersion = "test"},
        .queueFile = {},
        .schemaVersion = -1});
    test::SimPorts ports;
    ControllerSession session{ports, Threading::Caller, 5ms};
    session.SetEventSink(
        [&](EventKind kind, const QString& serial, const std::vector<std::uint16_t>& calibration) {
            RegistryEvent event = NewEvent(registry.Who(), serial, kind);
            event.calibration = calibration;
            registry.Record(event);
        });
    test::ScriptedPrompts prompts;
    TForm1 form{session, prompts, dir.path(), [] { return QDate(2026, 12, 8); }};

    form.ConnectToPort(1);
    ASSERT_TRUE(form.Connected());
    const QString file = dir.filePath("car.zef");
    prompts.files << file;
    form.SaveSettingsToFile();
    ASSERT_TRUE(form.LoadCalibration(file));
    prompts.answers = {true};
    form.StaticText4MouseDown(Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier,
                              Qt::RightButton);
    ASSERT_TRUE(form.WriteSerialNumber("ZEF-K7LX SN 05.02 00124"));
    ASSERT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join("\n").toStdString();

    const auto before = registry.History("ZEF-K7LX SN 05.02 00123");
    const auto after = registry.History("ZEF-K7LX SN 05.02 00124");
    ASSERT_TRUE(before && after) << (before ? after.error() : before.error()).toStdString();
    std::vector<EventKind> kinds;
    for (const RegistryEvent& event : *before) {
        kinds.push_back(event.kind);
        const bool carriesCalibration =
            event.kind == EventKind::Saved || event.kind == EventKind::Loaded;
        EXPECT_EQ(event.calibration.size(), carriesCalibration ? 31u : 0u)
            << KindRow(event.kind).name;
        EXPECT_EQ(event.station, "bench 1");
    }
    EXPECT_EQ(kinds, (std::vector{EventKind::Connected, EventKind::Saved, EventKind::Loaded,
                                  EventKind::CounterReset}));
    ASSERT_EQ(after->size(), 1u);
    EXPECT_EQ(after->front().kind, EventKind::SerialWritten);
}

} // namespace
