#include "link/open_failure.h"

#include "link/serial_channel.h"

#include <QFile>
#include <QStringList>

#ifndef _WIN32
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

namespace zef {

namespace {

#ifdef __linux__
// Whether a terminal driver serves the character device numbers, by the kernel's table of
// them: lines of "name  /dev/path  major  minors  type", minors a number or "first-last".
std::optional<bool> ServedByTerminalDriver(unsigned major, unsigned minor) {
    QFile drivers(QStringLiteral("/proc/tty/drivers"));
    if (!drivers.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QStringList lines = QString::fromLatin1(drivers.readAll()).split('\n');
    for (const QString& line : lines) {
        const QStringList fields = line.simplified().split(' ');
        if (fields.size() < 4 || fields[2].toUInt() != major)
            continue;
        const QStringList range = fields[3].split('-');
        bool firstOk = false, lastOk = false;
        const unsigned first = range.first().toUInt(&firstOk);
        const unsigned last = range.last().toUInt(&lastOk);
        if (firstOk && lastOk && minor >= first && minor <= last)
            return true;
    }
    return false;
}
#endif

} // namespace

DeviceFacts ExamineDevice(const std::string& path) {
    DeviceFacts facts;
#ifdef _WIN32
    facts.exists = true; // COM names are no files; the port's own error tells
    facts.characterDevice = true;
    (void)path;
#else
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return facts;
    facts.exists = true;
    facts.characterDevice = S_ISCHR(info.st_mode);
    facts.accessible = ::access(path.c_str(), R_OK | W_OK) == 0;
    if (const group* owner = ::getgrgid(info.st_gid))
        facts.group = owner->gr_name;
    if (const passwd* user = ::getpwuid(info.st_uid))
        facts.owner = user->pw_name;
    facts.mode = static_cast<unsigned>(info.st_mode & 07777);
#ifdef __linux__
    if (facts.characterDevice)
        facts.terminal = ServedByTerminalDriver(major(info.st_rdev), minor(info.st_rdev));
#endif
#endif
    return facts;
}

OpenFailure ClassifyOpenFailure(const DeviceFacts& facts, bool refused) {
    if (!facts.exists)
        return OpenFailure::Absent;
    if (!facts.characterDevice || facts.terminal == false)
        return OpenFailure::NotSerial;
    if (!facts.accessible)
        return OpenFailure::NoPermission;
    if (refused)
        return OpenFailure::Busy; // allowed, and still refused: someone else has it
    return OpenFailure::Unknown;
}

std::string GroupToJoin(const OpenFailureReport& report) {
    constexpr unsigned kGroupReadWrite = 060;
    if (report.group.empty() || report.group == "root" || !report.mode ||
        (*report.mode & kGroupReadWrite) != kGroupReadWrite)
        return {};
    return report.group;
}

namespace {

// "crw-rw---- (0660)"
QString ModeText(unsigned mode) {
    QString text = QStringLiteral("c");
    for (int shift = 6; shift >= 0; shift -= 3) {
        text += (mode >> shift) & 4 ? QChar('r') : QChar('-');
        text += (mode >> shift) & 2 ? QChar('w') : QChar('-');
        text += (mode >> shift) & 1 ? QChar('x') : QChar('-');
    }
    return text + QStringLiteral(" (%1)").arg(mode, 4, 8, QChar('0'));
}

QString Known(const std::string& text) {
    return text.empty() ? QStringLiteral("неизвестно") : QString::fromStdString(text);
}

} // namespace

QString OpenFailureText(const OpenFailureReport& r) {
    QStringList lines;
    lines << QStringLiteral("Невозможно открыть порт COM%1").arg(r.portNumber);
    if (!r.device.empty())
        lines << QStringLiteral("Устройство: %1").arg(QString::fromStdString(r.device));
    if (!r.reason.empty())
        lines << QStringLiteral("Причина: %1").arg(QString::fromStdString(r.reason));
    switch (r.failure) {
    case OpenFailure::Absent:
        lines << QStringLiteral("Такого устройства нет: адаптер не подключён или порт назначен "
                                "неверно (меню «Файл → Порты...»).");
        if (r.existingPorts) {
            if (r.existingPorts->empty())
                lines << QStringLiteral("Последовательных портов в системе не найдено.");
            else {
                QStringList names;
                for (const std::string& port : *r.existingPorts)
                    names << QString::fromStdString(port);
                lines
                    << QStringLiteral("Порты в системе: %1").arg(names.join(QStringLiteral(", ")));
            }
        }
        break;
    case OpenFailure::NoPermission: {
        const QString group = QString::fromStdString(GroupToJoin(r));
        if (!group.isEmpty()) {
            lines << QStringLiteral("Нет прав на устройство. Оно принадлежит группе %1; добавьте "
                                    "себя в неё:")
                         .arg(group)
                  << QStringLiteral("    sudo usermod -aG %1 $USER").arg(group)
                  << QStringLiteral("затем выйдите из системы и войдите снова.");
            break;
        }
        lines << QStringLiteral("Нет прав на устройство. Владелец: %1, группа: %2, права: %3.")
                     .arg(Known(r.owner), Known(r.group),
                          r.mode ? ModeText(*r.mode) : QStringLiteral("неизвестны"))
              << QStringLiteral("Ни одна группа, в которую можно вступить, не может читать и "
                                "писать его: права устройства должен изменить администратор "
                                "(правило udev).");
        break;
    }
    case OpenFailure::Busy:
        lines << QStringLiteral("Порт занят другой программой. Закройте её и попробуйте снова.");
        break;
    case OpenFailure::NotSerial:
        lines << QStringLiteral("Это не последовательный порт. Выберите порт адаптера в меню "
                                "«Файл → Порты...».");
        break;
    case OpenFailure::Unknown:
        break;
    }
    return lines.join('\n');
}

OpenFailureReport ReportOpenFailure(int portNumber, const SerialChannel& channel,
                                    std::optional<std::vector<std::string>> existingPorts) {
    OpenFailureReport report{.portNumber = portNumber,
                             .device = channel.DeviceName(),
                             .failure = channel.OpenFailureKind(),
                             .reason = channel.DeviceError(),
                             .group = {},
                             .existingPorts = std::move(existingPorts)};
    if (report.failure == OpenFailure::NoPermission) {
        const DeviceFacts facts = ExamineDevice(report.device);
        report.group = facts.group;
        report.owner = facts.owner;
        report.mode = facts.mode;
    }
    return report;
}

QString NoControllerText(int portNumber, const std::string& device) {
    QStringList lines;
    lines << QStringLiteral("Нет прибора на COM%1").arg(portNumber);
    if (!device.empty())
        lines << QStringLiteral("Устройство: %1").arg(QString::fromStdString(device));
    lines << QStringLiteral("Контроллер не ответил. Проверьте кабель и включено ли зажигание.");
    return lines.join('\n');
}

} // namespace zef
