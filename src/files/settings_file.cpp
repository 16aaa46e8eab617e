#include "files/settings_file.h"

#include "files/cp1251.h"

#include "files/disk_write.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QStringList>

#include <optional>

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

// Hands the file over byte by byte as far as the values reach, a block at a time, and counts
// lines. Ctrl-Z, the end of the file or a read error end the bytes; a line past the longest a
// settings file can sensibly hold ends them with an error rather than reading on.
class SettingsReader {
public:
    explicit SettingsReader(QIODevice& device) : m_device(device) {}

    // The next byte, or -1 when there are no more.
    int Peek() {
        if (m_stopped || (m_pos == m_block.size() && !Fill()))
            return -1;
        const char c = m_block[m_pos];
        if (c == kEndOfFile) {
            m_stopped = true;
            return -1;
        }
        return static_cast<unsigned char>(c);
    }

    // Steps past the byte Peek() gave. A line ends at CR LF, CR or LF.
    void Advance() {
        const char c = m_block[m_pos++];
        if (c == '\n' && m_afterCr) {
            m_afterCr = false;
            return;
        }
        m_afterCr = c == '\r';
        if (IsLineEnd(c)) {
            ++m_line;
            m_column = 0;
        } else if (++m_column > kLongestSettingsLine) {
            m_error = QStringLiteral("Строка %1 длиннее %2 байт: это не файл установок.")
                          .arg(m_line)
                          .arg(kLongestSettingsLine);
            m_stopped = true;
        }
    }

    [[nodiscard]] int Line() const { return m_line; }
    [[nodiscard]] const QString& Error() const { return m_error; }

private:
    static constexpr qint64 kBlock = 4096;

    bool Fill() {
        m_block.resize(kBlock);
        const qint64 n = m_device.read(m_block.data(), kBlock);
        if (n < 0)
            m_error = QStringLiteral("Ошибка чтения: %1").arg(m_device.errorString());
        m_block.resize(std::max<qint64>(n, 0));
        m_pos = 0;
        m_stopped = n <= 0;
        return !m_stopped;
    }

    QIODevice& m_device;
    QByteArray m_block;
    qsizetype m_pos = 0;
    bool m_stopped = false;
    bool m_afterCr = false;
    int m_line = 1;
    qsizetype m_column = 0;
    QString m_error;
};

} // namespace

QByteArray FormatSettings(const SettingsValues& values) {
    QByteArray text;
    for (const std::uint16_t value : values)
        text += QByteArray::number(value) + "\r\n";
    return text;
}

Expected<SettingsValues> ParseSettings(QIODevice& device) {
    SettingsReader reader(device);
    SettingsValues values;
    const auto failed = [&]() -> std::optional<Failure> {
        if (reader.Error().isEmpty())
            return std::nullopt;
        return Failure{reader.Error()};
    };
    while (values.size() < kSettingsRegisters.size()) {
        int c = reader.Peek();
        while (c >= 0 && IsSeparator(char(c))) {
            reader.Advance();
            c = reader.Peek();
        }
        // Only white space after the last value is the end of the values, not a further zero.
        if (c < 0)
            break;
        const int line = reader.Line();
        QByteArray token;
        for (; c >= 0 && !IsSeparator(char(c)); c = reader.Peek()) {
            token += char(c);
            reader.Advance();
        }
        if (const auto failure = failed())
            return *failure;
        const auto value = ParseWord(token, line);
        if (!value)
            return Failure{value.error()};
        values.push_back(*value);
        // The rest of the last value's line, and all after it, is left unread.
        if (values.size() == kSettingsRegisters.size())
            break;
        for (c = reader.Peek(); c >= 0 && !IsLineEnd(char(c)); c = reader.Peek())
            reader.Advance();
    }
    if (const auto failure = failed())
        return *failure;
    return values;
}

Expected<SettingsValues> ParseSettings(const QByteArray& text) {
    QBuffer buffer;
    buffer.setData(text);
    if (!buffer.open(QIODevice::ReadOnly))
        return Failure{buffer.errorString()};
    return ParseSettings(buffer);
}

namespace {

Expected<SettingsValues> ReadSettingsOnce(RegisterExchange& link, const KnownWords& known) {
    Burst burst(link);
    SettingsValues values;
    for (const std::uint8_t address : kSettingsRegisters) {
        if (const auto it = known.find(address); it != known.end()) {
            values.push_back(it->second);
            continue;
        }
        const auto reply = link.Exchange(Command::ReadParam, address);
        if (!reply)
            return Failure{
                QStringLiteral("Контроллер не ответил на чтение регистра %1.").arg(address)};
        values.push_back(reply->second);
    }
    if (!burst.Verified())
        return Failure{QStringLiteral("Помехи на линии: ответы контроллера не прочитаны.")};
    return values;
}

} // namespace

