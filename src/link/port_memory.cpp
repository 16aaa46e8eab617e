#include "link/port_memory.h"

#include <QSettings>

#include <cctype>
#include <filesystem>
#include <system_error>

namespace zef {

namespace {

QString KeyOf(int portNumber) {
    return QStringLiteral("ports/COM%1").arg(portNumber);
}

} // namespace

void ApplyRememberedPorts(const QSettings& settings, PortMap& map) {
    for (int n = 1; n <= 4; ++n) {
        if (map.Chosen(n))
            continue;
        const QString remembered = settings.value(KeyOf(n)).toString();
        if (!remembered.isEmpty())
            map.Map(n, remembered.toStdString());
    }
}

PortMap RememberedPortMap(const QSettings& settings) {
    PortMap map;
    ApplyRememberedPorts(settings, map);
    return map;
}

std::optional<QString> RememberPort(QSettings& settings, int portNumber,
                                    const std::string& target) {
    if (portNumber < 1 || portNumber > 4)
        return QStringLiteral("COM%1 не существует").arg(portNumber);
    if (target.empty() || target == PortMap::DefaultDevice(portNumber))
        settings.remove(KeyOf(portNumber));
    else
        settings.setValue(KeyOf(portNumber), QString::fromStdString(target));
    settings.sync();
    if (settings.status() == QSettings::NoError)
        return std::nullopt;
    return QStringLiteral("Не удалось записать настройки в %1%2")
        .arg(settings.fileName(), settings.status() == QSettings::AccessError
                                      ? QStringLiteral(": нет доступа или нет места")
                                      : QStringLiteral(": файл испорчен"));
}

std::optional<std::string> ResolvePortName(const std::string& name, const PortMap& map) {
    const bool comName = name.size() > 3 &&
                         std::toupper(static_cast<unsigned char>(name[0])) == 'C' &&
                         std::toupper(static_cast<unsigned char>(name[1])) == 'O' &&
                         std::toupper(static_cast<unsigned char>(name[2])) == 'M' &&
                         name.find_first_not_of("0123456789", 3) == std::string::npos;
    if (!comName)
        return name;
    const std::string digits = name.substr(3);
    if (digits.size() > 1)
        return std::nullopt;
    return map.Target(digits[0] - '0');
}

QString DescribePortTarget(const std::string& target) {
    if (target == PortMap::kSimulator)
        return QStringLiteral("встроенный имитатор контроллера");
    QString text = QString::fromStdString(target);
    std::error_code error;
    const auto leadsTo = std::filesystem::canonical(target, error);
    if (!error && leadsTo != std::filesystem::path(target))
        text += QStringLiteral(" → ") + QString::fromStdString(leadsTo.string());
    return text;
}

} // namespace zef
