#include "app/dashboard.h"

#include "datalog/channels.h"
#include "link/link_supervisor.h"
#include "params/live_status.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace zef {

namespace {

// The oxygen sensor's switching point: below it the mixture is lean, above it rich.
constexpr double kStoichiometricVolts = 0.45;

// Defaults for a petrol engine running on gas: idle near 800 rpm, injection times of a few
// milliseconds, a correction that should stay within ±15 %, a warm engine at 80-95 °C, a charging
// system at 13.5-14.5 V.
std::vector<Gauge::Face> Faces() {
    return {
        {"rpm", "Обороты", "об/мин", 0, 7000, 0, {0, 600, 5500, 6500}, {}, {}},
        {"base_injection_ms", "Впрыск исходный", "мс", 0, 20, 2, {0, 1.5, 12, 16}, {}, {}},
        {"injection_ms", "Впрыск текущий", "мс", 0, 20, 2, {0, 1.5, 12, 16}, {}, {}},
        {"oxygen_v",
         "Датчик кислорода",
         "В",
         0,
         1,
         2,
         {0.05, 0.15, 0.8, 0.95},
         "бедная",
         "богатая"},
        {"correction", "Подстройка", "%", -30, 30, 1, {-25, -15, 15, 25}, {}, {}},
        {"engine_temperature", "Температура", "°C", -40, 130, 0, {-40, 35, 100, 110}, {}, {}},
        {"supply_v", "Питание", "В", 8, 16, 1, {11, 12, 14.8, 15.5}, {}, {}},
    };
}

QColor ZoneColour(Zone zone) {
    switch (zone) {
    case Zone::Alarm:
        return QColor(0xd0, 0x30, 0x30);
    case Zone::Warn:
        return QColor(0xe0, 0xa0, 0x00);
    case Zone::Good:
        break;
    }
    return QColor(0x2e, 0x9d, 0x3a);
}

// The largest pixel size, up to `most`, at which `text` fits `room`.
int FittingPixels(const QFont& base, const QString& text, QSize room, int most) {
    // Halving the span: the gauges refit at every reading, and a step at a time from the
    // largest size cost more than the rest of a refresh.
    QFont font = base;
    const auto fits = [&](int px) {
        font.setPixelSize(px);
        const QFontMetrics metrics(font);
        return metrics.horizontalAdvance(text) + 8 <= room.width() &&
               metrics.height() + 2 <= room.height();
    };
    int fitting = 6;
    for (int above = std::max(most, 6) + 1; above - fitting > 1;) {
        const int px = (fitting + above) / 2;
        (fits(px) ? fitting : above) = px;
    }
    return fitting;
}

QString SettingsKey(const char* key) {
    return QStringLiteral("dashboard/zones/%1").arg(QString::fromLatin1(key));
}

} // namespace

Zone ZoneOf(const GaugeZones& zones, double value) {
    if (value < zones.lowAlarm || value > zones.highAlarm)
        return Zone::Alarm;
    if (value < zones.lowWarn || value > zones.highWarn)
        return Zone::Warn;
    return Zone::Good;
}

class Gauge::Bar : public QWidget {
public:
    explicit Bar(Gauge& gauge) : QWidget(&gauge), m_gauge(gauge) {
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        setMinimumHeight(6);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const Face& face = m_gauge.m_face;
        const QRectF r = QRectF(rect()).adjusted(1, 1, -1, -1);
        const auto x = [&](double v) {
            const double f = std::clamp((v - face.min) / (face.max - face.min), 0.0, 1.0);
            return r.left() + f * r.width();
        };
        const bool live = isEnabled();
        const QColor grey = palette().color(QPalette::Disabled, QPalette::WindowText);
        // The zones as a thin strip under the bar.
        const double strip = std::max(2.0, r.height() / 5);
        const GaugeZones& z = m_gauge.m_zones;
        const std::array<std::pair<double, double>, 5> bands = {{{face.min, z.lowAlarm},
                                                                 {z.lowAlarm, z.lowWarn},
                                                                 {z.lowWarn, z.highWarn},
                                                                 {z.highWarn, z.highAlarm},
                                                                 {z.highAlarm, face.max}}};
        const std::array<Zone, 5> kinds = {Zone::Alarm, Zone::Warn, Zone::Good, Zone::Warn,
                                           Zone::Alarm};
        for (std::size_t i = 0; i < bands.size(); ++i)
            p.fillRect(QRectF(QPointF(x(bands[i].first), r.bottom() - strip),
                              QPointF(x(bands[i].second), r.bottom())),
                       live ? ZoneColour(kinds[i]) : grey);
        const QRectF bar(r.left(), r.top(), r.width(), r.height() - strip - 2);
        p.setPen(palette().color(QPalette::Mid));
        p.drawRect(bar);
        if (const auto value = m_gauge.m_value) {
            const double from = x(std::clamp(0.0, face.min, face.max));
            const QRectF filled(QPointF(std::min(from, x(*value)), bar.top()),
                                QPointF(std::max(from, x(*value)), bar.bottom()));
            p.fillRect(filled, live ? ZoneColour(ZoneOf(z, *value)) : grey);
        }
    }

private:
    Gauge& m_gauge;
};

