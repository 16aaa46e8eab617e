// zef-sim as a program: what it does to the paths it is given.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// zef-sim started with some arguments; the device it printed, or empty when it refused.
class SimRun {
public:
    explicit SimRun(const QStringList& arguments, std::function<void()> inChild = {}) {
        if (inChild)
            m_process.setChildProcessModifier(std::move(inChild));
        m_process.start(QString::fromLocal8Bit(ZEF_SIM_PATH), arguments);
        if (!m_process.waitForStarted(5000))
            return;
        while (!m_process.canReadLine() && m_process.state() == QProcess::Running &&
               m_process.waitForReadyRead(5000)) {
        }
        m_device = QString::fromLocal8Bit(m_process.readLine()).trimmed().toStdString();
    }
    ~SimRun() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    [[nodiscard]] const std::string& Device() const { return m_device; }

    // Ends it as a terminal or a script would; the exit code, or -1 when it would not end.
    int Stop() {
        m_process.terminate();
        return Finish();
    }
    int Finish() {
        if (m_process.state() != QProcess::NotRunning && !m_process.waitForFinished(5000))
            return -1;
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }
    [[nodiscard]] QString Errors() {
        return QString::fromLocal8Bit(m_process.readAllStandardError());
    }

private:
    QProcess m_process;
    std::string m_device;
};

std::string linkTarget(const QString& path) {
    return QFile::symLinkTarget(path).toStdString();
}

bool isLink(const QString& path) {
    struct stat st {};
    return ::lstat(path.toLocal8Bit().constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

enum class Before { Nothing, File, Directory, LinkToFile, LeftOverLink };

struct LinkCase {
    const char* name;
    Before before;
    bool accepted;
};

TEST(ZefSimLink, only_a_free_path_or_a_left_over_link_becomes_the_link_and_only_it_goes) {
    const LinkCase cases[] = {
        {"free path", Before::Nothing, true},
        {"regular file", Before::File, false},
        {"directory", Before::Directory, false},
        {"link to a file", Before::LinkToFile, false},
        {"link of a zef-sim that was killed", Before::LeftOverLink, true},
    };
    for (const auto& c : cases) {
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString path = dir.filePath("ttyZEF");
        const QString other = dir.filePath("calibration.zef");
        QFile keep(other);
        ASSERT_TRUE(keep.open(QIODevice::WriteOnly) && keep.write("keep me") == 7);
        keep.close();
        switch (c.before) {
        case Before::Nothing:
            break;
        case Before::File:
            ASSERT_TRUE(QFile::copy(other, path));
            break;
        case Before::Directory:
            ASSERT_TRUE(QDir(dir.path()).mkdir("ttyZEF"));
            break;
        case Before::LinkToFile:
            ASSERT_TRUE(QFile::link(other, path));
            break;
        case Before::LeftOverLink:
            ASSERT_EQ(::symlink("/dev/pts/987654", path.toLocal8Bit().constData()), 0);
            break;
        }

        SimRun sim({"--link", path});
        if (!c.accepted) {
            EXPECT_TRUE(sim.Device().empty()) << c.name;
            EXPECT_EQ(sim.Finish(), 1) << c.name;
            EXPECT_TRUE(sim.Errors().contains(path)) << c.name;
            EXPECT_TRUE(QFileInfo::exists(path) || isLink(path)) << c.name;
            QFile kept(other);
            ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
            EXPECT_EQ(kept.readAll(), "keep me") << c.name;
            if (c.before == Before::File) {
                EXPECT_FALSE(isLink(path));
            }
            continue;
        }
        ASSERT_FALSE(sim.Device().empty()) << c.name << ": " << sim.Errors().toStdString();
        EXPECT_EQ(linkTarget(path), sim.Device()) << c.name;
        EXPECT_EQ(sim.Stop(), 0) << c.name;
        EXPECT_FALSE(isLink(path) || QFileInfo::exists(path)) << c.name << ": link left behind";
    }
}

TEST(ZefSimLink, a_path_taken_over_while_it_runs_is_left_alone_at_exit) {
    QTemporaryDir dir;
    const QString path = dir.filePath("ttyZEF");
    SimRun sim({"--link", path});
    ASSERT_FALSE(sim.Device().empty()) << sim.Errors().toStdString();
    ASSERT_TRUE(QFile::remove(path));
    QFile replacement(path);
    ASSERT_TRUE(replacement.open(QIODevice::WriteOnly) && replacement.write("new") == 3);
    replacement.close();
    EXPECT_EQ(sim.Stop(), 0);
    QFile kept(path);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "new");
}

TEST(ZefSimLog, a_log_it_cannot_write_stops_it_at_start) {
    QTemporaryDir dir;
    const QString cases[] = {dir.filePath("no/such/folder/requests.log"), dir.path()};
    for (const auto& path : cases) {
        const QString link = dir.filePath("ttyZEF");
        SimRun sim({"--log", path, "--link", link});
        EXPECT_TRUE(sim.Device().empty()) << path.toStdString();
        EXPECT_EQ(sim.Finish(), 1) << path.toStdString();
        EXPECT_TRUE(sim.Errors().contains(path)) << sim.Errors().toStdString();
        EXPECT_FALSE(isLink(link)) << "a link made before the refusal";
    }
}

bool sendRequests(const std::string& device, int count) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return false;
    bool ok = true;
    for (int i = 0; i < count && ok; ++i) {
        const unsigned char frame[] = {0x02, static_cast<unsigned char>(70 + i), 0x00, 0x00};
        ok = ::write(fd, frame, sizeof frame) == 4;
        std::this_thread::sleep_for(120ms); // one line a frame, each flushed on its own
    }
    ::close(fd);
    return ok;
}

