#include "params/live_status.h"

#include "controls/format_value.h"
#include "link/register_exchange.h"

namespace zef {

bool SetupModeFrom(std::uint16_t word) {
    return (word & 0xFF) > 127;
}

bool OxygenFeedbackFrom(std::uint16_t word) {
    return (word & 0x02) != 0;
}

ParamValue CorrectionPercent(std::uint16_t word) {
    return ReplyPercent(Reply{0, word});
}

QString StatusLineText(bool setupMode, bool oxygenFeedback, ParamValue percent) {
    if (setupMode)
        return QStringLiteral("=== РЕЖИМ УСТАНОВКИ ===");
    const QString number = FormatValue(QStringLiteral("0.00"), percent);
    if (oxygenFeedback)
        return QStringLiteral("Датчик кислорода ") + number + QStringLiteral(" %");
    return QStringLiteral("Ручная подстройка  ") + number + QStringLiteral(" %");
}

} // namespace zef
