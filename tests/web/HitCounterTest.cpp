// The hit counters' files, images and repeat window, without the server.
#include "web/HitCounter.h"
#include "core/Colours.h"
#include "core/SettingsModel.h"
#include "support/GuiApplication.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include <QFontInfo>
#include <QImage>
#include <QRegularExpression>

using namespace kestrelon;
using namespace kestrelon::test;
using namespace std::chrono_literals;

namespace {

class HitCounterTest : public ::testing::Test {
protected:
    HitCounterTest() : model(makeSettings(root.path())) { ensureGuiApplication(); }

    static Settings makeSettings(const std::string& root)
    {
        Settings s = Settings::defaults(root);
        s.WebServe.Root = root;
        return s;
    }

    std::string count(int counter = 1) const
    {
        return readFile(root.path() + (counter == 2 ? "/hitcounter2.txt" : "/hitcounter.txt"));
    }
    QImage imageFile(int counter = 1) const
    {
        return QImage(
            QString::fromStdString(root.path() + (counter == 2 ? "/hitcounter2.bmp" : "/hitcounter.bmp")));
    }
    // The width and height numbers of an image tag.
    static QSize tagSize(const QString& tag)
    {
        auto m = QRegularExpression("width=(\\d+) height=(\\d+) alt=\"counter\">$").match(tag);
        return m.hasMatch() ? QSize(m.captured(1).toInt(), m.captured(2).toInt()) : QSize();
    }

    TempDir root;
    SettingsModel model;
    std::chrono::steady_clock::time_point now{std::chrono::hours(1)};
    HitCounters counters{model, [this] { return now; }};
};

} // namespace

TEST_F(HitCounterTest, TotalsAreWrittenWithSixDigitsAndWrapAsUnsigned)
{
    HitCounter& c = counters.one();
    struct Case {
        const char* before;
        const char* direction;
        const char* after;
    } cases[] = {
        {"000041\r\n", "inc", "000042\r\n"},
        {"000000\r\n", "dec", "000000\r\n"},
        {"000001", "dec", "000000\r\n"},
        {"1234566\r\n", "inc", "1234567\r\n"},
        {"-000002\r\n", "inc", "000000\r\n"}, // 4294967294, the largest total
        {"-000001\r\n", "inc", "000000\r\n"}, // beyond the largest total by hand
        {"2147483647\r\n", "inc", "-2147483648\r\n"},
        {"-2147483648\r\n", "dec", "2147483647\r\n"},
        {"41\nsecond line ignored\n", "inc", "000042\r\n"},
    };
    for (const Case& k : cases) {
        root.write("hitcounter.txt", k.before);
        EXPECT_EQ(c.IncDecHitCounter(k.direction), "") << k.before;
        EXPECT_EQ(count(), k.after) << k.before << " " << k.direction;
        EXPECT_EQ(c.totalText().toStdString() + "\r\n", k.after);
    }
    // The image shows the new total: it is as wide as seven digits now.
    root.write("hitcounter.txt", "1234566\r\n");
    c.IncDecHitCounter("inc");
    QImage seven = imageFile();
    root.write("hitcounter.txt", "000041\r\n");
    c.IncDecHitCounter("inc");
    QImage six = imageFile();
    ASSERT_FALSE(six.isNull());
    // A monospaced face: seven digits are one digit wider than six (within the rounding).
    EXPECT_NEAR(seven.width() * 6.0 / 7.0, six.width(), 1.0);
    // Anything but "inc" counts down; counter 2 has its own file and leaves counter 1 alone.
    root.write("hitcounter2.txt", "000010\r\n");
    EXPECT_EQ(counters.two().IncDecHitCounter("down"), "");
    EXPECT_EQ(count(2), "000009\r\n");
    EXPECT_EQ(count(1), "000042\r\n");
    EXPECT_EQ(c.totalText(), "000042");
}

TEST_F(HitCounterTest, AChangeThatCannotBeMadeLeavesEverythingAsItWas)
{
    HitCounter& c = counters.one();
    // No count file: an error, and no file appears.
    std::string error = c.IncDecHitCounter("inc");
    EXPECT_NE(error.find("hitcounter.txt"), std::string::npos) << error;
    EXPECT_FALSE(std::ifstream(root.path() + "/hitcounter.txt"));
    // A first line that is not a number: an error; file and image stay.
    root.write("hitcounter.txt", "000007\r\n");
    ASSERT_EQ(c.IncDecHitCounter("inc"), "");
    const std::string image = readFile(root.path() + "/hitcounter.bmp");
    for (const char* bad : {"seven\r\n", "\r\n", "12 34\r\n", "99999999999\r\n"}) {
        root.write("hitcounter.txt", bad);
        EXPECT_FALSE(c.IncDecHitCounter("inc").empty()) << bad;
        EXPECT_EQ(count(), bad);
        EXPECT_EQ(readFile(root.path() + "/hitcounter.bmp"), image);
        EXPECT_EQ(c.totalText(), "000008");
    }
    // No temporary files are left behind by the changes.
    EXPECT_EQ(std::system(("test -z \"$(ls -A " + root.path() + " | grep '^\\.')\"").c_str()), 0);
}

