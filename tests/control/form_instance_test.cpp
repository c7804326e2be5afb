// A saved form brought to life over headless containers: the order of
// siting, restoring and ending, the one rule for an image control's type, and
// records of other types kept as they stand.

#include "control/form_instance.h"
#include "platform/host/ccrosscomm.h"
#include "platform/host/form_store.h"
#include "platform/system/environment.h"
#include "platform/testing/headless_site.h"

#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace {

using velmora::FormInstance;

platform::FormControlRecord record(std::string type, std::string name, std::string container,
                                   std::int32_t opacity = 40) {
    platform::FormControlRecord r;
    r.type = std::move(type);
    r.name = std::move(name);
    r.container = std::move(container);
    r.left = 4;
    r.top = 6;
    r.width = 20;
    r.height = 10;
    r.properties.WriteProperty("Opacity", opacity);
    return r;
}

// A headless container that notes each call it gets, and with each siting and
// detaching how many of the controls it holds are linked to the others, which
// only a restored control is, and only until it ends.
class RecordingContainer final : public platform::ControlContainer {
public:
    RecordingContainer(platform::HeadlessHost& host, platform::HWND window) : inner(host, window) {}

    platform::ContainerSite& addSite(std::string typeName, std::string name,
                                     const platform::RECT& extent) override {
        calls.push_back("site " + name);
        return inner.addSite(std::move(typeName), std::move(name), extent);
    }
    void attach(platform::ContainerSite& site, platform::WindowlessControl& control,
                platform::ICrossComm* link) override {
        calls.push_back("attach, linked " + std::to_string(linked()));
        links[&site] = link;
        inner.attach(site, control, link);
    }
    void detach(platform::ContainerSite& site) override {
        calls.push_back("detach, linked " + std::to_string(linked()));
        inner.detach(site);
    }
    void removeSite(platform::ContainerSite& site) override {
        calls.push_back("remove");
        links.erase(&site);
        inner.removeSite(site);
    }
    void renameSite(platform::ContainerSite& site, std::string name) override {
        inner.renameSite(site, std::move(name));
    }

    int linked() const {
        int n = 0;
        for (const auto& [site, link] : links)
            n += link->CrossTalkClass() != nullptr ? 1 : 0;
        return n;
    }

    platform::HeadlessContainer inner;
    std::vector<std::string> calls;
    std::map<const platform::ContainerSite*, platform::ICrossComm*> links;
};

class FormInstanceTest : public ::testing::Test {
protected:
    FormInstanceTest() { env_->host = &host; }

    platform::HWND window() {
        return host.CreateWindowExA(0, "#32770", "Form", platform::WS_VISIBLE, 0, 0, 200, 100, 0, 0,
                                    0, nullptr);
    }

    platform::ScopedEnvironment env_;
    platform::HeadlessHost host;
};

TEST_F(FormInstanceTest, EverySiteComesBeforeAnyRestoreAndAllEndBeforeAnyIsDetached) {
    RecordingContainer container(host, window());
    platform::FormRecord form;
    form.controls = {record("aicAlphaImage", "A", ""), record("aicAlphaImage", "B", "")};
    {
        FormInstance instance;
        instance.open(form, [&](const auto&) { return &container; });
        // Each control, restored, found the other for the link they share.
        ASSERT_EQ(instance.controls().size(), 2u);
        auto link = instance.controls()[0]->control->CrossTalkClass();
        EXPECT_NE(link, nullptr);
        EXPECT_EQ(instance.controls()[1]->control->CrossTalkClass(), link);
        EXPECT_EQ(instance.controls()[1]->control->Opacity(), 40);
        container.calls.push_back("open");
    }
    EXPECT_EQ(container.calls,
              (std::vector<std::string>{"site A", "attach, linked 0", "site B", "attach, linked 0",
                                        "open", "detach, linked 0", "remove", "detach, linked 0",
                                        "remove"}));
    EXPECT_EQ(container.inner.size(), 0u);
}

