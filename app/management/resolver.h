#pragma once
// Who resolves names for the machine: NetworkManager's DNS mode and the
// manager of /etc/resolv.conf it uses, who wrote /etc/resolv.conf, and
// whether the servers NetworkManager holds (the ones Velmora sets) are the
// ones the machine asks. Velmora can set servers perfectly and still change
// nothing a program sees; this is how `status` says so.
//
// The machine's files are read through SystemFiles, rooted at "/" for the
// machine and at a folder of fixtures in tests.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::management {

enum class ResolvConfOwner {
    Missing,
    NetworkManager,
    SystemdResolved,
    Resolvconf,
    Netconfig,
    Nobody
};

// "missing", "networkmanager", "systemd-resolved", "resolvconf", "netconfig",
// "by-hand".
std::string_view ResolvConfOwnerName(ResolvConfOwner owner);
std::optional<ResolvConfOwner> ParseResolvConfOwner(std::string_view name);

struct ResolvConf {
    ResolvConfOwner owner = ResolvConfOwner::Missing;
    // Where /etc/resolv.conf points, when it is a symbolic link.
    std::string link;
    std::vector<std::string> nameservers;

    bool operator==(const ResolvConf&) const = default;
};

// How NetworkManager hands on DNS: its mode ("default", "systemd-resolved",
// "dnsmasq", "none", ...) and its rc-manager ("symlink", "file",
// "resolvconf", "netconfig", "unmanaged", "auto"); empty where not known.
struct ResolverSetup {
    std::string mode;
    std::string rcManager;
    // Where the two came from: "networkmanager" (its DnsManager on the bus),
    // "configuration" (its configuration files) or "simulation".
    std::string from;
    // A simulated system names its resolv.conf too; a real one leaves it to
    // be read from the file.
    std::optional<ResolvConf> resolvConf;

    bool operator==(const ResolverSetup&) const = default;
};

// The machine's files below a root folder. Paths are given as on the machine
// ("/etc/resolv.conf"); symbolic links are followed inside the root, so a
// fixture's absolute links never reach the machine's own files.
class SystemFiles {
public:
    explicit SystemFiles(std::filesystem::path root = "/");

    // The text of a regular file of at most kMaxFileSize bytes; nothing when
    // it is missing, unreadable, larger or not a file.
    std::optional<std::string> Read(const std::filesystem::path& path) const;
    // The target of a symbolic link, as stored; nothing when it is not one.
    std::optional<std::string> LinkTarget(const std::filesystem::path& path) const;
    // The names of the folder's files ending in ".conf".
    std::vector<std::string> ConfFiles(const std::filesystem::path& folder) const;

    static constexpr std::size_t kMaxFileSize = 1 << 20;

private:
    std::filesystem::path Inside(const std::filesystem::path& path) const;
    // The path with its symbolic links followed, still as on the machine.
    std::optional<std::filesystem::path> Resolve(std::filesystem::path path) const;

    std::filesystem::path root_;
};

// /etc/resolv.conf's text judged by its link target and its opening
// comment lines (the marks each manager writes there).
ResolvConf ParseResolvConf(std::string_view text, std::string link);
ResolvConf ReadResolvConf(const SystemFiles& files);

// NetworkManager's mode and rc-manager as its configuration files set them
// (NetworkManager.conf, then the conf.d folders, later files winning), with
// the defaults it takes where they are not set; `resolvConf` decides the
// default mode, as it does for NetworkManager.
ResolverSetup ReadNetworkManagerConfiguration(const SystemFiles& files,
                                              const ResolvConf& resolvConf);

// Whether the machine asks the servers NetworkManager holds; nothing when
// the mode is not known. `why` says what stands in the way.
struct ResolverVerdict {
    std::optional<bool> follows;
    std::string why;
};
ResolverVerdict JudgeResolver(const ResolverSetup& setup, const ResolvConf& resolvConf);

} // namespace velmora::management
