// The window on Windows: the main window on the system's own controls,
// its image controls in the Win32 host's containers, and --screenshot.

#include "app/win32/frm_main_window.h"
#include "app/win32/window_images.h"
#include "app/window.h"
#include "codecs/cpngwriter.h"
#include "platform/system/durable_file.h"
#include "platform/system/environment.h"
#include "surface/dib_surface.h"

#include <cstring>
#include <filesystem>
#include <ostream>

namespace velmora::app {

namespace {

// Writes a picture of the window with the program's own PNG writer; the
// reason on `err` when it cannot.
bool WritePicture(const WindowPicture& picture, const std::string& file, std::ostream& err) {
    surface::DibSurface surface;
    if (!surface.InitializeDIB(picture.width, picture.height)) {
        err << "velmora: the window's picture is too large\n";
        return false;
    }
    // The surface keeps its rows bottom-up; the picture is opaque, so its
    // colours are premultiplied as they stand.
    for (int y = 0; y < picture.height; ++y)
        std::memcpy(surface.row(y),
                    picture.pixels.data() +
                        static_cast<std::size_t>(y) * static_cast<std::size_t>(picture.width),
                    static_cast<std::size_t>(picture.width) * 4);
    surface.Alpha(false);
    std::vector<std::uint8_t> bytes;
    cPNGwriter writer;
    if (!writer.SavePNG(surface, bytes)) {
        err << "velmora: cannot make the screenshot: " << ErrorText(writer.lastError()) << '\n';
        return false;
    }
    const auto written = platform::WriteFileDurably(
        std::filesystem::path(std::u8string(file.begin(), file.end())), bytes);
    if (!written) {
        err << "velmora: cannot write the screenshot to " << file << ": " << written.error << '\n';
        return false;
    }
    return true;
}

} // namespace

int OpenWindow(int&, char**, management::RecordingBackend& backend, const std::string& screenshot,
               management::ChangeGuard* guard, std::ostream& err) {
    // The window host the image controls use, the process's host while the
    // window lives.
    platform::Win32Host host;
    platform::ProcessEnvironment().host = &host;
    struct HostScope {
        ~HostScope() { platform::ProcessEnvironment().host = nullptr; }
    } hostScope;
    Win32FrmMainWindow window;
    FrmMain form(window, backend);
    form.SetChangeGuard(guard);
    WindowImages images(host, EmbeddedFormStore(), window, form);
    FrmExtras extras(window, form, backend);
    window.Attach(form);
    window.AttachExtras(extras);
    // A screenshot has no one to close a message box: what the window would
    // say goes to standard error.
    if (!screenshot.empty())
        window.messageSink = [&err](const std::string& text) {
            err << "velmora: " << text << '\n';
        };
    window.Show();
    window.DoEvents();
    form.Form_Load();
    if (!screenshot.empty()) {
        // Once everything the load handler changed is drawn.
        window.DoEvents();
        const auto picture = window.Capture();
        if (!picture) {
            err << "velmora: the window cannot be drawn for the screenshot\n";
            return 2;
        }
        return WritePicture(*picture, screenshot, err) ? 0 : 2;
    }
    window.Run();
    return 0;
}

} // namespace velmora::app
