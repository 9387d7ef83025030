#pragma once

#include <QPoint>
#include <QString>

class QColor;
class QFont;
class QWidget;

namespace kestrelon {

// The modal dialogs the window asks the user with, and the desktop's document viewer. The window
// and its pages go through this object so that tests can answer in place of a user. Main thread.
class Prompts {
public:
    virtual ~Prompts() = default;

    // Opens a document with the desktop's viewer for its type; false when none could be started.
    virtual bool openDocument(const QString& path);
    // A message box with an OK button, titled with the product name.
    virtual void message(QWidget* parent, const QString& text);
    // A Yes/No question with its top-left corner at topLeft; Escape answers No.
    virtual bool confirm(QWidget* parent, const QString& text, const QPoint& topLeft);
    // A warning with the buttons Cancel and Ignore, after a beep; true is Ignore. Escape is
    // Cancel.
    virtual bool cancelOrIgnore(QWidget* parent, const QString& text);
    // A one-line input box that starts with initial; a cancelled box gives initial back.
    virtual QString inputText(QWidget* parent, const QString& title, const QString& prompt,
                              const QString& initial = QString());
    // File dialogs; the empty text when cancelled. defaultSuffix is given without its dot.
    virtual QString openFile(QWidget* parent, const QString& folder, const QString& filter,
                             const QString& defaultSuffix);
    virtual QString saveFile(QWidget* parent, const QString& folder, const QString& filter,
                             const QString& defaultSuffix);
    // A font dialog that starts on font; OK puts the choice into font and answers true.
    virtual bool chooseFont(QWidget* parent, QFont& font);
    // A colour dialog titled title that starts on colour; OK puts the choice into colour and
    // answers true.
    virtual bool chooseColour(QWidget* parent, const QString& title, QColor& colour);
};

} // namespace kestrelon
