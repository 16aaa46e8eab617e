// The program as a desktop gets it: `cmake --install` and the Debian package that cpack makes
// from this build, unpacked into a scratch root as dpkg would lay it out.

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <set>

namespace {

struct Outcome {
    int exitCode = -1;
    QString out, err;
};

Outcome run(const QString& program, const QStringList& args, int timeoutMs = 120000) {
    QProcess p;
    p.start(program, args);
    Outcome r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        r.err = "timed out";
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

std::set<std::string> filesUnder(const QString& root) {
    std::set<std::string> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.insert(QDir(root).relativeFilePath(it.next()).toStdString());
    return files;
}

// Everything a desktop needs, and nothing of the tests, tools or build.
const std::set<std::string> kInstalled = {
    "bin/zef-service",
    "bin/zef-cli",
    "bin/zef-sim",
    "share/applications/zef-service.desktop",
    "share/icons/hicolor/scalable/apps/zef-service.svg",
    "share/doc/zef-service/README.md",
    "share/doc/zef-service/copyright",
    "share/man/man1/zef-cli.1",
    "share/bash-completion/completions/zef-cli",
};

std::set<std::string> under(const std::string& prefix) {
    std::set<std::string> out;
    for (const auto& f : kInstalled)
        out.insert(prefix + f);
    return out;
}

// The installed program answers from where it was installed, without a display.
void expectProgramRuns(const QString& binary) {
    const Outcome version = run(binary, {"--version"});
    EXPECT_EQ(version.exitCode, 0) << version.err.toStdString();
    EXPECT_EQ(version.out.toStdString(), "zef-service " ZEF_VERSION "\n");
    const Outcome sim = run(QFileInfo(binary).dir().filePath("zef-sim"), {"--help"});
    EXPECT_EQ(sim.exitCode, 0) << sim.err.toStdString();
    // The command-line tool runs on the installed libraries and its built-in controller.
    const QString cli = QFileInfo(binary).dir().filePath("zef-cli");
    const Outcome cliVersion = run(cli, {"--version"});
    EXPECT_EQ(cliVersion.exitCode, 0) << cliVersion.err.toStdString();
    // The commit follows the version when the build came from a checkout.
    EXPECT_TRUE(QRegularExpression("^zef-cli " ZEF_VERSION "( \\(commit [0-9a-f]{12}\\))?\n$")
                    .match(cliVersion.out)
                    .hasMatch())
        << cliVersion.out.toStdString();
    const Outcome info = run(cli, {"--simulator", "--json", "info"});
    EXPECT_EQ(info.exitCode, 0) << info.err.toStdString();
    EXPECT_TRUE(info.out.contains("\"answers\":true")) << info.out.toStdString();
}

void expectDesktopEntry(const QString& share) {
    QFile entry(QDir(share).filePath("applications/zef-service.desktop"));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(entry.readAll());
    for (const char* line : {"Exec=zef-service\n", "Icon=zef-service\n", "Type=Application\n"})
        EXPECT_TRUE(text.contains(line)) << line;
    const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
    if (!validator.isEmpty()) {
        const Outcome check = run(validator, {entry.fileName()});
        EXPECT_EQ(check.exitCode, 0) << check.out.toStdString() << check.err.toStdString();
        EXPECT_TRUE(check.out.trimmed().isEmpty()) << check.out.toStdString();
    }
    QFile icon(QDir(share).filePath("icons/hicolor/scalable/apps/zef-service.svg"));
    ASSERT_TRUE(icon.open(QIODevice::ReadOnly));
    EXPECT_TRUE(icon.readAll().contains("<svg"));
}

TEST(Install, puts_program_simulator_entry_icon_and_readme_under_the_prefix) {
    QTemporaryDir prefix;
    const Outcome install = run(ZEF_CMAKE, {"--install", ZEF_BUILD_DIR, "--prefix", prefix.path()});
    ASSERT_EQ(install.exitCode, 0) << install.out.toStdString() << install.err.toStdString();
    EXPECT_EQ(filesUnder(prefix.path()), kInstalled);
    expectProgramRuns(QDir(prefix.path()).filePath("bin/zef-service"));
    expectDesktopEntry(QDir(prefix.path()).filePath("share"));
}

TEST(DebianPackage, holds_the_installed_files_and_names_what_they_need) {
    if (QStandardPaths::findExecutable("dpkg-deb").isEmpty() ||
        QStandardPaths::findExecutable("dpkg-shlibdeps").isEmpty())
        GTEST_SKIP() << "dpkg-deb and dpkg-shlibdeps are needed (scripts/install-deps.sh)";
    QTemporaryDir work;
    const Outcome pack = run(ZEF_CPACK, {"-G", "DEB", "--config",
                                         ZEF_BUILD_DIR "/CPackConfig.cmake", "-B", work.path()});
    ASSERT_EQ(pack.exitCode, 0) << pack.out.toStdString() << pack.err.toStdString();
    const QStringList debs = QDir(work.path()).entryList({"*.deb"}, QDir::Files);
    ASSERT_EQ(debs.size(), 1) << pack.out.toStdString();
    EXPECT_EQ(debs.first().toStdString(), "zef-service_" ZEF_VERSION "_amd64.deb");
    const QString deb = QDir(work.path()).filePath(debs.first());

    const QString root = QDir(work.path()).filePath("root");
    const Outcome unpack = run("dpkg-deb", {"-x", deb, root});
    ASSERT_EQ(unpack.exitCode, 0) << unpack.err.toStdString();
    EXPECT_EQ(filesUnder(root), under("usr/"));
    expectProgramRuns(QDir(root).filePath("usr/bin/zef-service"));
    expectDesktopEntry(QDir(root).filePath("usr/share"));

    const Outcome depends = run("dpkg-deb", {"-f", deb, "Depends"});
    ASSERT_EQ(depends.exitCode, 0);
    // The libraries the binaries link, found by dpkg-shlibdeps, and what they load at run time.
    for (const char* package :
         {"libqt6widgets6", "libqt6charts6", "libqt6serialport6", "libqt6svg6", "libqt6core6",
          "qt6-qpa-plugins", "qt6-translations-l10n", "fonts-liberation2"})
        EXPECT_TRUE(depends.out.contains(package))
            << package << " in " << depends.out.toStdString();
    const Outcome name = run("dpkg-deb", {"-f", deb, "Package"});
    EXPECT_EQ(name.out.trimmed().toStdString(), "zef-service");
}

} // namespace