TEST_F(FormInstanceTest, TheTypeMatchesWithoutCaseAndOtherRecordsStayAsTheyAre) {
    platform::HeadlessContainer form(host, window());
    platform::HeadlessContainer box(host, window());
    platform::FormRecord store;
    store.width = 200;
    store.height = 100;
    store.controls = {record("PictureBox", "Picture1", ""), record("AICALPHAIMAGE", "Upper", ""),
                      record("aicalphaimage", "Inner", "Picture1"),
                      record("aicAlphaImage", "Lost", "Nowhere"),
                      record("aicAlphaImage", "Lower", "")};
    store.controls[0].extras = {{"BorderStyle", "1", "height"}};
    FormInstance instance;
    instance.open(store, [&](const platform::FormControlRecord& r) -> platform::ControlContainer* {
        if (r.container.empty()) return &form;
        return r.container == "Picture1" ? &box : nullptr;
    });

    ASSERT_EQ(instance.controls().size(), 3u);
    EXPECT_EQ(instance.find("upper"), instance.controls()[0].get());
    EXPECT_EQ(instance.find("INNER")->container, &box);
    EXPECT_EQ(instance.find("Lost"), nullptr) << "no container: no control";
    // Both of the form's controls take part in its link under the control's
    // own type name.
    EXPECT_EQ(form.site(*instance.find("Upper")->site)->Controls().size(), 2u);
    for (const platform::SitedControl& sited : form.site(*instance.find("Upper")->site)->Controls())
        EXPECT_EQ(sited.typeName, "aicAlphaImage");
    EXPECT_EQ(instance.find("Lower")->control->CrossTalkClass(),
              instance.find("Upper")->control->CrossTalkClass());

    instance.find("Upper")->control->Opacity(70);
    instance.find("Upper")->site->Move({1, 2, 31, 22});
    const platform::FormRecord& saved = instance.save();
    const platform::FormControlRecord& upper = saved.controls[1];
    EXPECT_EQ(upper.properties.ReadProperty<std::int32_t>("Opacity", 0), 70);
    EXPECT_EQ((std::vector<std::int32_t>{upper.left, upper.top, upper.width, upper.height}),
              (std::vector<std::int32_t>{1, 2, 30, 20}));
    // The picture box and the control without a container are the store's,
    // byte for byte, and so is the type's spelling.
    const auto others = [](const platform::FormRecord& f) {
        platform::FormRecord only;
        only.controls = {f.controls[0], f.controls[3]};
        return platform::SerializeFormStore(only);
    };
    EXPECT_EQ(others(saved), others(store));
    EXPECT_EQ(saved.controls[1].type, "AICALPHAIMAGE");
    EXPECT_EQ(saved.controls[2].type, "aicalphaimage");
}

TEST_F(FormInstanceTest, FreshAddedRemovedRenamedAndRebuiltControlsKeepTheirRecords) {
    platform::HeadlessContainer form(host, window());
    platform::HeadlessContainer box(host, window());
    platform::FormRecord store;
    store.controls = {record("aicAlphaImage", "New", ""), record("aicAlphaImage", "Kept", "", 30),
                      record("aicAlphaImage", "Gone", "")};
    FormInstance instance;
    const auto containerOf = [&](const platform::FormControlRecord& r) {
        return r.container.empty() ? &form : &box;
    };
    instance.open(store, containerOf, false, "new");
    EXPECT_EQ(instance.find("New")->control->Opacity(), 100) << "a new control's value";
    EXPECT_EQ(instance.find("Kept")->control->Opacity(), 30);

    FormInstance::LiveControl& added = instance.add(record("anything", "Added", "", 10), box);
    EXPECT_EQ(added.control->Opacity(), 100);
    EXPECT_EQ(instance.record(added).type, "aicAlphaImage");

    instance.remove(*instance.find("Gone"));
    EXPECT_EQ(box.size(), 1u);
    EXPECT_EQ(form.size(), 2u);
    instance.rename(*instance.find("Kept"), "Held");
    EXPECT_EQ(form.site("Held"), form.site(*instance.find("held")->site));
    EXPECT_EQ(instance.record(*instance.find("Added")).name, "Added");

    // Saved, moved into the box and restored there from its record.
    FormInstance::LiveControl& held = *instance.find("Held");
    held.control->Opacity(55);
    instance.save(held);
    instance.record(held).container = "Box";
    FormInstance::LiveControl& moved = instance.rebuild(held, box);
    EXPECT_EQ(moved.control->Opacity(), 55);
    EXPECT_EQ(moved.container, &box);
    EXPECT_EQ(box.size(), 2u);
    EXPECT_EQ(form.size(), 1u);
    EXPECT_EQ(instance.controls().back().get(), &moved);

    std::vector<std::string> names;
    for (const platform::FormControlRecord& r : instance.form().controls)
        names.push_back(r.name);
    EXPECT_EQ(names, (std::vector<std::string>{"New", "Held", "Added"}));
}

} // namespace
