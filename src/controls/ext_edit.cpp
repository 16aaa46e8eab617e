#include "controls/ext_edit.h"

#include "controls/bound_value.h"
#include "controls/control_registry.h"
#include "controls/widget_rules.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QResizeEvent>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QToolButton>

namespace zef {

TExtEdit::TExtEdit(QWidget* parent) : QLineEdit(parent) {
    SetBounds(QRect(0, 0, kDefaultWidth, kDefaultHeight));
    ShowValue();
}

void TExtEdit::SetValue(ParamValue x) {
    const ParamValue old = m_value;
    m_value = LimitValue(x, m_valueMin, m_valueMax);
    ShowValue();
    // The owner writes the controller on this event, so a change that the user cannot see in
    // the box writes nothing.
    if (EditText(m_valueFormat, old) != text() && onChangeValue && MayNotify(*this))
        onChangeValue(this, old, m_value);
}

void TExtEdit::SetValueMin(ParamValue min) {
    m_valueMin = min;
    if (m_value < min)
        SetValue(min);
}

void TExtEdit::SetValueMax(ParamValue max) {
    m_valueMax = max;
    if (!(m_value <= max))
        SetValue(max);
}

void TExtEdit::SetValueFormat(const QString& pattern) {
    m_valueFormat = pattern;
    ShowValue();
}

void TExtEdit::ShowValue() {
    // A fully selected text stays selected, so that typing still replaces it after a spin step.
    const bool allSelected = hasSelectedText() && selectedText() == text();
    setText(EditText(m_valueFormat, m_value));
    if (allSelected)
        selectAll();
}

void TExtEdit::CommitText() {
    SetValue(ParseValueText(text()).value_or(m_value));
    setModified(false);
}

bool TExtEdit::CommitTypedText() {
    if (!isModified())
        return false;
    CommitText();
    return true;
}

void TExtEdit::InitOne() {
    setEnabled(true);
    if (!onInit)
        return;
    ParamValue v = m_value;
    onInit(this, m_queryCod, m_valueAdr, v);
    m_value = v;
    ShowValue();
}

void TExtEdit::PassOne() {
    setEnabled(false);
    SetValue(0);
}

void TExtEdit::InitAll(const ControlRegistry& owner) {
    owner.ForEachExactly<TExtEdit>([](TExtEdit& e) { e.InitOne(); });
}

void TExtEdit::PassAll(const ControlRegistry& owner) {
    owner.ForEachExactly<TExtEdit>([](TExtEdit& e) { e.PassOne(); });
}

void TExtEdit::SetBounds(const QRect& bounds) {
    setGeometry(bounds);
    m_hint = bounds.size();
    updateGeometry();
    followHeight();
    LayOutInside();
    PlaceText();
}

void TExtEdit::followHeight() {
    FollowHeightWithFont(*this);
    m_fontHeight = height();
}

void TExtEdit::PlaceText() {
    QStyleOptionFrame option;
    initStyleOption(&option);
    const QRect area = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
    const QFontMetrics metrics(font());
    const int lineTop =
        InkCentredLineTop(area.height(), metrics.ascent(), metrics.capHeight(), metrics.descent());
    setTextMargins(0, LineEditTopMargin(area.height(), metrics.height(), lineTop), ReservedRight(),
                   0);
}

void TExtEdit::changeEvent(QEvent* event) {
    QLineEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        PlaceText();
}

void TExtEdit::resizeEvent(QResizeEvent* event) {
    QLineEdit::resizeEvent(event);
    // A hidden control gets the resize of its SetBounds only when it is shown; the font was
    // made for that height then, and a font set since must stay.
    if (height() != m_fontHeight)
        followHeight();
    LayOutInside();
    PlaceText();
}

void TExtEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    // A click inside places the cursor; coming by Tab or through the spin button, typing
    // replaces the whole value.
    if (event->reason() != Qt::MouseFocusReason)
        selectAll();
}

void TExtEdit::focusOutEvent(QFocusEvent* event) {
    // Switching to another window or opening a context menu does not leave the box. Passing
    // through a box without typing commits nothing: a stored value outside the limits would
    // otherwise be cut to the limit and written behind the fitter's back.
    const auto reason = event->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
        CommitTypedText();
    QLineEdit::focusOutEvent(event);
}

void TExtEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // Consumed here, so that Enter in a box never presses a dialog's default button.
        CommitText();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

