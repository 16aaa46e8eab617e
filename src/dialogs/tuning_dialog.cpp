#include "dialogs/tuning_dialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>

namespace zef {

namespace {

// Richer to the red, leaner to the blue, stronger the further the point moves.
QColor ChangeColour(double percent) {
    const double strength = std::min(1.0, std::abs(percent) / 10);
    const int fade = static_cast<int>(255 - 110 * strength);
    if (percent > 0)
        return QColor(255, fade, fade);
    return QColor(fade, fade, 255);
}

QString Ms(int micros) {
    return QString::number(micros / 1000.0, 'f', 2);
}

QTableWidgetItem* Cell(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled);
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

} // namespace

TuningDialog::TuningDialog(const MapMicros& current, Prompts& prompts, Hooks hooks, QWidget* parent)
    : QDialog(parent), m_tuner(current), m_prompts(prompts), m_hooks(std::move(hooks)) {
    setObjectName("TuningDialog");
    setWindowTitle(QStringLiteral("Подбор по записи"));
    auto* layout = new QVBoxLayout(this);

    m_table = new QTableWidget(static_cast<int>(kMapSize), ColumnCount, this);
    m_table->setObjectName("TuningTable");
    m_table->setHorizontalHeaderLabels({"Об/мин", "Сейчас, мс", "Подбор, мс", "Изменение",
                                        "Замеров", "Разброс, мс", "Уверенность"});
    m_table->horizontalHeaderItem(Trust)->setToolTip(MapTuner::ConfidenceRule());
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    m_table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    layout->addWidget(m_table);

    m_counts = new QLabel(this);
    m_counts->setObjectName("TuningCounts");
    layout->addWidget(m_counts);
    m_outcome = new QLabel(this);
    m_outcome->setObjectName("TuningOutcome");
    m_outcome->hide();
    layout->addWidget(m_outcome);

    auto* buttons = new QDialogButtonBox(this);
    m_write =
        buttons->addButton(QStringLiteral("Записать выбранные"), QDialogButtonBox::ActionRole);
    m_write->setObjectName("WriteChosen");
    m_write->setEnabled(static_cast<bool>(m_hooks.write));
    // Enter closes: the points go to the controller only by their own button, never by a key
    // pressed for something else.
    m_write->setAutoDefault(false);
    QPushButton* close =
        buttons->addButton(QStringLiteral("Закрыть"), QDialogButtonBox::RejectRole);
    close->setObjectName("CloseTuning");
    close->setDefault(true);
    connect(m_write, &QPushButton::clicked, this, &TuningDialog::WriteClick);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    connect(m_table, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (m_filling || item->column() != Speed)
            return;
        m_choice[static_cast<std::size_t>(item->row())] = item->checkState() == Qt::Checked;
    });
    m_live.setInterval(kLivePeriod);
    connect(&m_live, &QTimer::timeout, this, &TuningDialog::TakeNewRows);
    refresh();
}

TuningDialog::~TuningDialog() {
    if (m_hooks.showSuggested)
        m_hooks.showSuggested({});
}

void TuningDialog::AddRows(const std::vector<DatalogRow>& rows) {
    for (const DatalogRow& row : rows)
        m_tuner.Add(TuningRowFrom(row));
    m_tuner.Finish();
    refresh();
}

void TuningDialog::Follow(std::shared_ptr<const TrendData> trend) {
    m_trend = std::move(trend);
    m_taken = 0;
    TakeNewRows();
    m_live.start();
}

void TuningDialog::TakeNewRows() {
    if (!m_trend || m_trend->Size() == m_taken)
        return;
    DatalogRow row;
    const std::size_t channels = m_trend->Channels().size();
    row.values.resize(channels);
    for (; m_taken < m_trend->Size(); ++m_taken) {
        row.seconds = m_trend->Seconds(m_taken);
        for (std::size_t c = 0; c < channels; ++c)
            row.values[c] = m_trend->Value(m_taken, c);
        m_tuner.Add(TuningRowFrom(row));
    }
    refresh();
}

std::array<bool, kMapSize> TuningDialog::Ticked() const {
    std::array<bool, kMapSize> ticked{};
    for (std::size_t i = 0; i < kMapSize; ++i)
        ticked[i] = m_table->item(static_cast<int>(i), Speed)->checkState() == Qt::Checked;
    return ticked;
}

void TuningDialog::SetTicked(std::size_t point, bool ticked) {
    m_table->item(static_cast<int>(point), Speed)
        ->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
}

