#include "app/map_table.h"

#include "app/map_editor.h"
#include "dialogs/prompts.h"
#include "params/map_points.h"

#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace zef {

namespace {

const QColor kOperatingColour(255, 226, 120);

QString Ms(int micros) {
    return QString::number(micros / 1000.0, 'f', 2);
}

// A chart index (1 to 7) for a point of the table (0 to 6): index 0 repeats the first point.
int ChartIndex(int point) {
    return point + 1;
}

} // namespace

MapTable::MapTable(MapEditor& map, Prompts& prompts, QWidget* parent)
    : QWidget(parent), m_map(map), m_prompts(prompts) {
    setObjectName("MapTable");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);

    m_table = new QTableWidget(1, static_cast<int>(kMapPoints.size()), this);
    m_table->setObjectName("MapTableCells");
    QStringList speeds;
    for (const MapPoint& p : kMapPoints)
        speeds << QString::number(p.speed);
    m_table->setHorizontalHeaderLabels(speeds);
    m_table->setVerticalHeaderLabels({QStringLiteral("мс")});
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                             QAbstractItemView::AnyKeyPressed);
    m_table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_table->setFixedHeight(m_table->horizontalHeader()->sizeHint().height() +
                            m_table->verticalHeader()->defaultSectionSize() +
                            2 * m_table->frameWidth());
    for (int c = 0; c < m_table->columnCount(); ++c) {
        auto* item = new QTableWidgetItem;
        item->setTextAlignment(Qt::AlignCenter);
        m_table->setItem(0, c, item);
    }
    connect(m_table, &QTableWidget::itemChanged, this, &MapTable::typed);
    layout->addWidget(m_table);

    auto* row = new QHBoxLayout;
    const auto button = [this, row](const QString& name, const QString& text, const QString& tip) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(name);
        b->setToolTip(tip);
        b->setAutoDefault(false);
        row->addWidget(b);
        m_buttons.push_back(b);
        return b;
    };
    connect(button("MapStepUp", QStringLiteral("+0.05 мс"),
                   QStringLiteral("Выбранные точки на шаг выше")),
            &QPushButton::clicked, this, [this] { MoveSelected(+1); });
    connect(button("MapStepDown", QStringLiteral("−0.05 мс"),
                   QStringLiteral("Выбранные точки на шаг ниже")),
            &QPushButton::clicked, this, [this] { MoveSelected(-1); });
    row->addSpacing(12);
    m_percent = new QDoubleSpinBox(this);
    m_percent->setObjectName("MapPercent");
    // The program's numbers take "." whatever the desktop's language.
    m_percent->setLocale(QLocale::c());
    m_percent->setRange(0.5, 50);
    m_percent->setDecimals(1);
    m_percent->setSingleStep(0.5);
    m_percent->setValue(5);
    m_percent->setSuffix(QStringLiteral(" %"));
    row->addWidget(m_percent);
    connect(button("MapPercentUp", QStringLiteral("+ %"),
                   QStringLiteral("Выбранные точки больше на столько процентов")),
            &QPushButton::clicked, this, [this] { ScaleSelected(m_percent->value()); });
    connect(button("MapPercentDown", QStringLiteral("− %"),
                   QStringLiteral("Выбранные точки меньше на столько процентов")),
            &QPushButton::clicked, this, [this] { ScaleSelected(-m_percent->value()); });
    row->addStretch();
    layout->addLayout(row);
    Show(false, std::nullopt);
}

int MapTable::NearestPoint(ParamValue speed) {
    int nearest = 0;
    for (int i = 1; i < static_cast<int>(kMapPoints.size()); ++i)
        if (std::abs(speed - kMapPoints[static_cast<std::size_t>(i)].speed) <
            std::abs(speed - kMapPoints[static_cast<std::size_t>(nearest)].speed))
            nearest = i;
    return nearest;
}

void MapTable::Show(bool writable, std::optional<ParamValue> engineSpeed) {
    writable = writable && m_map.Loaded();
    m_marked =
        writable && engineSpeed ? std::optional<int>(NearestPoint(*engineSpeed)) : std::nullopt;
    m_table->setEnabled(writable);
    m_percent->setEnabled(writable);
    for (QPushButton* b : m_buttons)
        b->setEnabled(writable);
    fill();
}

void MapTable::fill() {
    m_filling = true;
    for (int c = 0; c < m_table->columnCount(); ++c) {
        QTableWidgetItem* item = m_table->item(0, c);
        const auto micros = m_map.PointMicros(ChartIndex(c));
        const QString text = micros ? Ms(*micros) : QString();
        if (item->text() != text)
            item->setText(text);
        const QBrush background = m_marked == c ? QBrush(kOperatingColour) : QBrush();
        if (item->background() != background)
            item->setBackground(background);
    }
    m_filling = false;
}

std::optional<int> MapTable::MarkedPoint() const {
    for (int c = 0; c < m_table->columnCount(); ++c)
        if (m_table->item(0, c)->background() == QBrush(kOperatingColour))
            return c;
    return std::nullopt;
}

void MapTable::typed(QTableWidgetItem* item) {
    if (m_filling)
        return;
    // An editor still open when the link went is closed with its text: not written then.
    if (!m_table->isEnabled()) {
        fill();
        return;
    }
    const int point = item->column();
    const auto current = m_map.PointMicros(ChartIndex(point));
    bool number = false;
    const double ms = item->text().trimmed().replace(',', '.').toDouble(&number);
    const auto wanted = number ? MapEditor::TypedMicros(ms) : std::nullopt;
    // One point typed is one write, as an arrow's; the cell goes back to what the controller
    // holds, and the next refresh shows what it took.
    if (current && wanted && *wanted != *current)
        (void)m_map.WritePoint(ChartIndex(point), *wanted);
    fill();
}

std::vector<int> MapTable::selectedPoints() const {
    std::vector<int> points;
    for (const QTableWidgetItem* item : m_table->selectedItems())
        points.push_back(item->column());
    std::sort(points.begin(), points.end());
    points.erase(std::unique(points.begin(), points.end()), points.end());
    return points;
}

void MapTable::MoveSelected(int steps) {
    writeSelected([steps](int micros) { return MapEditor::SteppedMicros(micros, steps); });
}

void MapTable::ScaleSelected(double percent) {
    writeSelected([percent](int micros) { return MapEditor::ScaledMicros(micros, percent); });
}

void MapTable::writeSelected(const std::function<std::optional<int>(int)>& moved) {
    std::vector<Move> moves;
    for (const int point : selectedPoints())
        if (const auto before = m_map.PointMicros(ChartIndex(point)))
            if (const auto after = moved(*before))
                moves.push_back({point, *before, *after});
    write(moves);
}

void MapTable::write(const std::vector<Move>& moves) {
    if (!m_table->isEnabled())
        return;
    if (moves.size() > 1) {
        QStringList changes;
        for (const Move& m : moves)
            changes << QStringLiteral("%1 об/мин: %2 → %3 мс")
                           .arg(kMapPoints[static_cast<std::size_t>(m.point)].speed)
                           .arg(Ms(m.before), Ms(m.after));
        if (!m_prompts.AskYesNo(
                QStringLiteral("Записать в контроллер точки карты?\n%1").arg(changes.join('\n')),
                Prompts::Kind::Warning))
            return;
    }
    std::optional<ChangeHistory::Group> together;
    if (m_history && moves.size() > 1)
        together.emplace(*m_history,
                         QStringLiteral("Точки карты из таблицы: %1").arg(moves.size()));
    for (const Move& m : moves)
        (void)m_map.WritePoint(ChartIndex(m.point), m.after);
}

} // namespace zef
