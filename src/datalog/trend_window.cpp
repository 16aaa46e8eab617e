#include "datalog/trend_window.h"

#include "datalog/trend_plot.h"
#include "datalog/trend_thinning.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace zef {

namespace {

// Distinct on white and on each other, in the order the channels usually come.
constexpr QRgb kColours[] = {0x1f77b4, 0xd62728, 0x2ca02c, 0xff7f0e, 0x9467bd, 0x8c564b,
                             0xe377c2, 0x17becf, 0x7f7f7f, 0xbcbd22, 0x393b79, 0x637939};

QColor colourOf(std::size_t channel) {
    return QColor(kColours[channel % std::size(kColours)]);
}

QIcon swatch(const QColor& colour) {
    QPixmap picture(12, 12);
    picture.fill(colour);
    return QIcon(picture);
}

// Enough digits to tell neighbouring samples apart, no more: engine speed in whole turns,
// voltages in hundredths.
QString formatReading(double value) {
    const double size = std::abs(value);
    const int decimals = size >= 100 ? 0 : size >= 10 ? 1 : 2;
    return QString::number(value, 'f', decimals);
}

QString channelTitle(const TrendChannel& channel) {
    return channel.unit.isEmpty() ? channel.name : channel.name + ", " + channel.unit;
}

} // namespace

TrendWindow::TrendWindow(std::shared_ptr<const TrendData> data, QWidget* parent)
    : QWidget(parent, Qt::Window), m_data(std::move(data)) {
    setWindowTitle("Тренд");
    setObjectName("TrendWindow");

    m_pause = new QPushButton("Пауза");
    m_pause->setCheckable(true);
    m_pause->setToolTip("Остановить прокрутку; запись продолжается");
    m_reset = new QPushButton("Сбросить масштаб");
    m_reset->setToolTip("Колесо мыши или протяжка по графику меняют масштаб времени; "
                        "двойной щелчок возвращает его");
    m_cursorTime = new QLabel;
    m_cursorTime->setMinimumWidth(
        m_cursorTime->fontMetrics().horizontalAdvance("Курсор: 00000.00 с (00:00:00.000)") + 8);
    m_state = new QLabel;

    auto* bar = new QHBoxLayout;
    bar->addWidget(m_pause);
    bar->addWidget(m_reset);
    bar->addSpacing(12);
    bar->addWidget(m_cursorTime);
    bar->addStretch(1);
    bar->addWidget(m_state);

    m_plots = new QWidget;
    m_plotLayout = new QVBoxLayout(m_plots);
    m_plotLayout->setContentsMargins(0, 0, 0, 0);
    m_plotLayout->setSpacing(0);
    auto* scroll = new QScrollArea;
    scroll->setWidget(m_plots);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    m_panel = new QWidget;
    m_markList = new QListWidget;
    m_markList->setObjectName("TrendMarks");
    m_markList->setToolTip("Метки ставит клавиша M во время записи; щелчок по метке "
                           "показывает её место");
    m_figuresTitle = new QLabel;
    m_figuresTitle->setObjectName("TrendStretch");
    m_figuresTitle->setToolTip("Протяжка по графику выбирает участок, двойной щелчок — вся запись");
    auto* side = new QVBoxLayout;
    side->addWidget(m_figuresTitle);
    side->addWidget(m_panel);
    side->addWidget(new QLabel("Метки:"));
    side->addWidget(m_markList, 1);

    auto* body = new QHBoxLayout;
    body->addWidget(scroll, 1);
    body->addLayout(side);

    m_content = new QWidget;
    auto* content = new QVBoxLayout(m_content);
    content->setContentsMargins(0, 0, 0, 0);
    content->addLayout(bar);
    content->addLayout(body, 1);

    m_note = new QLabel;
    m_note->setObjectName("TrendNote");
    m_note->setTextFormat(Qt::PlainText);
    m_note->setWordWrap(true);
    m_note->setAlignment(Qt::AlignCenter);
    m_note->hide();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_content, 1);
    layout->addWidget(m_note, 1);

    connect(m_pause, &QPushButton::toggled, this, &TrendWindow::SetPaused);
    connect(m_reset, &QPushButton::clicked, this, &TrendWindow::ResetZoom);
    connect(m_markList, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { GoToMark(std::size_t(m_markList->row(item))); });

    buildChannels();
    // Room for a dozen plots, within the screen and its window frame.
    QSize size(1100, 820);
    if (const QScreen* shown = screen())
        size = size.boundedTo(shown->availableSize() - QSize(16, 40));
    resize(size);
    render();
}

