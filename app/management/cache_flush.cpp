#include "app/management/cache_flush.h"

#include <gio/gio.h>
#include <memory>

namespace velmora::management {

namespace {

// systemd-resolved takes a moment at most; a bus that does not answer in
// this time is treated as one without a resolver.
constexpr int kCallTimeoutMs = 5000;

struct GObjectUnref {
    void operator()(gpointer object) const {
        if (object) g_object_unref(object);
    }
};
struct GErrorFree {
    void operator()(GError* error) const {
        if (error) g_error_free(error);
    }
};
struct GVariantUnref {
    void operator()(GVariant* value) const {
        if (value) g_variant_unref(value);
    }
};
struct GFree {
    void operator()(gchar* text) const { g_free(text); }
};
using GErrorPtr = std::unique_ptr<GError, GErrorFree>;

std::string Describe(const GError* error) {
    return error && error->message ? error->message : "unknown error";
}

// The resolver is missing when nothing owns its name (and nothing may be
// started for it), not when it refuses us.
bool MeansNoResolver(const GError* error) {
    return g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
           g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER) ||
           g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_OBJECT) ||
           g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_INTERFACE) ||
           g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD);
}

} // namespace

FlushResult ResolvedFlusher::Flush() {
    // A connection of our own rather than the process's shared one, which
    // the NetworkManager backend's client may hold on another context; it
    // is closed when this call ends.
    GError* raw = nullptr;
    std::unique_ptr<gchar, GFree> address{
        g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SYSTEM, nullptr, &raw)};
    GErrorPtr error{raw};
    if (!address)
        return {FlushResult::Outcome::NoResolver, "no system bus: " + Describe(error.get())};
    raw = nullptr;
    std::unique_ptr<GDBusConnection, GObjectUnref> bus{g_dbus_connection_new_for_address_sync(
        address.get(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &raw)};
    error.reset(raw);
    if (!bus) return {FlushResult::Outcome::NoResolver, "no system bus: " + Describe(error.get())};
    raw = nullptr;
    std::unique_ptr<GVariant, GVariantUnref> reply{g_dbus_connection_call_sync(
        bus.get(), "org.freedesktop.resolve1", "/org/freedesktop/resolve1",
        "org.freedesktop.resolve1.Manager", "FlushCaches", nullptr, nullptr,
        G_DBUS_CALL_FLAGS_NO_AUTO_START, kCallTimeoutMs, nullptr, &raw)};
    error.reset(raw);
    g_dbus_connection_close_sync(bus.get(), nullptr, nullptr);
    if (reply) return {FlushResult::Outcome::Flushed, {}};
    if (MeansNoResolver(error.get()))
        return {FlushResult::Outcome::NoResolver, "systemd-resolved is not running"};
    std::unique_ptr<gchar, GFree> remote{error ? g_dbus_error_get_remote_error(error.get())
                                               : nullptr};
    if (error) g_dbus_error_strip_remote_error(error.get());
    return {FlushResult::Outcome::Failed,
            "systemd-resolved refused: " + Describe(error.get()) +
                (remote ? " (" + std::string{remote.get()} + ")" : "")};
}

} // namespace velmora::management
