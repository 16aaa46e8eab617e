#pragma once

#include <QLabel>
#include <QTimer>

#include <chrono>

namespace zef {

class ProductionRegistry;

// The status bar's word on the registry in use: its name, and how many events wait for it
// (this station's queue, shared with zef-cli) while it is away.
class RegistryStatus : public QLabel {
    Q_OBJECT
public:
    static constexpr std::chrono::seconds kRefresh{5};

    RegistryStatus(ProductionRegistry& registry, QWidget* parent = nullptr);

    void Refresh();

private:
    ProductionRegistry& m_registry;
    QTimer m_timer;
};

} // namespace zef
