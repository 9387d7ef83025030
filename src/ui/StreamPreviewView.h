#pragma once

#include <QWidget>

namespace kestrelon {

class CapturePreview;

// The Video page's preview window: the previewed source's latest frame scaled into the area,
// its shape kept; a dark area while no preview runs. Main thread.
class StreamPreviewView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 320;
    static constexpr int kHeight = 240;

    explicit StreamPreviewView(CapturePreview& preview, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    CapturePreview& m_preview;
};

} // namespace kestrelon