TrendWindow::~TrendWindow() = default;

void TrendWindow::SetNote(const QString& note) {
    m_note->setText(note);
    m_note->setVisible(!note.isEmpty());
    m_content->setVisible(note.isEmpty());
}

void TrendWindow::SetData(std::shared_ptr<const TrendData> data) {
    const auto sameChannel = [](const TrendChannel& a, const TrendChannel& b) {
        return a.name == b.name && a.unit == b.unit;
    };
    const auto& before = m_data->Channels();
    const auto& after = data->Channels();
    // Recordings and files of this program share their channels: their plots stay, which
    // spares laying out a dozen charts anew.
    const bool samePlots =
        std::equal(before.begin(), before.end(), after.begin(), after.end(), sameChannel);
    m_data = std::move(data);
    SetNote({});
    m_zoom.reset();
    m_cursor.reset();
    if (!samePlots)
        buildChannels();
    render();
}

void TrendWindow::buildChannels() {
    // A channel the fitter unticked stays hidden in the next recording or file that has it.
    QStringList hidden;
    for (std::size_t i = 0; i < m_channels.size(); ++i)
        if (!IsChannelShown(i))
            hidden.append(m_channels[i].box->text());
    for (Channel& c : m_channels)
        delete c.plot;
    m_channels.clear();
    delete m_panel->layout();
    qDeleteAll(m_panel->findChildren<QWidget*>(Qt::FindDirectChildrenOnly));

    auto* grid = new QGridLayout(m_panel);
    grid->setContentsMargins(0, 0, 0, 0);
    // Under the channels, by their colours, each one's lowest, highest and mean value over the
    // stretch shown: no wider than the channels' names, so the plots keep their room.
    auto* figures = new QWidget(m_panel);
    auto* table = new QGridLayout(figures);
    table->setContentsMargins(0, 8, 0, 0);
    table->setHorizontalSpacing(12);
    for (int column = 0; column < 3; ++column) {
        auto* heading = new QLabel(QStringList{"Мин", "Макс", "Среднее"}[column]);
        heading->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        table->addWidget(heading, 0, column + 1);
    }
    table->setColumnStretch(4, 1);
    const auto& channels = m_data->Channels();
    for (std::size_t i = 0; i < channels.size(); ++i) {
        Channel c;
        c.plot = new TrendPlot(channelTitle(channels[i]), colourOf(i));
        m_plotLayout->addWidget(c.plot, 1);
        c.box = new QCheckBox(channelTitle(channels[i]));
        c.box->setIcon(swatch(colourOf(i)));
        c.box->setChecked(!hidden.contains(c.box->text()));
        c.plot->setVisible(c.box->isChecked());
        grid->addWidget(c.box, int(i), 0);
        auto* colour = new QLabel;
        colour->setPixmap(swatch(colourOf(i)).pixmap(12, 12));
        colour->setToolTip(channelTitle(channels[i]));
        table->addWidget(colour, int(i) + 1, 0);
        for (int column = 0; column < 3; ++column) {
            c.figures[std::size_t(column)] = new QLabel;
            c.figures[std::size_t(column)]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            c.figures[std::size_t(column)]->setToolTip(channelTitle(channels[i]));
            table->addWidget(c.figures[std::size_t(column)], int(i) + 1, column + 1);
        }
        connect(c.box, &QCheckBox::toggled, this, [this, i](bool on) { SetChannelShown(i, on); });
        connect(c.plot, &TrendPlot::cursorMoved, this, [this](double t) { SetCursorTime(t); });
        connect(c.plot, &TrendPlot::cursorLeft, this, [this] { SetCursorTime(std::nullopt); });
        connect(c.plot, &TrendPlot::zoomRequested, this, &TrendWindow::ZoomTo);
        connect(c.plot, &TrendPlot::wheelZoomRequested, this, &TrendWindow::ZoomAt);
        connect(c.plot, &TrendPlot::resetRequested, this, &TrendWindow::ResetZoom);
        connect(c.plot, &TrendPlot::widthChanged, this, &TrendWindow::renderLater);
        m_channels.push_back(c);
    }
    grid->addWidget(figures, int(channels.size()), 0);
    grid->setRowStretch(int(channels.size()) + 1, 1);
}

