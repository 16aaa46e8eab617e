#pragma once

// Finds the texts of a window that the user cannot read whole: wider or taller than the room
// their widget gives them, cut off by a parent's edge, or run into by a neighbour.

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStyleOptionFrame>
#include <QStyleOptionGroupBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QToolButton>

#include <set>
#include <string>

namespace zef::test {

class ClippedTexts {
public:
    // Every fault found so far, one line each, without repeats.
    [[nodiscard]] const std::set<std::string>& Faults() const { return m_faults; }
    [[nodiscard]] int Checked() const { return m_checked; }

    // Looks at every widget of `root` that is showing now.
    void Walk(QWidget* root) {
        for (QWidget* w : root->findChildren<QWidget*>()) {
            if (!w->isVisible() || unclipped(w, w->rect()).isEmpty())
                continue; // not shown, or lying wholly outside its parent
            if (auto* box = qobject_cast<QGroupBox*>(w))
                groupBox(box);
            else if (auto* label = qobject_cast<QLabel*>(w))
                labelText(label);
            else if (auto* radio = qobject_cast<QRadioButton*>(w))
                button(radio, QStyle::SE_RadioButtonContents);
            else if (auto* push = qobject_cast<QPushButton*>(w))
                button(push, QStyle::SE_PushButtonContents);
            else if (auto* bar = qobject_cast<QTabBar*>(w))
                tabBar(bar);
            else if (auto* combo = qobject_cast<QComboBox*>(w))
                comboBox(combo);
            else if (auto* edit = qobject_cast<QLineEdit*>(w))
                lineEdit(edit);
            else if (auto* memo = qobject_cast<QPlainTextEdit*>(w))
                plainText(memo);
        }
    }

    // Shows every page of every tab control of `root` in turn and walks each.
    void WalkEveryPage(QWidget* root) {
        Walk(root);
        for (QTabWidget* tabs : root->findChildren<QTabWidget*>()) {
            bringForward(tabs);
            for (int i = 0; i < tabs->count(); ++i) {
                tabs->setCurrentIndex(i);
                Walk(root);
            }
        }
    }

private:
    // The widget's object name, or its class and caption, after its parent's: enough to find
    // it in the window.
    static std::string name(const QWidget* w) {
        const auto one = [](const QWidget* x) {
            if (!x->objectName().isEmpty() && !x->objectName().startsWith("qt_"))
                return x->objectName().toStdString();
            QString caption;
            if (auto* box = qobject_cast<const QGroupBox*>(x))
                caption = box->title();
            else if (auto* label = qobject_cast<const QLabel*>(x))
                caption = label->text();
            else if (auto* b = qobject_cast<const QAbstractButton*>(x))
                caption = b->text();
            return std::string(x->metaObject()->className()) + "(" +
                   caption.simplified().toStdString() + ")";
        };
        const QWidget* parent = w->parentWidget();
        return (parent ? one(parent) + "/" : std::string()) + one(w);
    }

    void fault(const QWidget* w, const QString& text, const std::string& why) {
        m_faults.insert(name(w) + " \"" + text.toStdString() + "\": " + why);
    }

    // The part of `r` (in w's coordinates) that the edges of w's parents let show.
    static QRect unclipped(const QWidget* w, QRect r) {
        for (const QWidget* x = w; x; x = x->parentWidget()) {
            r &= x->rect();
            if (x->isWindow())
                break;
            r.translate(x->pos());
        }
        return r;
    }

    void shown(const QWidget* w, const QString& text, const QRect& r) {
        ++m_checked;
        if (!r.isEmpty() && unclipped(w, r).size() != r.size())
            fault(w, text, "cut off by the edge of a parent");
    }

    // No sibling that is showing may lie over the text.
    void uncovered(const QWidget* w, const QString& text, const QRect& r) {
        const QWidget* parent = w->parentWidget();
        if (!parent)
            return;
        const QRect inParent = r.translated(w->pos());
        for (const QObject* o : parent->children()) {
            const auto* other = qobject_cast<const QWidget*>(o);
            if (!other || other == w || !other->isVisible() || other->isWindow())
                continue;
            if (other->geometry().intersects(inParent))
                fault(w, text, "runs into " + name(other));
        }
    }

    static QSize textSize(const QFontMetrics& fm, const QString& text) {
        int width = 0;
        const QStringList rows = text.split('\n');
        for (const QString& row : rows)
            width = std::max(width, fm.horizontalAdvance(row));
        return {width, static_cast<int>(rows.size()) * fm.height()};
    }

    void labelText(QLabel* label) {
        const QString text = label->text();
        if (text.trimmed().isEmpty() || !label->pixmap().isNull())
            return;
        const QFontMetrics fm(label->font());
        const QRect room = label->contentsRect().adjusted(label->margin(), label->margin(),
                                                          -label->margin(), -label->margin());
        const QSize need = textSize(fm, text);
        if (need.width() > room.width())
            fault(label, text,
                  "needs " + std::to_string(need.width()) + " px, has " +
                      std::to_string(room.width()));
        if (need.height() > room.height() + fm.descent())
            fault(label, text,
                  "needs " + std::to_string(need.height()) + " px of height, has " +
                      std::to_string(room.height()));
        const QRect drawn = QStyle::alignedRect(label->layoutDirection(), label->alignment(),
                                                need.boundedTo(label->size()), room) &
                            label->rect();
        shown(label, text, drawn);
        uncovered(label, text, drawn);
    }

