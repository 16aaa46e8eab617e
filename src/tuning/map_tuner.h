#pragma once

// Tuning the injection-time map from a recording: which samples show steady closed-loop
// running, what injection time the engine needed at each, and the seven map points that best
// explain those needs.

#include "datalog/datalog_csv.h"
#include "params/map_points.h"

#include <QString>

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zef {

inline constexpr std::size_t kMapSize = kMapPoints.size();
using MapMicros = std::array<int, kMapSize>; // the map as stored: microseconds

// The map editor's limits and step, in microseconds.
inline constexpr int kMapLowestMicros = 1000;
inline constexpr int kMapHighestMicros = 8000;
inline constexpr int kMapStepMicros = 50;

// Why a sample does not count. A sample is counted once, under the first reason that holds
// in this order: the root cause first, so a cold engine (whose oxygen loop is off because it
// is cold) counts as cold, not as feedback off.
enum class Rejection : std::uint8_t {
    SetupMode,
    EngineStopped,
    Cold,
    Supply,
    ManualCorrection, // feedback off with a manual correction set
    FeedbackOff,      // feedback off, no manual correction
    NotSteady,        // engine speed or throttle moved within the steady window
};
inline constexpr std::size_t kRejectionCount = 7;

struct RejectionRow {
    Rejection rejection;
    std::string_view key; // for scripts
    QString caption;      // for the fitter
};
[[nodiscard]] std::span<const RejectionRow> Rejections();

enum class Confidence : std::uint8_t { None, Low, Medium, High };
[[nodiscard]] std::string_view ConfidenceKey(Confidence confidence); // "none" ... "high"
[[nodiscard]] QString ConfidenceCaption(Confidence confidence); // "нет" ... "высокая"
[[nodiscard]] std::optional<Confidence> ConfidenceFromKey(std::string_view key);

struct TuningSettings {
    double warmCelsius = 60;
    double supplyLowV = 11.0;
    double supplyHighV = 15.5;
    double runningRpm = 300; // below it the engine is taken as stopped
    // Steady: from steadySeconds before a row to steadyAheadSeconds after it, engine speed and
    // throttle voltage span no more than these. The time before outlasts the oxygen loop's lag
    // after a change; the time after keeps out the first moments of a change, when the pedal
    // has moved little yet but the enrichment is already in force.
    double steadySeconds = 2.0;
    double steadyAheadSeconds = 1.0;
    double steadyRpmSpan = 200;
    double steadyThrottleSpan = 0.15;
    double gapSeconds = 3.0; // a longer pause between rows starts the window afresh
    double maxChangeFraction = 0.15;
    // The fit's pull toward the current map, in samples' worth per point: light, so a point
    // with data follows the data and one without keeps its value.
    double anchorSamples = 0.5;
    int iterations = 8;
};

// One recorded moment, by the recorder's channels.
struct TuningRow {
    double seconds = 0;
    double rpm = 0;
    double baseMs = 0;
    double injectionMs = 0;
    double oxygenCorrection = 0; // %
    double manualCorrection = 0; // %
    double throttleV = 0;
    double celsius = 0;
    double supplyV = 0;
    bool setupMode = false;
    bool oxygenFeedback = false;
};

// The channels of a datalog row, by the recorder's keys.
[[nodiscard]] TuningRow TuningRowFrom(const DatalogRow& row);

// The injection time a sample says the engine needed: the base time with the correction the
// oxygen loop had to apply to it.
[[nodiscard]] constexpr double MeasuredNeedMs(double baseMs, double correctionPercent) {
    return baseMs * (1 + correctionPercent / 100);
}

// The segment of the map a speed falls in and the weight of its lower point; the upper point
// takes the rest. Below the first point all goes to it, above the last all to the last.
struct Interpolation {
    int segment = 0; // 0 .. kMapSize - 2
    double lower = 1;
};
[[nodiscard]] Interpolation InterpolationAt(double rpm);

struct PointTuning {
    int speed = 0;
    int currentMicros = 0;
    double fittedMs = 0;   // the robust fit; the current value where nothing was seen
    double averagedMs = 0; // the per-point average of the correction, for comparison
    int suggestedMicros = 0;
    double changePercent = 0;
    double weight = 0;   // samples' worth, by interpolation and robust weight
    int samples = 0;     // accepted samples nearest this point
    double spreadMs = 0; // weighted RMS of the residuals around the fit
    Confidence confidence = Confidence::None;
    [[nodiscard]] bool Changes() const { return suggestedMicros != currentMicros; }
};

// How injection_ms compares with base × (1 + correction / 100) over the accepted samples.
struct FormulaCheck {
    int samples = 0;
    double meanPercent = 0;   // mean of injection / formula − 1
    double maxAbsPercent = 0; // the largest departure
};

struct TuningResult {
    std::array<PointTuning, kMapSize> points{};
    std::array<int, kRejectionCount> rejected{};
    int rows = 0;
    int accepted = 0;
    FormulaCheck formula;
    [[nodiscard]] int Rejected(Rejection why) const {
        return rejected[static_cast<std::size_t>(why)];
    }
};

// Takes rows one at a time, in recorded order, cheaply, so a window can keep a table current
// while a recording runs; Result() is as cheap whether ten rows or ten hours came in, because
// accepted samples are pooled into small cells of (segment, position, need) that keep the
// sums the fit needs.
class MapTuner {
public:
    explicit MapTuner(const MapMicros& current, TuningSettings settings = {});

    // A row is judged once the rows steadyAheadSeconds after it have come, so the counts and
    // the result run that far behind the rows added.
    void Add(const TuningRow& row);
    // Judges the rows still waiting on what came after them, at the end of a recording.
    void Finish();

    [[nodiscard]] TuningResult Result() const;
    [[nodiscard]] const MapMicros& Current() const { return m_current; }
    // The map the controller holds after a write. The samples taken stay: they measure what
    // the engine needs, whatever map it ran on.
    void SetCurrent(const MapMicros& current) { m_current = current; }
    // The confidence rule, worded for the fitter.
    [[nodiscard]] static QString ConfidenceRule();

    static constexpr int kPositionBins = 32;
    static constexpr double kNeedBinMs = 0.01;

private:
    struct Cell {
        int segment = 0;
        double n = 0, sa = 0, saa = 0, sy = 0, say = 0, syy = 0;
    };
    [[nodiscard]] std::optional<Rejection> Gate(const TuningRow& row, bool steady) const;
    [[nodiscard]] bool Steady(std::size_t index) const;
    void Judge(std::size_t index);
    void Accept(const TuningRow& row);
    [[nodiscard]] std::array<double, kMapSize> Fit(std::vector<double>& cellWeights) const;

    MapMicros m_current;
    TuningSettings m_settings;
    // The rows not yet judged, from m_waiting on, and as many before them as their judging needs.
    std::deque<TuningRow> m_recent;
    std::size_t m_waiting = 0;
    std::unordered_map<std::uint64_t, Cell> m_cells;
    std::array<double, kMapSize> m_ratioWeight{};
    std::array<double, kMapSize> m_ratioSum{};
    std::array<int, kMapSize> m_nearest{};
    std::array<int, kRejectionCount> m_rejected{};
    int m_rows = 0;
    int m_accepted = 0;
    FormulaCheck m_formula;
    double m_formulaSum = 0;
};

// The suggested value of every point whose confidence is at least `least`, or, when `ticked`
// is given, of every ticked point; the others keep their current value.
[[nodiscard]] MapMicros ChosenMap(const TuningResult& result, Confidence least,
                                  const std::array<bool, kMapSize>* ticked = nullptr);

// Tunes a whole recording.
[[nodiscard]] TuningResult TuneRows(std::span<const DatalogRow> rows, const MapMicros& current,
                                    const TuningSettings& settings = {});
// Reads a recording as the replay reads it, refusing what the replay refuses with its words.
[[nodiscard]] Expected<TuningResult> TuneRecording(const QString& path, const MapMicros& current,
                                                   const TuningSettings& settings = {});

} // namespace zef
