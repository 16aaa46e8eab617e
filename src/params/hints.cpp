#include "params/hints.h"

#include "controls/format_value.h"

#include <QStringList>

namespace zef {

namespace {

struct ConversionWords {
    Conversion conversion;
    const char* shown; // shown value from the register word
};

constexpr ConversionWords kConversions[] = {
    {Conversion::CountLessOne, "регистр + 1"},
    {Conversion::Plain, "регистр"},
    {Conversion::Millis, "регистр ÷ 1000"},
    {Conversion::Tenths, "регистр × 0.1"},
    {Conversion::TenthKelvin, "регистр ÷ 10 − 273"},
    {Conversion::TenthKelvinReadout, "регистр × 0.1 − 273"},
};

// Limits as a fitter types them: no exponent, no trailing zeros, "." as the decimal mark.
QString number(ParamValue value) {
    return FormatValue(QStringLiteral("0.####"), value);
}

QString withUnit(const QString& text, const QString& unit) {
    return unit.isEmpty() ? text : text + ' ' + unit;
}

} // namespace

QString UnitOf(std::string_view pattern) {
    QString shown = FormatValue(ToQString(pattern), 0).trimmed();
    qsizetype i = 0;
    while (i < shown.size() && (shown[i].isDigit() || shown[i] == '.' || shown[i] == '-'))
        ++i;
    return shown.mid(i).trimmed();
}

QString ConversionText(Conversion conversion) {
    for (const auto& c : kConversions)
        if (c.conversion == conversion)
            return QString::fromUtf8(c.shown);
    return {};
}

QString EditHint(const EditRow& row) {
    // The counts' patterns end in a noun that agrees with the number, not in a unit.
    const bool count =
        row.handling == Handling::CoilCount || row.handling == Handling::CylinderCount;
    const QString unit = count ? QString() : UnitOf(row.ValueFormat);
    QStringList lines;
    if (row.address)
        lines << QStringLiteral("Регистр %1 (чтение и запись); показано = %2")
                     .arg(*row.address)
                     .arg(ConversionText(row.conversion));
    else
        lines << QStringLiteral("Не записывается в контроллер");
    lines << QStringLiteral("Пределы: %1 … %2, шаг %3")
                 .arg(number(row.ValueMin), withUnit(number(row.ValueMax), unit),
                      number(row.ValueStep));
    return lines.join('\n');
}

QString ReadoutHint(const ReadoutRow& row) {
    const QString unit = UnitOf(row.ValueFormat);
    QStringList lines;
    lines << QStringLiteral("Регистр текущих значений %1 (опрос каждые %2 мс); показано = %3")
                 .arg(row.address)
                 .arg(row.QueryInterval.count())
                 .arg(ConversionText(row.conversion));
    lines << QStringLiteral("Диапазон: %1 … %2")
                 .arg(number(ShownFromRaw(row.conversion, 0)),
                      withUnit(number(ShownFromRaw(row.conversion, 0xFFFF)), unit));
    return lines.join('\n');
}

QString ChoiceHint(const ChoiceRow& row) {
    return QStringLiteral("Регистр %1 (чтение и запись): номер пункта списка, от 0 до %2")
        .arg(row.address)
        .arg(row.items.size() - 1);
}

QString OxygenHint(const OxygenChoice& choice) {
    return QStringLiteral("Регистр %1 (чтение и запись): бит 0, «%2» = %3, «%4» = %5")
        .arg(choice.address)
        .arg(ToQString(choice.present.caption))
        .arg(choice.present.flagWord)
        .arg(ToQString(choice.absent.caption))
        .arg(choice.absent.flagWord);
}

} // namespace zef
