#pragma once

#include "web/CounterImage.h"

#include <QImage>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <mutex>
#include <string>

namespace kestrelon {

class SettingsModel;
struct Settings;

// One hit counter: its running total in a count file in the web root ("hitcounter.txt" or
// "hitcounter2.txt"), the image of the total beside it ("hitcounter.bmp" / "hitcounter2.bmp")
// that ordinary file serving delivers, the image tag a page embeds, and the address counted
// last. Nothing is cached between operations: the count file is the truth, so a file edited by
// hand takes effect at the next change.
//
// Every member may be called from any thread (server threads count hits, the main thread runs
// the buttons); all changes of one counter are serialised by one lock, and both files are
// replaced atomically, so two hits at once give two increments and a reader never sees half an
// image.
class HitCounter : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // counter: 1 or 2.
    HitCounter(int counter, SettingsModel& settings, Clock clock = &std::chrono::steady_clock::now);

    // The pause a counted web hit adds to its reply.
    static constexpr std::chrono::milliseconds kPause{250};
    // How long an address that was counted is not counted again (from the first counted hit of
    // a burst; a later hit does not extend it).
    static constexpr std::chrono::milliseconds kRepeatWindow{5000};

    int number() const { return m_counter; }
    // "/hitcounter.bmp" or "/hitcounter2.bmp": the request path that counts.
    std::string requestPath() const;
    std::string countFilePath() const;
    std::string imageFilePath() const;

    // "inc" adds one (4294967294 becomes 0); anything else subtracts one, but never below 0.
    // Rewrites the count file and redraws the image. Returns the empty text, or the error that
    // left total, file and image as they were (a missing count file, a first line that is not a
    // number, a file that cannot be written).
    std::string IncDecHitCounter(const std::string& direction);

    enum class Hit { Counted, Repeat, Failed };
    // A web hit from an address: counted unless the same address was counted within the repeat
    // window. settings: the request's copy (root folder, font and colours). The check and the
    // change happen under the counter's lock, so simultaneous hits from one address count once.
    // error is set when Failed.
    Hit countHit(const Settings& settings, const std::string& address, std::string& error);

    // Draws the image of a total text, updates the tag and saves the image file (an empty image
    // is not saved; the earlier file stays).
    void PaintBitmap(const std::string& text);
    // Creates the count file with "000000" when it does not exist.
    void MakeCounterText();
    // Redraws the image from the count file's first line ("000000" when there is none; the file
    // is not created).
    void refresh();

    // What the "Extras" tab shows.
    QString tagText() const;
    QImage image() const;
    // The total text last written or read (the side panel's caption for counter 1).
    QString totalText() const;
    std::string lastCountedIP() const;

    // "%.6d" of the total's signed reading.
    static std::string formatTotal(uint32_t total);

Q_SIGNALS:
    // The image, tag or total changed. Emitted on the thread that changed it.
    void changed();

private:
    std::string changeLocked(const Settings& settings, const std::string& direction);
    void paintLocked(const Settings& settings, const std::string& text);
    void expireLocked();
    std::string countFilePath(const Settings& settings) const;
    std::string imageFilePath(const Settings& settings) const;

    const int m_counter;
    SettingsModel& m_settings;
    Clock m_clock;
    mutable std::mutex m_mutex;
    QString m_tag;
    QImage m_image;
    QString m_total;
    std::string m_lastCountedIP;
    bool m_timerRunning = false;
    std::chrono::steady_clock::time_point m_timerDue{};
};

// The two counters, and what is done to both at once.
class HitCounters {
public:
    explicit HitCounters(SettingsModel& settings, HitCounter::Clock clock = &std::chrono::steady_clock::now);

    HitCounter& one() { return m_one; }
    HitCounter& two() { return m_two; }
    // The counter a request path counts on, or none.
    HitCounter* forPath(const std::string& document);
    // The pause a counted web hit adds to its reply: HitCounter::kPause unless a test sets another
    // before the server starts.
    std::chrono::milliseconds pause() const { return m_pause; }
    void setPause(std::chrono::milliseconds pause) { m_pause = pause; }

    // Start-up: both count files created when missing.
    void MakeCounterText();
    // Both images redrawn from their files: at start-up, when the "Extras" tab is shown and
    // after a font or colour was chosen.
    void redrawImages();

private:
    HitCounter m_one;
    HitCounter m_two;
    std::chrono::milliseconds m_pause = HitCounter::kPause;
};

} // namespace kestrelon
