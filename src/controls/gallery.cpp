#include "controls/gallery.h"

#include "controls/ext_edit.h"
#include "controls/ext_text.h"

#include <QLabel>
#include <QTabWidget>

namespace zef {

namespace {

struct EditRow {
    const char* label;
    const char* pattern;
    ParamValue min, max, step, value;
    int width;
};

struct ReadoutRow {
    const char* caption;
    const char* pattern;
    ParamValue value;
    QRect bounds;
    int frame;
};

TQueryEvent answer(ParamValue v) {
    return [v](QWidget*, std::int32_t, std::int32_t, ParamValue& value) { value = v; };
}

} // namespace

ControlsGallery::ControlsGallery() {
    setWindowTitle(QStringLiteral("Bound controls"));
    resize(580, 440);

    const EditRow rows[] = {
        {"Idle threshold", "#####0.00 Volt", 0.0001L, 5, 0.05L, 1.5L, 180},
        {"Speed limit", "#####0 Об/мин", 1000, 9000, 100, 6500, 180},
        {"Changeover", "##0 град С", 20, 80, 1, 35, 180},
        {"Coils", "                0 катушка", 1, 4, 1, 2, 280},
        {"Enrichment", "###0 %", 0.0001L, 500, 1, 123, 120},
        {"Hysteresis", "#0.0 V", 1, 15, 0.1L, 4, 120},
    };
    int y = 10;
    for (const EditRow& row : rows) {
        auto* label = new QLabel(QString::fromUtf8(row.label), this);
        label->setGeometry(10, y, 110, 25);
        auto* edit = new TSpinExtEdit(this);
        edit->SetBounds(QRect(130, y, row.width, 25));
        edit->SetValueFormat(QString::fromUtf8(row.pattern));
        edit->SetValueMin(row.min);
        edit->SetValueMax(row.max);
        edit->SetValueStep(row.step);
        edit->onInit = answer(row.value);
        m_registry.Register(edit);
        m_edits.push_back(edit);
        y += 32;
    }
    auto* tall = new TSpinExtEdit(this);
    tall->SetBounds(QRect(130, y, 200, 40));
    tall->SetValueFormat(QStringLiteral("#####0.00 V"));
    tall->SetValueMin(0.1L);
    tall->onInit = answer(0.35L);
    m_registry.Register(tall);
    m_edits.push_back(tall);
    y += 48;
    auto* plain = new TExtEdit(this);
    plain->SetBounds(QRect(130, y, 160, 21));
    plain->SetValueFormat(QStringLiteral("#0.00 mS"));
    plain->SetValueMax(20);
    plain->SetValue(3.5L);
    m_registry.Register(plain);
    m_edits.push_back(plain);
    y += 32;

    const ReadoutRow top[] = {
        {"", "###0 Об/мин", 850, {340, 10, 230, 25}, QFrame::Panel | QFrame::Sunken},
        {"Исходное", "#0.00 mS", 3.25L, {340, 42, 230, 25}, QFrame::Box},
        {"Текущее", "#0.00 mS", 3.5L, {340, 74, 230, 25}, QFrame::Box},
    };
    auto* tabs = new QTabWidget(this);
    tabs->setGeometry(10, y, 560, height() - y - 10);
    auto* page = new QWidget;
    tabs->addTab(page, QString::fromUtf8("Датчики"));
    tabs->addTab(new QWidget, QString::fromUtf8("Двигатель"));
    const ReadoutRow onPage[] = {
        {"Напряжение датчика",
         "#####0.00 Вольт",
         0.456L,
         {10, 10, 400, 25},
         QFrame::Panel | QFrame::Sunken},
        {"", "##0 град.. С", 60, {10, 42, 200, 25}, QFrame::NoFrame},
        {"", "#0.0 V", 13.8L, {220, 42, 120, 25}, QFrame::Panel | QFrame::Sunken},
    };
    const auto addReadout = [this](const ReadoutRow& row, QWidget* parent) {
        auto* readout = new TExtText(parent);
        readout->SetBounds(row.bounds);
        readout->setFrameStyle(row.frame);
        readout->SetValueCaption(QString::fromUtf8(row.caption));
        readout->SetValueFormat(QString::fromUtf8(row.pattern));
        readout->SetValueMax(100000);
        readout->onQuery = answer(row.value);
        m_registry.Register(readout);
        m_readouts.push_back(readout);
        return readout;
    };
    for (const ReadoutRow& row : top)
        addReadout(row, this);
    for (const ReadoutRow& row : onPage)
        addReadout(row, page);
    // One read-out stays passive, to show the greyed look.
    addReadout({"", "###0 Об/мин", 0, {350, 42, 180, 25}, QFrame::Panel | QFrame::Sunken}, page)
        ->onQuery = nullptr;
}

} // namespace zef
