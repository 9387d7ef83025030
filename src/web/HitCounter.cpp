#include "web/HitCounter.h"

#include "core/AtomicFile.h"
#include "core/IntText.h"
#include "core/Settings.h"
#include "core/SettingsModel.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace kestrelon {

namespace {

constexpr uint32_t kLargestTotal = 4294967294u; // one more wraps to 0

// The first line of a file without its line end; false when the file cannot be opened.
bool readFirstLine(const std::string& path, std::string& line, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "Cannot open file \"" + path + "\". " + std::strerror(errno);
        return false;
    }
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return true;
}

std::string imageTag(const std::string& imageName, int width, int height)
{
    return "<img src=\"" + imageName + "\" width=" + std::to_string(width) +
           " height=" + std::to_string(height) + " alt=\"counter\">";
}

} // namespace

HitCounter::HitCounter(int counter, SettingsModel& settings, Clock clock)
    : m_counter(counter), m_settings(settings), m_clock(std::move(clock))
{
    // The tag the view holds before the first drawing.
    m_tag = QString::fromStdString(imageTag(counter == 2 ? "hitcounter2.bmp" : "hitcounter.bmp", 80, 20));
}

std::string HitCounter::requestPath() const
{
    return m_counter == 2 ? "/hitcounter2.bmp" : "/hitcounter.bmp";
}

std::string HitCounter::countFilePath() const
{
    return countFilePath(*m_settings.snapshot());
}

std::string HitCounter::imageFilePath() const
{
    return imageFilePath(*m_settings.snapshot());
}

std::string HitCounter::countFilePath(const Settings& settings) const
{
    return settings.WebServe.Root + (m_counter == 2 ? "/hitcounter2.txt" : "/hitcounter.txt");
}

std::string HitCounter::imageFilePath(const Settings& settings) const
{
    return settings.WebServe.Root + (m_counter == 2 ? "/hitcounter2.bmp" : "/hitcounter.bmp");
}

std::string HitCounter::formatTotal(uint32_t total)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%.6d", static_cast<int32_t>(total));
    return buffer;
}

std::string HitCounter::IncDecHitCounter(const std::string& direction)
{
    std::string error;
    {
        std::lock_guard lock(m_mutex);
        error = changeLocked(*m_settings.snapshot(), direction);
    }
    Q_EMIT changed();
    return error;
}

std::string HitCounter::changeLocked(const Settings& settings, const std::string& direction)
{
    if (settings.WebServe.Root.empty()) {
        return "No root folder is set";
    }
    const std::string path = countFilePath(settings);
    std::string line;
    std::string error;
    if (!readFirstLine(path, line, error)) {
        return error;
    }
    auto value = parseInt32(line);
    if (!value) {
        return "'" + line + "' is not a valid integer value";
    }
    uint32_t total = static_cast<uint32_t>(*value);
    if (direction == "inc") {
        total = total >= kLargestTotal ? 0 : total + 1;
    } else if (total != 0) {
        --total;
    }
    const std::string text = formatTotal(total);
    if (!replaceFileAtomically(path, text + "\r\n", 0644, /*keepMode=*/true, error)) {
        return "Cannot write file \"" + path + "\". " + error;
    }
    m_total = QString::fromStdString(text);
    paintLocked(settings, text);
    return {};
}

HitCounter::Hit HitCounter::countHit(const Settings& settings, const std::string& address, std::string& error)
{
    Hit hit = Hit::Counted;
    {
        std::lock_guard lock(m_mutex);
        expireLocked();
        if (address == m_lastCountedIP) {
            return Hit::Repeat;
        }
        // A window that is already open is not extended.
        if (!m_timerRunning) {
            m_timerRunning = true;
            m_timerDue = m_clock() + kRepeatWindow;
        }
        error = changeLocked(settings, "inc");
        if (error.empty()) {
            m_lastCountedIP = address;
        } else {
            hit = Hit::Failed;
        }
    }
    Q_EMIT changed();
    return hit;
}

void HitCounter::expireLocked()
{
    if (m_timerRunning && m_clock() >= m_timerDue) {
        m_lastCountedIP.clear();
        m_timerRunning = false;
    }
}

void HitCounter::PaintBitmap(const std::string& text)
{
    {
        std::lock_guard lock(m_mutex);
        paintLocked(*m_settings.snapshot(), text);
    }
    Q_EMIT changed();
}

void HitCounter::paintLocked(const Settings& settings, const std::string& text)
{
    QImage image = drawCounterImage(text, CounterStyle::fromSettings(settings.WebServe, m_counter));
    m_tag = QString::fromStdString(
        imageTag(m_counter == 2 ? "hitcounter2.bmp" : "hitcounter.bmp", image.width(), image.height()));
    m_image = image;
    if (image.isNull() || settings.WebServe.Root.empty()) {
        return;
    }
    const QByteArray bytes = bmpBytes(image);
    std::string error;
    // A failed write keeps the earlier image; the next change tries again.
    replaceFileAtomically(imageFilePath(settings), std::string_view(bytes.constData(), bytes.size()), 0644,
                          /*keepMode=*/true, error);
}

void HitCounter::MakeCounterText()
{
    std::lock_guard lock(m_mutex);
    const auto settings = m_settings.snapshot();
    if (settings->WebServe.Root.empty()) {
        return;
    }
    const std::string path = countFilePath(*settings);
    std::ifstream probe(path);
    if (probe) {
        return;
    }
    std::string error;
    replaceFileAtomically(path, "000000\r\n", 0644, false, error);
}

void HitCounter::refresh()
{
    {
        std::lock_guard lock(m_mutex);
        const auto settings = m_settings.snapshot();
        std::string line;
        std::string error;
        if (!readFirstLine(countFilePath(*settings), line, error)) {
            line = "000000";
        }
        m_total = QString::fromStdString(line);
        paintLocked(*settings, line);
    }
    Q_EMIT changed();
}

QString HitCounter::tagText() const
{
    std::lock_guard lock(m_mutex);
    return m_tag;
}

QImage HitCounter::image() const
{
    std::lock_guard lock(m_mutex);
    return m_image;
}

QString HitCounter::totalText() const
{
    std::lock_guard lock(m_mutex);
    return m_total;
}

std::string HitCounter::lastCountedIP() const
{
    std::lock_guard lock(m_mutex);
    return m_lastCountedIP;
}

HitCounters::HitCounters(SettingsModel& settings, HitCounter::Clock clock)
    : m_one(1, settings, clock), m_two(2, settings, clock)
{
}

HitCounter* HitCounters::forPath(const std::string& document)
{
    if (document == "/hitcounter.bmp") {
        return &m_one;
    }
    if (document == "/hitcounter2.bmp") {
        return &m_two;
    }
    return nullptr;
}

void HitCounters::MakeCounterText()
{
    m_one.MakeCounterText();
    m_two.MakeCounterText();
}

void HitCounters::redrawImages()
{
    m_one.refresh();
    m_two.refresh();
}

} // namespace kestrelon
