#pragma once

#include "camera/Image.h"
#include "core/DateTimePattern.h"
#include "core/Settings.h"

#include <QColor>
#include <QFont>
#include <QPoint>
#include <QSize>
#include <QString>

#include <string>
#include <vector>

// The two captions stamped into each snapshot (the date/time and the free text) and the style
// they share. Any thread, once a QGuiApplication exists (fonts need it).

namespace kestrelon {

// Font, text colour, background colour and transparency of both captions ([Archiver]).
struct OverlayStyle {
    QFont font;
    QColor colour;
    QColor background;
    bool transparent = false;

    static OverlayStyle fromSettings(const ArchiverSettings& archiver);
};

// The date/time caption's text: the time formatted with the pattern; an empty pattern gives the
// locale's short date and long time (the "c" token).
std::string overlayDateText(const std::string& pattern, const DateTimeParts& time);

// A caption's size: its text's advance and one line of the font, as the caption on the window
// shows it.
QSize captionSize(const QString& text, const QFont& font);

// One caption to stamp: its text and its top-left corner in the 352 x 288 display area.
struct Caption {
    QString text;
    QPoint position;
};

// Draws the captions into the image, each with its top-left corner at its display position
// minus the picture's offset in the display area (imageLeft, imageTop), clipped to the picture.
// An opaque style first fills the text's cell with the background colour.
void drawOverlays(Image& image, const OverlayStyle& style, const std::vector<Caption>& captions,
                  QPoint imageOffset);

} // namespace kestrelon
