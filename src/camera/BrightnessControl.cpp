#include "camera/BrightnessControl.h"

#include "core/IntText.h"
#include "core/SettingsModel.h"
#include "portio/PortOutputDevice.h"

#include <string>

namespace kestrelon {

namespace {

int number(const std::string& text)
{
    return parseInt32(text, false).value_or(0);
}

} // namespace

BrightnessControl::BrightnessControl(SettingsModel& settings, PortOutputDevice& port, QObject* parent)
    : QObject(parent), m_settings(settings), m_port(port)
{
}

bool BrightnessControl::brightnessActions(int figure)
{
    const auto s = m_settings.snapshot();
    const CameraSettings& cam = s->Camera;
    const int threshold = number(cam.Threshold);
    const std::string* value = nullptr;
    if (s->WebServe.IO) {
        if (figure > threshold && cam.cbAbove) {
            value = &cam.Above;
        } else if (figure < threshold && cam.cbBelow) {
            value = &cam.Below;
        }
    }
    if (value) {
        // Like every other writer of the port, no failure is reported: the port is best effort.
        std::string error;
        const int v = number(*value);
        if (v < 0) {
            m_port.WriteSetBits(v, error);
        } else {
            m_port.Write(v, error);
        }
    }
    const int capThreshold = number(cam.CapThreshold);
    return (figure < capThreshold && cam.cbStopCapture) || (figure > capThreshold && cam.cbStopCapAbove);
}

void BrightnessControl::cbStopCaptureClick()
{
    if (m_settings.snapshot()->Camera.cbStopCapture && m_settings.snapshot()->Camera.cbStopCapAbove) {
        m_settings.update([](Settings& s) { s.Camera.cbStopCapAbove = false; });
    }
}

void BrightnessControl::cbStopCapAboveClick()
{
    if (m_settings.snapshot()->Camera.cbStopCapAbove && m_settings.snapshot()->Camera.cbStopCapture) {
        m_settings.update([](Settings& s) { s.Camera.cbStopCapture = false; });
    }
}

bool BrightnessControl::portValuesEnabled() const
{
    return m_settings.snapshot()->WebServe.IO;
}

} // namespace kestrelon
