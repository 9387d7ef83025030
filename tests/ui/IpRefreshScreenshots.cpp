// Screenshots of every IP-Refresh page with a pass running against loopback servers, to look at
// as a user would. Not a test: run it under Xvfb and look at the pictures.
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/default/tests/iprefresh_screenshots OUTDIR
#include "app/Application.h"
#include "iprefresh/LookupDefinitions.h"
#include "support/FtpTestServer.h"
#include "support/GuiApplication.h"
#include "support/PageTestServer.h"
#include "support/SmtpTestServer.h"
#include "support/TempDir.h"
#include "ui/IpRefreshPage.h"
#include "ui/MainWindow.h"
#include "ui/Prompts.h"
#include "ui/TemplateFilesTab.h"
#include "ui/TemplatePairDialog.h"
#include "ui/TestUrlTab.h"

#include <QApplication>
#include <QPixmap>
#include <QTabWidget>

#include <cstdio>
#include <filesystem>

using namespace kestrelon;
using namespace kestrelon::test;

namespace {

const std::string kStatusPage = "<html><head><title>Router status</title></head><body>\n"
                                "<table>\n<tr><td>LAN IP</td><td>192.168.0.1</td></tr>\n"
                                "<tr><td>WAN IP, DHCP</td><td>203.0.113.77</td></tr>\n"
                                "<tr><td>Uptime</td><td>3 days</td></tr>\n</table></body></html>\n";

// Messages on standard error instead of boxes that wait for a click.
class PrintingPrompts : public Prompts {
public:
    void message(QWidget*, const QString& text) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    const std::string out = argv[1];
    std::filesystem::create_directories(out);
    QApplication qt(argc, argv);

    PageTestServer router;
    router.setProtectedPage("/status.htm", kStatusPage, "admin", "router-pw");
    FtpTestServer ftp;
    std::filesystem::create_directories(ftp.root() + "/htdocs");
    SmtpTestServer smtp;
    TempDir dir;
    dir.write("www/index.html", "INDEX");
    const std::string tmpl = dir.write("templates/index.tem", "<a href=\"http://{IP}:8080/\">home</a>\n");
    const std::string ini =
        dir.write("kestrelon.ini", "[WebServe]\nPort=0\nRevDNS=0\nRoot=" + dir.path() +
                                       "/www\n[Router]\nExternal=0\nUserDefined=1\n"
                                       "[FTP]\nEnableFTP=1\nInterval=15\n[Remote]\nHost=" +
                                       ftp.address() +
                                       "\nUsername=web\n"
                                       "[DNS]\nSendmail=1\nServer=" +
                                       smtp.address() + "\nTo=me@example.org\nFrom=kestrelon@example.org\n");

    Application app(CommandLine::parse({"kestrelon", "--config", ini, "--listen", "127.0.0.2"}));
    std::string error;
    if (!app.create(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    RouterFields fields{router.hostAndPath("/status.htm"), "DHCP</td><td>", "0", true, "admin", "router-pw"};
    app.settings().update([&](Settings& s) {
        s.routers = {{"Home router", encodeUserDefinition(fields), true}};
        s.Remote.Password = FtpTestServer::kPassword; // stored scrambled: set here, not in the file
        s.remoteTemplates = {{tmpl, "/htdocs/index.htm", true}, {tmpl, "/htdocs/home.htm", true}};
        s.localTemplates = {{tmpl, dir.path() + "/www/home.htm", true}};
    });
    app.ipRefresh().definitions().select(0, false);
    app.ipRefresh().state().change([](auto& f) { f.knownAddress = "203.0.113.77"; });

    PrintingPrompts prompts;
    MainWindow window(app, prompts);
    window.show();
    app.firstShow();
    window.MainTabClick(5);
    IpRefreshPage* page = window.ipRefreshPage();

    // One cycle that uploads, then an upload that the server holds mid-transfer.
    app.ipRefresh().cycle().startOrUpdate();
    processUntil([&] { return !app.ipRefresh().jobs().busy(); }, std::chrono::seconds(20));
    app.ipRefresh().workbench().autoDetect();
    processUntil([&] { return !app.ipRefresh().jobs().busy(); }, std::chrono::seconds(20));
    ftp.stallStoreOf("home.htm");
    app.ipRefresh().cycle().upload();
    processUntil(
        [&] {
            return window.statusText().startsWith("Connected") || window.statusText() == "/htdocs/index.htm";
        },
        std::chrono::seconds(10));

    auto shot = [&](const char* name) {
        QCoreApplication::processEvents();
        window.grab().save(QString::fromStdString(out + "/" + name + ".png"));
    };
    const char* ftpNames[] = {"ftp-remote-server", "ftp-remote-files", "ftp-local-files", "ftp-email"};
    for (int i = 0; i < 4; ++i) {
        page->tabs->setCurrentIndex(IpRefreshPage::FtpSettings);
        page->PageControl3->setCurrentIndex(i);
        shot(ftpNames[i]);
    }
    const char* lookupNames[] = {"lookup-timer", "lookup-external", "lookup-user-defined", "lookup-test-url"};
    for (int i = 0; i < 4; ++i) {
        page->tabs->setCurrentIndex(IpRefreshPage::LookupServices);
        page->PageControl9->setCurrentIndex(i);
        shot(lookupNames[i]);
    }
    page->testUrlTab->Label99MouseDown(Qt::ShiftModifier);
    shot("lookup-test-url-hidden-view");
    page->PageControl9->setCurrentIndex(IpRefreshPage::UserDefinedService);
    shot("lookup-user-defined-hidden-view");
    page->testUrlTab->Label99MouseDown(Qt::NoModifier);
    page->tabs->setCurrentIndex(IpRefreshPage::Log);
    shot("log");
    page->remoteFilesTab->addClick();
    QCoreApplication::processEvents();
    page->remoteFilesTab->dialog->grab().save(QString::fromStdString(out + "/dialog-remote-pair.png"));
    page->remoteFilesTab->dialog->reject();
    page->localFilesTab->addClick();
    QCoreApplication::processEvents();
    page->localFilesTab->dialog->grab().save(QString::fromStdString(out + "/dialog-local-pair.png"));
    page->localFilesTab->dialog->reject();
    ftp.stallStoreOf("");
    app.shutdown(Application::CloseReason::Signal);
    return 0;
}
