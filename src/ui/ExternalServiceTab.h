#pragma once

#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;

namespace kestrelon {

class Application;
class IpRefresh;
class SettingsBinder;

// IP-Refresh's "External Service" page: the echo service to ask, "Test" with its 10-minute
// hold-off per service, and the result of the test. Main thread.
class ExternalServiceTab : public QWidget {
    Q_OBJECT
public:
    explicit ExternalServiceTab(Application& app, QWidget* parent = nullptr);

    QComboBox* cboxDNS;
    QPushButton* Button12; // "Test"
    QLabel* Panel58;       // the test's result

public Q_SLOTS:
    void Button12Click();
    // "Test" is enabled only while the echo-service mode is chosen.
    void rbExternalClick();

private:
    IpRefresh& m_refresh;
    Application& m_app;
    SettingsBinder* m_binder;
};

} // namespace kestrelon
