#include "dialogs/ports_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace zef {

namespace {

QString Text(const std::string& s) {
    return QString::fromStdString(s);
}

QString UsbIds(const PortInfo& port) {
    if (!port.vendorId && !port.productId)
        return {};
    const auto hex = [](const std::optional<std::uint16_t>& id) {
        return id ? QStringLiteral("%1").arg(*id, 4, 16, QLatin1Char('0')) : QStringLiteral("?");
    };
    return hex(port.vendorId) + ':' + hex(port.productId);
}

// What a port is chosen by: the name that survives re-plugging, where there is one.
QString ChoiceName(const PortInfo& port) {
    return Text(port.stableNames.empty() ? port.device : port.stableNames.front());
}

} // namespace

PortsDialog::PortsDialog(Lister list, const std::array<QString, 4>& current, QWidget* parent)
    : QDialog(parent), m_list(std::move(list)) {
    setObjectName("PortsDialog");
    setWindowTitle("Порты");

    m_table = new QTableWidget(0, 6, this);
    m_table->setObjectName("PortsTable");
    m_table->setHorizontalHeaderLabels({"Устройство", "Описание", "Изготовитель", "Серийный номер",
                                        "USB VID:PID", "Постоянное имя"});
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    // A stable name tells adapters apart by its end (serial number, interface).
    m_table->setTextElideMode(Qt::ElideMiddle);

    m_refresh = new QPushButton("Обновить", this);
    m_refresh->setObjectName("RefreshPorts");
    connect(m_refresh, &QPushButton::clicked, this, &PortsDialog::Refresh);

    auto* mapping = new QGroupBox("Что открывают кнопки «Connect to COM1» ... «COM4»", this);
    auto* grid = new QGridLayout(mapping);
    for (int n = 1; n <= 4; ++n) {
        auto* combo = new QComboBox(mapping);
        combo->setObjectName(QStringLiteral("PortChoice%1").arg(n));
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setMinimumContentsLength(48);
        combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        combo->setToolTip("Порт из списка или путь к устройству; пусто: порт по умолчанию");
        m_choices[static_cast<std::size_t>(n - 1)] = combo;
        auto* use = new QPushButton("Выбранный порт", mapping);
        use->setObjectName(QStringLiteral("UseSelectedFor%1").arg(n));
        use->setToolTip(QStringLiteral("Поставить за COM%1 порт, выбранный в списке").arg(n));
        connect(use, &QPushButton::clicked, this, [this, n] { UseSelectedFor(n); });
        grid->addWidget(new QLabel(QStringLiteral("COM%1:").arg(n), mapping), n - 1, 0);
        grid->addWidget(combo, n - 1, 1);
        grid->addWidget(use, n - 1, 2);
    }
    grid->setColumnStretch(1, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* refreshRow = new QHBoxLayout;
    refreshRow->addWidget(new QLabel("Последовательные порты системы:", this), 1);
    refreshRow->addWidget(m_refresh);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(refreshRow);
    layout->addWidget(m_table, 1);
    layout->addWidget(mapping);
    layout->addWidget(buttons);

    Refresh();
    for (int n = 1; n <= 4; ++n)
        Choice(n)->setEditText(current[static_cast<std::size_t>(n - 1)]);
    resize(1000, 460);
}

std::array<QString, 4> PortsDialog::Chosen() const {
    std::array<QString, 4> chosen;
    for (int n = 1; n <= 4; ++n)
        chosen[static_cast<std::size_t>(n - 1)] = Choice(n)->currentText().trimmed();
    return chosen;
}

void PortsDialog::Refresh() {
    m_ports = m_list ? m_list() : std::vector<PortInfo>{};
    m_table->setRowCount(static_cast<int>(m_ports.size()));
    for (int row = 0; row < m_table->rowCount(); ++row) {
        const PortInfo& port = m_ports[static_cast<std::size_t>(row)];
        QStringList stable;
        for (const std::string& name : port.stableNames)
            stable << Text(name);
        const QString cells[] = {
            Text(port.device),       Text(port.description), Text(port.manufacturer),
            Text(port.serialNumber), UsbIds(port),           stable.join('\n')};
        for (int column = 0; column < 6; ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            item->setToolTip(cells[column]);
            m_table->setItem(row, column, item);
        }
    }
    m_table->resizeColumnsToContents();
    m_table->resizeRowsToContents();
    if (!m_ports.empty())
        m_table->selectRow(0);
    for (QComboBox* combo : m_choices) {
        const QString typed = combo->currentText();
        combo->clear();
        for (const PortInfo& port : m_ports)
            combo->addItem(ChoiceName(port));
        combo->setEditText(typed);
    }
}

void PortsDialog::UseSelectedFor(int portNumber) {
    const int row = m_table->currentRow();
    if (row < 0 || row >= static_cast<int>(m_ports.size()))
        return;
    Choice(portNumber)->setEditText(ChoiceName(m_ports[static_cast<std::size_t>(row)]));
}

} // namespace zef