void TrendWindow::Refresh() {
    // A closed window costs the recording nothing; showing it again draws what came meanwhile.
    if (!isVisible())
        return;
    render();
}

void TrendWindow::SetLive(bool live) {
    m_live = live;
    if (!live)
        m_paused = false;
    render();
}

void TrendWindow::SetPaused(bool paused) {
    if (paused == m_paused)
        return;
    if (paused)
        m_frozen = TimeRange();
    m_paused = paused;
    render();
}

void TrendWindow::SetChannelShown(std::size_t channel, bool shown) {
    if (channel >= m_channels.size())
        return;
    Channel& c = m_channels[channel];
    if (c.box->isChecked() != shown) {
        c.box->setChecked(shown); // comes back here through the box's signal
        return;
    }
    c.plot->setVisible(shown);
    render();
}

bool TrendWindow::IsChannelShown(std::size_t channel) const {
    return channel < m_channels.size() && m_channels[channel].box->isChecked();
}

std::pair<double, double> TrendWindow::extent() const {
    if (m_data->Empty())
        return {0, m_live ? kLiveSeconds : kShortestSpan};
    const double first = m_data->Seconds(0);
    const double last = m_data->Seconds(m_data->Size() - 1);
    return {first, std::max(last, first + (m_live ? kLiveSeconds : kShortestSpan))};
}

std::pair<double, double> TrendWindow::TimeRange() const {
    if (m_zoom)
        return *m_zoom;
    const auto [first, last] = extent();
    if (!m_live)
        return {first, last};
    if (m_paused)
        return m_frozen;
    return {last - kLiveSeconds, last};
}

void TrendWindow::ZoomTo(double from, double to) {
    if (!std::isfinite(from) || !std::isfinite(to))
        return;
    if (to < from)
        std::swap(from, to);
    if (to - from < kShortestSpan) {
        const double middle = (from + to) / 2;
        from = middle - kShortestSpan / 2;
        to = middle + kShortestSpan / 2;
    }
    m_zoom = std::pair(from, to);
    render();
}

void TrendWindow::ZoomAt(double at, double factor) {
    const auto [from, to] = TimeRange();
    const auto [first, last] = extent();
    const double span = to - from;
    const double wanted = std::clamp(span * factor, kShortestSpan, std::max(last - first, span));
    // The time under the mouse stays under the mouse; the range stays on the recording.
    double start = at - (at - from) * wanted / span;
    start = std::clamp(start, std::min(first, from), std::max(last - wanted, first));
    ZoomTo(start, start + wanted);
}

void TrendWindow::ResetZoom() {
    if (!m_zoom)
        return;
    m_zoom.reset();
    render();
}

void TrendWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    renderLater();
}

void TrendWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    renderLater();
}

void TrendWindow::renderLater() {
    if (m_renderPending)
        return;
    m_renderPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_renderPending)
                render();
        },
        Qt::QueuedConnection);
}

void TrendWindow::render() {
    m_renderPending = false;
    const auto range = TimeRange();
    TrendPlot* lowest = nullptr;
    for (std::size_t i = 0; i < m_channels.size(); ++i) {
        if (!IsChannelShown(i))
            continue;
        renderPlot(i, range);
        lowest = m_channels[i].plot;
    }
    // Time labels only under the lowest plot: the others share its time axis.
    for (const Channel& c : m_channels) {
        c.plot->SetClockStart(m_data->Start());
        c.plot->SetTimeLabelsVisible(c.plot == lowest);
    }
    showMarks();
    showFigures(range);
    showReadings();
    updateControls();
}

void TrendWindow::showMarks() {
    const auto& marks = m_data->Marks();
    std::vector<double> times;
    times.reserve(marks.size());
    for (const TrendMark& mark : marks)
        times.push_back(mark.seconds);
    for (std::size_t i = 0; i < m_channels.size(); ++i)
        if (IsChannelShown(i))
            m_channels[i].plot->SetMarks(times);
    if (m_marksListed == marks.size() && std::size_t(m_markList->count()) == marks.size())
        return;
    m_markList->clear();
    for (const TrendMark& mark : marks) {
        QString when = QString::number(mark.seconds, 'f', 1) + " с";
        if (m_data->Start().isValid())
            when += m_data->Start()
                        .addMSecs(qint64(std::llround(mark.seconds * 1000)))
                        .toString(" (HH:mm:ss)");
        m_markList->addItem(when + "  " + mark.text);
    }
    m_marksListed = marks.size();
}

