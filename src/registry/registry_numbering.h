#pragma once

#include "files/identity.h"
#include "registry/production_registry.h"

#include <QString>

#include <optional>

namespace zef {

// Numbers from the registry and, where the station keeps a Protocol.lst too, appends the same
// record to it, so the stations that read the log keep seeing every number. A log that cannot
// take the record spends the number: the controller is not written.
class RegistryNumbering final : public NumberSource {
public:
    RegistryNumbering(ProductionRegistry& registry, std::optional<QString> logPath);

    [[nodiscard]] Expected<ProtocolRecord> Take(QByteArrayView controllerDate,
                                                QByteArrayView today) override;
    void Spent(const ProtocolRecord& record, const QString& reason) override;

private:
    ProductionRegistry& m_registry;
    std::optional<QString> m_logPath;
};

} // namespace zef
