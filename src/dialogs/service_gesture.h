#pragma once

#include <Qt>

namespace zef {

// The hidden service functions open on a press with Shift, Ctrl and Alt held while the right
// button is down. Which button caused the press does not matter, only the state with it.
[[nodiscard]] inline bool IsServiceGesture(Qt::KeyboardModifiers modifiers,
                                           Qt::MouseButtons buttons) {
    constexpr Qt::KeyboardModifiers kAll =
        Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier;
    return (modifiers & kAll) == kAll && (buttons & Qt::RightButton);
}

} // namespace zef