Gauge::Gauge(Face face, QWidget* parent)
    : QWidget(parent), m_face(std::move(face)), m_zones(m_face.zones) {
    setObjectName(QStringLiteral("Gauge_%1").arg(QString::fromLatin1(m_face.key)));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    m_title = new QLabel(m_face.title, this);
    m_valueLabel = new QLabel(QStringLiteral("—"), this);
    m_valueLabel->setObjectName("GaugeValue");
    m_detail = new QLabel(this);
    for (QLabel* label : {m_title, m_valueLabel, m_detail}) {
        // The figures are sized to the room, not the room to the figures.
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
        label->setAlignment(Qt::AlignCenter);
    }
    m_bar = new Bar(*this);
    layout->addWidget(m_title, 2);
    layout->addWidget(m_valueLabel, 5);
    layout->addWidget(m_bar, 2);
    layout->addWidget(m_detail, 2);
    setMinimumSize(90, 70);
    setContextMenuPolicy(Qt::CustomContextMenu);
}

void Gauge::SetValue(std::optional<double> value) {
    m_value = value;
    m_valueLabel->setText(value ? QStringLiteral("%1 %2").arg(
                                      QString::number(*value, 'f', m_face.decimals), m_face.unit)
                                : QStringLiteral("—"));
    if (value && !m_face.lowWord.isEmpty())
        SetDetail(*value < kStoichiometricVolts ? m_face.lowWord : m_face.highWord);
    fitFonts();
    m_bar->update();
}

void Gauge::SetDetail(const QString& text) {
    m_detail->setText(text);
    fitFonts();
}

void Gauge::SetZones(const GaugeZones& zones) {
    m_zones = zones;
    m_bar->update();
}

void Gauge::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fitFonts();
}

void Gauge::fitFonts() {
    const std::array labels = {m_title, m_valueLabel, m_detail};
    for (std::size_t i = 0; i < labels.size(); ++i) {
        QLabel* label = labels[i];
        // Most readings change neither a label's text nor its room.
        Fitted now{label->text(), label->size()};
        if (now.text == m_fitted[i].text && now.room == m_fitted[i].room)
            continue;
        m_fitted[i] = std::move(now);
        QFont font = label->font();
        const int most = label == m_valueLabel ? 96 : 28;
        font.setPixelSize(FittingPixels(font, label->text(), label->size(), most));
        label->setFont(font);
    }
}

Dashboard::Dashboard(RegisterExchange& link, const LinkSupervisor& supervisor, QSettings* settings,
                     QWidget* parent)
    : QWidget(parent), m_link(link), m_supervisor(supervisor), m_settings(settings) {
    setObjectName("Dashboard");
    setWindowTitle("Приборы");
    setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    m_lost = new QLabel("Нет связи", this);
    m_lost->setObjectName("DashboardLost");
    QFont bold = m_lost->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.8);
    m_lost->setFont(bold);
    m_lost->hide();
    m_nightBox = new QCheckBox("&Ночная палитра", this);
    m_nightBox->setObjectName("DashboardNight");
    top->addWidget(m_lost, 1);
    top->addStretch();
    top->addWidget(m_nightBox);
    layout->addLayout(top);
    auto* grid = new QGridLayout;
    layout->addLayout(grid, 1);
    int i = 0;
    for (Gauge::Face& face : Faces()) {
        auto* gauge = new Gauge(std::move(face), this);
        if (m_settings) {
            const QStringList saved =
                m_settings->value(SettingsKey(gauge->Dial().key)).toStringList();
            if (saved.size() == 4)
                gauge->SetZones({saved[0].toDouble(), saved[1].toDouble(), saved[2].toDouble(),
                                 saved[3].toDouble()});
        }
        connect(gauge, &QWidget::customContextMenuRequested, this, [this, gauge](QPoint at) {
            QMenu menu(this);
            QAction* zones = menu.addAction("&Зоны...");
            if (menu.exec(gauge->mapToGlobal(at)) == zones)
                EditZones(*gauge);
        });
        grid->addWidget(gauge, i / 4, i % 4);
        m_gauges.push_back(gauge);
        ++i;
    }
    connect(m_nightBox, &QCheckBox::toggled, this, &Dashboard::SetNight);
    SetNight(m_settings && m_settings->value("dashboard/night", false).toBool());
    showLost(false);
    resize(900, 480);
    if (m_settings)
        restoreGeometry(m_settings->value("dashboard/geometry").toByteArray());
}

void Dashboard::hideEvent(QHideEvent* event) {
    // Where the fitter put it, for the next run.
    if (m_settings)
        m_settings->setValue("dashboard/geometry", saveGeometry());
    QWidget::hideEvent(event);
}