TEST(ZefSimLog, logs_every_request_and_stops_with_an_error_when_the_disk_refuses) {
    QTemporaryDir dir;
    const QString path = dir.filePath("requests.log");
    {
        SimRun sim({"--log", path});
        ASSERT_FALSE(sim.Device().empty()) << sim.Errors().toStdString();
        ASSERT_TRUE(sendRequests(sim.Device(), 2));
        EXPECT_EQ(sim.Stop(), 0);
        QFile log(path);
        ASSERT_TRUE(log.open(QIODevice::ReadOnly));
        EXPECT_EQ(log.readAll(), "02 46 00 00\n02 47 00 00\n");
    }
    {
        // Room for the two lines already there and one more: the next one fails. The signal
        // is left at its default: zef-sim itself must keep it from killing it.
        const QString full = dir.filePath("full.log");
        SimRun sim({"--log", full}, [] {
            std::signal(SIGXFSZ, SIG_DFL);
            const rlimit limit{36, 36};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        });
        ASSERT_FALSE(sim.Device().empty()) << sim.Errors().toStdString();
        (void)sendRequests(sim.Device(), 5);
        EXPECT_EQ(sim.Finish(), 1);
        EXPECT_TRUE(sim.Errors().contains("File too large")) << sim.Errors().toStdString();
    }
}

} // namespace

namespace {

TEST(ZefSimProgram, serial_number_and_parameters_are_checked_before_the_device_is_made) {
    struct Case {
        QStringList arguments;
        bool serves;
    };
    const Case cases[] = {
        {{"--serial", "ZEF-K7LX SN 05.02 00777"}, true},
        {{"--param", "73=5000", "--param", "35=4"}, true},
        {{"--serial", QString(25, 'x')}, false},
        {{"--serial", ""}, false},
        {{"--param", "256=1"}, false},
        {{"--param", "73=65536"}, false},
        {{"--param", "73"}, false},
        {{"--param"}, false},
        {{"--drive"}, true},
        {{"--true-map", "2.6,2.75,3.45,3.9,4.4,5.45,5.85"}, true},
        {{"--true-map", "2.6,2.75,3.45,3.9,4.4,5.45"}, false},
        {{"--true-map", "2.6,2.75,3.45,3.9,4.4,5.45,5.85,6"}, false},
        {{"--true-map", "2.6,2.75,3.45,3.9,4.4,5.45,9"}, false},
        {{"--true-map", "2.6,,3.45,3.9,4.4,5.45,5.85"}, false},
    };
    for (const auto& c : cases) {
        SimRun sim(c.arguments);
        EXPECT_EQ(!sim.Device().empty(), c.serves) << c.arguments.join(' ').toStdString();
        if (c.serves)
            EXPECT_EQ(sim.Stop(), 0);
        else
            EXPECT_EQ(sim.Finish(), 2) << c.arguments.join(' ').toStdString();
    }
}

} // namespace
