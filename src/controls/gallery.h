#pragma once

#include "controls/control_registry.h"

#include <QWidget>

namespace zef {

class TExtEdit;
class TExtText;

// A window with the bound controls set up as the main window sets them up, for looking at
// them and for checking that every text fits its box.
class ControlsGallery : public QWidget {
    Q_OBJECT
public:
    ControlsGallery();

    [[nodiscard]] const ControlRegistry& Registry() const { return m_registry; }
    [[nodiscard]] const std::vector<TExtEdit*>& Edits() const { return m_edits; }
    [[nodiscard]] const std::vector<TExtText*>& Readouts() const { return m_readouts; }

private:
    ControlRegistry m_registry;
    std::vector<TExtEdit*> m_edits;
    std::vector<TExtText*> m_readouts;
};

} // namespace zef
