#include "app/parameter_table.h"

#include "archive/compare.h"
#include "controls/bound_value.h"
#include "controls/format_value.h"
#include "dialogs/prompts.h"
#include "link/link_supervisor.h"
#include "params/map_points.h"
#include "params/reader.h"

#include <QComboBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace zef {

namespace {

constexpr std::array<std::uint8_t, 7> kUnshown = {14, 17, 18, 26, 29, 32, 34};
constexpr char kNoValue[] = "—";

// A row's text, in the words a fitter uses rather than the register's.
struct Known {
    std::uint8_t address;
    const char* text;
};
constexpr Known kDescriptions[] = {
    {0, "Как запускается двигатель: на бензине с переходом на газ или сразу на газе. От него "
        "зависит, что значит температура перехода."},
    {3, "Клапан паровой фазы: нормально открытый или нормально закрытый."},
    {4, "Тип датчика положения дроссельной заслонки и направление его хода."},
    {5, "Сколько катушек зажигания даёт сигнал оборотов; хранится на единицу меньше."},
    {6, "Температура двигателя, от которой контроллер переходит на газ (или с паровой фазы на "
        "жидкую)."},
    {15, "Есть ли датчик кислорода: при «есть» контроллер корректирует смесь по нему."},
    {19, "Тип клапана бензина, которым контроллер отключает бензиновые форсунки."},
    {20, "Напряжение датчика заслонки, ниже которого двигатель считается на холостом ходу."},
    {21, "Обороты, выше которых при закрытой заслонке включается принудительный холостой ход."},
    {23, "Напряжение датчика температуры на холодном двигателе: точка юстировки."},
    {24, "Напряжение датчика температуры на прогретом двигателе: точка юстировки."},
    {25, "Насколько обогащается смесь при резком открытии заслонки, в процентах."},
    {28, "Обогащение при подхвате: при выходе из принудительного холостого хода."},
    {30, "Верхний порог гистерезиса датчика кислорода: выше него смесь считается богатой."},
    {31, "Нижний порог гистерезиса датчика кислорода: ниже него смесь считается бедной."},
    {71, "Число цилиндров двигателя: по нему считаются обороты и время впрыска."},
    {73, "Обороты, выше которых контроллер ограничивает подачу газа."},
};

const ChoiceRow* ChoiceOfRegister(std::uint8_t address) {
    for (const ChoiceRow& row : ChoiceRows())
        if (row.address == address)
            return &row;
    return nullptr;
}

// A list register is edited with the list the window shows for it: only its items are offered.
class ChoiceDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        const ChoiceRow* row =
            ChoiceOfRegister(kSettingsRegisters[static_cast<std::size_t>(index.row())]);
        if (!row)
            return QStyledItemDelegate::createEditor(parent, option, index);
        auto* combo = new QComboBox(parent);
        combo->setObjectName("ParameterChoice");
        for (auto item : row->items)
            combo->addItem(ToQString(item));
        // A pick is the edit, as in the window's list; leaving without one changes nothing.
        connect(combo, &QComboBox::activated, this, [this, combo] {
            auto* self = const_cast<ChoiceDelegate*>(this);
            emit self->commitData(combo);
            emit self->closeEditor(combo);
        });
        return combo;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        if (auto* combo = qobject_cast<QComboBox*>(editor))
            combo->setCurrentIndex(combo->findText(index.data().toString()));
        else
            QStyledItemDelegate::setEditorData(editor, index);
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override {
        if (auto* combo = qobject_cast<QComboBox*>(editor))
            model->setData(index, combo->currentText());
        else
            QStyledItemDelegate::setModelData(editor, model, index);
    }
};

bool IsMapPoint(std::uint8_t address) {
    return std::any_of(kMapPoints.begin(), kMapPoints.end(),
                       [&](const MapPoint& p) { return p.parameter == address; });
}

std::size_t IndexOf(std::uint8_t address) {
    return static_cast<std::size_t>(
        std::find(kSettingsRegisters.begin(), kSettingsRegisters.end(), address) -
        kSettingsRegisters.begin());
}

QString LimitsText(const EditRow& edit) {
    // The counts' unit word agrees with each limit, as the edit's own does with its value.
    const auto shown = [&](ParamValue v) {
        std::string_view pattern = edit.ValueFormat;
        if (edit.handling == Handling::CoilCount)
            pattern = CoilPattern(v);
        else if (edit.handling == Handling::CylinderCount)
            pattern = CylinderPattern(v);
        return FormatValue(ToQString(pattern), v).trimmed();
    };
    return QStringLiteral("%1 … %2").arg(shown(edit.ValueMin), shown(edit.ValueMax));
}

} // namespace

