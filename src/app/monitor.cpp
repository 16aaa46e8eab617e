#include "app/monitor.h"

#include "app/map_editor.h"
#include "params/live_status.h"

namespace zef {

void MonitorCycle::Tick() {
    // Neither flag looks at whether its exchange succeeded: a silent controller leaves the last
    // reply in place and the tick goes on with it.
    m_link.Exchange(Command::ReadLive, kSetupModeRegister);
    const bool setupMode = SetupModeFrom(m_link.LastReply().second);
    m_link.Exchange(Command::ReadLive, kCorrectionSourceRegister);
    const bool oxygenFeedback = OxygenFeedbackFrom(m_link.LastReply().second);

    ParamValue percent = 0;
    if (!setupMode) {
        m_link.Exchange(Command::ReadLive,
                        oxygenFeedback ? kOxygenCorrectionRegister : kManualCorrectionRegister);
        percent = CorrectionPercent(m_link.LastReply().second);
    }
    if (m_hooks.setStatus)
        m_hooks.setStatus(StatusLineText(setupMode, oxygenFeedback, percent));
    if (m_hooks.placeMarker)
        m_hooks.placeMarker();
    m_map.RefreshMap();
    m_link.Exchange(Command::ReadLive, setupMode ? 180 : 226);
    if (m_afterTick)
        m_afterTick();
}

} // namespace zef
