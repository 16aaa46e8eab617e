#include "registry/registry_url.h"

#include <QDir>
#include <QSettings>
#include <QUrl>
#include <QUrlQuery>

namespace zef {

Expected<RegistryUrl> ParseRegistryUrl(const QString& text) {
    RegistryUrl url;
    url.text = text;
    // A password typed into the address by mistake must not go on into a message or a log.
    const QUrl typed(text);
    const QString shown = typed.password().isEmpty() && !text.contains(QStringLiteral("password="))
                              ? text
                              : typed.adjusted(QUrl::RemovePassword | QUrl::RemoveQuery).toString();
    const auto bad = [&](const QString& why) {
        return Failure{QStringLiteral("Адрес реестра «%1» не годится: %2.").arg(shown, why)};
    };
    if (text.startsWith(QStringLiteral("sqlite:"))) {
        url.path = text.mid(7);
        if (url.path.startsWith(QStringLiteral("//")))
            url.path = url.path.mid(2);
        if (url.path.isEmpty())
            return bad(QStringLiteral("после sqlite: нужен путь к файлу"));
        return url;
    }
    const QUrl parsed(text, QUrl::StrictMode);
    const QString scheme = parsed.scheme();
    if (!parsed.isValid() || (scheme != "postgresql" && scheme != "postgres"))
        return bad(
            QStringLiteral("нужен sqlite:ПУТЬ или postgresql://пользователь@узел:порт/база"));
    if (!parsed.password().isEmpty())
        return bad(QStringLiteral("пароль в адресе не принимается, его место в ~/.pgpass или в "
                                  "файле PGPASSFILE"));
    url.engine = RegistryEngine::Postgres;
    url.user = parsed.userName();
    url.host = parsed.host();
    url.port = parsed.port(5432);
    url.database = parsed.path().mid(1);
    if (url.host.isEmpty() || url.database.isEmpty() || url.database.contains('/'))
        return bad(
            QStringLiteral("нужны узел и имя базы: postgresql://пользователь@узел:порт/база"));
    QStringList options;
    for (const auto& [key, value] : QUrlQuery(parsed).queryItems(QUrl::FullyDecoded)) {
        if (key == QStringLiteral("password"))
            return bad(QStringLiteral("пароль в адресе не принимается"));
        options << key + '=' + value;
    }
    url.options = options.join(';');
    return url;
}

QString DefaultRegistryUrl(const QString& dataFolder) {
    return QStringLiteral("sqlite:") + QDir(dataFolder).filePath(QStringLiteral("registry.sqlite"));
}

QString RememberRegistry(QSettings& settings, const std::optional<QString>& commandLine) {
    if (commandLine) {
        if (commandLine->isEmpty())
            settings.remove(QString::fromLatin1(kRegistryKey));
        else
            settings.setValue(QString::fromLatin1(kRegistryKey), *commandLine);
    }
    return settings.value(QString::fromLatin1(kRegistryKey)).toString();
}

} // namespace zef