bool ParameterTable::ReadOnly(std::uint8_t address) {
    return std::find(kUnshown.begin(), kUnshown.end(), address) != kUnshown.end();
}

QString ParameterTable::Description(std::uint8_t address) {
    for (const Known& known : kDescriptions)
        if (known.address == address)
            return QString::fromUtf8(known.text);
    for (const MapPoint& p : kMapPoints)
        if (p.parameter == address)
            return QStringLiteral("Базовое время открытия инжектора на %1 об/мин: точка карты.")
                .arg(p.speed);
    return QStringLiteral("Назначение неизвестно: окно его не показывает. Хранится в файле "
                          "установок и переносится с ним как есть.");
}

ParameterTable::ParameterTable(RegisterExchange& link, const LinkSupervisor& supervisor,
                               Prompts& prompts, QWidget* parent)
    : QWidget(parent), m_link(link), m_supervisor(supervisor), m_prompts(prompts) {
    setObjectName("ParameterTable");
    setWindowTitle("Все параметры");
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    m_filter = new QLineEdit(this);
    m_filter->setObjectName("ParameterFilter");
    m_filter->setPlaceholderText("Найти (Ctrl+F)");
    m_filter->setClearButtonEnabled(true);
    auto* reload = new QPushButton("&Прочитать", this);
    reload->setObjectName("ParameterReload");
    auto* compare = new QPushButton("&Сравнить с файлом...", this);
    compare->setObjectName("ParameterCompare");
    m_compareSnapshot = new QPushButton("Сравнить со с&нимком...", this);
    m_compareSnapshot->setObjectName("ParameterCompareSnapshot");
    m_compareSnapshot->setEnabled(false);
    top->addWidget(m_filter, 1);
    top->addWidget(reload);
    top->addWidget(compare);
    top->addWidget(m_compareSnapshot);
    layout->addLayout(top);

    m_table = new QTableWidget(static_cast<int>(kSettingsRegisters.size()), ColumnCount, this);
    m_table->setObjectName("ParameterGrid");
    m_table->setHorizontalHeaderLabels(
        {"Параметр", "Значение", "Пределы", "Слово", "В файле", "Что делает"});
    m_table->verticalHeader()->hide();
    m_table->setWordWrap(true);
    m_table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                             QAbstractItemView::AnyKeyPressed);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    // A long caption may wrap rather than take the description's room.
    m_table->horizontalHeader()->setSectionResizeMode(CaptionColumn, QHeaderView::Interactive);
    m_table->setColumnWidth(CaptionColumn, 300);
    m_table->horizontalHeader()->setSectionResizeMode(DescriptionColumn, QHeaderView::Stretch);
    m_table->setColumnHidden(FileColumn, true);
    m_table->setItemDelegateForColumn(ValueColumn, new ChoiceDelegate(m_table));
    layout->addWidget(m_table, 1);
    m_state = new QLabel(this);
    m_state->setObjectName("ParameterState");
    m_state->setWordWrap(true);
    layout->addWidget(m_state);

    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, m_filter, [this] {
        m_filter->setFocus(Qt::ShortcutFocusReason);
        m_filter->selectAll();
    });
    connect(m_filter, &QLineEdit::textChanged, this, &ParameterTable::applyFilter);
    connect(reload, &QPushButton::clicked, this, &ParameterTable::Reload);
    connect(compare, &QPushButton::clicked, this, &ParameterTable::ChooseFileToCompare);
    connect(m_compareSnapshot, &QPushButton::clicked, this,
            &ParameterTable::ChooseSnapshotToCompare);
    connect(m_table, &QTableWidget::itemChanged, this, &ParameterTable::itemEdited);
    // Every description read whole: rows as tall as their wrapped text.
    m_rowsFollowWidths = connect(m_table->horizontalHeader(), &QHeaderView::sectionResized, m_table,
                                 [this] { m_table->resizeRowsToContents(); });
    fill();
    resize(860, 560);
}

ParameterTable::~ParameterTable() {
    disconnect(m_rowsFollowWidths);
}

void ParameterTable::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The stretched description column takes its width only once the layout has run.
    QTimer::singleShot(0, m_table, [this] { m_table->resizeRowsToContents(); });
}

int ParameterTable::RowOf(std::uint8_t address) const {
    const std::size_t i = IndexOf(address);
    return i < kSettingsRegisters.size() ? static_cast<int>(i) : -1;
}

std::optional<std::uint16_t> ParameterTable::Word(std::uint8_t address) const {
    const int row = RowOf(address);
    return row < 0 ? std::nullopt : m_words[static_cast<std::size_t>(row)];
}

