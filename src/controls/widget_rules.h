#pragma once

// Rules that the edit controls and the read-out share.

#include "controls/bound_value.h"

#include <QWidget>

namespace zef {

// Only what the user can see and act on tells the owner about a change: a control that is
// disabled itself, or sits on a page that is not shown, changes silently. A disabled parent
// does not count; only the control's own flag does.
[[nodiscard]] inline bool MayNotify(const QWidget& control) {
    return control.isVisible() && !control.testAttribute(Qt::WA_ForceDisabled);
}

inline void FollowHeightWithFont(QWidget& control) {
    if (const auto points = FontPointsForHeight(control.height())) {
        QFont font = control.font();
        font.setPointSize(*points);
        control.setFont(font);
    }
}

} // namespace zef
