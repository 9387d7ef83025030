#pragma once

#include "iprefresh/IpLookup.h"
#include "iprefresh/IpRefreshServices.h"

#include <QObject>
#include <QString>

#include <functional>
#include <string>

namespace kestrelon {

class IpRefreshState;
class SerialJobRunner;
class SettingsModel;

// The Test URL page's workbench: fetches the router page of the router fields, finds the known
// address in it, and proposes a keyword and skip count automatically ("Auto") or from text the
// user marks ("Mark IP", "Keyword"); "Get IP" and "Test" look the address up with the fields.
//
// Threads: main thread; pages are fetched as jobs of the job runner, behind any running job.
class PageWorkbench : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kUnableToConnect = "Unable to connect to webpage";
    static constexpr const char* kNotUnique = "The keyword is not unique";
    static constexpr const char* kAutoFailed =
        "Failed to find IP address. Please check you entered it correctly.";
    static constexpr const char* kMissingEntry = "Required entry is missing!";
    static constexpr const char* kNeedsUserDefined =
        "User-defined lookup radio button needs to be \r\nselected for Get IP button to work.";

    // The enabled states of the page's buttons, from the fields and the page.
    struct Enables {
        bool autoDetect = false;
        bool getPage = false;
        bool find = false;
        bool test = false;
        bool addToUserDefined = false;
        bool getIp = false;
        bool markIp = false;
        bool keyword = false;
    };

    PageWorkbench(SettingsModel& settings, IpRefreshState& state, IpLookup& lookup, SerialJobRunner& jobs,
                  const IpRefreshServices& services, QObject* parent = nullptr);

    // "Get Page". done runs once the page is shown (or could not be fetched).
    void getPage(std::function<void()> done = {});
    // "Find...": the next match from the selection on is selected.
    bool find(const std::string& text);
    // "Mark IP": the address starts at the selection's start.
    void markIp();
    // "Keyword": the selection becomes the keyword, or its earlier occurrence is selected.
    void markKeyword();
    // "Auto": fetch, find the known address, choose keyword and skip count, look up.
    void autoDetect();
    // "Get IP" (LookupSender::Ordinary) and "Test" (LookupSender::TestUrlTest).
    void getIp(LookupSender sender);

    // The selection in the page text, as the user sets it.
    void setSelection(size_t start, size_t length);
    // The page text, editable in the hidden view.
    void setPage(std::string page);

    const std::string& page() const { return m_page; }
    size_t selectionStart() const { return m_selectionStart; }
    size_t selectionLength() const { return m_selectionLength; }
    // Where the marked address starts; 0 for no mark.
    size_t addressMark() const { return m_addressMark; }
    Enables enables() const;

Q_SIGNALS:
    void messageBox(const QString& text);
    // The page text, the selection or the mark changed.
    void changed();

private:
    void fetchPage(std::function<void(bool fetched)> next);
    void findKnownAddress();

    SettingsModel& m_settings;
    IpRefreshState& m_state;
    IpLookup& m_lookup;
    SerialJobRunner& m_jobs;
    IpRefreshServices m_services;
    std::string m_page;
    size_t m_selectionStart = 0;
    size_t m_selectionLength = 0;
    size_t m_addressMark = 0;
};

} // namespace kestrelon
