// The program's entry: sets the application up, creates the long-lived windows
// once, in order, and runs the event loop until something asks it to end.
#include "main/Session.h"
#include "main/Tmfrm.h"
#include "messaging/TAmsFrm.h"
#include "platform/AppTitle.h"
#include "platform/Fonts.h"
#include "platform/GuardedApplication.h"
#include "platform/QtTranslations.h"
#include "platform/Ui.h"
#include "platform/WidgetText.h"
#include "resources/Pictures.h"
#include "settings/SettingsFile.h"
#include "settings/Tlogonfrm.h"
#include "settings/Tsettingfrm.h"
#include "settings/UserIniFolder.h"
#include "shell/CommandLine.h"
#include "shell/TAboutBox.h"
#include "shell/TfrmDummyMain.h"
#include "shell/TrayToolTip.h"

#include <QApplication>
#include <QFileInfo>
#include <QTimer>

#include <memory>

int main(int argc, char **argv)
{
    if (const std::optional<int> status = AnswerCommandLine(argc, argv))
        return *status;
    GuardedApplication app(argc, argv);
    // No display name: the toolkit would append it to every window's caption,
    // and the captions read exactly as the windows set them.
    QApplication::setApplicationName(ApplicationTitle());
    InstallJapaneseQtTranslations(app);
    QApplication::setDesktopFileName(QStringLiteral("vantrel-im"));
    QApplication::setWindowIcon(pictures::ApplicationIcon());
    QApplication::setFont(WindowFont(12));
    // The main window may be hidden in the tray while a message box closes;
    // only an explicit request ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    if (WantsConfigFolder(argc, argv)) {
        QString error;
        if (!UseConfigFolder(&error)) // the current folder stays
            ui::ShowError(QStringLiteral("設定フォルダを作成できません: %1").arg(error));
    }
    // A first start has nothing to log on with: the logon dialog opens by itself.
    const bool firstStart = !QFileInfo::exists(UserIniPath());

    try {
        // Created in this order, destroyed in the reverse one; the owner of
        // the tray icon goes last and takes the icon with it.
        auto frmDummyMain = std::make_unique<TfrmDummyMain>();
        auto mfrm = std::make_unique<Tmfrm>();
        auto logonfrm = std::make_unique<Tlogonfrm>();
        auto settingfrm = std::make_unique<Tsettingfrm>();
        auto AboutBox = std::make_unique<TAboutBox>();
        auto AmsFrm = std::make_unique<TAmsFrm>(mfrm->AbsenceQueue);

        frmDummyMain->setMainWindow(mfrm.get());
        frmDummyMain->setToolTipSource([window = mfrm.get()] {
            return TrayToolTip(ApplicationTitle(), ToWidgetText(OwnDisplayName), window->Panel2Tag,
                               SessionState == ssOnline);
        });
        mfrm->setLogonDialog(logonfrm.get());
        mfrm->setAboutBox(AboutBox.get());
        logonfrm->setSettingsDialog(settingfrm.get());
        mfrm->show();
        if (firstStart)
            QTimer::singleShot(0, logonfrm.get(), [dialog = logonfrm.get()] {
                dialog->show();
                dialog->raise();
                dialog->activateWindow();
            });

        QApplication::exec();
    } catch (const std::exception &error) {
        ui::ShowError(QString::fromUtf8(error.what()));
    }
    return 0;
}
