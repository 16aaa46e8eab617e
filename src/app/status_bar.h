#pragma once

#include "link/link_supervisor.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QListWidget>
#include <QStatusBar>
#include <QWidget>

class QFontMetrics;
class QLabel;

namespace zef {

// The longest start of `text` that fits `width` and ends with a whole word, then "…"; the text
// itself when it fits. A first word too long for the room is the one thing cut inside a word.
[[nodiscard]] QString ElideAtWord(const QString& text, const QFontMetrics& metrics, int width);

// A message the status bar showed, and when.
struct StatusMessage {
    QDateTime time;
    QString text;
};

// A status bar whose message is never cut inside a word: what does not fit the room left of
// the permanent widgets ends at a word with "…", and the whole message is the bar's tooltip.
// currentMessage() stays whole. Every message shown is kept, whole, in its journal: a message
// gone after its seconds can still be read there.
class WholeWordStatusBar : public QStatusBar {
    Q_OBJECT
public:
    // A long afternoon's messages; the oldest go beyond this.
    static constexpr qsizetype kJournalLength = 1000;

    explicit WholeWordStatusBar(QWidget* parent = nullptr);
    // The text as the bar draws it now.
    [[nodiscard]] QString ShownMessage() const;
    // Oldest first.
    [[nodiscard]] const QList<StatusMessage>& Journal() const { return m_journal; }

signals:
    void Journaled(const StatusMessage& message);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    [[nodiscard]] QRect messageRect() const;

    QList<StatusMessage> m_journal;
};

// "Журнал сообщений": the status bar's messages with their time, newest last; Ctrl+C copies
// the chosen lines, or all of them when none is chosen.
class MessageJournal : public QListWidget {
    Q_OBJECT
public:
    explicit MessageJournal(const WholeWordStatusBar& bar, QWidget* parent = nullptr);

    [[nodiscard]] static QString LineText(const StatusMessage& message);
    // What Ctrl+C puts on the clipboard.
    [[nodiscard]] QString CopiedText() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void append(const StatusMessage& message);
};

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
