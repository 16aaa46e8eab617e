#include "tuning/map_tuner.h"

#include "datalog/channels.h"

#include <algorithm>
#include <cmath>

namespace zef {

namespace {

const std::array<RejectionRow, kRejectionCount> kRejections = {{
    {Rejection::SetupMode, "setup_mode", QStringLiteral("режим установки")},
    {Rejection::EngineStopped, "engine_stopped", QStringLiteral("двигатель не работает")},
    {Rejection::Cold, "cold", QStringLiteral("двигатель не прогрет")},
    {Rejection::Supply, "supply", QStringLiteral("питание вне пределов")},
    {Rejection::ManualCorrection, "manual_correction", QStringLiteral("ручная подстройка")},
    {Rejection::FeedbackOff, "feedback_off",
     QStringLiteral("подстройка по датчику кислорода выключена")},
    {Rejection::NotSteady, "not_steady", QStringLiteral("обороты или дроссель менялись")},
}};

constexpr std::array<std::string_view, 4> kConfidenceKeys = {"none", "low", "medium", "high"};

// Huber's constant: full weight within 1.345 robust deviations, bounded pull beyond.
constexpr double kHuber = 1.345;
// MAD of a normal distribution to its standard deviation.
constexpr double kMadToSigma = 1.4826;
// The median residual to a twentieth of the need's own bin, up to 2 ms (beyond: the last bin).
constexpr double kMedianBinMs = MapTuner::kNeedBinMs / 20;
constexpr std::size_t kMedianBins = 4000;
// Within three quarters of a step of the fit a point is as good as the step makes it.
constexpr double kSettledSteps = 0.75;

// The confidence rule's figures: samples' worth and residual spread relative to the value.
constexpr double kSeenWeight = 3;
constexpr double kMediumWeight = 10;
constexpr double kHighWeight = 30;
constexpr double kMediumSpread = 0.06;
constexpr double kHighSpread = 0.03;

double Speed(std::size_t point) {
    return kMapPoints[point].speed;
}

// Solves a x = b by Gaussian elimination with partial pivoting; the anchor keeps a regular.
std::array<double, kMapSize> Solve(std::array<std::array<double, kMapSize>, kMapSize> a,
                                   std::array<double, kMapSize> b) {
    constexpr std::size_t n = kMapSize;
    for (std::size_t col = 0; col < n; ++col) {
        std::size_t pivot = col;
        for (std::size_t row = col + 1; row < n; ++row)
            if (std::abs(a[row][col]) > std::abs(a[pivot][col]))
                pivot = row;
        std::swap(a[col], a[pivot]);
        std::swap(b[col], b[pivot]);
        for (std::size_t row = col + 1; row < n; ++row) {
            const double f = a[row][col] / a[col][col];
            for (std::size_t k = col; k < n; ++k)
                a[row][k] -= f * a[col][k];
            b[row] -= f * b[col];
        }
    }
    std::array<double, n> x{};
    for (std::size_t i = n; i-- > 0;) {
        double s = b[i];
        for (std::size_t k = i + 1; k < n; ++k)
            s -= a[i][k] * x[k];
        x[i] = s / a[i][i];
    }
    return x;
}

int RoundToStep(double micros) {
    return static_cast<int>(std::lround(micros / kMapStepMicros)) * kMapStepMicros;
}

int StepAtOrAbove(double micros) {
    return static_cast<int>(std::ceil(micros / kMapStepMicros - 1e-9)) * kMapStepMicros;
}

int StepAtOrBelow(double micros) {
    return static_cast<int>(std::floor(micros / kMapStepMicros + 1e-9)) * kMapStepMicros;
}

} // namespace

std::span<const RejectionRow> Rejections() {
    return kRejections;
}

std::string_view ConfidenceKey(Confidence confidence) {
    return kConfidenceKeys[static_cast<std::size_t>(confidence)];
}

QString ConfidenceCaption(Confidence confidence) {
    switch (confidence) {
    case Confidence::None:
        return QStringLiteral("нет");
    case Confidence::Low:
        return QStringLiteral("низкая");
    case Confidence::Medium:
        return QStringLiteral("средняя");
    case Confidence::High:
        return QStringLiteral("высокая");
    }
    return {};
}

std::optional<Confidence> ConfidenceFromKey(std::string_view key) {
    for (std::size_t i = 0; i < kConfidenceKeys.size(); ++i)
        if (kConfidenceKeys[i] == key)
            return static_cast<Confidence>(i);
    return std::nullopt;
}

TuningRow TuningRowFrom(const DatalogRow& row) {
    // Column positions by key, found once: the recorder's order may grow.
    static const auto index = [] {
        const auto channels = DatalogChannels();
        auto at = [&](std::string_view key) {
            return static_cast<std::size_t>(FindDatalogChannel(key) - channels.data());
        };
        return std::array<std::size_t, 10>{at("rpm"),
                                           at("base_injection_ms"),
                                           at("injection_ms"),
                                           at("oxygen_correction"),
                                           at("manual_correction"),
                                           at("throttle_v"),
                                           at("engine_temperature"),
                                           at("supply_v"),
                                           at("setup_mode"),
                                           at("oxygen_feedback")};
    }();
    auto value = [&](int i) {
        const std::size_t at = index[static_cast<std::size_t>(i)];
        return at < row.values.size() ? row.values[at] : 0.0;
    };
    return TuningRow{.seconds = row.seconds,
                     .rpm = value(0),
                     .baseMs = value(1),
                     .injectionMs = value(2),
                     .oxygenCorrection = value(3),
                     .manualCorrection = value(4),
                     .throttleV = value(5),
                     .celsius = value(6),
                     .supplyV = value(7),
                     .setupMode = value(8) != 0,
                     .oxygenFeedback = value(9) != 0};
}

Interpolation InterpolationAt(double rpm) {
    if (rpm <= Speed(0))
        return {0, 1};
    for (std::size_t i = 1; i < kMapSize; ++i)
        if (rpm <= Speed(i))
            return {static_cast<int>(i - 1), (Speed(i) - rpm) / (Speed(i) - Speed(i - 1))};
    return {static_cast<int>(kMapSize) - 2, 0};
}

MapTuner::MapTuner(const MapMicros& current, TuningSettings settings)
    : m_current(current), m_settings(settings) {}

QString MapTuner::ConfidenceRule() {
    return QStringLiteral("нет: меньше %1 замеров рядом с точкой (значение не меняется); "
                          "высокая: от %2 замеров и разброс не больше %3 %; "
                          "средняя: от %4 замеров и разброс не больше %5 %; иначе низкая")
        .arg(kSeenWeight)
        .arg(kHighWeight)
        .arg(kHighSpread * 100)
        .arg(kMediumWeight)
        .arg(kMediumSpread * 100);
}

bool MapTuner::Steady(std::size_t index) const {
    const double at = m_recent[index].seconds;
    if (m_recent.front().seconds > at - m_settings.steadySeconds + 1e-9)
        return false; // too little seen before it to call it steady
    double rpmLow = m_recent[index].rpm, rpmHigh = rpmLow;
    double throttleLow = m_recent[index].throttleV, throttleHigh = throttleLow;
    for (const TuningRow& row : m_recent) {
        if (row.seconds < at - m_settings.steadySeconds - 1e-9)
            continue;
        if (row.seconds > at + m_settings.steadyAheadSeconds + 1e-9)
            break;
        rpmLow = std::min(rpmLow, row.rpm);
        rpmHigh = std::max(rpmHigh, row.rpm);
        throttleLow = std::min(throttleLow, row.throttleV);
        throttleHigh = std::max(throttleHigh, row.throttleV);
    }
    return rpmHigh - rpmLow <= m_settings.steadyRpmSpan &&
           throttleHigh - throttleLow <= m_settings.steadyThrottleSpan;
}

std::optional<Rejection> MapTuner::Gate(const TuningRow& row, bool steady) const {
    if (row.setupMode)
        return Rejection::SetupMode;
    if (row.rpm < m_settings.runningRpm)
        return Rejection::EngineStopped;
    if (row.celsius < m_settings.warmCelsius)
        return Rejection::Cold;
    if (row.supplyV < m_settings.supplyLowV || row.supplyV > m_settings.supplyHighV)
        return Rejection::Supply;
    if (!row.oxygenFeedback)
        return row.manualCorrection != 0 ? Rejection::ManualCorrection : Rejection::FeedbackOff;
    if (!steady)
        return Rejection::NotSteady;
    return std::nullopt;
}

void MapTuner::Judge(std::size_t index) {
    const TuningRow& row = m_recent[index];
    if (const auto rejection = Gate(row, Steady(index)))
        ++m_rejected[static_cast<std::size_t>(*rejection)];
    else
        Accept(row);
}

void MapTuner::Finish() {
    for (; m_waiting < m_recent.size(); ++m_waiting)
        Judge(m_waiting);
}

void MapTuner::Add(const TuningRow& row) {
    ++m_rows;
    // A pause in the recording, or time running back (another recording): what came before
    // says nothing about the engine now.
    if (!m_recent.empty() && (row.seconds < m_recent.back().seconds ||
                              row.seconds - m_recent.back().seconds > m_settings.gapSeconds)) {
        Finish();
        m_recent.clear();
        m_waiting = 0;
    }
    m_recent.push_back(row);
    for (; m_waiting < m_recent.size() &&
           m_recent[m_waiting].seconds <= row.seconds - m_settings.steadyAheadSeconds + 1e-9;
         ++m_waiting)
        Judge(m_waiting);
    // Keep one row at or before the earliest moment a waiting row looks back to.
    const double oldest =
        (m_waiting < m_recent.size() ? m_recent[m_waiting].seconds : row.seconds) -
        m_settings.steadySeconds;
    while (m_waiting > 1 && m_recent[1].seconds <= oldest + 1e-9) {
        m_recent.pop_front();
        --m_waiting;
    }
}

void MapTuner::Accept(const TuningRow& row) {
    ++m_accepted;
    const double need = std::max(0.0, MeasuredNeedMs(row.baseMs, row.oxygenCorrection));
    const Interpolation at = InterpolationAt(row.rpm);
    const auto lower = static_cast<std::size_t>(at.segment);
    const double a = at.lower;

    const int positionBin = std::min(kPositionBins - 1, static_cast<int>(a * kPositionBins));
    const auto needBin = static_cast<std::uint64_t>(std::lround(need / kNeedBinMs));
    const std::uint64_t key = (needBin << 8) | (static_cast<std::uint64_t>(positionBin) << 3) |
                              static_cast<std::uint64_t>(at.segment);
    Cell& cell = m_cells[key];
    cell.segment = at.segment;
    cell.n += 1;
    cell.sa += a;
    cell.saa += a * a;
    cell.sy += need;
    cell.say += a * need;
    cell.syy += need * need;

    m_nearest[a >= 0.5 ? lower : lower + 1] += 1;
    if (row.baseMs > 0) {
        const double ratio = 1 + row.oxygenCorrection / 100;
        m_ratioSum[lower] += a * ratio;
        m_ratioWeight[lower] += a;
        m_ratioSum[lower + 1] += (1 - a) * ratio;
        m_ratioWeight[lower + 1] += 1 - a;

        const double formula = MeasuredNeedMs(row.baseMs, row.oxygenCorrection);
        if (formula > 0) {
            const double departure = (row.injectionMs / formula - 1) * 100;
            m_formulaSum += departure;
            m_formula.samples += 1;
            m_formula.maxAbsPercent = std::max(m_formula.maxAbsPercent, std::abs(departure));
        }
    }
}

std::array<double, kMapSize> MapTuner::Fit(std::vector<double>& weights) const {
    std::array<double, kMapSize> anchor{};
    for (std::size_t i = 0; i < kMapSize; ++i)
        anchor[i] = m_current[i] / 1000.0;
    std::vector<const Cell*> cells;
    cells.reserve(m_cells.size());
    for (const auto& [key, cell] : m_cells)
        cells.push_back(&cell);
    weights.assign(cells.size(), 1.0);

    std::array<double, kMapSize> map = anchor;
    std::vector<double> deviations(cells.size());
    std::vector<double> histogram(kMedianBins);
    for (int pass = 0; pass < m_settings.iterations; ++pass) {
        std::array<std::array<double, kMapSize>, kMapSize> a{};
        std::array<double, kMapSize> b{};
        for (std::size_t i = 0; i < kMapSize; ++i) {
            a[i][i] = m_settings.anchorSamples;
            b[i] = m_settings.anchorSamples * anchor[i];
        }
        for (std::size_t c = 0; c < cells.size(); ++c) {
            const Cell& cell = *cells[c];
            const double w = weights[c];
            const auto j = static_cast<std::size_t>(cell.segment);
            const std::size_t k = j + 1;
            a[j][j] += w * cell.saa;
            a[j][k] += w * (cell.sa - cell.saa);
            a[k][j] += w * (cell.sa - cell.saa);
            a[k][k] += w * (cell.n - 2 * cell.sa + cell.saa);
            b[j] += w * cell.say;
            b[k] += w * (cell.sy - cell.say);
        }
        const auto previous = map;
        map = Solve(a, b);
        double moved = 0;
        for (std::size_t i = 0; i < kMapSize; ++i)
            moved = std::max(moved, std::abs(map[i] - previous[i]));
        // The statistics use the weights this map was fitted with.
        if (cells.empty() || pass + 1 == m_settings.iterations || (pass > 0 && moved < 1e-5))
            break;

        // Reweighting by each cell's mean residual against a robust scale of them all: the
        // median absolute residual, counted in fine bins so a pass stays linear in the cells.
        std::fill(histogram.begin(), histogram.end(), 0.0);
        double total = 0;
        for (std::size_t c = 0; c < cells.size(); ++c) {
            const Cell& cell = *cells[c];
            const auto j = static_cast<std::size_t>(cell.segment);
            const double meanA = cell.sa / cell.n;
            deviations[c] =
                std::abs(cell.sy / cell.n - (meanA * map[j] + (1 - meanA) * map[j + 1]));
            const auto bin = std::min(histogram.size() - 1,
                                      static_cast<std::size_t>(deviations[c] / kMedianBinMs));
            histogram[bin] += cell.n;
            total += cell.n;
        }
        double seen = 0, median = 0;
        for (std::size_t bin = 0; bin < histogram.size(); ++bin) {
            seen += histogram[bin];
            if (seen >= total / 2) {
                median = (static_cast<double>(bin) + 0.5) * kMedianBinMs;
                break;
            }
        }
        const double scale = std::max(kMadToSigma * median, kNeedBinMs);
        for (std::size_t c = 0; c < cells.size(); ++c) {
            const double r = deviations[c];
            weights[c] = r <= kHuber * scale ? 1.0 : kHuber * scale / r;
        }
    }
    return map;
}

TuningResult MapTuner::Result() const {
    TuningResult result;
    result.rows = m_rows;
    result.accepted = m_accepted;
    result.rejected = m_rejected;
    result.formula = m_formula;
    if (m_formula.samples > 0)
        result.formula.meanPercent = m_formulaSum / m_formula.samples;

    std::vector<double> weights;
    const auto fitted = Fit(weights);

    std::array<double, kMapSize> weight{}, squares{}, spreadWeight{};
    std::size_t c = 0;
    for (const auto& [key, cell] : m_cells) {
        const double w = weights[c++];
        const auto j = static_cast<std::size_t>(cell.segment);
        const std::size_t k = j + 1;
        const double mj = fitted[j], mk = fitted[k];
        const double sse = cell.syy - 2 * (mj * cell.say + mk * (cell.sy - cell.say)) +
                           mj * mj * cell.saa + 2 * mj * mk * (cell.sa - cell.saa) +
                           mk * mk * (cell.n - 2 * cell.sa + cell.saa);
        weight[j] += w * cell.sa;
        weight[k] += w * (cell.n - cell.sa);
        const double meanA = cell.sa / cell.n;
        squares[j] += w * meanA * std::max(0.0, sse);
        squares[k] += w * (1 - meanA) * std::max(0.0, sse);
        spreadWeight[j] += w * meanA * cell.n;
        spreadWeight[k] += w * (1 - meanA) * cell.n;
    }

    for (std::size_t i = 0; i < kMapSize; ++i) {
        PointTuning& point = result.points[i];
        point.speed = kMapPoints[i].speed;
        point.currentMicros = m_current[i];
        const double current = m_current[i] / 1000.0;
        point.weight = weight[i];
        point.samples = m_nearest[i];
        point.spreadMs = spreadWeight[i] > 0 ? std::sqrt(squares[i] / spreadWeight[i]) : 0;
        point.averagedMs =
            m_ratioWeight[i] > 0 ? current * m_ratioSum[i] / m_ratioWeight[i] : current;

        if (point.weight < kSeenWeight) {
            point.confidence = Confidence::None;
            point.fittedMs = current;
        } else {
            point.fittedMs = fitted[i];
            const double relative = point.spreadMs / std::max(fitted[i], 0.001);
            if (point.weight >= kHighWeight && relative <= kHighSpread)
                point.confidence = Confidence::High;
            else if (point.weight >= kMediumWeight && relative <= kMediumSpread)
                point.confidence = Confidence::Medium;
            else
                point.confidence = Confidence::Low;
        }

        // A point already as near the fit as a step allows stays, so a value the engine needs
        // between two steps does not send the fitter back and forth from one pass to the next.
        const bool near =
            std::abs(point.fittedMs * 1000 - m_current[i]) < kSettledSteps * kMapStepMicros;
        if (point.confidence == Confidence::None || near) {
            point.suggestedMicros = m_current[i];
        } else {
            const double fraction = m_settings.maxChangeFraction;
            const int low =
                std::max(kMapLowestMicros, StepAtOrAbove(m_current[i] * (1 - fraction)));
            const int high =
                std::min(kMapHighestMicros, StepAtOrBelow(m_current[i] * (1 + fraction)));
            point.suggestedMicros =
                std::clamp(RoundToStep(point.fittedMs * 1000), low, std::max(low, high));
        }
        point.changePercent =
            m_current[i] > 0 ? 100.0 * (point.suggestedMicros - m_current[i]) / m_current[i] : 0;
    }
    return result;
}

MapMicros ChosenMap(const TuningResult& result, Confidence least,
                    const std::array<bool, kMapSize>* ticked) {
    MapMicros map{};
    for (std::size_t i = 0; i < kMapSize; ++i) {
        const PointTuning& point = result.points[i];
        const bool chosen = ticked
                                ? (*ticked)[i]
                                : point.confidence != Confidence::None && point.confidence >= least;
        map[i] = chosen ? point.suggestedMicros : point.currentMicros;
    }
    return map;
}

TuningResult TuneRows(std::span<const DatalogRow> rows, const MapMicros& current,
                      const TuningSettings& settings) {
    MapTuner tuner(current, settings);
    for (const DatalogRow& row : rows)
        tuner.Add(TuningRowFrom(row));
    tuner.Finish();
    return tuner.Result();
}

Expected<TuningResult> TuneRecording(const QString& path, const MapMicros& current,
                                     const TuningSettings& settings) {
    const auto rows = ReadDatalogCsv(path);
    if (!rows)
        return Failure{rows.error()};
    return TuneRows(*rows, current, settings);
}

} // namespace zef
