#include "app/win32/window_images.h"

#include "control/property_table.h"
#include "platform/gdi/memory_canvas.h"

#include <cstring>

namespace velmora::app {

namespace {

constexpr const char* kBoxes[] = {"Picture1", "Picture4"};

} // namespace

WindowImages::WindowImages(platform::Win32Host& host, const platform::FormRecord& store,
                           Win32FrmMainWindow& window, FrmMain& form)
    : host_(host), window_(window) {
    // The window on screen is the form's record, so the tree the controls
    // climb, the cursor's window and the picture boxes' places are the real
    // ones; each picture box's inner area is a container of the host.
    form_ = host_.AdoptWindow(reinterpret_cast<std::uintptr_t>(window.handle()), "#32770");
    form.SetWindow(form_);
    for (const char* name : kBoxes) {
        const auto area = window.InnerArea(name);
        const platform::RECT rect{area[0], area[1], area[2], area[3]};
        auto container =
            std::make_unique<platform::Win32ControlContainer>(host_, form_, rect, name);
        container->setBackground(window.BackgroundColor());
        container->setEventHandler(
            [&form](platform::Win32ContainerSite& site, std::string_view event,
                    std::span<platform::EventArg>) { ImageEvent(form, site.name(), event); });
        // Made after the boxes, the container would stack beneath its box.
        window.StackOver(reinterpret_cast<NativeWindow>(host_.nativeWindow(container->window())),
                         name);
        boxes_.push_back({name, std::move(container)});
    }
    // The window's layout follows the monitor's DPI; the containers follow it.
    window.layoutChanged = [this] { Place(); };
    // PrintWindow draws the containers as their controls paint now.
    window.printOverride = [this](NativeWindow native) -> std::optional<WindowPicture> {
        for (const Box& box : boxes_) {
            if (reinterpret_cast<NativeWindow>(host_.nativeWindow(box.container->window())) !=
                native)
                continue;
            platform::RECT client{};
            host_.GetClientRect(box.container->window(), &client);
            const int dpi = static_cast<int>(window_.Dpi());
            const int width = std::max(1, client.right * 96 / dpi);
            const int height = std::max(1, client.bottom * 96 / dpi);
            platform::MemoryCanvas canvas(width, height);
            if (!canvas.ok()) return std::nullopt;
            const platform::RECT all{0, 0, width, height};
            const platform::COLORREF back = window_.BackgroundColor();
            canvas.fill(all, 0xFF000000u | ((back & 0xFFu) << 16) | (back & 0xFF00u) |
                                 ((back >> 16) & 0xFFu));
            box.container->paintControls(canvas.dc(), all);
            WindowPicture picture{width, height, {}};
            picture.pixels.resize(static_cast<std::size_t>(width) *
                                  static_cast<std::size_t>(height));
            for (int y = 0; y < height; ++y)
                std::memcpy(picture.pixels.data() + static_cast<std::size_t>(y) * width,
                            canvas.row(y), static_cast<std::size_t>(width) * 4);
            return picture;
        }
        return std::nullopt;
    };

    // The controls run as in the program: each is shown once restored.
    images_.open(
        store,
        [this](const platform::FormControlRecord& record) -> platform::ControlContainer* {
            return container(record.container);
        },
        true);
}

WindowImages::~WindowImages() {
    window_.layoutChanged = nullptr;
    window_.printOverride = nullptr;
    images_.close();
    boxes_.clear();
    host_.DestroyWindow(form_);
}

void WindowImages::Place() {
    for (const Box& box : boxes_) {
        const auto area = window_.InnerArea(box.name.c_str());
        host_.MoveWindow(box.container->window(), area[0], area[1], area[2] - area[0],
                         area[3] - area[1], true);
    }
}

aicAlphaImage* WindowImages::control(std::string_view name) const {
    const velmora::FormInstance::LiveControl* image = images_.find(name);
    return image != nullptr ? image->control.get() : nullptr;
}

platform::Win32ControlContainer* WindowImages::container(std::string_view boxName) const {
    for (const Box& box : boxes_)
        if (velmora::EqualsNoCase(box.name, boxName)) return box.container.get();
    return nullptr;
}

} // namespace velmora::app
