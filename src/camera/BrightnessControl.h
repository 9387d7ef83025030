#pragma once

#include <QObject>
#include <QString>

namespace kestrelon {

class PortOutputDevice;
class SettingsModel;

// The light-level control of the "Control" page: every snapshot pass that reaches its
// brightness step hands the "Brightness now:" figure here. Above or below the port threshold
// ([Camera] Threshold) the configured value goes to the parallel port, when "Enable I/O control"
// is on; below or above the capture threshold ([Camera] CapThreshold) the pass is paused. All
// numbers are typed texts, read as decimal integers, 0 when they are not one.
//
// Threads: main thread (the snapshot pass). The port device serialises its writes with those
// of the web server's threads.
class BrightnessControl : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kPortNote =
        "Port I/O Control in the Web Server needs to be set to enable this feature.";

    BrightnessControl(SettingsModel& settings, PortOutputDevice& port, QObject* parent = nullptr);

    // The threshold actions, in order: the port writes (B = T writes nothing; a negative value
    // sets its bits in the last value written), then the pause tests. True when a pause test
    // holds: the pass ends there and writes no file.
    bool brightnessActions(int figure);

    // "Pause capture below threshold" and "... above threshold": checking either unchecks the
    // other. Call after the box has written its new state to the settings.
    void cbStopCaptureClick();
    void cbStopCapAboveClick();

    // TabSheet24Show: the group "Port values " is usable exactly while I/O control is on; the
    // note shows exactly while it is off.
    bool portValuesEnabled() const;

private:
    SettingsModel& m_settings;
    PortOutputDevice& m_port;
};

} // namespace kestrelon
