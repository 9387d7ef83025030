#pragma once

#include <QWidget>

class QMenu;
class QAction;

namespace kestrelon {

class CameraPreview;
struct VideoSize;

// The display area of the preview and the snapshot window: 352 x 288, or larger for a picture
// that does not fit (640 x 480).
QSize displayAreaSize(const VideoSize& size);

// The preview window: the previewed device's latest frame drawn into the display area, at the
// chosen size and offsets (a size larger than 352 x 288 makes the area that large), or, as the
// full-screen view, scaled to the whole screen. Its popup menu (PopupMenu3) holds "Full Screen" /
// "Normal Screen", usable only at 640 x 480; Escape leaves full screen too. Main thread.
class PreviewView : public QWidget {
    Q_OBJECT
public:
    PreviewView(CameraPreview& preview, bool fullScreenView, QWidget* parent = nullptr);

    QMenu* PopupMenu3;
    QAction* popScreen;

public Q_SLOTS:
    // PopupMenu3Popup: the item's state and caption as the menu opens.
    void PopupMenu3Popup();
    void popScreenClick();

protected:
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void fitDisplayArea();

    CameraPreview& m_preview;
    bool m_fullScreenView;
};

} // namespace kestrelon
