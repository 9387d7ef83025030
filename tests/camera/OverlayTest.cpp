#include "camera/Overlay.h"
#include "camera/CameraTestSupport.h"
#include "support/GuiApplication.h"

#include <QFontMetrics>

#include <gtest/gtest.h>

using namespace kestrelon;
using namespace kestrelon::test;

namespace {

// The smallest rectangle holding every pixel that is not black, and the pixels of one colour.
QRect marked(const Image& image)
{
    QRect box;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const uint8_t* p = image.pixel(x, y);
            box |= p[0] || p[1] || p[2] ? QRect(x, y, 1, 1) : QRect();
        }
    }
    return box;
}

int count(const Image& image, uint32_t bgr)
{
    int n = 0;
    for (size_t i = 0; i < image.bgr.size(); i += 3) {
        n += uint32_t(image.bgr[i] | image.bgr[i + 1] << 8 | image.bgr[i + 2] << 16) == bgr;
    }
    return n;
}

class OverlayDragTest : public ::testing::Test, public PassFixture {
protected:
    OverlayDragTest()
    {
        camera.frames.set(noiseImage(352, 264, 9));
        pass.btnSnapNowClick(); // a picture, so presses start drags
        scene = pass.overlayScene();
        passes = camera.frames.grabs;
    }
    OverlayDrag& drag() { return pass.overlayDrag(); }
    QPoint date() const { return {settings.snapshot()->Camera.X, settings.snapshot()->Camera.Y}; }
    QPoint text() const { return {settings.snapshot()->Camera.Xt, settings.snapshot()->Camera.Yt}; }
    // A point inside a caption at display position `at`, in picture coordinates.
    QPoint inside(QPoint at) const { return at - QPoint(0, camera.size.imageTop) + QPoint(2, 3); }
    int passesSince() const { return camera.frames.grabs - passes; }

    OverlayScene scene;
    int passes = 0;
};

} // namespace

TEST(Overlay, CaptionsSitAtTheirDisplayPositionMinusTheOffset)
{
    ensureGuiApplication();
    ArchiverSettings archiver;
    archiver.Colour1 = 0xFFFFFF; // white on red
    archiver.BackCol = 0x0000FF;
    const OverlayStyle opaque = OverlayStyle::fromSettings(archiver);
    const QString text = "WebCam 12:00";
    const QSize cell = captionSize(text, opaque.font);
    ASSERT_EQ(cell.height(), QFontMetrics(opaque.font).height());

    // 320 x 240 lies at (16, 24) in the display area: (20, 230) is image point (4, 206).
    Image image(320, 240);
    drawOverlays(image, opaque, {{text, QPoint(20, 230)}, {"", QPoint(50, 50)}}, QPoint(16, 24));
    EXPECT_EQ(marked(image), QRect(QPoint(4, 206), cell));
    EXPECT_EQ(image.pixel(4, 206)[2], 255); // the cell's corner is background
    EXPECT_GT(count(image, 0xFF0000), cell.width() * cell.height() / 2);
    // Transparent: glyphs only, the picture shows between them.
    archiver.Transp = true;
    Image clear(320, 240);
    drawOverlays(clear, OverlayStyle::fromSettings(archiver), {{text, QPoint(20, 230)}}, QPoint(16, 24));
    EXPECT_EQ(count(clear, 0xFF0000), 0);
    EXPECT_GT(count(clear, 0xFFFFFF), 10);
    EXPECT_TRUE(QRect(QPoint(4, 206), cell).contains(marked(clear)));
}

TEST(Overlay, DateTextFollowsThePatternAndAnEmptyOneGivesDateAndTime)
{
    const DateTimeParts t = DateTimeParts::fromFields(2005, 2, 12, 16, 45, 23);
    EXPECT_EQ(overlayDateText("  hh:nn:ss   dd mmm yyyy", t), "  16:45:23   12 Feb 2005");
    EXPECT_EQ(overlayDateText("", t), "12/02/2005 16:45:23");
    EXPECT_EQ(overlayDateText("", DateTimeParts::fromFields(2005, 2, 12)), "12/02/2005");
}

