#include "camera/Overlay.h"
#include "camera/CameraTestSupport.h"
#include "support/GuiApplication.h"

#include <QFontMetrics>

#include <gtest/gtest.h>

using namespace kestrelon;
using namespace kestrelon::test;

namespace {

// The smallest rectangle holding every pixel that is not black.
QRect marked(const Image& image)
{
    QRect box;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const uint8_t* p = image.pixel(x, y);
            if (p[0] || p[1] || p[2]) {
                box |= QRect(x, y, 1, 1);
            }
        }
    }
    return box;
}

int count(const Image& image, uint8_t b, uint8_t g, uint8_t r)
{
    int n = 0;
    for (size_t i = 0; i < image.bgr.size(); i += 3) {
        n += image.bgr[i] == b && image.bgr[i + 1] == g && image.bgr[i + 2] == r;
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
    QPoint inside(QPoint at) const
    {
        return at - QPoint(camera.size.imageLeft, camera.size.imageTop) + QPoint(2, 3);
    }
    int grabsSince() const { return camera.frames.grabs - passes; }

    OverlayScene scene;
    int passes = 0;
};

} // namespace

TEST(Overlay, CaptionsSitAtTheirDisplayPositionMinusTheOffset)
{
    ensureGuiApplication();
    ArchiverSettings archiver;
    archiver.Colour1 = 0xFFFFFF; // white text
    archiver.BackCol = 0x0000FF; // on red
    const OverlayStyle opaque = OverlayStyle::fromSettings(archiver);
    const QString text = "WebCam 12:00";
    const QSize cell = captionSize(text, opaque.font);
    ASSERT_GT(cell.width(), 20);
    ASSERT_EQ(cell.height(), QFontMetrics(opaque.font).height());

    // 320 x 240 lies at (16, 24) in the display area: (20, 230) is image point (4, 206).
    Image image(320, 240);
    drawOverlays(image, opaque, {{text, QPoint(20, 230)}}, QPoint(16, 24));
    EXPECT_EQ(marked(image).topLeft(), QPoint(4, 206));
    EXPECT_EQ(marked(image).width(), cell.width());
    EXPECT_EQ(image.pixel(4, 206)[2], 255); // the cell's corner is background
    const int background = count(image, 0, 0, 255);
    EXPECT_GT(background, cell.width() * cell.height() / 2);

    // Transparent: glyphs only, the picture shows between them.
    archiver.Transp = true;
    Image clear(320, 240);
    drawOverlays(clear, OverlayStyle::fromSettings(archiver), {{text, QPoint(20, 230)}}, QPoint(16, 24));
    EXPECT_EQ(count(clear, 0, 0, 255), 0);
    EXPECT_GT(count(clear, 255, 255, 255), 10);
    EXPECT_TRUE(QRect(QPoint(4, 206), cell).contains(marked(clear)));
    EXPECT_EQ(clear.pixel(4, 206)[2], 0);
    // A caption beyond the picture is clipped, and an empty one draws nothing.
    Image edge(320, 240);
    drawOverlays(edge, opaque, {{text, QPoint(320, 250)}, {"", QPoint(20, 30)}}, QPoint(16, 24));
    EXPECT_EQ(marked(edge).topLeft(), QPoint(304, 226));
    EXPECT_EQ(marked(edge).bottomRight(), QPoint(319, 239));
}

TEST(Overlay, DateTextFollowsThePatternAndAnEmptyOneGivesDateAndTime)
{
    const DateTimeParts t = DateTimeParts::fromFields(2005, 2, 12, 16, 45, 23);
    EXPECT_EQ(overlayDateText("  hh:nn:ss   dd mmm yyyy", t), "  16:45:23   12 Feb 2005");
    EXPECT_EQ(overlayDateText("", t), "12/02/2005 16:45:23");
    EXPECT_EQ(overlayDateText("", DateTimeParts::fromFields(2005, 2, 12)), "12/02/2005");
}

