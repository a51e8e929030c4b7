#include "app/AppSettings.h"

#include <wx/msgdlg.h>
#include <wx/utils.h>

#include "BuildConfig.h"
#include "pickup/PrintProgram.h"

AppSettings AppSettings::Compiled() {
    AppSettings settings;
    settings.sftp = SftpEndpoint::Compiled();
    settings.versionUrl =
        std::string(CORVANE_WEB_BASE_URL) + "/downloads/corvane-print-spooler-version.txt";
    settings.downloadUrl = wxString(CORVANE_WEB_BASE_URL) + "/download-business/";
    settings.printProgram = DefaultPrintProgram();
    settings.messageBox = [](const wxString& message, const wxString& caption, long style) {
        return wxMessageBox(message, caption, style, nullptr);
    };
    settings.launchBrowser = [](const wxString& url) { return wxLaunchDefaultBrowser(url, 0); };
    return settings;
}