Gauge* Dashboard::GaugeFor(std::string_view key) const {
    for (Gauge* gauge : m_gauges)
        if (key == gauge->Dial().key)
            return gauge;
    return nullptr;
}

bool Dashboard::Refresh() {
    if (m_supervisor.State() != LinkState::Live)
        return ShowReading(std::nullopt);
    return ShowReading(ReadDatalogRow(m_link));
}

bool Dashboard::ShowReading(const std::optional<std::vector<double>>& row) {
    if (m_supervisor.State() != LinkState::Live) {
        showLost(m_supervisor.IsLost());
        return false;
    }
    showLost(false);
    if (!row)
        return false; // the figures stay as last read; the supervisor tells a loss
    showRow(*row);
    return true;
}

void Dashboard::showRow(const std::vector<double>& row) {
    const auto channels = DatalogChannels();
    const auto value = [&](std::string_view key) {
        const auto at = FindDatalogChannel(key) - channels.data();
        return row[static_cast<std::size_t>(at)];
    };
    for (Gauge* gauge : m_gauges)
        if (FindDatalogChannel(gauge->Dial().key))
            gauge->SetValue(value(gauge->Dial().key));
    Gauge* correction = GaugeFor("correction");
    if (value("setup_mode") != 0) {
        correction->SetValue(std::nullopt);
        correction->SetDetail("Режим установки");
    } else if (value("oxygen_feedback") != 0) {
        correction->SetValue(value("oxygen_correction"));
        correction->SetDetail("по датчику кислорода");
    } else {
        correction->SetValue(value("manual_correction"));
        correction->SetDetail("ручная");
    }
}

void Dashboard::ShowLinkState() {
    showLost(m_supervisor.IsLost());
}

void Dashboard::showLost(bool lost) {
    m_lost->setVisible(lost);
    for (Gauge* gauge : m_gauges)
        gauge->setEnabled(!lost);
}

void Dashboard::SetNight(bool night) {
    m_night = night;
    if (m_nightBox->isChecked() != night)
        m_nightBox->setChecked(night);
    if (night) {
        QPalette dark;
        dark.setColor(QPalette::Window, QColor(0x14, 0x18, 0x20));
        dark.setColor(QPalette::WindowText, QColor(0xd8, 0xdc, 0xe4));
        dark.setColor(QPalette::Text, QColor(0xd8, 0xdc, 0xe4));
        dark.setColor(QPalette::Mid, QColor(0x50, 0x58, 0x68));
        dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x60, 0x64, 0x6c));
        setPalette(dark);
    } else {
        setPalette(QPalette());
    }
    if (m_settings)
        m_settings->setValue("dashboard/night", night);
}

void Dashboard::SetZones(Gauge& gauge, const GaugeZones& zones) {
    gauge.SetZones(zones);
    if (m_settings)
        m_settings->setValue(
            SettingsKey(gauge.Dial().key),
            QStringList{QString::number(zones.lowAlarm), QString::number(zones.lowWarn),
                        QString::number(zones.highWarn), QString::number(zones.highAlarm)});
}

void Dashboard::EditZones(Gauge& gauge) {
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Зоны: %1").arg(gauge.Dial().title));
    auto* form = new QFormLayout(&dialog);
    const Gauge::Face& face = gauge.Dial();
    const GaugeZones now = gauge.Zones();
    std::array<QDoubleSpinBox*, 4> boxes{};
    const std::array<double, 4> values = {now.lowAlarm, now.lowWarn, now.highWarn, now.highAlarm};
    const std::array<const char*, 4> captions = {"Опасно ниже", "Внимание ниже", "Внимание выше",
                                                 "Опасно выше"};
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        boxes[i] = new QDoubleSpinBox(&dialog);
        boxes[i]->setRange(face.min - (face.max - face.min), face.max + (face.max - face.min));
        boxes[i]->setDecimals(face.decimals + 1);
        boxes[i]->setSuffix(QChar(' ') + face.unit);
        boxes[i]->setValue(values[i]);
        form->addRow(QString::fromUtf8(captions[i]), boxes[i]);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                                             QDialogButtonBox::RestoreDefaults,
                                         &dialog);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    connect(
        buttons->button(QDialogButtonBox::RestoreDefaults), &QPushButton::clicked, &dialog, [&] {
            const GaugeZones& d = face.zones;
            const std::array<double, 4> defaults = {d.lowAlarm, d.lowWarn, d.highWarn, d.highAlarm};
            for (std::size_t i = 0; i < boxes.size(); ++i)
                boxes[i]->setValue(defaults[i]);
        });
    if (dialog.exec() != QDialog::Accepted)
        return;
    std::array<double, 4> chosen{};
    for (std::size_t i = 0; i < boxes.size(); ++i)
        chosen[i] = boxes[i]->value();
    std::sort(chosen.begin(), chosen.end()); // zones that cross mean nothing
    SetZones(gauge, {chosen[0], chosen[1], chosen[2], chosen[3]});
}

} // namespace zef
