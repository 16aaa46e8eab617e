#pragma once

#include "dialogs/prompts.h"

#include <QStringList>

#include <deque>

namespace zef::test {

// Answers the program's questions from a script and records what it said.
class ScriptedPrompts final : public Prompts {
public:
    void Message(const QString& text, Kind) override { messages << text; }
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
    std::optional<QString> SaveFileName(const QString& filter) override {
        filters << filter;
        return next();
    }

    QStringList messages;
    QStringList questions;
    QStringList filters;
    std::deque<bool> answers;
    std::deque<std::optional<QString>> files;

private:
    std::optional<QString> next() {
        if (files.empty())
            return std::nullopt;
        auto f = files.front();
        files.pop_front();
        return f;
    }
};

} // namespace zef::test
