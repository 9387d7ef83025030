#pragma once

// Internal to media/: how a VideoDevice becomes a GStreamer source element.

#include "media/VideoDevice.h"

#include <gst/gst.h>

#include <QString>

#include <string>

namespace kestrelon {

struct VideoDevice::Source {
    QString name;
    GstDevice* device = nullptr; // a reference of our own, or null for a described source
    std::string description;
    bool testPattern = false;

    Source() = default;
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;
    ~Source();

    // A new, floating source element with one video src pad, or null with the reason in error.
    GstElement* createElement(QString& error) const;
};

} // namespace kestrelon
