// The window's face of the port mapping: "Порты...", the buttons' tooltips and the messages
// that say why a port did not open.

#include "app/main_window.h"

#include "dialogs/ports_dialog.h"
#include "dialogs/prompts.h"
#include "link/open_failure.h"
#include "link/port_info.h"
#include "link/port_memory.h"

#include <QAction>
#include <QMenu>
#include <QPushButton>

namespace zef {

void TForm1::addPortsAction(QMenu* file) {
    file->addSeparator();
    PortsAction = file->addAction("&Порты...");
    PortsAction->setObjectName("Ports");
    PortsAction->setEnabled(false); // until there is a mapping to change
    connect(PortsAction, &QAction::triggered, this, [this] { ShowPortsDialog(); });
}

void TForm1::SetPortSetup(PortSetup setup) {
    m_ports = std::move(setup);
    PortsAction->setEnabled(m_ports.map != nullptr);
    showPortTooltips();
}

void TForm1::showPortTooltips() {
    if (!m_ports.map)
        return;
    for (int n = 1; n <= 4; ++n)
        Connect_to_COM[n - 1]->setToolTip(
            QStringLiteral("COM%1: %2").arg(n).arg(DescribePortTarget(*m_ports.map->Target(n))));
}

PortsDialog* TForm1::ShowPortsDialog() {
    if (!m_ports.map)
        return nullptr;
    std::array<QString, 4> current;
    for (int n = 1; n <= 4; ++n)
        current[static_cast<std::size_t>(n - 1)] = QString::fromStdString(*m_ports.map->Target(n));
    auto* dialog = new PortsDialog(m_ports.list, current, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this,
            [this, dialog, current] { ApplyPortChoice(current, dialog->Chosen()); });
    dialog->open();
    return dialog;
}

bool TForm1::ApplyPortChoice(const std::array<QString, 4>& before,
                             const std::array<QString, 4>& chosen) {
    bool remembered = true;
    for (int n = 1; n <= 4; ++n) {
        const auto i = static_cast<std::size_t>(n - 1);
        // A port left as it was is not remembered: a device given with --com stays for this
        // session only.
        if (chosen[i] == before[i])
            continue;
        const std::string typed = chosen[i].toStdString();
        const std::string target = typed.empty()                  ? PortMap::DefaultDevice(n)
                                   : typed == PortMap::kSimulator ? typed
                                                                  : StableDeviceName(typed);
        m_ports.map->Map(n, target);
        if (!m_ports.settings || !remembered)
            continue;
        if (const auto error = RememberPort(*m_ports.settings, n, target)) {
            m_prompts.Message(*error + QStringLiteral("\nВыбор действует до выхода из программы."),
                              Prompts::Kind::Error);
            remembered = false;
        }
    }
    showPortTooltips();
    return remembered;
}

QString TForm1::openFailureMessage(int portNumber) const {
    std::optional<std::vector<std::string>> existing;
    // Only a device that is not there makes the list worth its time.
    if (m_ports.list && m_link.Channel().OpenFailureKind() == OpenFailure::Absent) {
        existing.emplace();
        for (const PortInfo& port : m_ports.list())
            existing->push_back(port.device);
    }
    return OpenFailureText(ReportOpenFailure(portNumber, m_link.Channel(), std::move(existing)));
}

QString TForm1::noControllerMessage(int portNumber) const {
    return NoControllerText(portNumber, m_link.Channel().DeviceName());
}

} // namespace zef
