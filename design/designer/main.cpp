// velmora-designer [--screenshot OUT.png] [STORE]: places image controls on
// a form, sets their properties and images, and saves the form store.

#include "design/designer/command_line.h"
#include "design/designer/designer_window.h"
#include "platform/qt/qt_display.h"
#include "platform/system/environment.h"

#include <QApplication>
#include <QSettings>
#include <QTimer>
#include <filesystem>
#include <iostream>
#include <memory>
#include <system_error>

int main(int argc, char** argv) {
    using namespace velmora::designer;
    const auto parsed = ParseCommandLine(
        std::span<const char* const>(argv + 1, argc > 0 ? static_cast<std::size_t>(argc - 1) : 0));
    if (const auto* usage = std::get_if<UsageError>(&parsed)) {
        std::cerr << "velmora-designer: " << usage->reason << " (velmora-designer --help)\n";
        return kExitUsage;
    }
    const Options& options = std::get<Options>(parsed);
    if (options.help) {
        PrintHelp(std::cout);
        return kExitOk;
    }
    if (!platform::QtDisplayAvailable()) {
        std::cerr << "velmora-designer: no display to open the window on\n";
        return kExitNo;
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(DesignerWindow::kProgram));
    platform::QtHost host;
    platform::ProcessEnvironment().host = &host;
    struct HostScope {
        ~HostScope() { platform::ProcessEnvironment().host = nullptr; }
    } hostScope;

    DesignerWindow window(host);
    // The user's own settings: recent files, the window's size and docks. A
    // screenshot shows the window as it first starts and leaves them alone.
    bool sized = false;
    if (options.screenshot.empty())
        sized = window.useSettings(std::make_unique<QSettings>(
            QStringLiteral("velmora"), QString::fromLatin1(DesignerWindow::kProgram)));
    if (!options.store.empty()) {
        std::error_code ignored;
        if (!std::filesystem::exists(options.store, ignored)) {
            window.newForm(options.store);
        } else if (std::string error; !window.openStore(options.store, error)) {
            std::cerr << "velmora-designer: " << error << '\n';
            return kExitUsage;
        }
    }
    if (!sized) window.resize(window.initialSize());
    window.show();
    if (!options.screenshot.empty()) {
        int status = kExitOk;
        QTimer::singleShot(0, &window, [&] {
            QApplication::processEvents();
            if (!window.grab().save(QString::fromStdString(options.screenshot), "PNG")) {
                std::cerr << "velmora-designer: cannot write the screenshot to "
                          << options.screenshot << '\n';
                status = kExitUsage;
            }
            QApplication::exit(status);
        });
        application.exec();
        return status;
    }
    return application.exec();
}
