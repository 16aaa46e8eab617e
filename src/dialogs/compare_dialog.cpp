#include "dialogs/compare_dialog.h"

#include "dialogs/prompts.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace zef {

namespace {

enum Column { Mark, Register, Caption, Left, Right, LeftWord, RightWord, ColumnCount };

const QColor kDifferingBackground{255, 214, 214};

QString Word(std::optional<std::uint16_t> word) {
    return word ? QString::number(*word) : QStringLiteral("—");
}

QTableWidgetItem* Cell(const QString& text, Qt::Alignment alignment = Qt::AlignLeft) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setTextAlignment(alignment | Qt::AlignVCenter);
    return item;
}

} // namespace

CompareDialog::CompareDialog(QString leftName, QString rightName, Comparison comparison,
                             WriteToController write, QWidget* parent, Prompts* prompts)
    : QDialog(parent), m_leftName(std::move(leftName)), m_rightName(std::move(rightName)),
      m_comparison(std::move(comparison)), m_writeToController(std::move(write)),
      m_prompts(prompts) {
    setObjectName("CompareDialog");
    resize(1180, 720);
    auto* layout = new QVBoxLayout(this);
    m_heading = new QLabel(this);
    QFont bold = m_heading->font();
    bold.setBold(true);
    m_heading->setFont(bold);
    layout->addWidget(m_heading);
    m_onlyDifferences = new QCheckBox("Только различия", this);
    layout->addWidget(m_onlyDifferences);

    m_table = new QTableWidget(0, ColumnCount, this);
    m_table->setHorizontalHeaderLabels(
        {"", "Рег.", "Параметр", m_leftName, m_rightName, "Слово (слева)", "Слово (справа)"});
    m_table->verticalHeader()->hide();
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setWordWrap(false);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setSectionResizeMode(Caption, QHeaderView::Stretch);
    m_table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    layout->addWidget(m_table);

    auto* buttons = new QDialogButtonBox(this);
    m_close = buttons->addButton("Закрыть", QDialogButtonBox::RejectRole);
    m_close->setObjectName("Close");
    m_close->setDefault(true);
    if (m_writeToController && m_prompts) {
        m_write = buttons->addButton("Записать в контроллер", QDialogButtonBox::ActionRole);
        m_write->setObjectName("WriteToController");
        m_write->setAutoDefault(false); // Enter on it still closes
        connect(m_write, &QPushButton::clicked, this, &CompareDialog::WriteClick);
    }
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    connect(m_onlyDifferences, &QCheckBox::toggled, this, &CompareDialog::fill);
    fill();
}

QString CompareDialog::Heading() const {
    return ComparisonTitle(m_leftName, m_rightName, m_comparison);
}

void CompareDialog::SetComparison(Comparison comparison) {
    m_comparison = std::move(comparison);
    fill();
}

void CompareDialog::WriteClick() {
    if (!m_writeToController || !m_prompts ||
        !m_prompts->AskYesNo(WriteToControllerQuestion(QStringLiteral("«%1»").arg(m_rightName)),
                             Prompts::Kind::Warning))
        return;
    if (auto fresh = m_writeToController())
        SetComparison(std::move(*fresh));
}

void CompareDialog::fill() {
    setWindowTitle(Heading());
    m_heading->setText(Heading());
    const auto rows = VisibleRows(m_comparison, m_onlyDifferences->isChecked());
    m_table->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        const CompareRow& row = rows[static_cast<std::size_t>(r)];
        QTableWidgetItem* const cells[ColumnCount] = {
            Cell(row.differs ? QStringLiteral("≠") : QString(), Qt::AlignHCenter),
            Cell(QString::number(row.address), Qt::AlignRight),
            Cell(row.caption),
            Cell(row.left),
            Cell(row.right),
            Cell(Word(row.leftWord), Qt::AlignRight),
            Cell(Word(row.rightWord), Qt::AlignRight),
        };
        for (int c = 0; c < ColumnCount; ++c) {
            QTableWidgetItem* item = cells[c];
            if (row.differs) {
                item->setBackground(kDifferingBackground);
                QFont font = item->font();
                font.setBold(true);
                item->setFont(font);
            }
            m_table->setItem(r, c, item);
        }
    }
}

} // namespace zef