TEST_F(OverlayDragTest, DraggingACaptionHoldsThePassAndItsReleaseTakesOne)
{
    std::vector<OverlayCaption> raised;
    std::vector<bool> confined;
    QObject::connect(&drag(), &OverlayDrag::captionRaised, [&](OverlayCaption c) { raised.push_back(c); });
    QObject::connect(&drag(), &OverlayDrag::pointerConfined, [&](bool on) { confined.push_back(on); });
    const QPoint start = text();
    const QPoint press = inside(start);
    drag().Image2MouseDown(press, Qt::ControlModifier);
    EXPECT_TRUE(drag().dragText());
    EXPECT_FALSE(drag().dragDate());
    EXPECT_EQ(raised, std::vector{OverlayCaption::Text});
    EXPECT_EQ(settings.snapshot()->Camera.DarkLine, 120); // Ctrl on the text caption sets nothing
    drag().Image2MouseMove(press + QPoint(-30, -100), Qt::LeftButton, {});
    EXPECT_EQ(text(), start + QPoint(-30, -100));
    EXPECT_EQ(confined, std::vector{true});
    // Without the left button the caption stays.
    drag().Image2MouseMove(press, Qt::NoButton, {});
    EXPECT_EQ(text(), start + QPoint(-30, -100));
    EXPECT_EQ(pass.btnSnapNowClick(), PassOutcome::Held);
    EXPECT_EQ(grabsSince(), 0);

    drag().Image2MouseUp({});
    EXPECT_FALSE(drag().dragging());
    EXPECT_EQ(grabsSince(), 1);
    EXPECT_EQ(confined, (std::vector{true, false}));
    EXPECT_EQ(text(), start + QPoint(-30, -100));

    // Ctrl on the date caption drags it and sets the measurement row; Alt shows the row.
    std::vector<int> marker;
    QObject::connect(&drag(), &OverlayDrag::markerShown, [&](int row) { marker.push_back(row); });
    drag().Image2MouseDown(inside(date()), Qt::ControlModifier);
    EXPECT_TRUE(drag().dragDate());
    EXPECT_EQ(settings.snapshot()->Camera.DarkLine, inside(date()).y());
    drag().Image2MouseUp({});
    drag().Image2MouseDown(QPoint(300, 40), Qt::AltModifier);
    EXPECT_FALSE(drag().dragging());
    EXPECT_EQ(marker, std::vector(2, inside(date()).y()));
    // A press on the caption's very edge misses it.
    drag().Image2MouseDown(date() - QPoint(camera.size.imageLeft, camera.size.imageTop), {});
    EXPECT_FALSE(drag().dragging());
}

TEST_F(OverlayDragTest, CaptionsGoBackToTheBottom)
{
    const int bottomDate = camera.size.videoHeight - scene.dateCaption.height();
    const int bottomText = camera.size.videoHeight - scene.textCaption.height();
    // Double click: date/time at left 4, text at left 180 whatever the date/time width.
    setCamera([](CameraSettings& c) {
        c.X = 50;
        c.Xt = 60;
        c.Y = c.Yt = 20;
    });
    drag().Image2DblClick();
    EXPECT_EQ(date(), QPoint(4, bottomDate));
    EXPECT_EQ(text(), QPoint(180, bottomText));
    EXPECT_EQ(grabsSince(), 1);
    // Shift at the release: the text goes beside the date/time.
    setCamera([](CameraSettings& c) { c.Y = c.Yt = 20; });
    drag().Image2MouseUp(Qt::ShiftModifier);
    EXPECT_EQ(text(), QPoint(scene.dateCaption.width() + 10, bottomText));

    // During capture a caption outside the picture is put back when the pointer moves.
    setCamera([&](CameraSettings& c) {
        c.Xt = 400;
        c.X = 100;
        c.Y = bottomDate + 10; // up to 10 pixels below its bottom place is still inside
    });
    drag().Image2MouseMove(QPoint(5, 5), Qt::NoButton, {});
    EXPECT_EQ(text().x(), 400); // not while capture is off
    camera.capture = true;
    drag().Panel19MouseMove();
    EXPECT_EQ(text(), QPoint(scene.dateCaption.width() + 10, bottomText));
    EXPECT_EQ(date(), QPoint(100, bottomDate + 10));
    setCamera([&](CameraSettings& c) { c.Y = bottomDate + 11; });
    drag().Image2MouseMove(QPoint(5, 5), Qt::NoButton, {});
    EXPECT_EQ(date(), QPoint(4, bottomDate));

    // On an empty picture a press does not start a drag.
    PassFixture empty;
    empty.pass.overlayDrag().Image2MouseDown(inside(QPoint(180, 258)), {});
    EXPECT_FALSE(empty.pass.overlayDrag().dragging());
}
