// The window on a session whose exchanges run on a line thread of their own, against a simulated
// controller whose device takes a request only when the test lets it: the window's thread stays
// free while a job waits on the line, and what the job read still reaches the window.
#include "app/main_window.h"
#include "app/status_bar.h"
#include "session/controller_session.h"
#include "support/scripted_prompts.h"
#include "support/sim_ports.h"

#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

using namespace zef;
using namespace std::chrono_literals;

namespace {

// Holds every request in the device while closed; tells when one is held.
class GatedPorts final : public PortDirectory {
public:
    class Device final : public SerialBackend {
    public:
        Device(GatedPorts& gate, std::unique_ptr<SerialBackend> inner)
            : m_gate(gate), m_inner(std::move(inner)) {}
        bool open() override { return m_inner->open(); }
        void close() override { m_inner->close(); }
        bool configure(std::int32_t baud) override { return m_inner->configure(baud); }
        bool write(std::span<const std::uint8_t> bytes) override {
            m_gate.pass();
            return m_inner->write(bytes);
        }
        std::size_t bytesWaiting() override { return m_inner->bytesWaiting(); }
        std::size_t read(std::span<std::uint8_t> buffer) override { return m_inner->read(buffer); }
        bool waitForBytes(std::chrono::steady_clock::time_point deadline) override {
            return m_inner->waitForBytes(deadline);
        }
        void setDtr(bool on) override { m_inner->setDtr(on); }
        void setRts(bool on) override { m_inner->setRts(on); }
        std::string lastError() const override { return m_inner->lastError(); }
        std::string name() const override { return m_inner->name(); }

    private:
        GatedPorts& m_gate;
        std::unique_ptr<SerialBackend> m_inner;
    };

    std::unique_ptr<SerialBackend> backendFor(int portNumber) override {
        auto inner = sim.backendFor(portNumber);
        return inner ? std::make_unique<Device>(*this, std::move(inner)) : nullptr;
    }
    void Close() {
        std::lock_guard lock(m_mutex);
        m_open = false;
    }
    void Open() {
        {
            std::lock_guard lock(m_mutex);
            m_open = true;
        }
        m_changed.notify_all();
    }
    [[nodiscard]] bool Held() {
        std::lock_guard lock(m_mutex);
        return m_held;
    }

    test::SimPorts sim{sim::Simulator::Options{.lineTiming = true}};

private:
    void pass() {
        std::unique_lock lock(m_mutex);
        m_held = !m_open;
        m_changed.notify_all();
        // Let go in the end, so that a window that waits here fails its test instead of hanging.
        if (!m_changed.wait_for(lock, 20s, [this] { return m_open; }))
            m_open = true;
        m_held = false;
    }
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = true;
    bool m_held = false;
};

class LineThread : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        form.ConnectToPort(1);
        ASSERT_TRUE(form.Connected()) << prompts.messages.join("\n").toStdString();
    }
    void TearDown() override {
        ports.Open();
        if (form.Connected())
            form.Close_COMClick();
    }
    // With a job held on the line: a call queued on the window's thread runs at once.
    void expectWindowFreeWhileHeld() {
        // The window's own event loop lets go of the line it held for the connection.
        ASSERT_TRUE(QTest::qWaitFor([&] { return ports.Held(); }));
        bool ran = false;
        QMetaObject::invokeMethod(
            &form, [&] { ran = true; }, Qt::QueuedConnection);
        QCoreApplication::processEvents();
        EXPECT_TRUE(ran);
        EXPECT_GE(session.JobsPending(), 1);
        ports.Open();
    }

    QTemporaryDir dir;
    GatedPorts ports;
    ControllerSession session{ports, Threading::LineThread, 5ms};
    test::ScriptedPrompts prompts;
    TForm1 form{session, prompts, dir.path(), [] { return QDate(2026, 12, 8); }};
};

TEST_F(LineThread, a_monitor_tick_waits_on_the_line_not_in_the_window_and_is_shown_after) {
    form.StaticText2->clear();
    ports.Close();
    form.Timer1Timer();
    expectWindowFreeWhileHeld();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form.StaticText2->text().isEmpty(); }));
}

TEST_F(LineThread, a_tick_that_comes_back_after_close_com_shows_nothing) {
    ports.Close();
    form.Timer1Timer();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ports.Held(); }));
    ports.Open();
    // Done on the line, its result not yet taken by the window's event loop.
    while (session.JobsPending() > 0)
        std::this_thread::yield();
    form.Close_COMClick();
    QCoreApplication::processEvents();
    EXPECT_TRUE(form.StaticText2->text().isEmpty()) << form.StaticText2->text().toStdString();
}

TEST_F(LineThread, a_datalog_row_waits_on_the_line_not_in_the_window_and_is_written_after) {
    form.SetRecordingPeriod(1ms); // the fastest the line keeps, on its own timer
    ASSERT_TRUE(form.StartRecordingTo(dir.filePath("rows.csv")));
    ports.Close();
    expectWindowFreeWhileHeld();
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.Recorder()->Writer().Rows() >= 2; }));
    form.StopRecording();
}

TEST_F(LineThread, a_link_lost_on_the_line_thread_is_shown_in_the_window_and_found_again) {
    ports.sim.sim->SetFault({sim::Fault::Silent, 0, {}});
    form.Timer1Timer();
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.Supervisor().IsLost(); }));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form.StaticText2->isEnabled(); }));
    EXPECT_EQ(form.LinkStatus().StateLabel()->text(), QStringLiteral("Нет связи"));
    ports.sim.sim->SetFault({});
    EXPECT_TRUE(QTest::qWaitFor([&] {
        form.Timer1Timer();
        return !form.Supervisor().IsLost() && form.StaticText2->isEnabled();
    }));
}

// The window's own sequences wait on the line with the window's event loop turning: a call
// queued to the window's thread runs while one of their requests is held on the line.
TEST_F(LineThread, the_window_turns_while_its_own_sequence_waits_on_the_line) {
    const QString file = dir.filePath("saved.zef");
    prompts.files = {file};
    form.SaveSettingsToFile();
    ASSERT_TRUE(QFile::exists(file)) << prompts.messages.join("\n").toStdString();
    const std::pair<const char*, std::function<void()>> sequences[] = {
        {"connection", [&] { form.ConnectToPort(1); }},
        {"settings load", [&] { form.LoadSettingsFrom(file); }},
    };
    for (const auto& [name, run] : sequences) {
        SCOPED_TRACE(name);
        if (std::string_view(name) == "connection")
            form.Close_COMClick();
        bool ranWhileHeld = false, over = false;
        std::function<void()> watch = [&] {
            if (over)
                return;
            if (!ports.Held()) {
                QMetaObject::invokeMethod(qApp, watch, Qt::QueuedConnection);
                return;
            }
            ranWhileHeld = true;
            ports.Open();
        };
        ports.Close();
        QMetaObject::invokeMethod(qApp, watch, Qt::QueuedConnection);
        run();
        over = true;
        EXPECT_TRUE(ranWhileHeld);
        EXPECT_TRUE(form.Connected()) << prompts.messages.join("\n").toStdString();
    }
}

} // namespace
