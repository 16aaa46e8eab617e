#pragma once

#include "link/register_exchange.h"
#include "params/conversion.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace zef {

// How a recorded register word becomes the channel's value.
enum class ChannelReading : std::uint8_t {
    Readout,        // as the window's read-out of the same register converts it
    Percent,        // a correction register, as the status line computes it
    SetupMode,      // 1 when the controller is in setup mode, else 0
    OxygenFeedback, // 1 when the oxygen sensor corrects the mixture, else 0
};

// One recorded channel: a stable key for scripts ("rpm", "supply_v" ...), the CSV column name
// with its unit, the unit alone, and how it is read.
struct DatalogChannel {
    std::string_view key;
    QString column;
    QString unit;
    QString name;         // the column without its unit, for a plot's legend
    std::uint8_t address; // ReadLive
    ChannelReading reading;
    Conversion conversion; // with ChannelReading::Readout
    int decimals;          // written to the file: the register's resolution, no more
    bool flag;             // only 0 and 1
};

// In CSV column order, after the two time columns.
[[nodiscard]] std::span<const DatalogChannel> DatalogChannels();
[[nodiscard]] const DatalogChannel* FindDatalogChannel(std::string_view key);

// The channel's value for the register word the controller sent.
[[nodiscard]] double ChannelValue(const DatalogChannel& channel, std::uint16_t word);

// Reads every channel in one burst over the exchange; std::nullopt as soon as a read goes
// unanswered, so no row is ever made of stale or partial replies, and a lost link costs one
// wait rather than one per channel.
[[nodiscard]] std::optional<std::vector<double>> ReadDatalogRow(RegisterExchange& link);

// One exchange on the line at 19200 baud, 8N2: four bytes out and four back, 11 bits each.
inline constexpr std::chrono::microseconds kExchangeLineTime{8 * 11 * 1'000'000 / 19200};
// The line time of one row's burst: the shortest period the link can record at.
[[nodiscard]] std::chrono::milliseconds FastestDatalogPeriod();
// The shortest period the link keeps for rows while `busyShare` of the line's time goes to
// other exchanges (the monitor, the read-outs), each row a burst that ends with a quiet line.
[[nodiscard]] std::chrono::milliseconds KeptDatalogPeriod(double busyShare);

} // namespace zef
