#include "params/catalogue.h"

#include "controls/format_value.h"
#include "params/choices.h"

#include <algorithm>
#include <array>

namespace zef {

namespace {

using namespace std::chrono_literals;

constexpr auto kEngine = kEngineTab;
constexpr auto kParameters = kParametersPage;
constexpr auto kThrottle = kThrottlePage;
constexpr auto kCrankshaft = kCrankshaftPage;
constexpr auto kSensor = kSensorTab;
constexpr auto kOfEngine = kEngineSensorPage;

constexpr std::string_view kAccelerationGroup = "Обогащение при  разгоне";
constexpr std::string_view kSpeedLimitGroup = "Ограничение об/мин";
constexpr std::string_view kAdjustmentGroup = "Юстировка датчика температуры";

constexpr Place Tab(std::string_view outer, std::string_view inner, std::string_view group,
                    std::string_view label = {}, std::string_view label2 = {}) {
    return {Area::Tabs, outer, inner, group, label, label2, {}};
}

// The "Разгон" groups lie below the bottom edge of the group that holds them, so they are
// built and initialised but never seen.
constexpr Place OutOfSight(std::string_view inner, std::string_view parent,
                           std::string_view label) {
    return {Area::Tabs, kEngine, inner, "Разгон", label, {}, parent};
}

constexpr Place Main(std::string_view group) {
    return {Area::MainWindow, {}, {}, group, {}, {}, {}};
}

constexpr Place Service(std::string_view group) {
    return {Area::ServicePanel, {}, {}, group, {}, {}, {}};
}

constexpr EditRow Enrichment(std::string_view control, Place place) {
    return {.control = control,
            .handlersOf = "SpinExtEdit20",
            .handling = Handling::Plain,
            .address = 25,
            .conversion = Conversion::Tenths,
            .failedRead = FailedRead::Keeps,
            .ValueFormat = "###0 %",
            .ValueMin = 0.0001L,
            .ValueMax = 500,
            .ValueStep = 1,
            .Value = 100,
            .initiallyEnabled = false,
            .place = place};
}

constexpr EditRow CycleCount(std::string_view control, Place place) {
    return {.control = control,
            .handlersOf = {},
            .handling = Handling::None,
            .address = std::nullopt,
            .conversion = Conversion::Plain,
            .failedRead = FailedRead::Keeps,
            .ValueFormat = "#0 ц.",
            .ValueMin = 1,
            .ValueMax = 50,
            .ValueStep = 1,
            .Value = 5,
            .initiallyEnabled = false,
            .place = place};
}

constexpr EditRow Edit(std::string_view control, Handling handling, std::uint8_t address,
                       Conversion conversion, FailedRead failedRead, std::string_view format,
                       ParamValue min, ParamValue max, ParamValue step, ParamValue value,
                       Place place, bool enabled = false) {
    return {control, control, handling, address, conversion, failedRead, format,
            min,     max,     step,     value,   enabled,    place};
}

constexpr auto Keeps = FailedRead::Keeps;
constexpr auto AsLeft = FailedRead::AsLeft;

// In the window's order of registration.
constexpr std::array kEdits = {
    Edit("SpinExtEdit9", Handling::CoilCount, 5, Conversion::CountLessOne, Keeps,
         "                0 катушка", 1, 2, 1, 1,
         Tab(kEngine, kParameters, "Количество катушек зажигания")),
    Edit("SpinExtEdit2", Handling::CylinderCount, 71, Conversion::Plain, Keeps,
         "                    #####0 цил.", 2, 8, 1, 2,
         Tab(kEngine, kParameters, "Количество цилиндров")),
    Edit("SpinExtEdit19", Handling::Plain, 20, Conversion::Millis, AsLeft, "#####0.00 Volt",
         0.0001L, 5, 0.05L, 0.0001L, Tab(kEngine, kThrottle, "Пороговое напряжение ХХ")),
    Enrichment("SpinExtEdit20", Tab(kEngine, kThrottle, kAccelerationGroup)),
    Enrichment("SpinExtEdit12", OutOfSight(kThrottle, kAccelerationGroup, "Обогащение")),
    CycleCount("SpinExtEdit13", OutOfSight(kThrottle, kAccelerationGroup, "Колич. циклов")),
    Edit("SpinExtEdit24", Handling::Plain, 28, Conversion::Tenths, Keeps, "###0 %", 0.0001L, 500, 1,
         100, Tab(kEngine, kThrottle, "Подхват", "Обогащение при подхвате")),
    Edit("SpinExtEdit18", Handling::Plain, 21, Conversion::Plain, AsLeft, "#####0 Об/мин", 1000,
         4000, 50, 1000, Tab(kEngine, kThrottle, "Подхват", "Обороты включения ПХХ")),
    Enrichment("SpinExtEdit4", OutOfSight(kCrankshaft, kSpeedLimitGroup, "Обогащение")),
    CycleCount("SpinExtEdit5", OutOfSight(kCrankshaft, kSpeedLimitGroup, "Колич. циклов")),
    Edit("SpinExtEdit3", Handling::Plain, 73, Conversion::Plain, AsLeft, "#####0 Об/мин", 1000,
         6000, 100, 6000, Tab(kEngine, kCrankshaft, kSpeedLimitGroup)),
    Edit("SpinExtEdit16", Handling::Plain, 23, Conversion::Millis, AsLeft, "#0.0 V", 1, 15, 0.1L, 4,
         Tab(kSensor, kOfEngine, kAdjustmentGroup, "Напряжение при", "холодном двиг.")),
    Edit("SpinExtEdit17", Handling::Plain, 24, Conversion::Millis, AsLeft, "#0.0 V", 1, 15, 0.1L, 2,
         Tab(kSensor, kOfEngine, kAdjustmentGroup, "Напряжение при", "горячем двиг.")),
    Edit("SpinExtEdit22", Handling::Plain, 6, Conversion::TenthKelvin, AsLeft, "##0 град С", 20,
         100, 1, 60, Tab(kSensor, kOfEngine, kStartModeDesignCaption)),
    Edit("SpinExtEdit1", Handling::Plain, 68, Conversion::Millis, AsLeft, "#####0.00 Volt", 4.5L,
         6.5L, 0.01L, 4.5L, Service("Опорное напряжение"), true),
    Edit("SpinExtEdit10", Handling::Plain, 31, Conversion::Millis, AsLeft, "#####0.00 V", 0.1L, 1,
         0.01L, 0.4L, Service("Гистерезис датчика кислорода")),
    Edit("SpinExtEdit11", Handling::Plain, 30, Conversion::Millis, AsLeft, "#####0.00 V", 0.1L, 1,
         0.01L, 0.5L, Service("Гистерезис датчика кислорода")),
};

constexpr ReadoutRow Readout(std::string_view control, std::uint8_t address, Conversion conversion,
                             FailedRead failedRead, std::chrono::milliseconds interval,
                             std::string_view format, std::string_view caption, Place place) {
    return {control, address, conversion, failedRead, interval, format, caption,
            -1,      1,       0,          false,      false,    place};
}

constexpr ReadoutRow EngineSpeed() {
    ReadoutRow row = Readout("ExtText2", 162, Conversion::Plain, Keeps, 500ms, "###0 Об/мин", {},
                             Main("Обороты коленвала"));
    row.ValueMax = 100000;
    row.Value = 1000;
    row.readsOxygenFlag = true;
    return row;
}

constexpr std::string_view kInjectionGroup = "Время открытого состояния инжектора";

// In the window's order of registration.
constexpr std::array kReadouts = {
    Readout("ExtText1", 166, Conversion::Millis, AsLeft, 500ms, "#####0.00 Вольт",
            "Напряжение датчика", Tab(kEngine, kParameters, "Датчик кислорода")),
    Readout("ExtText5", 192, Conversion::Millis, AsLeft, 500ms, "#####0.00 Вольт",
            "Напряжение датчика", Tab(kEngine, kThrottle, "Датчик положения др. заслонки")),
    Readout("ExtText8", 196, Conversion::Millis, AsLeft, 500ms, "#0.0 V", {},
            Tab(kSensor, kOfEngine, kAdjustmentGroup, "Текущее напряжение")),
    Readout("ExtText9", 198, Conversion::TenthKelvinReadout, Keeps, 1000ms, "##0 град.. С", {},
            Tab(kSensor, kOfEngine, "Текущая температура двигателя")),
    Readout("ExtText4", 178, Conversion::Millis, AsLeft, 400ms, "#0.00 mS", "Исходное",
            Main(kInjectionGroup)),
    Readout("ExtText3", 72, Conversion::Millis, AsLeft, 400ms, "#0.00 mS", "Текущее",
            Main(kInjectionGroup)),
    EngineSpeed(),
    Readout("ExtText6", 164, Conversion::Millis, AsLeft, 600ms, "#####0.00 Volt", {},
            Service("Напряжение питания")),
};

template <typename Rows> constexpr const auto* Find(const Rows& rows, std::string_view control) {
    const auto it = std::find_if(rows.begin(), rows.end(),
                                 [&](const auto& row) { return row.control == control; });
    return it == rows.end() ? nullptr : &*it;
}

// An edit that borrows another's handlers must read and write like it, or an initialisation
// would show one register two ways.
constexpr bool BorrowersMatchTheirOwner() {
    for (const auto& row : kEdits) {
        if (row.handling == Handling::None)
            continue;
        const EditRow* owner = Find(kEdits, row.handlersOf);
        if (owner == nullptr || owner->address != row.address ||
            owner->conversion != row.conversion || owner->failedRead != row.failedRead ||
            owner->handling != row.handling)
            return false;
    }
    return true;
}
static_assert(BorrowersMatchTheirOwner());

constexpr bool HandlersIffRegister() {
    return std::all_of(kEdits.begin(), kEdits.end(), [](const EditRow& row) {
        return (row.handling == Handling::None) == !row.address.has_value();
    });
}
static_assert(HandlersIffRegister());

constexpr bool DesignValuesWithinLimits() {
    return std::all_of(kEdits.begin(), kEdits.end(), [](const EditRow& row) {
        return row.ValueMin <= row.Value && row.Value <= row.ValueMax && row.ValueStep > 0;
    });
}
static_assert(DesignValuesWithinLimits());

constexpr std::string_view kCoilOne = "                  0 катушка";
constexpr std::string_view kCoilMany = "                  0 катушки";
constexpr std::string_view kCylindersFew = "                #####0 цилиндра";
constexpr std::string_view kCylindersMany = "                #####0 цилиндров";

} // namespace

QString ToQString(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::span<const EditRow> EditRows() {
    return kEdits;
}
std::span<const ReadoutRow> ReadoutRows() {
    return kReadouts;
}

const EditRow* FindEdit(std::string_view control) {
    return Find(kEdits, control);
}
const ReadoutRow* FindReadout(std::string_view control) {
    return Find(kReadouts, control);
}

std::string_view CoilPattern(ParamValue value) {
    return RoundHalfEven(value) == 1 ? kCoilOne : kCoilMany;
}

std::string_view CylinderPattern(ParamValue value) {
    if (value < 0)
        return kCylindersFew;
    const std::string shown = RoundDecimal(value, 0).integer;
    const bool fiveOrMore = shown.size() > 1 || (!shown.empty() && shown[0] >= '5');
    return fiveOrMore ? kCylindersMany : kCylindersFew;
}

} // namespace zef
