#pragma once

#include "registry/registry_event.h"

#include <QDialog>

#include <cstdint>
#include <vector>

class QTableWidget;

namespace zef {

// What a calibration changed against the one before it, a parameter a part: "caption: old →
// new". Empty when nothing changed; the first calibration of a history says so.
[[nodiscard]] QString CalibrationChangeText(const std::vector<std::uint16_t>* previous,
                                            const std::vector<std::uint16_t>& current);

// A controller's history from the production registry: a row per event with its time, station,
// user, what happened and, where a calibration is involved, what it changed.
class HistoryDialog : public QDialog {
    Q_OBJECT
public:
    HistoryDialog(const QString& serial, const std::vector<RegistryEvent>& events,
                  QWidget* parent = nullptr);

    [[nodiscard]] QTableWidget* Table() const { return m_table; }

private:
    QTableWidget* m_table;
};

} // namespace zef
