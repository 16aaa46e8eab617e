#include "app/arrow_pair.h"

#include <QToolButton>
#include <QVBoxLayout>

namespace zef {

ArrowPair::ArrowPair(const QString& name, QWidget* parent)
    : QWidget(parent), m_up(new QToolButton(this)), m_down(new QToolButton(this)) {
    setObjectName(name);
    m_up->setObjectName(name + "Up");
    m_down->setObjectName(name + "Down");
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (auto* b : {m_up, m_down}) {
        b->setAutoRepeat(true);
        b->setAutoRepeatDelay(kRepeatDelayMs);
        b->setAutoRepeatInterval(kRepeatIntervalMs);
        b->setFocusPolicy(Qt::NoFocus);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        layout->addWidget(b);
    }
    connect(m_up, &QToolButton::clicked, this, &ArrowPair::UpClick);
    connect(m_down, &QToolButton::clicked, this, &ArrowPair::DownClick);
}

} // namespace zef
