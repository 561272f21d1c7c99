#include "ui/PrivacyPolicyProcess.h"

#include <QProcess>
#include <string>

#include "platform/Bundle.h"
#include "platform/Log.h"

namespace intercom {

std::filesystem::path privacyPolicyProgram() {
    return Bundle::programPath(INTERCOM_PRIVACY_PROGRAM);
}

void openPrivacyPolicyWindow() {
    const std::filesystem::path program = privacyPolicyProgram();
    QProcess process;
    process.setProgram(QString::fromStdString(program.string()));
    if (!process.startDetached()) {
        logFailure("the privacy policy could not be opened: " + program.string() + ": " +
                   process.errorString().toStdString());
    }
}

}  // namespace intercom
