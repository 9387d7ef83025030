#pragma once

#include <QObject>

#include <functional>
#include <string>

namespace kestrelon {

// The router-page lookup definition being edited and used: the fields of the User-Defined
// Service and Test URL pages. Filled from the selected definition at start-up.
struct RouterFields {
    std::string url; // edURL, without "http://"
    std::string keyword;
    std::string skip;     // edChartoSkip, decimal text
    bool webAuth = false; // "Webpage requires authentication"
    std::string user;
    std::string password;
    bool operator==(const RouterFields&) const = default;
};

// What IP-Refresh shows, in one place for the window to draw and the features to share. Kept in
// memory only. Main thread.
class IpRefreshState : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kUnknown = "UNKNOWN";
    static constexpr const char* kError = "Error";

    struct Fields {
        std::string currentIP; // the "Current IP" panel: an address, "Error" or "UNKNOWN"
        std::string windowTitle = "Kestrelon";
        std::string retrievedAddress; // "Retrieved Address:" of the Test URL page
        std::string externalResult;   // the External Service page's result
        std::string knownAddress;     // "IP Address:" of the Test URL page
        std::string statusText;       // the status bar line
        std::string uploadedIP;       // the "Uploaded IP" panel: an address or "Error"
        bool lampLime = false;        // the state lamp: lime when uploaded, else red
        std::string countdownText;    // "Time left to next check", or "Manual"
        bool running = false;         // "Running" / "Stopped"
        bool startEnabled = true;     // Start/Update, on both pages
        bool stopEnabled = false;
        bool intervalEnabled = true;
        // The backoff of failed lookups: factor 0 or 0.5, and whether the last lookup failed.
        double backoffFactor = 0;
        bool failureFlag = false;
        RouterFields router;
        std::string definitionName; // the selected lookup definition's name, if any
        bool operator==(const Fields&) const = default;
    };

    using QObject::QObject;

    const Fields& fields() const { return m_fields; }
    // Applies the change and announces it once when anything differs.
    void change(const std::function<void(Fields&)>& edit);

Q_SIGNALS:
    void changed();

private:
    Fields m_fields;
};

} // namespace kestrelon