    void button(QAbstractButton* b, QStyle::SubElement contents) {
        const QString text = b->text();
        if (text.isEmpty())
            return;
        QStyleOptionButton option;
        option.initFrom(b);
        option.text = text;
        const QRect room = b->style()->subElementRect(contents, &option, b);
        const int need = b->fontMetrics().horizontalAdvance(QString(text).remove('&'));
        if (need > room.width())
            fault(b, text,
                  "needs " + std::to_string(need) + " px, has " + std::to_string(room.width()));
        shown(b, text, b->rect());
        uncovered(b, text, b->rect());
    }

    void groupBox(QGroupBox* box) {
        const QString title = box->title();
        if (title.trimmed().isEmpty())
            return;
        QStyleOptionGroupBox option;
        option.initFrom(box);
        option.text = title;
        option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        const QRect label = box->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                         QStyle::SC_GroupBoxLabel, box);
        const int need = box->fontMetrics().horizontalAdvance(title);
        if (label.left() + need > box->width() - 2)
            fault(box, title,
                  "needs " + std::to_string(label.left() + need) + " px, the group has " +
                      std::to_string(box->width() - 2));
        const QRect drawn(label.left(), label.top(), need, label.height());
        shown(box, title, drawn & box->rect());
        uncovered(box, title, drawn);
        // The group's own controls must leave its title alone.
        for (const QObject* o : box->children()) {
            const auto* child = qobject_cast<const QWidget*>(o);
            if (child && child->isVisible() && child->geometry().intersects(drawn))
                fault(box, title, "covered by " + name(child));
        }
    }

    void tabBar(QTabBar* bar) {
        if (bar->sizeHint().width() > bar->width())
            fault(bar, bar->tabText(0),
                  "the tabs need " + std::to_string(bar->sizeHint().width()) + " px, the bar has " +
                      std::to_string(bar->width()));
        for (int i = 0; i < bar->count(); ++i) {
            const QRect r = bar->tabRect(i);
            if (!bar->rect().contains(r))
                fault(bar, bar->tabText(i), "tab outside its bar");
            shown(bar, bar->tabText(i), r & bar->rect());
        }
    }

    void comboBox(QComboBox* combo) {
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.editable = combo->isEditable();
        const QRect room = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                          QStyle::SC_ComboBoxEditField, combo);
        for (int i = 0; i < combo->count(); ++i) {
            const int need = combo->fontMetrics().horizontalAdvance(combo->itemText(i));
            if (need > room.width())
                fault(combo, combo->itemText(i),
                      "needs " + std::to_string(need) + " px, has " + std::to_string(room.width()));
        }
        shown(combo, combo->currentText(), combo->rect());
    }

    void lineEdit(QLineEdit* edit) {
        const QString text = edit->text().trimmed();
        if (text.isEmpty() || edit->echoMode() != QLineEdit::Normal)
            return;
        QStyleOptionFrame option;
        option.initFrom(edit);
        option.lineWidth =
            edit->hasFrame()
                ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit)
                : 0;
        const QRect contents =
            edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
        const QMargins margins = edit->textMargins();
        // QLineEdit keeps two pixels each side of its text.
        const int room = contents.width() - margins.left() - margins.right() - 4;
        const int need = edit->fontMetrics().horizontalAdvance(text);
        if (need > room)
            fault(edit, text, "needs " + std::to_string(need) + " px, has " + std::to_string(room));
        shown(edit, text, edit->rect());
    }

    void plainText(QPlainTextEdit* memo) {
        const QFontMetrics fm(memo->font());
        const int room =
            memo->viewport()->width() - 2 * static_cast<int>(memo->document()->documentMargin());
        const QStringList rows = memo->toPlainText().split('\n');
        for (const QString& row : rows) {
            const int need = fm.horizontalAdvance(row);
            if (need > room)
                fault(memo, row,
                      "needs " + std::to_string(need) + " px, has " + std::to_string(room));
        }
        const int height = static_cast<int>(rows.size()) * fm.lineSpacing() +
                           2 * static_cast<int>(memo->document()->documentMargin());
        if (height > memo->viewport()->height())
            fault(memo, rows.value(0),
                  "needs " + std::to_string(height) + " px of height, has " +
                      std::to_string(memo->viewport()->height()));
        if (memo->horizontalScrollBar()->isVisible())
            fault(memo, rows.value(0), "needs a horizontal scroll bar");
        shown(memo, rows.value(0), memo->rect());
    }

    // Makes the pages that hold `w` the current ones, outermost last.
    static void bringForward(QWidget* w) {
        for (QWidget* p = w; p && p->parentWidget(); p = p->parentWidget()) {
            QWidget* stack = p->parentWidget();
            if (auto* tabs = qobject_cast<QTabWidget*>(stack->parentWidget());
                tabs && qobject_cast<QStackedWidget*>(stack))
                tabs->setCurrentWidget(p);
        }
    }

    std::set<std::string> m_faults;
    int m_checked = 0;
};

} // namespace zef::test
