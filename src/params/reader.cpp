#include "params/reader.h"

namespace zef {

namespace {

struct Converted {
    bool ok;
    ParamValue value;
};

// Reads a register and converts it by the row's failed-read rule.
Converted ReadConverted(RegisterExchange& link, Command command, std::uint8_t address,
                        Conversion conversion, FailedRead failedRead, ParamValue current) {
    // A failed read has no word of its own to show: whatever an earlier reply said belongs to
    // another register, so the control keeps its value whatever the row's rule.
    (void)failedRead;
    const auto reply = link.Exchange(command, address);
    if (!reply)
        return {false, current};
    return {true, ShownFromRaw(conversion, reply->second)};
}

} // namespace

ChoiceReadings ReadChoiceLists(RegisterExchange& link) {
    ChoiceReadings readings{};
    const auto rows = ChoiceRows();
    for (std::size_t i = 0; i < readings.lists.size(); ++i) {
        const ChoiceRow& row = rows[i];
        const auto reply = link.Exchange(Command::ReadParam, row.address);
        readings.lists[i] = {&row, reply ? ItemFromWord(row, reply->second) : std::nullopt,
                             reply.has_value()};
        if (reply && row.control == kStartModeControl)
            readings.startModeCaption = StartModeCaption(readings.lists[i].item);
    }
    return readings;
}

EditInit InitEdit(RegisterExchange& link, const EditRow& row, ParamValue current) {
    if (row.handling == Handling::None || !row.address)
        return {current, std::nullopt, std::nullopt};

    const auto [ok, value] = ReadConverted(link, Command::ReadParam, *row.address, row.conversion,
                                           row.failedRead, current);
    EditInit init{value, std::nullopt, std::nullopt};

    switch (row.handling) {
    case Handling::CoilCount:
        // A failed read leaves the unit word as it was, but the lists are read regardless.
        if (ok)
            init.ValueFormat = CoilPattern(init.value);
        init.choices = ReadChoiceLists(link);
        break;
    case Handling::CylinderCount:
        init.ValueFormat = CylinderPattern(init.value);
        break;
    case Handling::Plain:
    case Handling::None:
        break;
    }
    return init;
}

std::optional<std::string_view> ChangeEdit(RegisterExchange& link, const EditRow& row,
                                           ParamValue x) {
    if (row.handling == Handling::None || !row.address)
        return std::nullopt;
    (void)link.Exchange(Command::WriteParam, *row.address, RawFromShown(row.conversion, x));
    switch (row.handling) {
    case Handling::CoilCount:
        return CoilPattern(x);
    case Handling::CylinderCount:
        return CylinderPattern(x);
    case Handling::Plain:
    case Handling::None:
        break;
    }
    return std::nullopt;
}

ReadoutQuery QueryReadout(RegisterExchange& link, const ReadoutRow& row, ParamValue current) {
    const Converted read = ReadConverted(link, Command::ReadLive, row.address, row.conversion,
                                         row.failedRead, current);
    ReadoutQuery query{read.value, std::nullopt, read.ok};
    if (row.readsOxygenFlag) {
        const auto reply = link.Exchange(Command::ReadParam, kOxygenSensor.address);
        query.oxygenFlag = FlagRead{reply.has_value(), reply ? reply->second : std::uint16_t{0}};
    }
    return query;
}

void WriteChoice(RegisterExchange& link, const ChoiceRow& row, std::optional<int> item) {
    if (!item || *item < 0 || static_cast<std::size_t>(*item) >= row.items.size())
        return;
    (void)link.Exchange(Command::WriteParam, row.address, static_cast<std::uint16_t>(*item));
}

void WriteOxygenSelection(RegisterExchange& link, OxygenSensor selection) {
    switch (selection) {
    case OxygenSensor::Present:
        (void)link.Exchange(Command::WriteParam, kOxygenSensor.address,
                            kOxygenSensor.present.flagWord);
        break;
    case OxygenSensor::Absent:
        (void)link.Exchange(Command::WriteParam, kOxygenSensor.address,
                            kOxygenSensor.absent.flagWord);
        break;
    case OxygenSensor::Unselected:
        break;
    }
}

} // namespace zef
