#pragma once
// The form run as the program runs it, in a window of its own: its image
// controls restored from their records and shown at run time in the same Qt
// container as the program's window (hover tracking, MouseEnter and
// MouseExit, clicks and fades as there), beside a list of the events they
// raise, written as velmora-form events writes them ("MS NAME.Event ARGS",
// milliseconds since the preview opened). The designer's form is not
// touched: the preview runs a copy of its records.

#include "control/form_instance.h"
#include "platform/host/form_store.h"
#include "platform/qt/qt_container.h"
#include "platform/qt/qt_host.h"

#include <QRect>
#include <QWidget>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QListWidget;

namespace velmora::designer {

class FormPreview final : public QWidget {
public:
    FormPreview(platform::QtHost& host, platform::FormRecord form);
    // The controls end while their containers and windows stand.
    ~FormPreview() override;
    FormPreview(const FormPreview&) = delete;
    FormPreview& operator=(const FormPreview&) = delete;

    // The container of the form itself (empty name) or of a picture box.
    platform::QtControlContainer* container(std::string_view box = {}) const;
    // The form's area, where its containers lie.
    QWidget& formArea() const { return *area_; }
    // The event list's lines, the first raised first.
    std::vector<std::string> events() const;
    QListWidget& log() const { return *log_; }

private:
    struct Box {
        std::string name;
        platform::HWND window = 0;
        std::unique_ptr<platform::QtControlContainer> container;
    };
    void addBox(std::string name, const QRect& place);

    platform::QtHost& host_;
    platform::HWND window_ = 0;
    QWidget* area_ = nullptr;
    QListWidget* log_ = nullptr;
    std::uint32_t start_ = 0;
    std::vector<Box> boxes_; // the form's own first
    velmora::FormInstance instance_;
};

} // namespace velmora::designer
