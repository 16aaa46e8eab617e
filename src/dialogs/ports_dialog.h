#pragma once

#include "link/port_info.h"

#include <QDialog>

#include <array>
#include <functional>
#include <vector>

class QComboBox;
class QPushButton;
class QTableWidget;

namespace zef {

// "Порты": the system's serial ports with what is known of them, and the device behind each of
// COM1 to COM4, chosen from the list or typed.
class PortsDialog : public QDialog {
    Q_OBJECT
public:
    using Lister = std::function<std::vector<PortInfo>()>;

    // `current` is what stands behind COM1 to COM4 now.
    PortsDialog(Lister list, const std::array<QString, 4>& current, QWidget* parent = nullptr);

    // The texts of the four choices, trimmed; an empty one means the port's default.
    [[nodiscard]] std::array<QString, 4> Chosen() const;

    // Lists the ports again (an adapter plugged in meanwhile), keeping the choices.
    void Refresh();
    // Puts the port selected in the table behind COMn, by its stable name where it has one.
    void UseSelectedFor(int portNumber);

    [[nodiscard]] QTableWidget* Table() const { return m_table; }
    [[nodiscard]] QComboBox* Choice(int portNumber) const {
        return m_choices[static_cast<std::size_t>(portNumber - 1)];
    }
    [[nodiscard]] QPushButton* RefreshButton() const { return m_refresh; }

private:
    Lister m_list;
    std::vector<PortInfo> m_ports;
    QTableWidget* m_table;
    QPushButton* m_refresh;
    std::array<QComboBox*, 4> m_choices{};
};

} // namespace zef
