#include "session/tick.h"

#include "datalog/channels.h"
#include "params/catalogue.h"
#include "params/live_status.h"
#include "params/map_points.h"

#include <span>

namespace zef {

namespace {

std::optional<double> Millis(const std::optional<Reply>& reply) {
    if (!reply)
        return std::nullopt;
    return static_cast<double>(ReplyMillis(*reply));
}

} // namespace

MapReading ReadMapPoints(RegisterExchange& link) {
    MapReading map;
    // One reply serves both: the curve starts flat from the origin.
    map[0] = map[1] = Millis(link.Exchange(Command::ReadParam, kMapPoints[0].parameter));
    std::size_t i = 2;
    for (const MapPoint& p : std::span(kMapPoints).subspan(1))
        map[i++] = Millis(link.Exchange(Command::ReadLive, p.liveRegister));
    return map;
}

double MonitorLineShare(std::chrono::milliseconds tickInterval) {
    using Micros = std::chrono::duration<double, std::micro>;
    const double exchange = Micros(kExchangeLineTime).count();
    // Status, source, correction, the seven map reads and the closing read; then the quiet
    // that ends the tick's burst.
    constexpr int kTickExchanges = 3 + 7 + 1;
    constexpr double kBurstQuiet = 2005;
    double share = (kTickExchanges * exchange + kBurstQuiet) / Micros(tickInterval).count();
    for (const ReadoutRow& row : ReadoutRows())
        share += (row.readsOxygenFlag ? 2 : 1) * exchange / Micros(row.QueryInterval).count();
    return share;
}

TickReading ReadTick(RegisterExchange& link, bool withMap) {
    TickReading tick;
    // The tick makes its exchanges whatever the answers, as the controller expects them; what
    // it shows comes only from answers.
    const auto setup = link.Exchange(Command::ReadLive, kSetupModeRegister);
    const bool setupMode = setup && SetupModeFrom(setup->second);
    const auto source = link.Exchange(Command::ReadLive, kCorrectionSourceRegister);
    const bool oxygenFeedback = source && OxygenFeedbackFrom(source->second);
    bool answered = setup && source;
    ParamValue percent = 0;
    if (!setupMode) {
        const auto correction =
            link.Exchange(Command::ReadLive,
                          oxygenFeedback ? kOxygenCorrectionRegister : kManualCorrectionRegister);
        answered = answered && correction;
        if (correction)
            percent = CorrectionPercent(correction->second);
    }
    if (answered)
        tick.statusLine = StatusLineText(setupMode, oxygenFeedback, percent);
    if (withMap)
        tick.map = ReadMapPoints(link);
    (void)link.Exchange(Command::ReadLive, setupMode ? 180 : 226);
    return tick;
}

} // namespace zef
