#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;

namespace kestrelon {

class Application;
class HitCounter;
class Prompts;
class SettingsBinder;

// The "Extras" page of the Web Server section: both hit counters, each with its preview on the
// desktop colour, its image tag, "+" and "-", the font and background colour, "Copy to
// clipboard" and "Don't count own IP"; below them "Desktop" and "Show count on side panel".
// The buttons call the counters; the widgets follow the counters' changed() (queued, as hits
// change the counters on server threads) and the settings model. Main thread.
class CounterTab : public QWidget {
    Q_OBJECT
public:
    CounterTab(Application& app, Prompts& prompts, QWidget* parent = nullptr);

    // Counter 1 ("hitcounter.bmp").
    QScrollArea* Panel42; // the preview's panel, in the desktop colour
    QLabel* Image4;
    QPlainTextEdit* Memo1; // the image tag
    QPushButton* btnInc;
    QPushButton* btnDec;
    QPushButton* btnTextColour; // "Font"
    QPushButton* btnCounterColour;
    QPushButton* btnCopy;
    QCheckBox* cbDontCountOwn;
    // Counter 2 ("hitcounter2.bmp").
    QScrollArea* Panel50;
    QLabel* Image5;
    QPlainTextEdit* Memo2;
    QPushButton* btnInc2;
    QPushButton* SpeedButton3; // "-"
    QPushButton* Button7;      // "Font"
    QPushButton* Button5;      // "Back Colour"
    QPushButton* Button6;      // "Copy to clipboard"
    QCheckBox* cbDontCountOwn2;
    // Both.
    QPushButton* btnDesktop;
    QCheckBox* cbShowCount;

public Q_SLOTS:
    void btnIncClick();
    void btnDecClick();
    void btnInc2Click();
    void SpeedButton3Click();
    void btnTextColourClick();
    void Button7Click();
    void btnCounterColourClick();
    void Button5Click();
    void btnCopyClick();
    void Button6Click();
    void btnDesktopClick();
    // Both images redrawn from their count files, and the widgets brought up to date.
    void tsExtrasShow();

protected:
    // The page being shown redraws both counters, so an edited count file or a changed web
    // root shows up here.
    void showEvent(QShowEvent* event) override;

private:
    // What one counter's part of the page is made of.
    struct CounterView {
        HitCounter* counter;
        QScrollArea* panel;
        QLabel* image;
        QPlainTextEdit* tag;
    };

    QWidget* makeCounterBox(int counter);
    // "+" or "-": a count file that cannot be changed is reported in a message box.
    void incDec(const CounterView& view, const char* direction);
    // "Font": the font, then the text colour.
    void chooseFont(int counter);
    // "Back Colour".
    void chooseBackColour(int counter);
    void copyTag(const CounterView& view);
    void showCounter(const CounterView& view);
    void settingsChanged();

    Application& m_app;
    Prompts& m_prompts;
    SettingsBinder* m_binder;
    CounterView m_views[2];
};

} // namespace kestrelon
