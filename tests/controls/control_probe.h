#pragma once

// Records what the bound controls tell their owner.

#include "controls/control_events.h"

#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <vector>

namespace zef::test {

struct Change {
    QWidget* sender;
    ParamValue oldValue;
    ParamValue newValue;
};

struct ChangeLog {
    std::vector<Change> changes;

    [[nodiscard]] TChangeEvent Handler() {
        return [this](QWidget* sender, ParamValue oldValue, ParamValue newValue) {
            changes.push_back({sender, oldValue, newValue});
        };
    }
};

// A window that is on screen, so that its controls count as showing.
inline void ShowWindow(QWidget& window) {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
}

} // namespace zef::test
