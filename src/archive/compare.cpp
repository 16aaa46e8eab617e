#include "archive/compare.h"

#include "controls/format_value.h"
#include "params/catalogue.h"
#include "params/choices.h"
#include "params/map_points.h"

#include <algorithm>
#include <array>
#include <variant>

namespace zef {

namespace {

constexpr char kNoValue[] = "—";

// Edits that share a group without labels of their own, as the two hysteresis thresholds:
// named by their place in it.
constexpr std::array<std::string_view, 2> kPositions = {"левое поле", "правое поле"};

// The read-outs whose patterns a map point and its speed are shown in.
constexpr std::string_view kInjectionReadout = "ExtText4";
constexpr std::string_view kSpeedReadout = "ExtText2";

struct Unshown {};
using Presenter =
    std::variant<const EditRow*, const ChoiceRow*, const OxygenChoice*, const MapPoint*, Unshown>;

// The control an edit's register belongs to: the one whose handlers it is, not an out-of-sight
// copy that borrows them.
const EditRow* EditFor(std::uint8_t address) {
    const auto rows = EditRows();
    const auto it = std::find_if(rows.begin(), rows.end(), [&](const EditRow& row) {
        return row.address == address && row.handlersOf == row.control;
    });
    return it == rows.end() ? nullptr : &*it;
}

Presenter PresenterFor(std::uint8_t address) {
    if (const EditRow* edit = EditFor(address))
        return edit;
    const auto choices = ChoiceRows();
    if (const auto it = std::find_if(choices.begin(), choices.end(),
                                     [&](const ChoiceRow& row) { return row.address == address; });
        it != choices.end())
        return &*it;
    if (address == kOxygenSensor.address)
        return &kOxygenSensor;
    if (const auto it = std::find_if(kMapPoints.begin(), kMapPoints.end(),
                                     [&](const MapPoint& p) { return p.parameter == address; });
        it != kMapPoints.end())
        return &*it;
    return Unshown{};
}

QString EditCaption(const EditRow& edit, std::optional<std::uint16_t> startMode) {
    const Place& place = edit.place;
    QString caption = ToQString(place.group);
    if (place.group == kStartModeDesignCaption && startMode)
        if (const auto byMode =
                StartModeCaption(ItemFromWord(*FindChoice(kStartModeControl), *startMode)))
            caption = ToQString(*byMode);
    if (!place.label.empty()) {
        caption += QStringLiteral(": ") + ToQString(place.label);
        if (!place.label2.empty())
            caption += QChar(' ') + ToQString(place.label2);
        return caption;
    }
    std::vector<const EditRow*> alike;
    for (const EditRow& row : EditRows())
        if (row.address && row.handlersOf == row.control && row.place.group == place.group &&
            row.place.label.empty())
            alike.push_back(&row);
    if (alike.size() > 1) {
        const auto index = std::find(alike.begin(), alike.end(), &edit) - alike.begin();
        if (index < static_cast<std::ptrdiff_t>(kPositions.size()))
            caption +=
                QStringLiteral(", ") + ToQString(kPositions[static_cast<std::size_t>(index)]);
    }
    return caption;
}

QString EditValue(const EditRow& edit, std::uint16_t word) {
    const ParamValue value = ShownFromRaw(edit.conversion, word);
    std::string_view pattern = edit.ValueFormat;
    switch (edit.handling) {
    case Handling::CoilCount:
        pattern = CoilPattern(value);
        break;
    case Handling::CylinderCount:
        pattern = CylinderPattern(value);
        break;
    case Handling::Plain:
    case Handling::None:
        break;
    }
    // The run-time patterns pad with spaces to centre the text in the edit; a table aligns it
    // itself.
    return FormatValue(ToQString(pattern), value).trimmed();
}

QString SpeedText(int speed) {
    return FormatValue(ToQString(FindReadout(kSpeedReadout)->ValueFormat), speed).trimmed();
}

} // namespace

QString RegisterCaption(std::uint8_t address, std::optional<std::uint16_t> startMode) {
    const Presenter presenter = PresenterFor(address);
    if (const auto* edit = std::get_if<const EditRow*>(&presenter))
        return EditCaption(**edit, startMode);
    if (const auto* choice = std::get_if<const ChoiceRow*>(&presenter))
        return ToQString((*choice)->place.group);
    if (const auto* oxygen = std::get_if<const OxygenChoice*>(&presenter))
        return ToQString((*oxygen)->place.group);
    if (const auto* point = std::get_if<const MapPoint*>(&presenter))
        return ToQString(FindReadout(kInjectionReadout)->place.group) + QStringLiteral(": ") +
               SpeedText((*point)->speed);
    return QStringLiteral("Регистр %1").arg(address);
}

QString RegisterName(std::uint8_t address) {
    const Presenter presenter = PresenterFor(address);
    if (const auto* edit = std::get_if<const EditRow*>(&presenter))
        return ToQString((*edit)->control);
    if (const auto* choice = std::get_if<const ChoiceRow*>(&presenter))
        return ToQString((*choice)->control);
    if (const auto* oxygen = std::get_if<const OxygenChoice*>(&presenter))
        return ToQString((*oxygen)->present.control);
    if (const auto* point = std::get_if<const MapPoint*>(&presenter))
        return QStringLiteral("map%1").arg((*point)->speed);
    return QStringLiteral("reg%1").arg(address);
}

const EditRow* EditOfRegister(std::uint8_t address) {
    return EditFor(address);
}

QString ShownValue(std::uint8_t address, std::uint16_t word) {
    const Presenter presenter = PresenterFor(address);
    if (const auto* edit = std::get_if<const EditRow*>(&presenter))
        return EditValue(**edit, word);
    if (const auto* choice = std::get_if<const ChoiceRow*>(&presenter)) {
        const auto item = ItemFromWord(**choice, word);
        return item ? ToQString((*choice)->items[static_cast<std::size_t>(*item)])
                    : QString::fromUtf8(kNoValue);
    }
    if (const auto* oxygen = std::get_if<const OxygenChoice*>(&presenter))
        return ToQString((word & 1) != 0 ? (*oxygen)->present.caption : (*oxygen)->absent.caption);
    if (std::holds_alternative<const MapPoint*>(presenter))
        return FormatValue(ToQString(FindReadout(kInjectionReadout)->ValueFormat),
                           ShownFromRaw(Conversion::Millis, word))
            .trimmed();
    return QString::number(word);
}

Comparison Compare(const SettingsValues& left, const SettingsValues& right) {
    const auto at = [](const SettingsValues& values, std::size_t i) {
        return i < values.size() ? std::optional(values[i]) : std::nullopt;
    };
    const auto shown = [](std::uint8_t address, std::optional<std::uint16_t> word) {
        return word ? ShownValue(address, *word) : QString::fromUtf8(kNoValue);
    };
    // The start mode stands first in the file; the controller's side decides the caption.
    const auto startMode = at(left, 0) ? at(left, 0) : at(right, 0);

    Comparison comparison;
    for (std::size_t i = 0; i < kSettingsRegisters.size(); ++i) {
        CompareRow row;
        row.address = kSettingsRegisters[i];
        row.caption = RegisterCaption(row.address, startMode);
        row.leftWord = at(left, i);
        row.rightWord = at(right, i);
        row.left = shown(row.address, row.leftWord);
        row.right = shown(row.address, row.rightWord);
        row.differs = row.leftWord != row.rightWord;
        comparison.differing += row.differs ? 1 : 0;
        comparison.rows.push_back(std::move(row));
    }
    return comparison;
}

std::vector<CompareRow> VisibleRows(const Comparison& comparison, bool onlyDifferences) {
    std::vector<CompareRow> rows;
    std::copy_if(comparison.rows.begin(), comparison.rows.end(), std::back_inserter(rows),
                 [&](const CompareRow& row) { return !onlyDifferences || row.differs; });
    return rows;
}

QString ComparisonTitle(const QString& left, const QString& right, const Comparison& comparison) {
    const QString count = comparison.differing == 0 ? QStringLiteral("отличий нет")
                                                    : QStringLiteral("отличий %1 из %2")
                                                          .arg(comparison.differing)
                                                          .arg(comparison.rows.size());
    return QStringLiteral("%1 — %2: %3").arg(left, right, count);
}

Expected<Comparison> CompareFiles(const QString& left, const QString& right) {
    const auto a = ReadSettingsFile(left);
    if (!a)
        return Failure{a.error()};
    const auto b = ReadSettingsFile(right);
    if (!b)
        return Failure{b.error()};
    return Compare(*a, *b);
}

} // namespace zef