void ParameterTable::fill() {
    m_filling = true;
    for (int row = 0; row < m_table->rowCount(); ++row) {
        const std::uint8_t address = kSettingsRegisters[static_cast<std::size_t>(row)];
        for (int column = 0; column < ColumnCount; ++column)
            m_table->setItem(row, column, new QTableWidgetItem);
        const EditRow* edit = EditOfRegister(address);
        const bool editable = (edit || ChoiceOfRegister(address)) && !ReadOnly(address);
        for (int column = 0; column < ColumnCount; ++column) {
            QTableWidgetItem* item = m_table->item(row, column);
            Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
            if (column == ValueColumn && editable)
                flags |= Qt::ItemIsEditable;
            item->setFlags(flags);
        }
        m_table->item(row, LimitsColumn)
            ->setText(edit ? LimitsText(*edit) : QString::fromUtf8(kNoValue));
        QString what = Description(address);
        if (!editable && !ReadOnly(address))
            what += IsMapPoint(address) ? QStringLiteral(" Меняется на карте окна.")
                                        : QStringLiteral(" Меняется в окне.");
        m_table->item(row, DescriptionColumn)->setText(what);
        m_table->item(row, DescriptionColumn)->setToolTip(what);
        showRow(row);
    }
    m_filling = false;
    m_table->resizeRowsToContents();
}

void ParameterTable::showRow(int row) {
    const bool was = m_filling;
    m_filling = true;
    const auto i = static_cast<std::size_t>(row);
    const std::uint8_t address = kSettingsRegisters[i];
    const auto startMode = m_words[0];
    const auto& word = m_words[i];
    const QString caption = RegisterCaption(address, startMode);
    m_table->item(row, CaptionColumn)->setText(caption);
    m_table->item(row, CaptionColumn)
        ->setToolTip(QStringLiteral("%1, регистр %2").arg(RegisterName(address)).arg(address));
    m_table->item(row, ValueColumn)
        ->setText(word ? ShownValue(address, *word) : QString::fromUtf8(kNoValue));
    m_table->item(row, WordColumn)
        ->setText(word ? QString::number(*word) : QString::fromUtf8(kNoValue));

    const std::optional<std::uint16_t> inFile =
        m_file && i < m_file->size() ? std::optional((*m_file)[i]) : std::nullopt;
    m_table->item(row, FileColumn)
        ->setText(inFile ? ShownValue(address, *inFile) : QString::fromUtf8(kNoValue));
    const bool differs = m_file && word && inFile != word;
    const QBrush mark = differs ? palette().brush(QPalette::Highlight) : QBrush();
    const QBrush ink = differs ? palette().brush(QPalette::HighlightedText) : QBrush();
    for (int column = 0; column < ColumnCount; ++column) {
        m_table->item(row, column)->setBackground(mark);
        m_table->item(row, column)->setForeground(ink);
    }
    m_filling = was;
}

bool ParameterTable::Reload() {
    if (m_supervisor.State() != LinkState::Live) {
        showState(m_supervisor.IsLost() ? QStringLiteral("Нет связи: показано прочитанное раньше.")
                                        : QStringLiteral("Нет подключения."));
        return false;
    }
    std::array<std::optional<std::uint16_t>, kSettingsRegisters.size()> words{};
    bool answered = true;
    {
        Burst burst(m_link);
        for (std::size_t i = 0; i < kSettingsRegisters.size() && answered; ++i) {
            const auto reply = m_link.Exchange(Command::ReadParam, kSettingsRegisters[i]);
            answered = reply.has_value();
            if (reply)
                words[i] = reply->second;
        }
        answered = burst.Verified() && answered;
    }
    if (!answered) {
        showState(
            QStringLiteral("Контроллер ответил не на все чтения: показано прочитанное раньше."));
        return false;
    }
    m_words = words;
    for (int row = 0; row < m_table->rowCount(); ++row)
        showRow(row);
    showState(QStringLiteral("Прочитано: %1 регистр(ов).").arg(kSettingsRegisters.size()));
    return true;
}

bool ParameterTable::CompareWith(const QString& path) {
    return compareWith(path, QStringLiteral("В файле %1").arg(QFileInfo(path).fileName()),
                       QStringLiteral("С файлом отличий нет."),
                       QStringLiteral("Отличий от файла: %1 (выделены)."));
}

bool ParameterTable::CompareWith(const Snapshot& snapshot) {
    const QString taken = snapshot.taken.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    return compareWith(snapshot.path, QStringLiteral("В снимке %1").arg(taken),
                       QStringLiteral("Со снимком %1 отличий нет.").arg(taken),
                       QStringLiteral("Отличий от снимка %1: %2 (выделены).").arg(taken, "%1"));
}

