#pragma once

#include "app/Application.h"
#include "support/GuiApplication.h"
#include "support/TempDir.h"
#include "ui/Prompts.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QFont>
#include <QList>
#include <QStringList>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestrelon::test {

// Answers the window's dialogs in place of a user and remembers what was asked.
class FakePrompts : public Prompts {
public:
    bool openDocument(const QString& path) override
    {
        documentsOpened << path;
        return openAnswer;
    }
    void message(QWidget*, const QString& text) override { messages << text; }
    bool confirm(QWidget*, const QString& text, const QPoint& topLeft) override
    {
        questions << text;
        questionAt = topLeft;
        return confirmAnswer;
    }
    bool cancelOrIgnore(QWidget*, const QString& text) override
    {
        warnings << text;
        return ignoreAnswer;
    }
    QString inputText(QWidget*, const QString& title, const QString& prompt, const QString& initial) override
    {
        inputTitles << title;
        inputPrompts << prompt;
        inputInitials << initial;
        return inputCancelled ? initial : inputAnswer;
    }
    QString openFile(QWidget*, const QString& folder, const QString& filter, const QString& suffix) override
    {
        fileDialogs << folder + "|" + filter + "|" + suffix;
        return fileAnswer;
    }
    QString saveFile(QWidget*, const QString& folder, const QString& filter, const QString& suffix) override
    {
        fileDialogs << folder + "|" + filter + "|" + suffix;
        return fileAnswer;
    }
    bool chooseFont(QWidget*, QFont& font) override
    {
        fontsOffered << font;
        if (fontAnswer) {
            font = *fontAnswer;
        }
        return fontAnswer.has_value();
    }
    // Takes the next of colourAnswers; none left, or an invalid colour, is Cancel.
    bool chooseColour(QWidget*, const QString& title, QColor& colour) override
    {
        colourTitles << title;
        coloursOffered << colour;
        const QColor answer = colourAnswers.isEmpty() ? QColor() : colourAnswers.takeFirst();
        if (answer.isValid()) {
            colour = answer;
        }
        return answer.isValid();
    }

    QStringList documentsOpened;
    bool openAnswer = false; // no viewer could be started
    QStringList messages;
    QStringList questions;
    QPoint questionAt;
    bool confirmAnswer = false;
    QStringList warnings; // Cancel/Ignore questions
    bool ignoreAnswer = false;
    QStringList inputTitles;
    QStringList inputPrompts;
    QStringList inputInitials;
    QString inputAnswer;
    bool inputCancelled = false; // Cancel gives the initial text back
    QStringList fileDialogs;
    QString fileAnswer;
    QList<QFont> fontsOffered;
    std::optional<QFont> fontAnswer; // none: Cancel
    QStringList colourTitles;
    QList<QColor> coloursOffered;
    QList<QColor> colourAnswers;
};

// An Application on a settings file in a temporary folder: a server on an ephemeral loopback
// port, the web root "www" beside the settings file with its index.html, reverse lookup off.
class UiTest : public ::testing::Test {
protected:
    // extra: more [WebServe] lines, or whole sections after them.
    std::string writeSettings(const std::string& extra = {});
    // Creates the Application on the settings file; args are added to the command line.
    std::unique_ptr<Application> makeApp(std::vector<std::string> args = {}, bool create = true);
    std::string settingsFile() const { return dir.path() + "/kestrelon.ini"; }
    std::string webRoot() const { return dir.path() + "/www"; }

    TempDir dir;
};

void processEvents();

} // namespace kestrelon::test
