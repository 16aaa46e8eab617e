// A station numbering blank simulated controllers from a registry, as many as asked. It prints
// "taken SERIAL" the moment the registry has committed a number, before the controller is
// written, so a test that kills it knows which numbers it must find. Every `spoil`-th
// controller stops answering once its number is taken, so its number is spent.
#include "files/sim_link.h"
#include "registry/registry_numbering.h"

#include <cstdio>
#include <cstdlib>

namespace {

class Announcing final : public zef::NumberSource {
public:
    Announcing(zef::NumberSource& inner, zef::test::SimLink& sim, bool spoil)
        : m_inner(inner), m_sim(sim), m_spoil(spoil) {}
    zef::Expected<zef::ProtocolRecord> Take(QByteArrayView date, QByteArrayView today) override {
        auto record = m_inner.Take(date, today);
        if (record) {
            std::printf("taken %s\n", record->Serial().constData());
            std::fflush(stdout);
            if (m_spoil)
                m_sim.ports.sim->SetFaultForAddress(zef::kDateRegister,
                                                    zef::sim::FaultPlan{zef::sim::Fault::Silent});
        }
        return record;
    }
    void Spent(const zef::ProtocolRecord& record, const QString& reason) override {
        m_inner.Spent(record, reason);
    }

private:
    zef::NumberSource& m_inner;
    zef::test::SimLink& m_sim;
    bool m_spoil;
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s URL COUNT [SPOIL]\n", argv[0]);
        return 2;
    }
    const int count = std::atoi(argv[2]);
    const int spoil = argc > 3 ? std::atoi(argv[3]) : 0;
    zef::ProductionRegistry registry({.url = QString::fromLocal8Bit(argv[1]),
                                      .workplace = {"station", "fitter", "helper"},
                                      .queueFile = {},
                                      .schemaVersion = -1});
    zef::RegistryNumbering numbering(registry, std::nullopt);
    zef::test::SimLink sim({.blankIdentity = true});
    zef::test::SilentView view;
    zef::DeviceIdentity identity(sim.link, QString(), [] { return QDate(2026, 12, 8); });
    for (int i = 1; i <= count; ++i) {
        sim.ports.sim->WithModel([](zef::sim::ControllerModel& m) {
            m.SetIdentity(zef::kBlankSerial, "01.01.00");
            return 0;
        });
        Announcing announcing(numbering, sim, spoil > 0 && i % spoil == 0);
        identity.SetNumberSource(&announcing);
        const auto reading = identity.ReadIdentity(view);
        sim.ports.sim->SetFaultForAddress(zef::kDateRegister, std::nullopt);
        if (!reading || !reading->numbered) {
            std::fprintf(stderr, "%s\n", qPrintable(reading.error()));
            return 1;
        }
    }
    return 0;
}
