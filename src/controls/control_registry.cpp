#include "controls/control_registry.h"

#include "controls/ext_edit.h"
#include "controls/ext_text.h"

#include <algorithm>

namespace zef {

void ControlRegistry::Register(QWidget* control) {
    if (!control)
        return;
    const bool known = std::any_of(m_components.begin(), m_components.end(),
                                   [control](const QPointer<QWidget>& c) { return c == control; });
    if (!known)
        m_components.emplace_back(control);
}

std::vector<QWidget*> ControlRegistry::Components() const {
    std::vector<QWidget*> out;
    for (const QPointer<QWidget>& control : m_components) {
        if (control)
            out.push_back(control);
    }
    return out;
}

// The plain TExtEdit walk is not part of these: the window holds no plain edit box.
void ControlRegistry::InitAll() const {
    TSpinExtEdit::InitAll(*this);
    TExtText::InitAll(*this);
}

void ControlRegistry::PassAll() const {
    TSpinExtEdit::PassAll(*this);
    TExtText::PassAll(*this);
}

} // namespace zef