TEST_F(OverlayDragTest, ADragHoldsThePassAndItsReleaseTakesOne)
{
    std::vector<bool> confined;
    std::vector<int> marker;
    QObject::connect(&drag(), &OverlayDrag::pointerConfined, [&](bool on) { confined.push_back(on); });
    QObject::connect(&drag(), &OverlayDrag::markerShown, [&](int row) { marker.push_back(row); });
    const QPoint start = text();
    drag().Image2MouseDown(inside(start), Qt::ControlModifier);
    EXPECT_TRUE(drag().dragText());
    EXPECT_TRUE(marker.empty()); // Ctrl on the text caption sets no row
    drag().Image2MouseMove(inside(start) + QPoint(-30, -100), Qt::LeftButton, {});
    drag().Image2MouseMove(inside(start), Qt::NoButton, {}); // no button: the caption stays
    EXPECT_EQ(text(), start + QPoint(-30, -100));
    EXPECT_EQ(pass.btnSnapNowClick(), PassOutcome::Held);
    drag().Image2MouseUp({});
    EXPECT_FALSE(drag().dragging());
    EXPECT_EQ(passesSince(), 1);
    EXPECT_EQ(confined, (std::vector{true, false}));

    // Ctrl on the date/time caption drags it and sets the measurement row; Alt shows the row.
    drag().Image2MouseDown(inside(date()), Qt::ControlModifier);
    EXPECT_TRUE(drag().dragDate());
    EXPECT_EQ(settings.snapshot()->Camera.DarkLine, inside(date()).y());
    drag().Image2MouseUp({});
    drag().Image2MouseDown(QPoint(300, 40), Qt::AltModifier);
    EXPECT_EQ(marker, std::vector(2, inside(date()).y()));
    // The caption's very edge is outside it, and an empty picture starts no drag.
    drag().Image2MouseDown(date() - QPoint(0, camera.size.imageTop), {});
    EXPECT_FALSE(drag().dragging());
    PassFixture empty;
    empty.pass.overlayDrag().Image2MouseDown(inside(QPoint(180, 258)), {});
    EXPECT_FALSE(empty.pass.overlayDrag().dragging());
}

TEST_F(OverlayDragTest, CaptionsGoBackToTheBottom)
{
    const int dateBottom = camera.size.videoHeight - scene.dateCaption.height();
    const int textBottom = camera.size.videoHeight - scene.textCaption.height();
    // Double click: date/time at left 4, text at left 180 whatever the date/time width.
    setCamera([](CameraSettings& c) {
        c.X = 50;
        c.Xt = 60;
        c.Y = c.Yt = 20;
    });
    drag().Image2DblClick();
    EXPECT_EQ(date(), QPoint(4, dateBottom));
    EXPECT_EQ(text(), QPoint(180, textBottom));
    EXPECT_EQ(passesSince(), 1);
    // Shift at the release: the text goes beside the date/time.
    drag().Image2MouseUp(Qt::ShiftModifier);
    EXPECT_EQ(text(), QPoint(scene.dateCaption.width() + 10, textBottom));

    // During capture a caption outside the picture goes back when the pointer moves; up to 10
    // pixels below its place at the bottom still counts as inside.
    setCamera([&](CameraSettings& c) {
        c.Xt = 400;
        c.X = 100;
        c.Y = dateBottom + 10;
    });
    drag().Image2MouseMove(QPoint(5, 5), Qt::NoButton, {});
    EXPECT_EQ(text().x(), 400); // not while capture is off
    camera.capture = true;
    drag().Panel19MouseMove();
    EXPECT_EQ(text(), QPoint(scene.dateCaption.width() + 10, textBottom));
    EXPECT_EQ(date(), QPoint(100, dateBottom + 10));
    setCamera([&](CameraSettings& c) { c.Y = dateBottom + 11; });
    drag().Image2MouseMove(QPoint(5, 5), Qt::NoButton, {});
    EXPECT_EQ(date(), QPoint(4, dateBottom));
}
