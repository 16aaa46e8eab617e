#include "app/status_bar.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QPainter>
#include <QStatusBar>
#include <QStringList>
#include <QStyle>
#include <QStyleOption>

#include <algorithm>

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

QString ElideAtWord(const QString& text, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(text) <= width)
        return text;
    const QString ellipsis = QStringLiteral(" …");
    const QStringList words = text.split(QChar(' '));
    QString fitted;
    for (const QString& word : words) {
        const QString longer = fitted.isEmpty() ? word : fitted + QChar(' ') + word;
        if (metrics.horizontalAdvance(longer + ellipsis) > width)
            break;
        fitted = longer;
    }
    if (fitted.isEmpty())
        return metrics.elidedText(text, Qt::ElideRight, width);
    // A sentence's comma or colon before the cut says nothing.
    while (!fitted.isEmpty() && QStringLiteral(",:;—-").contains(fitted.back()))
        fitted.chop(1);
    return fitted.trimmed() + ellipsis;
}

WholeWordStatusBar::WholeWordStatusBar(QWidget* parent) : QStatusBar(parent) {
    connect(this, &QStatusBar::messageChanged, this, [this](const QString& message) {
        setToolTip(ShownMessage() == message ? QString() : message);
        if (message.isEmpty())
            return;
        if (m_journal.size() >= kJournalLength)
            m_journal.removeFirst();
        m_journal.append({QDateTime::currentDateTime(), message});
        emit Journaled(m_journal.back());
    });
}

QRect WholeWordStatusBar::messageRect() const {
    int right = width() - 6;
    for (QWidget* w : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (w->isVisible())
            right = std::min(right, w->x() - 6);
    return QRect(6, 0, std::max(right - 6, 0), height());
}

QString WholeWordStatusBar::ShownMessage() const {
    return ElideAtWord(currentMessage(), fontMetrics(), messageRect().width());
}

void WholeWordStatusBar::paintEvent(QPaintEvent* event) {
    if (currentMessage().isEmpty()) {
        QStatusBar::paintEvent(event);
        return;
    }
    // The item frames as the base class draws them, then the message cut at a word.
    QPainter p(this);
    QStyleOption opt;
    opt.initFrom(this);
    for (QWidget* w : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (w->isVisible()) {
            opt.rect = w->geometry().adjusted(-1, -1, 1, 1);
            style()->drawPrimitive(QStyle::PE_FrameStatusBarItem, &opt, &p, w);
        }
    p.setPen(palette().windowText().color());
    p.drawText(messageRect(), Qt::AlignLeading | Qt::AlignVCenter | Qt::TextSingleLine,
               ShownMessage());
}

MessageJournal::MessageJournal(const WholeWordStatusBar& bar, QWidget* parent)
    : QListWidget(parent) {
    setObjectName("MessageJournal");
    setWindowTitle(QStringLiteral("Журнал сообщений"));
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setWordWrap(true);
    resize(560, 300);
    for (const StatusMessage& message : bar.Journal())
        append(message);
    connect(&bar, &WholeWordStatusBar::Journaled, this, &MessageJournal::append);
}

QString MessageJournal::LineText(const StatusMessage& message) {
    return message.time.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")) + QChar(' ') + message.text;
}

void MessageJournal::append(const StatusMessage& message) {
    if (count() >= WholeWordStatusBar::kJournalLength)
        delete takeItem(0);
    addItem(LineText(message));
    scrollToBottom();
}

QString MessageJournal::CopiedText() const {
    QStringList lines;
    const bool chosen = !selectedItems().isEmpty();
    for (int row = 0; row < count(); ++row)
        if (!chosen || item(row)->isSelected())
            lines << item(row)->text();
    return lines.join(QChar('\n'));
}

void MessageJournal::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        QGuiApplication::clipboard()->setText(CopiedText());
        return;
    }
    QListWidget::keyPressEvent(event);
}

} // namespace zef
