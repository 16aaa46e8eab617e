#include "registry/registry_numbering.h"

#include "files/cp1251.h"

namespace zef {

RegistryNumbering::RegistryNumbering(ProductionRegistry& registry, std::optional<QString> logPath)
    : m_registry(registry), m_logPath(std::move(logPath)) {}

Expected<ProtocolRecord> RegistryNumbering::Take(QByteArrayView controllerDate,
                                                 QByteArrayView today) {
    auto record = m_registry.TakeNumber(controllerDate, today);
    if (!record)
        return Failure{record.error() + QStringLiteral("\nКонтроллер не пронумерован.")};
    if (m_logPath) {
        if (const Status logged = AppendRecord(*m_logPath, *record, controllerDate); !logged) {
            Spent(*record, logged.error());
            return Failure{QStringLiteral("Номер «%1» взят в реестре, но журнал его не принял; "
                                          "номер помечен как испорченный.\n%2")
                               .arg(DecodeCp1251(record->Serial()).trimmed(), logged.error())};
        }
    }
    return record;
}

void RegistryNumbering::Spent(const ProtocolRecord& record, const QString& reason) {
    // A registry gone since the number was taken leaves it "issued": it is still never given
    // again, only its reason is missing.
    (void)m_registry.MarkSpent(record.Serial(), reason);
}

} // namespace zef
