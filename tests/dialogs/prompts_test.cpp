#include "dialogs/prompts.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTextDocument>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

using namespace zef;

namespace {

// The rule by which a label renders its text as markup.
bool takenForMarkup(const QLabel& label) {
    return label.textFormat() == Qt::RichText ||
           (label.textFormat() == Qt::AutoText && Qt::mightBeRichText(label.text()));
}

// Runs `look` on the message box once it is up, then answers it.
void whenTheBoxShows(std::function<void(QMessageBox&)> look) {
    QTimer::singleShot(0, [look = std::move(look)] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        look(*box);
        box->done(QMessageBox::No);
    });
}

// Messages quote file names and the serial number read from the controller or the production
// log; whatever they hold is shown as written, never taken for markup.
TEST(QtPrompts, messages_show_quoted_names_as_written) {
    const QString texts[] = {
        "Не удалось записать файл «<b>golf</b>.zef».",
        "Номер «<i>ZEF</i>-K7LX SN 05.02 00114» внесён в журнал.",
        "<img src=\"x\">",
    };
    QtPrompts prompts;
    const std::pair<const char*, std::function<void(const QString&)>> ways[] = {
        {"a message", [&](const QString& t) { prompts.Message(t, Prompts::Kind::Error); }},
        {"a question",
         [&](const QString& t) { (void)prompts.AskYesNo(t, Prompts::Kind::Warning); }},
    };
    for (const auto& [how, ask] : ways) {
        for (const QString& text : texts) {
            SCOPED_TRACE(std::string(how) + ": " + text.toStdString());
            bool seen = false;
            whenTheBoxShows([&](QMessageBox& box) {
                for (const QLabel* label : box.findChildren<QLabel*>()) {
                    if (label->text() != text)
                        continue;
                    seen = true;
                    EXPECT_FALSE(takenForMarkup(*label));
                }
            });
            ask(text);
            EXPECT_TRUE(seen);
        }
    }
}

} // namespace
