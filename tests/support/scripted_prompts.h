#pragma once

#include "dialogs/prompts.h"

#include <QList>
#include <QStringList>

#include <deque>

namespace zef::test {

// Answers the program's questions from a script and records what it said.
class ScriptedPrompts final : public Prompts {
public:
    void Message(const QString& text, Kind kind) override {
        messages << text;
        kinds << kind;
    }
    bool AskYesNo(const QString& text, Kind) override {
        questions << text;
        if (answers.empty())
            return false;
        const bool a = answers.front();
        answers.pop_front();
        return a;
    }
    std::optional<QString> OpenFileName(const QString& filter) override {
        filters << filter;
        return next();
    }
    std::optional<QString> OpenFileNameFor(const QString& title, const QString& filter) override {
        titles << title;
        return OpenFileName(filter);
    }
    std::optional<QString> SaveFileName(const QString& filter) override {
        filters << filter;
        return next();
    }
    std::optional<QString> SaveFileNameAs(const QString& filter, const QString& proposed) override {
        proposals << proposed;
        return SaveFileName(filter);
    }

    QStringList messages;
    QList<Kind> kinds; // of the messages, in turn
    QStringList questions;
    QStringList filters;
    QStringList titles;    // of the open dialogs that say what they are for
    QStringList proposals; // the names proposed to the save dialogs that propose one
    std::deque<bool> answers;
    QStringList files; // the dialogs' answers in turn; an empty one is a cancel

private:
    std::optional<QString> next() {
        const QString f = files.isEmpty() ? QString() : files.takeFirst();
        if (f.isEmpty())
            return std::nullopt;
        return f;
    }
};

} // namespace zef::test
