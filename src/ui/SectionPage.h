#pragma once

#include <QWidget>

class QHBoxLayout;
class QVBoxLayout;

namespace kestrelon {

// A page of the main window: its section's name as a heading, the page's content below.
class SectionPage : public QWidget {
    Q_OBJECT
public:
    SectionPage(const QString& title, const QString& name, QWidget* parent = nullptr);

    QString title() const { return m_title; }
    // Where the page puts its content.
    QVBoxLayout* body() const { return m_body; }
    // Puts a widget into the title bar, after the heading (a state such as "(FTP Active)").
    void addToTitle(QWidget* widget);

private:
    QString m_title;
    QHBoxLayout* m_titleBar;
    QVBoxLayout* m_body;
};

} // namespace kestrelon
