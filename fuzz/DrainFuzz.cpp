// The client's drain fed whatever a server could send: bytes cut into frames
// as the socket would deliver them, then handled. Boxes, beeps, the shell and
// termination are recorded instead of shown; nothing may crash or hang.
#include "main/Tmfrm.h"
#include "platform/Ui.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cstdint>

namespace {

struct Client {
    Client()
    {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
        static int argc = 1;
        static char name[] = "drain_fuzz";
        static char *argv[] = {name, nullptr};
        app = std::make_unique<QApplication>(argc, argv);
        QDir::setCurrent(folder.path()); // user.ini, if anything writes one
        ui::Hooks recorders;
        recorders.message = [](const QString &) {};
        recorders.error = [](const QString &) {};
        recorders.beep = [] {};
        recorders.openUrl = [](const QUrl &) {};
        recorders.inputQuery = [](const QString &, const QString &, QString &) { return false; };
        recorders.hasNotificationArea = [] { return true; };
        recorders.terminate = [] {};
        hooks = std::make_unique<ui::ScopedHooks>(std::move(recorders));
    }

    QTemporaryDir folder;
    std::unique_ptr<QApplication> app;
    std::unique_ptr<ui::ScopedHooks> hooks;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Client client;
    // A main window of its own for every input, so that each run is repeatable
    // and the windows the frames open go with it.
    auto window = std::make_unique<Tmfrm>();
    Tmfrm &mfrm = *window;
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    if (mfrm.ReceiveBuffer.CutFrames(bytes, mfrm.InboundQueue) == FrameCutter::Result::Overflow)
        mfrm.ReceiveBuffer.clear();
    // A failing handler leaves the rest for the next tick: tick until empty.
    for (int tick = 0; tick < 64 && !mfrm.InboundQueue.empty(); ++tick)
        mfrm.ProcTimerTimer();
    window.reset();
    QCoreApplication::processEvents(); // windows closed by the frames go now
    return 0;
}
