#pragma once
// What a host's container of windowless controls offers the code that fills
// it: a site per control, in the container's order, and the control put on
// its site and taken off again. Each host has its own (the Qt picture boxes,
// the headless container of the tools and tests, the Win32 one); the code
// that brings a saved form to life knows only this.
//
// A control is made with its site and then attached; it is detached before
// it goes away, and its site ends after it. A site passed in must be one the
// same container made; another container's is left alone.

#include "platform/host/container_site.h"

#include <string>

namespace platform {

class ICrossComm;

class ControlContainer {
public:
    virtual ~ControlContainer() = default;

    // A place for a control of that type and name at `extent` (pixels of
    // the container's client area), owned by the container and last among
    // its controls. The site's current rectangle is its Extent().
    virtual ContainerSite& addSite(std::string typeName, std::string name, const RECT& extent) = 0;
    // The control takes its place among the container's controls: from now
    // on it is drawn and given input, and the others see it in their
    // Controls(), with `link`, which controls of one kind share (null for
    // controls of other kinds).
    virtual void attach(ContainerSite& site, WindowlessControl& control, ICrossComm* link) = 0;
    // The site lets go of its control, which may then go away.
    virtual void detach(ContainerSite& site) = 0;
    // Ends a site (detaching its control first, when it has one).
    virtual void removeSite(ContainerSite& site) = 0;
    // The name the container's handlers know the site's control by.
    virtual void renameSite(ContainerSite& site, std::string name) = 0;
};

} // namespace platform
