#include "app/registry_status.h"

#include "registry/production_registry.h"

namespace zef {

RegistryStatus::RegistryStatus(ProductionRegistry& registry, QWidget* parent)
    : QLabel(parent), m_registry(registry) {
    setObjectName("RegistryStatus");
    connect(&m_timer, &QTimer::timeout, this, &RegistryStatus::Refresh);
    m_timer.start(kRefresh);
    Refresh();
}

void RegistryStatus::Refresh() {
    const int waiting = m_registry.Waiting();
    setText(
        waiting == 0
            ? QStringLiteral("Реестр: %1").arg(m_registry.Name())
            : QStringLiteral("Реестр: %1, ждут записи: %2").arg(m_registry.Name()).arg(waiting));
}

} // namespace zef
