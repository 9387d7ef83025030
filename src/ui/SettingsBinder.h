#pragma once

#include "core/SettingsModel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QObject>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QTime>
#include <QTimeEdit>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kestrelon {

// Binds widgets to settings fields both ways: a change in a widget is written to the model at
// once, and load() brings every bound widget up to the model's current values. A widget that
// already shows the right value is left alone, so a box being typed into keeps its cursor.
// Main thread.
class SettingsBinder : public QObject {
    Q_OBJECT
public:
    explicit SettingsBinder(SettingsModel& model, QObject* parent = nullptr);

    template <class Section> void bind(QCheckBox* box, Section Settings::*section, bool Section::*field);
    template <class Section>
    void bind(QLineEdit* edit, Section Settings::*section, std::string Section::*field);
    // An editable combo box: its text, typed or picked from the list.
    template <class Section>
    void bind(QComboBox* combo, Section Settings::*section, std::string Section::*field);
    // A time-of-day picker and a field of seconds after midnight.
    template <class Section> void bind(QTimeEdit* edit, Section Settings::*section, int32_t Section::*field);
    // A label that shows a text field; a label is not edited, so this one runs one way.
    template <class Section>
    void bind(QLabel* label, Section Settings::*section, std::string Section::*field);

    // A track bar or a number box and a whole-number field; a stored value outside the range
    // shows at the nearest end and is written back only when the user moves it.
    template <class Section> void bind(QSlider* slider, Section Settings::*section, int32_t Section::*field);
    template <class Section> void bind(QSpinBox* box, Section Settings::*section, int32_t Section::*field);
    // A radio button of an exclusive group and its own truth field; checking another button of
    // the group clears it.
    template <class Section>
    void bind(QRadioButton* button, Section Settings::*section, bool Section::*field);
    // Two radio buttons and one truth field: `on` is checked while it is true, `off` while false.
    template <class Section>
    void bind(QRadioButton* on, QRadioButton* off, Section Settings::*section, bool Section::*field);

    void load();

private:
    template <class Widget, class Section>
    void bindNumber(Widget* widget, Section Settings::*section, int32_t Section::*field);
    template <class Section> void write(Section Settings::*section, bool Section::*field, bool value);
    void add(std::function<void(const Settings&)> loader);

    SettingsModel& m_model;
    std::vector<std::function<void(const Settings&)>> m_loaders;
};

template <class Section>
void SettingsBinder::bind(QCheckBox* box, Section Settings::*section, bool Section::*field)
{
    add([box, section, field](const Settings& s) {
        const bool value = (s.*section).*field;
        if (box->isChecked() != value) {
            QSignalBlocker block(box);
            box->setChecked(value);
        }
    });
    connect(box, &QCheckBox::toggled, this, [this, section, field](bool on) {
        m_model.update([&](Settings& s) { (s.*section).*field = on; });
    });
}

template <class Section>
void SettingsBinder::bind(QLineEdit* edit, Section Settings::*section, std::string Section::*field)
{
    add([edit, section, field](const Settings& s) {
        const QString value = QString::fromStdString((s.*section).*field);
        if (edit->text() != value) {
            QSignalBlocker block(edit);
            edit->setText(value);
        }
    });
    connect(edit, &QLineEdit::textChanged, this, [this, section, field](const QString& text) {
        m_model.update([&](Settings& s) { (s.*section).*field = text.toStdString(); });
    });
}

template <class Section>
void SettingsBinder::bind(QComboBox* combo, Section Settings::*section, std::string Section::*field)
{
    add([combo, section, field](const Settings& s) {
        const QString value = QString::fromStdString((s.*section).*field);
        if (combo->currentText() != value) {
            QSignalBlocker block(combo);
            combo->setEditText(value);
        }
    });
    // Picking an item sets the edit text too, so this one signal covers both ways.
    connect(combo, &QComboBox::editTextChanged, this, [this, section, field](const QString& text) {
        m_model.update([&](Settings& s) { (s.*section).*field = text.toStdString(); });
    });
}

template <class Section>
void SettingsBinder::bind(QTimeEdit* edit, Section Settings::*section, int32_t Section::*field)
{
    add([edit, section, field](const Settings& s) {
        const int32_t seconds = (s.*section).*field;
        const QTime value = seconds >= 0 && seconds < 24 * 3600
                                ? QTime::fromMSecsSinceStartOfDay(seconds * 1000)
                                : QTime(0, 0);
        if (edit->time() != value) {
            QSignalBlocker block(edit);
            edit->setTime(value);
        }
    });
    connect(edit, &QTimeEdit::timeChanged, this, [this, section, field](const QTime& time) {
        m_model.update([&](Settings& s) { (s.*section).*field = time.msecsSinceStartOfDay() / 1000; });
    });
}

template <class Section>
void SettingsBinder::bind(QLabel* label, Section Settings::*section, std::string Section::*field)
{
    add([label, section, field](const Settings& s) {
        const QString value = QString::fromStdString((s.*section).*field);
        if (label->text() != value) {
            label->setText(value);
        }
    });
}

template <class Widget, class Section>
void SettingsBinder::bindNumber(Widget* widget, Section Settings::*section, int32_t Section::*field)
{
    add([widget, section, field](const Settings& s) {
        const int32_t value = (s.*section).*field;
        if (widget->value() != value) {
            QSignalBlocker block(widget);
            widget->setValue(value);
        }
    });
    connect(widget, &Widget::valueChanged, this, [this, section, field](int value) {
        m_model.update([&](Settings& s) { (s.*section).*field = value; });
    });
}

template <class Section>
void SettingsBinder::bind(QSlider* slider, Section Settings::*section, int32_t Section::*field)
{
    bindNumber(slider, section, field);
}

template <class Section>
void SettingsBinder::bind(QSpinBox* box, Section Settings::*section, int32_t Section::*field)
{
    bindNumber(box, section, field);
}

template <class Section>
void SettingsBinder::write(Section Settings::*section, bool Section::*field, bool value)
{
    // Checking one button of a group unchecks another: two signals, and only real changes
    // reach the model.
    if ((m_model.snapshot().get()->*section).*field != value) {
        m_model.update([&](Settings& s) { (s.*section).*field = value; });
    }
}

template <class Section>
void SettingsBinder::bind(QRadioButton* button, Section Settings::*section, bool Section::*field)
{
    // Only a button that becomes checked is set here; the one that loses its check follows.
    add([button, section, field](const Settings& s) {
        if ((s.*section).*field && !button->isChecked()) {
            QSignalBlocker block(button);
            button->setChecked(true);
        }
    });
    connect(button, &QRadioButton::toggled, this,
            [this, section, field](bool on) { write(section, field, on); });
}

template <class Section>
void SettingsBinder::bind(QRadioButton* on, QRadioButton* off, Section Settings::*section,
                          bool Section::*field)
{
    add([on, off, section, field](const Settings& s) {
        QRadioButton* checked = (s.*section).*field ? on : off;
        if (!checked->isChecked()) {
            QSignalBlocker blockOn(on);
            QSignalBlocker blockOff(off);
            checked->setChecked(true);
        }
    });
    connect(on, &QRadioButton::toggled, this,
            [this, section, field](bool value) { write(section, field, value); });
}

} // namespace kestrelon
