#include "controls/tick_timer.h"

#include <QTimer>

namespace zef {

QtTickTimer::QtTickTimer(QObject* owner) : m_timer(std::make_unique<QTimer>(owner)) {
    // A coarse timer may be off by 5 % of its interval either way, which would show in the
    // 100 ms rhythm of a held spin button.
    m_timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(m_timer.get(), &QTimer::timeout, m_timer.get(), [this] {
        if (onTick)
            onTick();
    });
}

QtTickTimer::~QtTickTimer() = default;

void QtTickTimer::Start() {
    m_timer->start();
}
void QtTickTimer::Stop() {
    m_timer->stop();
}
bool QtTickTimer::IsActive() const {
    return m_timer->isActive();
}
void QtTickTimer::SetInterval(int ms) {
    m_timer->setInterval(ms);
}
int QtTickTimer::Interval() const {
    return m_timer->interval();
}

} // namespace zef
