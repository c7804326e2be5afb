#pragma once
// velmora-form: the form as its container shows it and feeds it input:
// painting every control into one picture, finding the control under a
// point, and replaying pointer input on virtual time.

#include "dib/c32bppdib.h"
#include "form_session.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace velmora_form {

// Paints the controls in the form's order (later ones over earlier ones)
// into the canvas, which has the form's size; each control is cut to its own
// rectangle and its container's.
void PaintForm(FormSession& session, c32bppDIB& canvas);

// The control that takes the form's point (x, y), asking the topmost first
// (the last in the form's order), and its hit-test answer; null when none
// does.
FormSession::Control* ControlAt(FormSession& session, std::int32_t x, std::int32_t y, int& answer);

// Pointer input on the session's host, as the program's container delivers
// it: every move hit-tests the controls (with the button down too) before
// the move goes to the control under the pointer or the one holding it; a
// press or release somewhere else than the pointer is comes after a move
// there, as the window system reports them; a release goes only to the
// control the button went down on, and the hit test that decides a Click
// follows it. Every event a control raises goes to the sink as
// "MS NAME.Event ARGS" (virtual milliseconds since the replay began).
class PointerReplay {
public:
    PointerReplay(FormSession& session, std::function<void(const std::string&)> sink);

    // Virtual time moves on to `ms` since the start (no further when it is
    // already past), running the timers that fall due.
    void advanceTo(std::uint64_t ms);
    void wait(std::uint64_t ms);
    void move(std::int32_t x, std::int32_t y);
    void press(std::int32_t x, std::int32_t y);
    void release(std::int32_t x, std::int32_t y);
    std::uint64_t elapsed() const;

private:
    // Puts the cursor at the form's point and hit-tests the controls.
    FormSession::Control* pointAt(std::int32_t x, std::int32_t y);
    // A move to (x, y) unless the pointer is there already.
    void moveFirst(std::int32_t x, std::int32_t y);
    static platform::POINT local(const FormSession::Control& control, std::int32_t x,
                                 std::int32_t y);

    FormSession& session_;
    std::uint64_t start_;
    FormSession::Control* pressed_ = nullptr; // holds the pointer while the button is down
    std::optional<platform::POINT> pointer_;  // where the pointer is, once it has been anywhere
};

} // namespace velmora_form
