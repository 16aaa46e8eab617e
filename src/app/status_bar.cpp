#include "app/status_bar.h"

#include <QLabel>
#include <QLayout>
#include <QStatusBar>

namespace zef {

namespace {

// The bar lays its widgets out only when the event loop comes round; a text that changed in
// the middle of a sequence gets its room now.
void makeRoom(QObject* bar) {
    if (auto* layout = static_cast<QWidget*>(bar)->layout())
        layout->activate();
}

} // namespace

LinkStatusBar::LinkStatusBar(QStatusBar& bar)
    : QObject(&bar), m_state(new QLabel(&bar)), m_figures(new QLabel(&bar)) {
    m_state->setObjectName("LinkState");
    m_figures->setObjectName("LinkFigures");
    for (QLabel* label : {m_state, m_figures}) {
        label->setTextFormat(Qt::PlainText);
        label->setContentsMargins(4, 0, 4, 0);
    }
    // Permanent, so that the messages the window shows for a while never hide the state.
    bar.addPermanentWidget(m_state);
    bar.addPermanentWidget(m_figures);
    ShowState(LinkState::Closed, 0, {});
}

void LinkStatusBar::ShowState(LinkState state, int portNumber, const std::string& device,
                              const std::string& reason) {
    m_state->setText(LinkStateText(state, portNumber, device));
    QPalette palette = m_state->palette();
    if (state == LinkState::Lost)
        palette.setColor(QPalette::WindowText, Qt::red);
    else
        palette.setColor(QPalette::WindowText, m_figures->palette().color(QPalette::WindowText));
    m_state->setPalette(palette);
    m_state->setToolTip(QString::fromStdString(reason));
    makeRoom(parent());
}

void LinkStatusBar::ShowFigures(const LinkFigures& figures) {
    const double seconds = m_since.isValid() ? m_since.restart() / 1000.0 : 0.0;
    if (!m_since.isValid())
        m_since.start();
    m_figures->setText(LinkFiguresText(ExchangesPerSecond(m_last, figures, seconds), figures));
    m_last = figures;
    makeRoom(parent());
}

void LinkStatusBar::ClearFigures() {
    m_figures->clear();
    m_last = {};
    m_since.invalidate();
}

} // namespace zef