TEST_F(HitCounterTest, DefaultImageIsWhiteDigitsOnBlackAsLargeAsTheTagSays)
{
    HitCounter& c = counters.one();
    EXPECT_EQ(c.tagText(), "<img src=\"hitcounter.bmp\" width=80 height=20 alt=\"counter\">");
    EXPECT_EQ(counters.two().tagText(), "<img src=\"hitcounter2.bmp\" width=80 height=20 alt=\"counter\">");
    // "Courier New" is drawn in its metric twin.
    EXPECT_EQ(QFontInfo(counterFont(CounterStyle{})).family(), "Liberation Mono");

    root.write("hitcounter.txt", "000041\r\n");
    ASSERT_EQ(c.IncDecHitCounter("inc"), "");
    QImage image = imageFile();
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(tagSize(c.tagText()), image.size());
    EXPECT_EQ(c.tagText().left(32), "<img src=\"hitcounter.bmp\" width=");
    EXPECT_EQ(c.image().size(), image.size());
    // Only black, white and the grey of smoothed edges; the corner is background.
    EXPECT_EQ(image.pixel(0, 0) & 0xFFFFFF, 0x000000u);
    int white = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            QRgb p = image.pixel(x, y);
            EXPECT_TRUE(qRed(p) == qGreen(p) && qGreen(p) == qBlue(p)) << x << "," << y;
            white += qRed(p) == 255;
        }
    }
    EXPECT_GT(white, 20);
    // The image shows 000042, not the 000041 of before: the drawing of the text read back
    // from the count file is the same picture.
    counters.redrawImages();
    EXPECT_EQ(imageFile(), image);

    // Counter 2 draws with its own style: larger and red on blue.
    model.update([](Settings& s) {
        s.WebServe.CounterFontSize2 = 28;
        s.WebServe.TextColour2 = *colourFromText("clRed");
        s.WebServe.Colour2 = *colourFromText("clBlue");
    });
    counters.redrawImages();
    QImage two = imageFile(2);
    EXPECT_EQ(tagSize(counters.two().tagText()), two.size());
    EXPECT_GT(two.height(), image.height() * 3 / 2);
    EXPECT_EQ(two.pixel(0, 0) & 0xFFFFFF, 0x0000FFu);
    bool red = false;
    for (int x = 0; x < two.width() && !red; ++x) {
        for (int y = 0; y < two.height() && !red; ++y) {
            red = (two.pixel(x, y) & 0xFFFFFF) == 0xFF0000u;
        }
    }
    EXPECT_TRUE(red);
    EXPECT_EQ(imageFile(1), image);
}

TEST_F(HitCounterTest, StartUpCreatesMissingCountFilesAndRefreshDoesNot)
{
    counters.redrawImages();
    EXPECT_FALSE(std::ifstream(root.path() + "/hitcounter.txt"));
    EXPECT_FALSE(imageFile().isNull()); // drawn from "000000"
    EXPECT_EQ(counters.one().totalText(), "000000");

    root.write("hitcounter2.txt", "000123\r\n");
    counters.MakeCounterText();
    EXPECT_EQ(count(1), "000000\r\n");
    EXPECT_EQ(count(2), "000123\r\n");
    // Refreshing takes the first line as it stands.
    root.write("hitcounter.txt", "77\r\n");
    counters.redrawImages();
    EXPECT_EQ(counters.one().totalText(), "77");
    EXPECT_EQ(counters.two().totalText(), "000123");
    EXPECT_EQ(count(1), "77\r\n");
    // An empty first line gives an empty image, which is not saved: the earlier one stays.
    const QImage before = imageFile();
    root.write("hitcounter.txt", "\r\n");
    counters.redrawImages();
    EXPECT_EQ(imageFile(), before);
    EXPECT_TRUE(counters.one().image().isNull());
}

TEST_F(HitCounterTest, AnAddressIsCountedOnceWithinTheWindowOfTheFirstCountedHit)
{
    HitCounter& c = counters.one();
    root.write("hitcounter.txt", "000000\r\n");
    std::string error;
    const Settings s = *model.snapshot();
    EXPECT_EQ(c.countHit(s, "10.0.0.1", error), HitCounter::Hit::Counted);
    now += 1s;
    EXPECT_EQ(c.countHit(s, "10.0.0.1", error), HitCounter::Hit::Repeat);
    EXPECT_EQ(c.lastCountedIP(), "10.0.0.1");
    // Alternating clients are each counted every time.
    EXPECT_EQ(c.countHit(s, "10.0.0.2", error), HitCounter::Hit::Counted);
    EXPECT_EQ(c.countHit(s, "10.0.0.1", error), HitCounter::Hit::Counted);
    now += 2s;
    EXPECT_EQ(c.countHit(s, "10.0.0.1", error), HitCounter::Hit::Repeat);
    // The window opened with the first hit and was not extended: at 5 s the address is forgotten.
    now += 2s;
    EXPECT_EQ(c.countHit(s, "10.0.0.1", error), HitCounter::Hit::Counted);
    EXPECT_EQ(count(), "000004\r\n");
    // Counter 2 keeps its own last address.
    root.write("hitcounter2.txt", "000000\r\n");
    EXPECT_EQ(counters.two().countHit(s, "10.0.0.1", error), HitCounter::Hit::Counted);
    // A hit that fails does not remember the address.
    std::remove((root.path() + "/hitcounter2.txt").c_str());
    now += 10s;
    EXPECT_EQ(counters.two().countHit(s, "10.0.0.9", error), HitCounter::Hit::Failed);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(counters.two().lastCountedIP(), "");
}
