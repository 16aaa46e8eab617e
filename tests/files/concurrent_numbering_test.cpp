#include "files/production_log.h"
#include "sim_link.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <set>

namespace {

// Workstations numbering against one log at the same moment, as separate processes: no number
// may be handed out twice, and the log must hold exactly one record per number. Every round
// starts without a log, so the processes also race to create it.
TEST(ConcurrentNumbering, processes_numbering_at_once_never_share_a_number) {
    constexpr int kRounds = 6;
    constexpr int kProcesses = 8;
    constexpr int kPerProcess = 8;
    for (int round = 0; round < kRounds; ++round) {
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        std::vector<std::unique_ptr<QProcess>> processes;
        for (int p = 0; p < kProcesses; ++p) {
            auto process = std::make_unique<QProcess>();
            process->start(ZEF_NUMBER_HELPER, {dir.path(), QString::number(kPerProcess)});
            processes.push_back(std::move(process));
        }
        std::set<QByteArray> numbers;
        int handedOut = 0;
        for (auto& process : processes) {
            ASSERT_TRUE(process->waitForFinished(60'000));
            ASSERT_EQ(process->exitStatus(), QProcess::NormalExit);
            ASSERT_EQ(process->exitCode(), 0) << process->readAllStandardError().toStdString();
            for (const QByteArray& line : process->readAllStandardOutput().split('\n')) {
                if (line.isEmpty())
                    continue;
                ++handedOut;
                EXPECT_TRUE(numbers.insert(line).second)
                    << "round " << round << " handed out twice: " << line.toStdString();
            }
        }
        ASSERT_EQ(handedOut, kProcesses * kPerProcess);

        const auto log = zef::test::FileBytes(dir.filePath("Protocol.lst"));
        ASSERT_TRUE(log);
        ASSERT_EQ(log->size(), (1 + handedOut) * zef::ProtocolRecord::kSize) << "round " << round;
        std::set<QByteArray> logged;
        for (int r = 1; r <= handedOut; ++r) {
            const QByteArray serial = log->mid(r * 40 + 1, 24);
            // In the log's order the counter runs on by one from the seed's 00113.
            EXPECT_EQ(serial.mid(18, 5), QByteArray::number(113 + r).rightJustified(5, '0'))
                << "round " << round << ", record " << r;
            logged.insert(serial);
        }
        EXPECT_EQ(logged, numbers) << "round " << round;
    }
}

} // namespace
