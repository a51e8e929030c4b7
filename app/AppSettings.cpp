#include "app/AppSettings.h"

#include <wx/msgdlg.h>
#include <wx/utils.h>

#include "app/BuildConstants.h"
#include "pickup/MappingScript.h"
#include "pickup/printing/PrintProgram.h"

AppSettings AppSettings::Compiled() {
    AppSettings settings;
    settings.sftp = SftpEndpoint::Compiled();
    settings.versionUrl =
        std::string(BuildConstants::kWebBaseUrl) + "/downloads/corvane-print-spooler-version.txt";
    settings.downloadUrl = wxString(BuildConstants::kWebBaseUrl) + "/download-business/";
    settings.printProgram = DefaultPrintProgram();
    settings.mappingScript = MappingScriptPath();
    settings.messageBox = [](const wxString& message, const wxString& caption, long style) {
        return wxMessageBox(message, caption, style, nullptr);
    };
    settings.launchBrowser = [](const wxString& url) { return wxLaunchDefaultBrowser(url, 0); };
    return settings;
}