void TuningDialog::refresh() {
    m_result = m_tuner.Result();
    m_filling = true;
    bool wider = false;
    for (std::size_t i = 0; i < kMapSize; ++i)
        wider |= fillRow(i);
    m_filling = false;
    m_counts->setText(countsText());
    if (m_hooks.showSuggested) {
        std::vector<QPointF> curve{{0, m_result.points[0].suggestedMicros / 1000.0}};
        for (const PointTuning& p : m_result.points)
            curve.emplace_back(p.speed, p.suggestedMicros / 1000.0);
        m_hooks.showSuggested(curve);
    }
    if (!wider)
        return; // a live refresh changes figures, seldom their width: no new layout then
    // Room for every row and column without scrolling.
    m_table->resizeColumnsToContents();
    int width = 2 * m_table->frameWidth();
    for (int c = 0; c < ColumnCount; ++c)
        width += m_table->columnWidth(c);
    m_table->setMinimumSize(width, m_table->horizontalHeader()->height() +
                                       m_table->verticalHeader()->length() +
                                       2 * m_table->frameWidth());
}

bool TuningDialog::fillRow(std::size_t i) {
    const PointTuning& p = m_result.points[i];
    const int row = static_cast<int>(i);
    const bool seen = p.confidence != Confidence::None;
    const QStringList texts = {QString::number(p.speed),
                               Ms(p.currentMicros),
                               Ms(p.suggestedMicros),
                               (p.changePercent > 0 ? QStringLiteral("+") : QString()) +
                                   QString::number(p.changePercent, 'f', 1) + QStringLiteral(" %"),
                               QString::number(p.samples),
                               seen ? QString::number(p.spreadMs, 'f', 3) : QStringLiteral("—"),
                               ConfidenceCaption(p.confidence)};
    bool wider = false;
    for (int c = 0; c < ColumnCount; ++c) {
        QTableWidgetItem* item = m_table->item(row, c);
        if (!item) {
            item = c == Speed ? new QTableWidgetItem : Cell(QString());
            m_table->setItem(row, c, item);
            wider = true;
        }
        if (item->text() == texts[c])
            continue;
        wider |= item->text().size() != texts[c].size();
        item->setText(texts[c]);
    }
    QTableWidgetItem* speed = m_table->item(row, Speed);
    speed->setFlags(seen ? Qt::ItemIsEnabled | Qt::ItemIsUserCheckable : Qt::ItemIsEnabled);
    const bool byDefault = p.Changes() && p.confidence >= Confidence::Medium;
    const Qt::CheckState state =
        seen && m_choice[i].value_or(byDefault) ? Qt::Checked : Qt::Unchecked;
    if (speed->checkState() != state || speed->data(Qt::CheckStateRole).isNull())
        speed->setCheckState(state);
    const QBrush background = p.Changes() ? QBrush(ChangeColour(p.changePercent)) : QBrush();
    const QBrush foreground = seen ? QBrush() : QBrush(Qt::gray);
    for (int c = Current; c < ColumnCount; ++c) {
        QTableWidgetItem* item = m_table->item(row, c);
        if (item->background() != background)
            item->setBackground(background);
        if (item->foreground() != foreground)
            item->setForeground(foreground);
    }
    return wider;
}

QString TuningDialog::countsText() const {
    QStringList lines{QStringLiteral("Строк в записи: %1, в подборе: %2. Отброшено:")
                          .arg(m_result.rows)
                          .arg(m_result.accepted)};
    for (const RejectionRow& row : Rejections())
        lines
            << QStringLiteral("    %1: %2").arg(row.caption).arg(m_result.Rejected(row.rejection));
    return lines.join('\n');
}

void TuningDialog::WriteClick() {
    const std::array<bool, kMapSize> ticked = Ticked();
    const MapMicros& before = m_tuner.Current();
    const MapMicros chosen = ChosenMap(m_result, Confidence::Low, &ticked);
    QStringList changes;
    for (std::size_t i = 0; i < kMapSize; ++i)
        if (chosen[i] != before[i])
            changes << QStringLiteral("%1 об/мин: %2 → %3 мс")
                           .arg(kMapPoints[i].speed)
                           .arg(Ms(before[i]), Ms(chosen[i]));
    if (changes.isEmpty()) {
        m_prompts.Message(QStringLiteral("Среди выбранных точек нет ни одной, что меняется."));
        return;
    }
    if (!m_prompts.AskYesNo(
            QStringLiteral("Записать в контроллер точки карты?\n%1").arg(changes.join('\n')),
            Prompts::Kind::Warning))
        return;
    const auto written = m_hooks.write(before, chosen);
    if (!written)
        return;
    if (written->Took(chosen)) {
        m_outcome->setText(
            QStringLiteral("Записано точек: %1; контроллер их принял.").arg(written->writes));
    } else {
        m_outcome->setText(QStringLiteral("Контроллер принял не все точки."));
        m_prompts.Message(QStringLiteral("Контроллер принял не все точки карты: проверьте "
                                         "карту и связь."),
                          Prompts::Kind::Warning);
    }
    m_outcome->show();
    // The controller's map as read back is the one the table measures against from now on;
    // the drive was recorded on the map before, so a new pass starts with a new drive.
    if (written->readBack) {
        m_tuner.SetCurrent(*written->readBack);
        m_choice = {};
        refresh();
    }
    m_write->setEnabled(false);
}

} // namespace zef
