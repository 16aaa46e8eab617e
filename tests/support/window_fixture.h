#pragma once

#include "app/main_window.h"
#include "session/controller_session.h"
#include "support/scripted_prompts.h"
#include "support/sim_ports.h"

#include <QDate>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>

namespace zef::test {

// The window on the simulated controller, shown and not yet connected, with its exchanges on the
// test's own thread so that the frames it sends can be counted in order.
class WindowFixture : public ::testing::Test {
protected:
    explicit WindowFixture(QDate today = QDate(2026, 12, 7))
        : form(session, prompts, logDir.path(), [today] { return today; }) {}

    void SetUp() override {
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    }
    void connectCom1() {
        form.ConnectToPort(1);
        ASSERT_TRUE(form.Connected()) << prompts.messages.join("\n").toStdString();
    }

    SimPorts ports;
    ControllerSession session{ports, Threading::Caller, std::chrono::milliseconds(5)};
    SerialChannel& channel = session.Channel();
    RegisterExchange& link = session.Link();
    ScriptedPrompts prompts;
    QTemporaryDir logDir;
    TForm1 form;
};

} // namespace zef::test