Expected<SettingsValues> ReadSettings(RegisterExchange& link) {
    return ReadSettings(link, {});
}

Expected<SettingsValues> ReadSettings(RegisterExchange& link, const KnownWords& known) {
    // Stray bytes void a whole read; more tries, of everything, before the failure is reported.
    auto values = ReadSettingsOnce(link, known);
    for (int attempt = 1; attempt < link.Attempts() && !values && !link.Channel().DeviceLost();
         ++attempt)
        values = ReadSettingsOnce(link, {});
    return values;
}

QString SettingsNotReadText(const QString& reason, const QString& path) {
    return QStringLiteral("%1\nФайл «%2» не записан.").arg(reason, Shown(path));
}

Status WriteSettingsFile(const QString& path, const SettingsValues& values) {
    return WriteFileAtomically(path, FormatSettings(values));
}

Status SaveSettings(RegisterExchange& link, const QString& path) {
    const auto values = ReadSettings(link);
    if (!values)
        return Failure{SettingsNotReadText(values.error(), path)};
    return WriteSettingsFile(path, *values);
}

Expected<SettingsValues> ReadSettingsFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Failure{QStringLiteral("Не удалось открыть файл «%1»:\n%2")
                           .arg(Shown(path), file.errorString())};
    // Read as far as the values go and no further: a file picked by mistake may be huge.
    const auto values = ParseSettings(file);
    if (!values)
        return Failure{
            QStringLiteral("Файл «%1» не прочитан.\n%2").arg(Shown(path), values.error())};
    return values;
}

LoadReport WriteSettings(RegisterExchange& link, const SettingsValues& values) {
    // The writes go out as one burst, so that stray bytes after them are seen.
    Burst burst(link);
    LoadReport report;
    for (std::size_t i = 0; i < values.size() && i < kSettingsRegisters.size(); ++i) {
        if (!link.Exchange(Command::WriteParam, kSettingsRegisters[i], values[i]))
            ++report.unanswered;
        ++report.written;
    }
    report.verified = burst.Verified();
    return report;
}

Expected<LoadReport> LoadSettings(RegisterExchange& link, const QString& path) {
    const auto values = ReadSettingsFile(path);
    if (!values)
        return Failure{values.error() + QStringLiteral("\nВ контроллер ничего не записано.")};
    return WriteSettings(link, *values);
}

std::vector<DifferingRegister> ReadBack(RegisterExchange& link, const SettingsValues& values) {
    const std::size_t count = std::min(values.size(), kSettingsRegisters.size());
    // One burst, tried once more when stray bytes voided it; a void burst reads nothing.
    std::vector<std::optional<std::uint16_t>> held(count);
    for (int attempt = 0; attempt < link.Attempts(); ++attempt) {
        Burst burst(link);
        bool answering = true;
        for (std::size_t i = 0; i < count; ++i) {
            const auto reply =
                answering ? link.Exchange(Command::ReadParam, kSettingsRegisters[i]) : std::nullopt;
            answering = reply.has_value();
            held[i] = reply ? std::optional(reply->second) : std::nullopt;
        }
        if (burst.Verified())
            break;
        std::fill(held.begin(), held.end(), std::nullopt);
    }
    std::vector<DifferingRegister> differing;
    for (std::size_t i = 0; i < count; ++i)
        if (held[i] != values[i])
            differing.push_back({kSettingsRegisters[i], values[i], held[i]});
    return differing;
}

QString DifferingRegistersText(const std::vector<DifferingRegister>& differing) {
    if (differing.empty())
        return {};
    QStringList lines{QStringLiteral("Контроллер держит не то, что записано (регистров: %1):")
                          .arg(differing.size())};
    for (const DifferingRegister& d : differing)
        lines << (d.held ? QStringLiteral("регистр %1: записано %2, прочитано %3")
                               .arg(d.address)
                               .arg(d.written)
                               .arg(*d.held)
                         : QStringLiteral("регистр %1: записано %2, не прочитан")
                               .arg(d.address)
                               .arg(d.written));
    return lines.join(QChar('\n'));
}

QString ShortFileText(int values) {
    return QStringLiteral("В файле %1 значений из %2: остальные параметры не изменены")
        .arg(values)
        .arg(kSettingsRegisters.size());
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
