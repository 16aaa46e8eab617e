#pragma once

#include "link/link_supervisor.h"

#include <QElapsedTimer>
#include <QWidget>

class QLabel;
class QStatusBar;

namespace zef {

// The link's part of the status bar: its state, in red while the controller does not answer,
// and its figures.
class LinkStatusBar : public QObject {
    Q_OBJECT
public:
    explicit LinkStatusBar(QStatusBar& bar);

    void ShowState(LinkState state, int portNumber, const std::string& device,
                   const std::string& reason = {});
    // The figures of the session so far; exchanges per second since the last call.
    void ShowFigures(const LinkFigures& figures);
    // No session: no figures.
    void ClearFigures();

    [[nodiscard]] QLabel* StateLabel() const { return m_state; }
    [[nodiscard]] QLabel* FiguresLabel() const { return m_figures; }

private:
    QLabel* m_state;
    QLabel* m_figures;
    LinkFigures m_last;
    QElapsedTimer m_since;
};

} // namespace zef
