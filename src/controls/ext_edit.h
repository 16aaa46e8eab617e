#pragma once

#include "controls/control_events.h"
#include "controls/tick_timer.h"

#include <QLineEdit>
#include <QPointer>

#include <memory>

class QToolButton;

namespace zef {

class ControlRegistry;

// A one-line edit bound to one numeric value with limits and a display pattern. It knows
// nothing of the controller: onInit asks the owner for the value, onChangeValue tells the owner
// that the user changed it. The text is read back only by CommitText (Enter, leaving the box,
// or a spin step after typing).
class TExtEdit : public QLineEdit {
    Q_OBJECT
public:
    static constexpr int kDefaultWidth = 121;
    static constexpr int kDefaultHeight = 25;

    explicit TExtEdit(QWidget* parent = nullptr);

    [[nodiscard]] ParamValue Value() const { return m_value; }
    // Limits, snaps to zero, shows, and raises onChangeValue when the shown text changed while
    // the control is showing and enabled.
    void SetValue(ParamValue x);
    [[nodiscard]] ParamValue ValueMin() const { return m_valueMin; }
    void SetValueMin(ParamValue min);
    [[nodiscard]] ParamValue ValueMax() const { return m_valueMax; }
    void SetValueMax(ParamValue max);
    [[nodiscard]] const QString& ValueFormat() const { return m_valueFormat; }
    void SetValueFormat(const QString& pattern);
    [[nodiscard]] std::int32_t QueryCod() const { return m_queryCod; }
    void SetQueryCod(std::int32_t code) { m_queryCod = code; }
    [[nodiscard]] std::int32_t ValueAdr() const { return m_valueAdr; }
    void SetValueAdr(std::int32_t address) { m_valueAdr = address; }

    TChangeEvent onChangeValue;
    TQueryEvent onInit;

    void ShowValue();
    void CommitText();
    // Commits the text only if the user edited it since the last commit; true when it did.
    // Whatever takes the user away from the box calls this while the box is still showing.
    bool CommitTypedText();
    // Enables the control and shows what onInit answers, as it stands: the controller's value
    // is shown even where it lies outside the limits.
    void InitOne();
    // Disables the control and sets it to zero (within its limits).
    void PassOne();

    // Walk the controls of the owner that are exactly of this class, in the owner's order.
    static void InitAll(const ControlRegistry& owner);
    static void PassAll(const ControlRegistry& owner);

    // Position and size; the font follows the height. A font set afterwards stays until the
    // height changes.
    void SetBounds(const QRect& bounds);

    [[nodiscard]] QSize sizeHint() const override { return m_hint; }
    [[nodiscard]] QSize minimumSizeHint() const override { return m_hint; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

    // Runs after every change of bounds, for what lies inside the edit.
    virtual void LayOutInside() {}
    // Room at the right edge that typed text must not run into.
    [[nodiscard]] virtual int ReservedRight() const { return 0; }
    void PlaceText();

private:
    void followHeight();

    ParamValue m_value = 0;
    ParamValue m_valueMin = -1;
    ParamValue m_valueMax = 1;
    QString m_valueFormat = QStringLiteral("#####0.00");
    std::int32_t m_queryCod = 0;
    std::int32_t m_valueAdr = 0;
    QSize m_hint{kDefaultWidth, kDefaultHeight};
    int m_fontHeight = -1; // the height the font was last made for
};

// The two-halved up/down button of a spin edit. A click steps once on release; a held half
// repeats its step, first after 400 ms and then every 100 ms, until it is released.
class TSpinButton : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRepeatDelayMs = 400;
    static constexpr int kRepeatIntervalMs = 100;

    explicit TSpinButton(QWidget* parent = nullptr, std::unique_ptr<TickTimer> repeatTimer = {});
    ~TSpinButton() override;

    [[nodiscard]] QToolButton* UpButton() const { return m_up; }
    [[nodiscard]] QToolButton* DownButton() const { return m_down; }

signals:
    // A half was pressed with the left button, before any step.
    void Pressed();
    void UpClick();
    void DownClick();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void press(QToolButton* half);
    void repeat();

    QToolButton* m_up;
    QToolButton* m_down;
    QPointer<QToolButton> m_held;
    std::unique_ptr<TickTimer> m_repeat;
};

// A TExtEdit with a spin button at its right edge that steps the value by ValueStep. The arrow
// keys do not step; they move the cursor as in any edit box.
class TSpinExtEdit : public TExtEdit {
    Q_OBJECT
public:
    explicit TSpinExtEdit(QWidget* parent = nullptr, std::unique_ptr<TickTimer> repeatTimer = {});
    ~TSpinExtEdit() override;

    [[nodiscard]] ParamValue ValueStep() const { return m_valueStep; }
    void SetValueStep(ParamValue step) { m_valueStep = step; }

    // Commits typed text first, then adds or takes away one ValueStep, within the limits.
    virtual void StepUp();
    virtual void StepDown();

    static void InitAll(const ControlRegistry& owner);
    static void PassAll(const ControlRegistry& owner);

    [[nodiscard]] TSpinButton* SpinButton() const { return m_spin; }

protected:
    void LayOutInside() override;
    [[nodiscard]] int ReservedRight() const override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void step(ParamValue delta);
    void takeFocusFromSpin();

    ParamValue m_valueStep = 0.1L;
    TSpinButton* m_spin = nullptr;
    bool m_focusedByPress = false;
};

} // namespace zef