TSpinButton::TSpinButton(QWidget* parent, std::unique_ptr<TickTimer> repeatTimer)
    : QWidget(parent), m_up(new QToolButton(this)), m_down(new QToolButton(this)),
      m_repeat(repeatTimer ? std::move(repeatTimer) : std::make_unique<QtTickTimer>(this)) {
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::ArrowCursor);
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);
    m_repeat->onTick = [this] { repeat(); };
    for (QToolButton* half : {m_up, m_down}) {
        half->setFocusPolicy(Qt::NoFocus);
        // The repeat runs on our own timer, which tests can drive by hand.
        half->setAutoRepeat(false);
        connect(half, &QToolButton::pressed, this, [this, half] { press(half); });
        // Also emitted when a held half is dragged off or disabled, which pauses the repeat.
        connect(half, &QToolButton::released, this, [this] {
            m_repeat->Stop();
            m_held = nullptr;
        });
    }
    connect(m_up, &QToolButton::clicked, this, &TSpinButton::UpClick);
    connect(m_down, &QToolButton::clicked, this, &TSpinButton::DownClick);
}

TSpinButton::~TSpinButton() = default;

void TSpinButton::press(QToolButton* half) {
    emit Pressed();
    m_held = half;
    m_repeat->SetInterval(kRepeatDelayMs);
    m_repeat->Start();
}

void TSpinButton::repeat() {
    if (!m_held || !m_held->isDown()) {
        m_repeat->Stop();
        return;
    }
    if (m_repeat->Interval() != kRepeatIntervalMs)
        m_repeat->SetInterval(kRepeatIntervalMs);
    if (m_held == m_up)
        emit UpClick();
    else
        emit DownClick();
}

void TSpinButton::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const SpinHalves halves = SplitSpinButton(size());
    m_up->setGeometry(halves.up);
    m_down->setGeometry(halves.down);
}

TSpinExtEdit::TSpinExtEdit(QWidget* parent, std::unique_ptr<TickTimer> repeatTimer)
    : TExtEdit(parent), m_spin(new TSpinButton(this, std::move(repeatTimer))) {
    // Steps come from the spin button or from code, never from the arrow keys.
    connect(m_spin, &TSpinButton::Pressed, this, &TSpinExtEdit::takeFocusFromSpin);
    connect(m_spin, &TSpinButton::UpClick, this, &TSpinExtEdit::StepUp);
    connect(m_spin, &TSpinButton::DownClick, this, &TSpinExtEdit::StepDown);
    SetBounds(QRect(pos(), QSize(width(), kDefaultHeight)));
    m_spin->show();
}

TSpinExtEdit::~TSpinExtEdit() = default;

void TSpinExtEdit::StepUp() {
    step(ValueStep());
}
void TSpinExtEdit::StepDown() {
    step(-ValueStep());
}

void TSpinExtEdit::step(ParamValue delta) {
    CommitTypedText();
    SetValue(Value() + delta);
}

void TSpinExtEdit::takeFocusFromSpin() {
    // The edit that had the focus commits its own text on losing it, before this one steps.
    if (!hasFocus() && isEnabled() && (focusPolicy() & Qt::ClickFocus))
        setFocus(Qt::OtherFocusReason);
    if (m_focusedByPress) {
        m_focusedByPress = false;
        selectAll();
    }
}

// Qt hands the focus to the edit, as the nearest ancestor that takes it, before the spin
// button sees the press; the focus reason alone cannot tell that from a click into the text.
void TSpinExtEdit::focusInEvent(QFocusEvent* event) {
    TExtEdit::focusInEvent(event);
    m_focusedByPress = event->reason() == Qt::MouseFocusReason;
}

void TSpinExtEdit::focusOutEvent(QFocusEvent* event) {
    m_focusedByPress = false;
    TExtEdit::focusOutEvent(event);
}

void TSpinExtEdit::mousePressEvent(QMouseEvent* event) {
    m_focusedByPress = false; // the click was into the text
    TExtEdit::mousePressEvent(event);
}

void TSpinExtEdit::InitAll(const ControlRegistry& owner) {
    owner.ForEachExactly<TSpinExtEdit>([](TSpinExtEdit& e) { e.InitOne(); });
}

void TSpinExtEdit::PassAll(const ControlRegistry& owner) {
    owner.ForEachExactly<TSpinExtEdit>([](TSpinExtEdit& e) { e.PassOne(); });
}

void TSpinExtEdit::LayOutInside() {
    if (!m_spin)
        return;
    const QRect button = LayOutSpinButton(width(), height());
    m_spin->setGeometry(button);
    m_spin->raise();
}

// Typed text should not run on under the button.
int TSpinExtEdit::ReservedRight() const {
    return m_spin ? m_spin->width() : 0;
}

} // namespace zef
