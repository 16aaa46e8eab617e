#include "files/settings_file.h"

#include "files/cp1251.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace zef {

namespace {

constexpr char kEndOfFile = 0x1A; // Ctrl-Z, the end mark of old text files
constexpr int kLargestWord = 65535;
constexpr qsizetype kShownTokenLength = 20;

bool IsSeparator(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}
bool IsLineEnd(char c) {
    return c == '\r' || c == '\n';
}

QString ShownToken(const QByteArray& token) {
    QString shown = DecodeCp1251(token.left(kShownTokenLength));
    if (token.size() > kShownTokenLength)
        shown += QChar(0x2026);
    return shown;
}

QString Shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// A sign is read so that "-1" is named out of range rather than no number; only 0 to 65535
// passes, never its low 16 bits.
Expected<std::uint16_t> ParseWord(const QByteArray& token, int line) {
    qsizetype i = 0;
    const bool negative = token.startsWith('-');
    if (negative || token.startsWith('+'))
        ++i;
    if (i == token.size())
        return Failure{
            QStringLiteral("Строка %1: «%2» — не целое число.").arg(line).arg(ShownToken(token))};
    long long magnitude = 0;
    for (; i < token.size(); ++i) {
        const char c = token[i];
        if (c < '0' || c > '9')
            return Failure{QStringLiteral("Строка %1: «%2» — не целое число.")
                               .arg(line)
                               .arg(ShownToken(token))};
        magnitude = std::min<long long>(magnitude * 10 + (c - '0'), kLargestWord + 1LL);
    }
    if (magnitude > kLargestWord || (negative && magnitude != 0))
        return Failure{QStringLiteral("Строка %1: число %2 вне пределов от 0 до 65535.")
                           .arg(line)
                           .arg(ShownToken(token))};
    return static_cast<std::uint16_t>(magnitude);
}

} // namespace

QByteArray FormatSettings(const SettingsValues& values) {
    QByteArray text;
    for (const std::uint16_t value : values)
        text += QByteArray::number(value) + "\r\n";
    return text;
}

Expected<SettingsValues> ParseSettings(const QByteArray& text) {
    const qsizetype stop = text.contains(kEndOfFile) ? text.indexOf(kEndOfFile) : text.size();
    SettingsValues values;
    qsizetype pos = 0;
    int line = 1;
    // A lone LF ends a line as well as CR LF does: a file that passed through another system
    // would otherwise load its first value only and silently leave the rest.
    const auto skipLineEnd = [&] {
        if (text[pos] == '\r' && pos + 1 < stop && text[pos + 1] == '\n')
            ++pos;
        ++pos;
        ++line;
    };
    while (values.size() < kSettingsRegisters.size()) {
        while (pos < stop && IsSeparator(text[pos])) {
            if (IsLineEnd(text[pos]))
                skipLineEnd();
            else
                ++pos;
        }
        // Only white space after the last value is the end of the values, not a further zero.
        if (pos >= stop)
            break;
        const qsizetype start = pos;
        while (pos < stop && !IsSeparator(text[pos]))
            ++pos;
        const auto value = ParseWord(text.mid(start, pos - start), line);
        if (!value)
            return Failure{value.error()};
        values.push_back(*value);
        while (pos < stop && !IsLineEnd(text[pos]))
            ++pos;
    }
    return values;
}

Status SaveSettings(RegisterExchange& link, const QString& path) {
    SettingsValues values;
    for (const std::uint8_t address : kSettingsRegisters) {
        if (!link.Exchange(Command::ReadParam, address))
            return Failure{QStringLiteral("Контроллер не ответил на чтение регистра %1.\n"
                                          "Файл «%2» не записан.")
                               .arg(address)
                               .arg(Shown(path))};
        values.push_back(link.LastReply().second);
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Failure{QStringLiteral("Не удалось создать файл «%1»:\n%2")
                           .arg(Shown(path), file.errorString())};
    file.write(FormatSettings(values));
    if (!file.commit())
        return Failure{QStringLiteral("Не удалось записать файл «%1»:\n%2")
                           .arg(Shown(path), file.errorString())};
    return Done{};
}

Expected<LoadReport> LoadSettings(RegisterExchange& link, const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Failure{QStringLiteral("Не удалось открыть файл «%1»:\n%2")
                           .arg(Shown(path), file.errorString())};
    const QByteArray text = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return Failure{QStringLiteral("Не удалось прочитать файл «%1»:\n%2")
                           .arg(Shown(path), file.errorString())};
    const auto values = ParseSettings(text);
    if (!values)
        return Failure{QStringLiteral("Файл «%1» не загружен, в контроллер ничего не записано.\n%2")
                           .arg(Shown(path), values.error())};

    LoadReport report;
    for (std::size_t i = 0; i < values->size(); ++i) {
        if (!link.Exchange(Command::WriteParam, kSettingsRegisters[i], (*values)[i]))
            ++report.unanswered;
        ++report.written;
    }
    return report;
}

QString UnansweredWritesText(const LoadReport& report) {
    if (report.unanswered == 0)
        return {};
    return QStringLiteral("Контроллер не ответил на запись регистров: %1 из %2.\n"
                          "Их значения в контроллере могли остаться прежними.")
        .arg(report.unanswered)
        .arg(report.written);
}

QString WithSettingsExtension(const QString& path) {
    const QString extension = QString::fromLatin1(kSettingsExtension);
    return path.endsWith(extension, Qt::CaseInsensitive) ? path : path + extension;
}

QString CaptionWithFile(const QString& path) {
    // The dialogs may hand back either separator on the desktop this runs on.
    const qsizetype slash = std::max(path.lastIndexOf(QChar('/')), path.lastIndexOf(QChar('\\')));
    return QStringLiteral("%1 (%2)").arg(QString::fromLatin1(kPlainCaption), path.mid(slash + 1));
}

} // namespace zef
