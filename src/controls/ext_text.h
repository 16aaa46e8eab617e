#pragma once

#include "controls/control_events.h"
#include "controls/tick_timer.h"

#include <QLabel>

#include <functional>
#include <memory>
#include <optional>

namespace zef {

class ControlRegistry;

// A read-out of one value: " caption value-with-unit ". It asks the owner for its value through
// onQuery, once on InitOne and then on its own timer while AutoQuery is on. Only a read-out
// that is enabled and showing queries, so the serial traffic follows what the user can see.
// It has no limits: ValueMin and ValueMax are only kept.
class TExtText : public QLabel {
    Q_OBJECT
public:
    static constexpr int kDefaultWidth = 70;
    static constexpr int kDefaultHeight = 25;
    static constexpr int kDefaultInterval = 1000;

    explicit TExtText(QWidget* parent = nullptr, std::unique_ptr<TickTimer> queryTimer = {});
    ~TExtText() override;

    [[nodiscard]] ParamValue Value() const { return m_value; }
    // Shows the value as given, and raises onChangeValue when the shown text changed while the
    // read-out is showing and enabled.
    void SetValue(ParamValue x);
    [[nodiscard]] ParamValue ValueMin() const { return m_valueMin; }
    void SetValueMin(ParamValue min) { m_valueMin = min; }
    [[nodiscard]] ParamValue ValueMax() const { return m_valueMax; }
    void SetValueMax(ParamValue max) { m_valueMax = max; }
    [[nodiscard]] const QString& ValueFormat() const { return m_valueFormat; }
    void SetValueFormat(const QString& pattern);
    [[nodiscard]] const QString& ValueCaption() const { return m_valueCaption; }
    void SetValueCaption(const QString& caption);
    [[nodiscard]] std::int32_t QueryCod() const { return m_queryCod; }
    void SetQueryCod(std::int32_t code) { m_queryCod = code; }
    [[nodiscard]] std::int32_t ValueAdr() const { return m_valueAdr; }
    void SetValueAdr(std::int32_t address) { m_valueAdr = address; }
    [[nodiscard]] bool AutoQuery() const { return m_autoQuery; }
    void SetAutoQuery(bool on);
    [[nodiscard]] int QueryInterval() const { return m_queryInterval; }
    void SetQueryInterval(int ms);

    TChangeEvent onChangeValue;
    TQueryEvent onQuery;
    // Asked by the query timer instead of onQuery when set: the owner answers later, through
    // `answer` (nothing: the value stays), so that the window does not wait on the line. The
    // timer waits for the answer.
    using LaterAnswer = std::function<void(std::optional<ParamValue>)>;
    std::function<void(TExtText&, ParamValue current, LaterAnswer answer)> onQueryLater;

    void ShowValue();
    // One tick of the query timer. The timer is off during the query, so the next tick comes a
    // full interval after the query has ended, however long the exchange took.
    void QueryTick();
    // Enables the read-out and queries it once, even when it is not showing.
    void InitOne();
    // Shows zero, without telling the owner, and disables the read-out. Its timer keeps
    // running; the ticks of a disabled read-out do nothing.
    void PassOne();

    static void InitAll(const ControlRegistry& owner);
    static void PassAll(const ControlRegistry& owner);

    [[nodiscard]] const TickTimer& QueryTimer() const { return *m_queryTimer; }

    // Position and size; the font follows the height. A font set afterwards stays until the
    // height changes. The text never resizes the read-out.
    void SetBounds(const QRect& bounds);

    [[nodiscard]] QSize sizeHint() const override { return m_hint; }
    [[nodiscard]] QSize minimumSizeHint() const override { return m_hint; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void followHeight();
    void runTimer();

    ParamValue m_value = 0;
    ParamValue m_valueMin = -1;
    ParamValue m_valueMax = 1;
    QString m_valueFormat = QStringLiteral("#####0.00 ");
    std::int32_t m_queryCod = 0;
    std::int32_t m_valueAdr = 0;
    QString m_valueCaption;
    bool m_autoQuery = false;
    int m_queryInterval = kDefaultInterval;
    std::unique_ptr<TickTimer> m_queryTimer;
    QSize m_hint{kDefaultWidth, kDefaultHeight};
    int m_fontHeight = -1;
};

} // namespace zef
