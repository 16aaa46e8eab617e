#include "datalog/channels.h"

#include <algorithm>

#include "params/catalogue.h"
#include "params/live_status.h"

#include <array>
#include <cmath>

namespace zef {

namespace {

struct ChannelRow {
    std::string_view key;
    std::string_view name;
    std::string_view unit;
    ChannelReading reading;
    std::string_view readout; // with ChannelReading::Readout: the window's read-out control
    std::uint8_t address;     // otherwise
    int decimals;
};

constexpr ChannelRow ByReadout(std::string_view key, std::string_view name, std::string_view unit,
                               std::string_view readout, int decimals) {
    return {key, name, unit, ChannelReading::Readout, readout, 0, decimals};
}

// The two status bits come first, as in the monitor tick, so a row's flags and the values after
// them are from one moment as near as the line allows.
constexpr std::array kRows = {
    ByReadout("rpm", "Обороты", "об/мин", "ExtText2", 0),
    ByReadout("base_injection_ms", "Время впрыска исходное", "мс", "ExtText4", 3),
    ByReadout("injection_ms", "Время впрыска текущее", "мс", "ExtText3", 3),
    ByReadout("oxygen_v", "Напряжение датчика кислорода", "В", "ExtText1", 3),
    ChannelRow{"oxygen_correction",
               "Подстройка по датчику кислорода",
               "%",
               ChannelReading::Percent,
               {},
               kOxygenCorrectionRegister,
               1},
    ChannelRow{"manual_correction",
               "Ручная подстройка",
               "%",
               ChannelReading::Percent,
               {},
               kManualCorrectionRegister,
               1},
    ByReadout("throttle_v", "Напряжение датчика др. заслонки", "В", "ExtText5", 3),
    ByReadout("temperature_sensor_v", "Напряжение датчика температуры", "В", "ExtText8", 3),
    ByReadout("engine_temperature", "Температура двигателя", "°C", "ExtText9", 1),
    ByReadout("supply_v", "Напряжение питания", "В", "ExtText6", 3),
    ChannelRow{"setup_mode",
               "Режим установки",
               "0/1",
               ChannelReading::SetupMode,
               {},
               kSetupModeRegister,
               0},
    ChannelRow{"oxygen_feedback",
               "Подстройка по датчику кислорода включена",
               "0/1",
               ChannelReading::OxygenFeedback,
               {},
               kCorrectionSourceRegister,
               0},
};

DatalogChannel Build(const ChannelRow& row) {
    DatalogChannel channel{row.key,     {},          ToQString(row.unit), ToQString(row.name),
                           row.address, row.reading, Conversion::Plain,   row.decimals,
                           false};
    channel.column = channel.name + QStringLiteral(" (") + channel.unit + QChar(')');
    if (row.reading == ChannelReading::Readout) {
        // The read-out's own register and conversion: one table says how a word is shown.
        const ReadoutRow* readout = FindReadout(row.readout);
        channel.address = readout->address;
        channel.conversion = readout->conversion;
    }
    channel.flag =
        row.reading == ChannelReading::SetupMode || row.reading == ChannelReading::OxygenFeedback;
    return channel;
}

std::vector<DatalogChannel> BuildAll() {
    std::vector<DatalogChannel> channels;
    for (const ChannelRow& row : kRows)
        channels.push_back(Build(row));
    return channels;
}

} // namespace

std::span<const DatalogChannel> DatalogChannels() {
    static const std::vector<DatalogChannel> channels = BuildAll();
    return channels;
}

const DatalogChannel* FindDatalogChannel(std::string_view key) {
    for (const DatalogChannel& channel : DatalogChannels())
        if (channel.key == key)
            return &channel;
    return nullptr;
}

double ChannelValue(const DatalogChannel& channel, std::uint16_t word) {
    switch (channel.reading) {
    case ChannelReading::Readout:
        return static_cast<double>(ShownFromRaw(channel.conversion, word));
    case ChannelReading::Percent:
        return static_cast<double>(CorrectionPercent(word));
    case ChannelReading::SetupMode:
        return SetupModeFrom(word) ? 1 : 0;
    case ChannelReading::OxygenFeedback:
        return OxygenFeedbackFrom(word) ? 1 : 0;
    }
    return 0;
}

std::optional<std::vector<double>> ReadDatalogRow(RegisterExchange& link) {
    // A row is one burst: a stray byte anywhere in it and none of its values is kept.
    Burst burst(link);
    const auto channels = DatalogChannels();
    std::vector<double> row;
    row.reserve(channels.size());
    for (const DatalogChannel& channel : channels) {
        const auto reply = link.Exchange(Command::ReadLive, channel.address);
        if (!reply)
            return std::nullopt;
        row.push_back(ChannelValue(channel, reply->second));
    }
    if (!burst.Verified())
        return std::nullopt;
    return row;
}

std::chrono::milliseconds FastestDatalogPeriod() {
    const auto line = kExchangeLineTime * static_cast<long>(DatalogChannels().size());
    return std::chrono::ceil<std::chrono::milliseconds>(line);
}

std::chrono::milliseconds KeptDatalogPeriod(double busyShare) {
    // The quiet that closes a burst: 3.5 characters at 19200 baud, 8N2.
    constexpr std::chrono::microseconds kBurstQuiet{2005};
    const auto row = kExchangeLineTime * static_cast<long>(DatalogChannels().size()) + kBurstQuiet;
    const double free = std::max(0.05, 1.0 - busyShare);
    return std::chrono::ceil<std::chrono::milliseconds>(
        std::chrono::duration<double, std::micro>(static_cast<double>(row.count()) / free));
}

} // namespace zef