bool ParameterTable::compareWith(const QString& path, const QString& column, const QString& none,
                                 const QString& some) {
    auto values = ReadSettingsFile(path);
    if (!values) {
        m_prompts.Message(values.error(), Prompts::Kind::Error);
        return false;
    }
    m_file = std::move(*values);
    m_table->setColumnHidden(FileColumn, false);
    m_table->horizontalHeaderItem(FileColumn)->setText(column);
    int differing = 0;
    for (int row = 0; row < m_table->rowCount(); ++row) {
        showRow(row);
        const auto i = static_cast<std::size_t>(row);
        differing += m_words[i] && i < m_file->size() && (*m_file)[i] != *m_words[i];
    }
    showState(differing == 0 ? none : some.arg(differing));
    return true;
}

void ParameterTable::SetSnapshots(SnapshotList list) {
    m_snapshots = std::move(list);
    m_compareSnapshot->setEnabled(static_cast<bool>(m_snapshots));
}

void ParameterTable::ChooseSnapshotToCompare() {
    if (!m_snapshots)
        return;
    const std::vector<Snapshot> snapshots = m_snapshots();
    if (snapshots.empty()) {
        m_prompts.Message(QStringLiteral("В архиве нет снимков этого контроллера."));
        return;
    }
    // Newest first, as the archive dialog lists them.
    QStringList captions;
    for (auto s = snapshots.rbegin(); s != snapshots.rend(); ++s)
        captions << SnapshotCaption(*s);
    const auto chosen = m_prompts.ChooseItem(QStringLiteral("Снимок для сравнения:"), captions, 0);
    if (chosen)
        CompareWith(snapshots[snapshots.size() - 1 - static_cast<std::size_t>(*chosen)]);
}

void ParameterTable::ChooseFileToCompare() {
    if (const auto path = m_prompts.OpenFileName(QString::fromUtf8(kSettingsFilter)))
        CompareWith(*path);
}

void ParameterTable::EditValue(std::uint8_t address, const QString& text) {
    if (const ChoiceRow* choice = ChoiceOfRegister(address)) {
        editChoice(*choice, text);
        return;
    }
    const int row = RowOf(address);
    const EditRow* edit = EditOfRegister(address);
    const auto i = static_cast<std::size_t>(row);
    if (row < 0 || !edit || ReadOnly(address) || !m_words[i] ||
        m_supervisor.State() != LinkState::Live) {
        showRow(std::max(row, 0));
        return;
    }
    const auto typed = ParseValueText(text);
    if (!typed) { // no number: the value stays, as in the window's edit
        showRow(row);
        return;
    }
    const ParamValue before = ShownFromRaw(edit->conversion, *m_words[i]);
    const ParamValue x = LimitValue(*typed, edit->ValueMin, edit->ValueMax);
    const QString pattern = ToQString(edit->ValueFormat);
    // The window's edit writes only when what it shows changes.
    if (FormatValue(pattern, x) == FormatValue(pattern, before)) {
        showRow(row);
        return;
    }
    (void)ChangeEdit(m_link, *edit, x);
    m_words[i] = RawFromShown(edit->conversion, x);
    showRow(row);
    emit Written(address);
}

void ParameterTable::editChoice(const ChoiceRow& choice, const QString& text) {
    const int row = RowOf(choice.address);
    const auto i = static_cast<std::size_t>(row);
    const auto item = std::find(choice.items.begin(), choice.items.end(), text.toStdString());
    const auto index = static_cast<int>(item - choice.items.begin());
    // As from the window's list, the register only ever receives an item's position.
    if (row < 0 || item == choice.items.end() || !m_words[i] ||
        m_supervisor.State() != LinkState::Live) {
        showRow(std::max(row, 0));
        return;
    }
    WriteChoice(m_link, choice, index);
    m_words[i] = static_cast<std::uint16_t>(index);
    // The start mode names what the changeover temperature's row means.
    for (int other = 0; other < m_table->rowCount(); ++other)
        showRow(other);
    emit Written(choice.address);
}

void ParameterTable::itemEdited(QTableWidgetItem* item) {
    if (m_filling || item->column() != ValueColumn)
        return;
    EditValue(kSettingsRegisters[static_cast<std::size_t>(item->row())], item->text());
}

void ParameterTable::applyFilter(const QString& text) {
    const QString wanted = text.trimmed();
    for (int row = 0; row < m_table->rowCount(); ++row) {
        bool shown = wanted.isEmpty();
        for (int column = 0; column < ColumnCount && !shown; ++column)
            shown = m_table->item(row, column)->text().contains(wanted, Qt::CaseInsensitive) ||
                    m_table->item(row, column)->toolTip().contains(wanted, Qt::CaseInsensitive);
        m_table->setRowHidden(row, !shown);
    }
}

void ParameterTable::showState(const QString& text) {
    m_state->setText(text);
}

} // namespace zef
