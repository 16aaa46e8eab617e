#include "files/recent_files.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace zef;

namespace {

QStringList paths(std::initializer_list<const char*> names) {
    QStringList out;
    for (const char* n : names)
        out << QStringLiteral("/cars/") + n;
    return out;
}

TEST(RecentFiles, newest_first_once_each_and_at_most_eight) {
    struct Case {
        const char* what;
        QStringList added; // in order
        QStringList expected;
    };
    const Case cases[] = {
        {"newest first", paths({"a.zef", "b.zef"}), paths({"b.zef", "a.zef"})},
        {"a file used again moves to the top", paths({"a.zef", "b.zef", "a.zef"}),
         paths({"a.zef", "b.zef"})},
        {"the same file written two ways is one entry",
         {"/cars/a.zef", "/cars/./x/../a.zef", "/cars//a.zef"},
         paths({"a.zef"})},
        {"the oldest drop off", paths({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}),
         paths({"10", "9", "8", "7", "6", "5", "4", "3"})},
    };
    for (const auto& c : cases) {
        RecentFiles recent;
        for (const QString& p : c.added)
            recent.Add(p);
        EXPECT_EQ(recent.Files(), c.expected) << c.what;
    }
    RecentFiles recent(paths({"a.zef", "b.zef", "c.zef"}));
    recent.Remove("/cars/b.zef");
    EXPECT_EQ(recent.Files(), paths({"a.zef", "c.zef"}));
}

TEST(RecentFiles, survive_a_restart_through_the_settings) {
    QTemporaryDir scratch;
    const QString ini = QDir(scratch.path()).filePath("user.ini");
    {
        QSettings settings(ini, QSettings::IniFormat);
        RecentFiles(paths({"golf.zef", "passat.zef"})).Save(settings);
    }
    QSettings settings(ini, QSettings::IniFormat);
    EXPECT_EQ(settings.value("recentFiles").toStringList(), paths({"golf.zef", "passat.zef"}));
    EXPECT_EQ(RecentFiles::Load(settings).Files(), paths({"golf.zef", "passat.zef"}));
    // A list edited by hand to more than the limit is cut, not trusted.
    settings.setValue("recentFiles", paths({"1", "2", "3", "4", "5", "6", "7", "8", "9", ""}));
    EXPECT_EQ(RecentFiles::Load(settings).Files().size(), RecentFiles::kMax);
    EXPECT_EQ(RecentFiles::Load(settings).Files().first(), "/cars/1");
    RecentFiles().Save(settings);
    EXPECT_FALSE(settings.contains("recentFiles"));
}

TEST(RecentFiles, menu_text_is_numbered_and_shows_an_ampersand_as_itself) {
    struct Case {
        int index;
        QString path, text;
    };
    const Case cases[] = {
        {0, "/cars/golf.zef", "&1 golf.zef  (/cars)"},
        {7, "/home/fitter/B&B/x.zef", "&8 x.zef  (/home/fitter/B&&B)"},
        {2, "/a&b.zef", "&3 a&&b.zef  (/)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RecentFiles::MenuText(c.index, c.path), c.text);
}

} // namespace