void TrendWindow::GoToMark(std::size_t index) {
    const auto& marks = m_data->Marks();
    if (index >= marks.size())
        return;
    // The stretch around the marker as wide as now, but no wider than the live minute.
    const auto [from, to] = TimeRange();
    const double span = std::min(to - from, kLiveSeconds);
    ZoomTo(marks[index].seconds - span / 2, marks[index].seconds + span / 2);
}

void TrendWindow::showFigures(std::pair<double, double> range) {
    m_figuresTitle->setText(
        QString("Участок %1 – %2 с")
            .arg(QString::number(range.first, 'f', 1), QString::number(range.second, 'f', 1)));
    for (std::size_t i = 0; i < m_channels.size(); ++i) {
        const auto figures =
            IsChannelShown(i) ? m_data->Figures(i, range.first, range.second) : std::nullopt;
        const double values[] = {figures ? figures->min : 0, figures ? figures->max : 0,
                                 figures ? figures->mean : 0};
        for (std::size_t column = 0; column < 3; ++column) {
            const QString text = figures ? formatReading(values[column]) : QString();
            if (m_channels[i].figures[column]->text() != text)
                m_channels[i].figures[column]->setText(text);
        }
    }
}

QString TrendWindow::Figure(std::size_t channel, std::size_t column) const {
    return channel < m_channels.size() && column < 3 ? m_channels[channel].figures[column]->text()
                                                     : QString();
}

void TrendWindow::renderPlot(std::size_t channel, std::pair<double, double> range) {
    TrendPlot* plot = m_channels[channel].plot;
    plot->Show(ThinChannel(*m_data, channel, range.first, range.second, plot->PlotWidth()),
               range.first, range.second);
}

void TrendWindow::SetCursorTime(std::optional<double> seconds) {
    m_cursor = seconds;
    showReadings();
}

QString TrendWindow::Reading(std::size_t channel) const {
    if (!m_cursor || !IsChannelShown(channel))
        return {};
    const auto row = m_data->RowAt(*m_cursor);
    if (!row)
        return {};
    const double value = m_data->Value(*row, channel);
    if (!std::isfinite(value))
        return {};
    const QString& unit = m_data->Channels()[channel].unit;
    return unit.isEmpty() ? formatReading(value) : formatReading(value) + " " + unit;
}

QString TrendWindow::CursorTimeText() const {
    if (!m_cursor)
        return {};
    QString text = QString("Курсор: %1 с").arg(QString::number(*m_cursor, 'f', 2));
    if (m_data->Start().isValid())
        text += m_data->Start()
                    .addMSecs(qint64(std::llround(*m_cursor * 1000)))
                    .toString(" (HH:mm:ss.zzz)");
    return text;
}

void TrendWindow::showReadings() {
    for (std::size_t i = 0; i < m_channels.size(); ++i) {
        m_channels[i].plot->SetCursor(IsChannelShown(i) ? m_cursor : std::nullopt);
        m_channels[i].plot->SetReading(Reading(i));
    }
    m_cursorTime->setText(CursorTimeText());
}

TrendPlot* TrendWindow::Plot(std::size_t channel) const {
    return channel < m_channels.size() ? m_channels[channel].plot : nullptr;
}

QCheckBox* TrendWindow::ChannelBox(std::size_t channel) const {
    return channel < m_channels.size() ? m_channels[channel].box : nullptr;
}

void TrendWindow::updateControls() {
    m_pause->setEnabled(m_live);
    {
        const QSignalBlocker quiet(m_pause);
        m_pause->setChecked(m_paused);
    }
    m_reset->setEnabled(m_zoom.has_value());
    QString state;
    if (m_live)
        state =
            m_paused || m_zoom ? "Запись идёт, прокрутка остановлена" : "Запись: последние 60 с";
    else if (!m_data->Empty())
        state = QString("Записано %1 с")
                    .arg(QString::number(m_data->Seconds(m_data->Size() - 1) - m_data->Seconds(0),
                                         'f', 1));
    m_state->setText(state);
}

} // namespace zef
