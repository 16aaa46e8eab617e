#include "controls/ext_text.h"

#include "controls/bound_value.h"
#include "controls/control_registry.h"
#include "controls/widget_rules.h"

#include <QPainter>
#include <QResizeEvent>
#include <QStyle>

namespace zef {

TExtText::TExtText(QWidget* parent, std::unique_ptr<TickTimer> queryTimer)
    : QLabel(parent),
      m_queryTimer(queryTimer ? std::move(queryTimer) : std::make_unique<QtTickTimer>(this)) {
    // A caption is shown as written, never taken for markup.
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
    SetBounds(QRect(0, 0, kDefaultWidth, kDefaultHeight));
    ShowValue();
    m_queryTimer->Stop();
    m_queryTimer->SetInterval(m_queryInterval);
    m_queryTimer->onTick = [this] { QueryTick(); };
}

// The timer goes first, so that no tick can reach a read-out that is half destroyed.
TExtText::~TExtText() {
    m_queryTimer.reset();
}

void TExtText::SetValue(ParamValue x) {
    const QString oldText = ReadoutText(m_valueCaption, m_valueFormat, m_value);
    const ParamValue old = m_value;
    m_value = x;
    ShowValue();
    if (oldText != text() && onChangeValue && MayNotify(*this))
        onChangeValue(this, old, x);
}

void TExtText::SetValueFormat(const QString& pattern) {
    m_valueFormat = pattern;
    ShowValue();
}

void TExtText::SetValueCaption(const QString& caption) {
    m_valueCaption = caption;
    ShowValue();
}

void TExtText::SetAutoQuery(bool on) {
    m_autoQuery = on;
    if (on != m_queryTimer->IsActive())
        runTimer();
}

void TExtText::SetQueryInterval(int ms) {
    m_queryInterval = ms;
    m_queryTimer->SetInterval(ms);
    runTimer();
}

// A timer with no interval would fire on every pass of the event loop and flood the serial
// line with queries; it stays off instead.
void TExtText::runTimer() {
    if (m_autoQuery && m_queryInterval > 0)
        m_queryTimer->Start();
    else
        m_queryTimer->Stop();
}

void TExtText::ShowValue() {
    setText(ReadoutText(m_valueCaption, m_valueFormat, m_value));
}

void TExtText::QueryTick() {
    if (onQueryLater && MayNotify(*this)) {
        m_queryTimer->Stop();
        onQueryLater(*this, m_value, [this](std::optional<ParamValue> answered) {
            runTimer();
            SetValue(answered.value_or(m_value));
        });
        return;
    }
    if (!onQuery || !MayNotify(*this))
        return;
    ParamValue v = m_value;
    m_queryTimer->Stop();
    onQuery(this, m_queryCod, m_valueAdr, v);
    runTimer();
    SetValue(v);
}

void TExtText::InitOne() {
    setEnabled(true);
    ParamValue v = m_value;
    if (onQuery)
        onQuery(this, m_queryCod, m_valueAdr, v);
    SetValue(v);
}

void TExtText::PassOne() {
    m_value = 0;
    ShowValue();
    setEnabled(false);
}

void TExtText::InitAll(const ControlRegistry& owner) {
    owner.ForEachExactly<TExtText>([](TExtText& t) { t.InitOne(); });
}

void TExtText::PassAll(const ControlRegistry& owner) {
    owner.ForEachExactly<TExtText>([](TExtText& t) { t.PassOne(); });
}

void TExtText::SetBounds(const QRect& bounds) {
    setGeometry(bounds);
    m_hint = bounds.size();
    updateGeometry();
    followHeight();
}

void TExtText::followHeight() {
    FollowHeightWithFont(*this);
    m_fontHeight = height();
}

void TExtText::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    if (height() != m_fontHeight)
        followHeight();
}

} // namespace zef

namespace zef {

// The font that follows the height leaves no room for the whole line box inside a border, so
// the line is placed by its ink rather than centred as QLabel would; the text alignment still
// decides left, right or centre.
void TExtText::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    drawFrame(&painter);
    const QRect area = contentsRect();
    painter.setClipRect(area);
    const QFontMetrics metrics(font());
    const int top = area.top() + InkCentredLineTop(area.height(), metrics.ascent(),
                                                   metrics.capHeight(), metrics.descent());
    const QRect line(area.left(), top, area.width(), metrics.height());
    const Qt::Alignment horizontal =
        QStyle::visualAlignment(layoutDirection(), alignment()) & Qt::AlignHorizontal_Mask;
    style()->drawItemText(&painter, line, static_cast<int>(horizontal | Qt::AlignVCenter),
                          palette(), isEnabled(), text(), foregroundRole());
}

} // namespace zef
