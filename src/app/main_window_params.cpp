// The window's parameter handlers: each control is glued to its row of the catalogue, and the
// catalogue does the exchanges and conversions.

#include "app/main_window.h"

#include "app/parameter_table.h"
#include "archive/compare.h"
#include "controls/ext_edit.h"
#include "controls/ext_text.h"
#include "dialogs/form_font.h"
#include "params/catalogue.h"
#include "params/hints.h"
#include "params/reader.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QRadioButton>
#include <QSignalBlocker>

namespace zef {

namespace {

QFont controlFont() {
    return FormFont();
}

QString placeCaption(const Place& place) {
    QString caption = ToQString(place.group);
    if (!place.label.empty())
        caption += QStringLiteral(": ") + ToQString(place.label);
    if (!place.label2.empty())
        caption += QChar(' ') + ToQString(place.label2);
    return caption;
}

// The fitter looks for a parameter, not a register: its caption and what it does come first,
// the register and its conversion after.
QString parameterFirst(const QString& caption, const QString& registerHint) {
    return caption + QChar('\n') + registerHint;
}

QString parameterFirst(std::uint8_t address, const QString& registerHint) {
    return parameterFirst(RegisterCaption(address) + QChar('\n') +
                              ParameterTable::Description(address),
                          registerHint);
}

} // namespace

TSpinExtEdit* TForm1::makeSpinEdit(const EditRow& row, QWidget* parent, QRect bounds) {
    auto* edit = new TSpinExtEdit(parent);
    edit->setObjectName(ToQString(row.control));
    edit->SetBounds(bounds);
    edit->setEnabled(row.initiallyEnabled);
    // The window's own font, set after the bounds so it is what shows.
    edit->setFont(controlFont());
    // The order matters: a minimum above the design maximum would otherwise be cut back.
    edit->SetValueFormat(ToQString(row.ValueFormat));
    edit->SetValueMax(row.ValueMax);
    edit->SetValueMin(row.ValueMin);
    edit->SetValueMax(row.ValueMax);
    edit->SetValueStep(row.ValueStep);
    edit->SetValue(row.Value);
    edit->setToolTip(row.address ? parameterFirst(*row.address, EditHint(row))
                                 : parameterFirst(placeCaption(row.place), EditHint(row)));
    return edit;
}

TExtText* TForm1::makeReadOut(const ReadoutRow& row, QWidget* parent, QRect bounds) {
    auto* text = new TExtText(parent);
    text->setObjectName(ToQString(row.control));
    text->SetBounds(bounds);
    text->setEnabled(row.initiallyEnabled);
    text->setFont(controlFont());
    text->SetValueCaption(ToQString(row.ValueCaption));
    text->SetValueFormat(ToQString(row.ValueFormat));
    text->SetValueMin(row.ValueMin);
    text->SetValueMax(row.ValueMax);
    text->SetValue(row.Value);
    text->SetQueryInterval(static_cast<int>(row.QueryInterval.count()));
    text->SetAutoQuery(true);
    text->setToolTip(parameterFirst(placeCaption(row.place), ReadoutHint(row)));
    return text;
}

QComboBox* TForm1::makeChoice(std::string_view control, QWidget* parent, QRect bounds) {
    const ChoiceRow* row = FindChoice(control);
    auto* combo = new QComboBox(parent);
    combo->setObjectName(ToQString(control));
    combo->setGeometry(bounds);
    combo->setEditable(false); // a drop-down list: only its items can be written
    for (auto item : row->items)
        combo->addItem(ToQString(item));
    combo->setCurrentIndex(-1);
    combo->setEnabled(false);
    combo->setToolTip(parameterFirst(row->address, ChoiceHint(*row)));
    // Only the user's pick writes; a selection read from the controller raises nothing.
    connect(combo, &QComboBox::activated, this, [this, row](int index) {
        WriteChoice(m_link, *row, index);
        if (row->control == kStartModeControl)
            setStartModeCaption(index);
    });
    return combo;
}

void TForm1::bindParameters() {
    for (const EditRow& row : EditRows()) {
        TSpinExtEdit* edit = SpinEdit(ToQString(row.control));
        m_registry.Register(edit);
        if (row.handling == Handling::None)
            continue;
        edit->onInit = [this, &row, edit](QWidget*, std::int32_t, std::int32_t, ParamValue& value) {
            if (m_supervisor->IsLost())
                return; // nothing can come: the value stays as it was, greyed
            const EditInit init = InitEdit(m_link, row, value);
            if (init.ValueFormat)
                edit->SetValueFormat(ToQString(*init.ValueFormat));
            if (init.choices)
                applyChoiceReadings(*init.choices);
            value = init.value;
        };
        edit->onChangeValue = [this, &row, edit](QWidget*, ParamValue, ParamValue newValue) {
            if (const auto pattern = ChangeEdit(m_link, row, newValue))
                edit->SetValueFormat(ToQString(*pattern));
        };
    }
    for (const ReadoutRow& row : ReadoutRows()) {
        TExtText* text = ReadOut(ToQString(row.control));
        m_registry.Register(text);
        text->onQuery = [this, &row](QWidget*, std::int32_t, std::int32_t, ParamValue& value) {
            if (m_supervisor->IsLost())
                return;
            const ReadoutQuery q = QueryReadout(m_link, row, value);
            showReadout(q, value);
        };
        // The timer's queries go to the line as jobs and are shown when answered.
        text->onQueryLater = [this, &row](TExtText& readout, ParamValue current,
                                          TExtText::LaterAnswer answer) {
            if (m_supervisor->IsLost())
                return answer(std::nullopt);
            m_session.Post<ReadoutQuery>(
                &readout,
                [&row, current](RegisterExchange& link) {
                    return QueryReadout(link, row, current);
                },
                [this, current, answer = std::move(answer)](ReadoutQuery q) {
                    if (!m_connected)
                        return answer(std::nullopt); // the session ended meanwhile
                    ParamValue value = current;
                    showReadout(q, value);
                    answer(q.answered ? std::optional(value) : std::nullopt);
                });
        };
    }

    for (auto* button : {RadioButton1, RadioButton2})
        button->setToolTip(parameterFirst(kOxygenSensor.address, OxygenHint(kOxygenSensor)));
    connect(RadioButton1, &QRadioButton::clicked, this,
            [this] { oxygenClicked(OxygenSensor::Present); });
    connect(RadioButton2, &QRadioButton::clicked, this,
            [this] { oxygenClicked(OxygenSensor::Absent); });
}

void TForm1::showReadout(const ReadoutQuery& query, ParamValue& value) {
    // A live value comes from its own register's answer or not at all.
    if (query.answered)
        value = query.value;
    if (query.oxygenFlag)
        followOxygenFlag(query.oxygenFlag->succeeded, query.oxygenFlag->word);
}

void TForm1::applyChoiceReadings(const ChoiceReadings& readings) {
    for (const ChoiceReading& reading : readings.lists) {
        if (!reading.answered)
            continue;
        auto* combo = findChild<QComboBox*>(ToQString(reading.row->control));
        const QSignalBlocker quiet(combo);
        combo->setCurrentIndex(reading.item.value_or(-1));
    }
    if (readings.startModeCaption)
        m_startModeGroup->setTitle(ToQString(*readings.startModeCaption));
}

void TForm1::setStartModeCaption(std::optional<int> item) {
    if (const auto caption = StartModeCaption(item))
        m_startModeGroup->setTitle(ToQString(*caption));
}

void TForm1::selectOxygen(OxygenSensor selection) {
    m_oxygen = selection;
    const QSignalBlocker quiet1(RadioButton1), quiet2(RadioButton2);
    m_oxygenButtons->setExclusive(selection != OxygenSensor::Unselected);
    RadioButton1->setChecked(selection == OxygenSensor::Present);
    RadioButton2->setChecked(selection == OxygenSensor::Absent);
    m_oxygenButtons->setExclusive(true);
}

// A user's click: choosing the button already selected writes nothing.
void TForm1::oxygenClicked(OxygenSensor selection) {
    if (selection == m_oxygen)
        return;
    selectOxygen(selection);
    WriteOxygenSelection(m_link, selection);
    ReadOut(ToQString(kOxygenSensor.readout))->setEnabled(selection == OxygenSensor::Present);
}

void TForm1::followOxygenFlag(bool succeeded, std::uint16_t word) {
    const OxygenOutcome outcome = FollowOxygenFlag(m_oxygen, succeeded, word);
    if (outcome.selection != m_oxygen)
        selectOxygen(outcome.selection);
    if (outcome.setReadoutEnabled)
        ReadOut(ToQString(kOxygenSensor.readout))
            ->setEnabled(outcome.selection == OxygenSensor::Present);
    // Read again after a lost link, the controller may be another one: its flag is shown as it
    // is and never written back.
    if (outcome.write && !m_rereading)
        (void)m_link.Exchange(Command::WriteParam, kOxygenSensor.address, *outcome.write);
}

} // namespace zef
