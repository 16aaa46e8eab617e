#pragma once

#include "link/param_value.h"
#include "params/conversion.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace zef {

// Every text here is UTF-8; ToQString turns it into what the widgets take.
[[nodiscard]] QString ToQString(std::string_view utf8);

// What an init or query handler shows when its read exchange fails.
enum class FailedRead : std::uint8_t {
    Keeps,  // the control's current value stays
    AsLeft, // the conversion of whatever the reply record holds after the failure
};

enum class Area : std::uint8_t {
    MainWindow,   // always visible
    ServicePanel, // Panel1, shown only by the service gesture
    Tabs,         // the right-hand tab control
};

// Captions of the right-hand tab control: two outer tabs, each with inner tabs.
inline constexpr std::string_view kEngineTab = "Двигатель";
inline constexpr std::string_view kParametersPage = "Параметры";
inline constexpr std::string_view kThrottlePage = "Др. засл.";
inline constexpr std::string_view kCrankshaftPage = "Коленвал";
inline constexpr std::string_view kSensorTab = "Термо датчик";
inline constexpr std::string_view kEngineSensorPage = "Двигателя";

// The label that heads the service panel.
inline constexpr std::string_view kServicePanelLabel = "Дополнительно";

// Where a control sits, by the captions a fitter sees.
struct Place {
    Area area = Area::MainWindow;
    std::string_view outerTab; // with Area::Tabs: "Двигатель" or "Термо датчик"
    std::string_view innerTab; // with Area::Tabs
    std::string_view group;    // caption of the group box that holds the control
    std::string_view label;    // a label beside the control, when the group has several
    std::string_view label2;   // its second line
    std::string_view parentGroup; // a group nested in another: the outer one's caption
};

// Which handlers a spin edit has.
enum class Handling : std::uint8_t {
    Plain,         // read, convert, show; convert, write
    CoilCount,     // also swaps its unit word and reads the four choice lists
    CylinderCount, // also swaps its unit word
    None,          // no handlers: nothing is read or written for it
};

struct EditRow {
    std::string_view control;
    std::string_view handlersOf; // whose Init/ChangeValue handlers it uses
    Handling handling;
    std::optional<std::uint8_t> address; // ReadParam and WriteParam; none without handlers
    Conversion conversion;
    FailedRead failedRead;
    std::string_view ValueFormat; // design pattern; some handlers replace it at run time
    ParamValue ValueMin;
    ParamValue ValueMax;
    ParamValue ValueStep;
    ParamValue Value; // shown before the first connection
    bool initiallyEnabled;
    Place place;
};

struct ReadoutRow {
    std::string_view control;
    std::uint8_t address; // ReadLive
    Conversion conversion;
    FailedRead failedRead;
    std::chrono::milliseconds QueryInterval;
    std::string_view ValueFormat;
    std::string_view ValueCaption; // empty: none
    ParamValue ValueMin;           // neither limit bounds what a read-out shows
    ParamValue ValueMax;
    ParamValue Value; // shown before the first connection
    bool initiallyEnabled;
    bool readsOxygenFlag; // the engine-speed query also reads the oxygen-sensor flag
    Place place;
};

// The spin edits in the order the window registers them, which is the order in which an
// initialisation reads their registers.
[[nodiscard]] std::span<const EditRow> EditRows();
// The read-outs likewise.
[[nodiscard]] std::span<const ReadoutRow> ReadoutRows();

[[nodiscard]] const EditRow* FindEdit(std::string_view control);
[[nodiscard]] const ReadoutRow* FindReadout(std::string_view control);

// The coil-count pattern for the count n = round(value), halves to even as a write rounds:
// "катушка" for one coil, "катушки" otherwise. The run-time patterns carry two more leading
// spaces than the design one.
[[nodiscard]] std::string_view CoilPattern(ParamValue value);

// The cylinder-count pattern: "цилиндра" for 2 to 4, "цилиндров" from 5. Judged on the whole
// number the control displays, so the word agrees with the digit next to it even for a typed
// fraction such as 4.6.
[[nodiscard]] std::string_view CylinderPattern(ParamValue value);

} // namespace zef
