#pragma once

#include <QPointer>
#include <QWidget>

#include <vector>

namespace zef {

// The bound controls of one owner, in the order the owner registered them. The class-level
// walks (TSpinExtEdit::InitAll and the like) go through this order rather than through Qt's
// child order, which follows the widget tree and not the window's own listing.
class ControlRegistry {
public:
    // Adds a control at the end of the order; registering it again keeps its first place, so
    // that no walk visits a control twice. A control that is destroyed drops out by itself.
    void Register(QWidget* control);

    [[nodiscard]] std::vector<QWidget*> Components() const;

    // Visits the registered controls whose class is exactly T: a control of a class derived
    // from T, or of a base of T, is skipped.
    template <class T, class Visit> void ForEachExactly(Visit&& visit) const {
        // A handler run on the way may register or destroy controls.
        const std::vector<QPointer<QWidget>> snapshot = m_components;
        for (const QPointer<QWidget>& control : snapshot) {
            if (control && control->metaObject() == &T::staticMetaObject)
                visit(static_cast<T&>(*control));
        }
    }

    // After connecting or loading a settings file: the spin edits, then the read-outs.
    void InitAll() const;
    // On disconnecting: the same walks, making every control passive.
    void PassAll() const;

private:
    std::vector<QPointer<QWidget>> m_components;
};

} // namespace zef
