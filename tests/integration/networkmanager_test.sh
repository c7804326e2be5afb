#!/usr/bin/env bash
# Drives velmora's command line against a real NetworkManager that manages
# one veth device in a network namespace of its own, and checks the results
# with nmcli. Nothing of the machine's own network is touched:
#   - the namespace holds the only device NetworkManager may manage;
#   - NetworkManager and the D-Bus daemon run inside it, on a private bus,
#     with their run-time and state folders on private tmpfs mounts;
#   - no udevd runs: /sys is read-only in our mount namespace, so
#     NetworkManager reads devices from the kernel alone, without udev; no
#     udev rule of the machine is read and no device of the machine touched;
#   - NetworkManager writes no resolv.conf, sets no hostname, checks no
#     connectivity, and the profile never makes a default route. For the
#     DNS-over-TLS step it hands DNS to systemd-resolved for a while; none
#     runs on the private bus, and resolv.conf stays unmanaged;
#   - velmora keeps its records for restore in the test's own folder;
#   - the servers velmora's check asks are documentation addresses inside
#     the namespace, where nothing answers; only the rollback step lets it
#     ask them, the others pass --no-verify.
# Everything started is stopped by process id, and the namespace deleted,
# whatever happens. Exit 77 means the test was skipped.
#
# Usage: networkmanager_test.sh VELMORA_BINARY
set -euo pipefail

if [ "${1:-}" = "--inside" ]; then
    inside=1
    shift
fi
velmora=$1

skip() {
    echo "SKIP: $*"
    exit 77
}

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# --- outside: make the namespace, run the rest inside it, clean up ---------
if [ -z "${inside:-}" ]; then
    [ "$(id -u)" -eq 0 ] || skip "making a network namespace needs root"
    for tool in ip nmcli NetworkManager dbus-daemon mount; do
        command -v "$tool" >/dev/null || skip "$tool is not installed"
    done
    [ -x "$velmora" ] || fail "no program at $velmora"

    ns=velmora-nm-$$
    work=$(mktemp -d /tmp/velmora-nm.XXXXXX)
    : >"$work/pids"

    cleanup() {
        local status=$?
        # Whatever the inside left running: only processes of our namespace.
        while read -r pid; do
            [ -n "$pid" ] || continue
            if kill -0 "$pid" 2>/dev/null && [ "$(ip netns identify "$pid" 2>/dev/null)" = "$ns" ]; then
                kill -KILL "$pid" 2>/dev/null || true
            fi
        done <"$work/pids"
        ip netns delete "$ns" 2>/dev/null || true
        rm -rf "$work"
        exit "$status"
    }
    trap cleanup EXIT
    trap 'exit 1' INT TERM

    ip netns add "$ns" 2>"$work/netns.err" || skip "cannot make a network namespace: $(cat "$work/netns.err")"
    ip netns exec "$ns" true 2>/dev/null || skip "cannot enter a network namespace"

    ip netns exec "$ns" bash "$0" --inside "$velmora" "$work"
    exit $?
fi

# --- inside the namespace (and a mount namespace of our own) ---------------
work=$2
dev=eth0
peer=vm1
profile=velmora-it
bus=$work/bus
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$bus
# Velmora's records for restore stay in the test's folder.
export VELMORA_STATE_DIR=$work/state

started=()
start() { # start LOG COMMAND...: runs in the background and records the pid
    local log=$1
    shift
    "$@" >"$log" 2>&1 &
    started+=($!)
    echo $! >>"$work/pids"
}

stop_all() {
    local status=$?
    local pid
    for ((i = ${#started[@]} - 1; i >= 0; i--)); do
        pid=${started[i]}
        kill -TERM "$pid" 2>/dev/null || true
        for _ in $(seq 50); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    if [ "$status" -ne 0 ] && [ -f "$work/nm.log" ]; then
        echo "--- last lines of NetworkManager's log ---" >&2
        tail -n 60 "$work/nm.log" >&2
    fi
    exit "$status"
}
trap stop_all EXIT

wait_for() { # wait_for SECONDS DESCRIPTION COMMAND...
    local seconds=$1 what=$2
    shift 2
    for _ in $(seq $((seconds * 10))); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    fail "timed out waiting for $what"
}

# ip netns exec gave us a mount namespace whose mounts do not reach the
# machine. The daemons' run-time folders (all under /run) and
# NetworkManager's state folder go on tmpfs there, so nothing they write
# lands on the machine and a NetworkManager of the machine is
# never disturbed.
mount -t tmpfs -o mode=0755 tmpfs /run || skip "cannot mount a private /run"
# The sysfs ip netns exec mounted for the namespace is ours alone; read-only,
# it tells NetworkManager not to wait for udev.
mount -o remount,ro /sys || skip "cannot make the namespace's /sys read-only"
mkdir -p /run/NetworkManager
[ -d /var/lib/NetworkManager ] || skip "/var/lib/NetworkManager is missing"
mount -t tmpfs -o mode=0755 tmpfs /var/lib/NetworkManager ||
    skip "cannot mount a private /var/lib/NetworkManager"

# A private system bus: the machine's configuration with our socket,
# absolute include folders, no pid file, no user switch and no service
# activation (which could start the machine's dispatcher scripts).
sed -e "s|<listen>.*</listen>|<listen>unix:path=$bus</listen>|" \
    -e "s|<includedir>system.d</includedir>|<includedir>/usr/share/dbus-1/system.d</includedir>|" \
    -e '/<pidfile>/d' -e '/<fork\/>/d' -e '/<user>/d' -e '/<syslog\/>/d' \
    -e '/<standard_system_servicedirs\/>/d' -e '/<servicehelper>/d' \
    -e '/system-local.conf/d' -e '/\/etc\/dbus-1\/system.conf/d' \
    /usr/share/dbus-1/system.conf >"$work/bus.conf"
start "$work/dbus.log" dbus-daemon --config-file="$work/bus.conf" --nofork --nopidfile
wait_for 10 "the private bus" test -S "$bus"

ip link add "$dev" type veth peer name "$peer"
ip link set "$dev" up
ip link set "$peer" up

mkdir -p "$work/connections" "$work/conf.d"
cat >"$work/nm.conf" <<CONF
[main]
plugins=keyfile
dns=none
rc-manager=unmanaged
no-auto-default=*
auth-polkit=false
hostname-mode=none
dhcp=internal

[keyfile]
path=$work/connections
unmanaged-devices=except:interface-name:$dev

[connectivity]
enabled=false

[logging]
level=INFO
CONF
start "$work/nm.log" NetworkManager --debug --config="$work/nm.conf" \
    --config-dir="$work/conf.d" --system-config-dir="$work/conf.d" \
    --intern-config="$work/nm-intern.conf" --state-file="$work/nm.state" \
    --pid-file="$work/nm.pid"

nm_running() { [ "$(nmcli -t -f RUNNING general 2>/dev/null)" = running ]; }
wait_for 30 "NetworkManager" nm_running
device_managed() {
    local state
    state=$(nmcli -g GENERAL.STATE device show "$dev" 2>/dev/null) || return 1
    [ -n "$state" ] && [[ "$state" != *unmanaged* ]] && [[ "$state" != *unavailable* ]]
}
wait_for 30 "NetworkManager to manage $dev" device_managed

# NetworkManager drops the gateway of a profile that may never be the
# default route, so clearing gateways shows here only as calls that succeed.
nmcli connection add type ethernet ifname "$dev" con-name "$profile" autoconnect no \
    ipv4.method manual ipv4.addresses 192.0.2.10/24 \
    ipv4.never-default yes ipv4.dns 198.51.100.1 ipv6.method disabled >/dev/null
nmcli --wait 30 connection up "$profile" >/dev/null

index=$(cat "/sys/class/net/$dev/ifindex")
field() { nmcli -g "$1" connection show "$profile" | sed 's/\\//g'; } # -g escapes colons
expect_eq() { # expect_eq WHAT ACTUAL EXPECTED
    [ "$2" = "$3" ] || fail "$1: got '$2', expected '$3'"
}
run_velmora() { # sets out and status
    set +e
    out=$("$velmora" "$@" 2>"$work/velmora.err")
    status=$?
    set -e
    err=$(cat "$work/velmora.err")
}
show_is() { [ "$("$velmora" --backend=networkmanager show "$index")" = "$1" ]; }

echo "list"
run_velmora --backend=networkmanager list
expect_eq "list status" "$status" 0
expect_eq "list" "$out" "$(printf '%s\tveth (%s)' "$index" "$dev")"
run_velmora list
expect_eq "list with the default backend" "$out" "$(printf '%s\tveth (%s)' "$index" "$dev")"

echo "show"
wait_for 10 "the profile's server in show" show_is "$(printf '198.51.100.1\n0.0.0.0')"

echo "status"
# A hand-written resolv.conf, in our mount namespace only: bound over the
# file (or over the target of its link, when that lies in our private /run).
printf '# mine\nnameserver 192.0.2.99\n' >"$work/resolv.conf"
resolv_target=$(readlink -f /etc/resolv.conf || true)
if [[ "$resolv_target" == /run/* ]]; then
    mkdir -p "$(dirname "$resolv_target")"
    [ -e "$resolv_target" ] || : >"$resolv_target"
fi
resolv_bound=0
if [ -n "$resolv_target" ] && [ -f "$resolv_target" ] &&
    mount --bind "$work/resolv.conf" "$resolv_target" 2>/dev/null; then
    resolv_bound=1
fi
status_value() { printf '%s\n' "$out" | sed -n "s/^$1\t//p" | head -n 1; }
run_velmora --backend=networkmanager status "$index"
expect_eq "status status" "$status" 0
expect_eq "status: mode from the DnsManager" "$(status_value resolver.mode)" none
expect_eq "status: rc-manager" "$(status_value resolver.rc-manager)" unmanaged
expect_eq "status: read from" "$(status_value resolver.from)" networkmanager
expect_eq "status: adapter" "$(status_value adapter)" "$(printf '%s\tveth (%s)' "$index" "$dev")"
expect_eq "status: servers in use" "$(status_value ipv4.dns)" 198.51.100.1
expect_eq "status: static servers" "$(status_value ipv4.static)" 198.51.100.1
expect_eq "status: source" "$(status_value ipv4.source)" static
expect_eq "status: follows" "$(status_value resolver.follows-networkmanager)" no
[[ "$(status_value warning)" == *'"none"'* ]] || fail "status warning: '$out'"
if [ "$resolv_bound" -eq 1 ]; then
    expect_eq "status: resolv.conf" "$(status_value resolv.conf)" by-hand
    expect_eq "status: its servers" "$(status_value resolv.conf.nameservers)" 192.0.2.99
    umount "$resolv_target"
else
    echo "  (resolv.conf could not be replaced in this namespace; its lines are not checked)"
fi
run_velmora --backend=networkmanager status 999999
expect_eq "status of an unknown adapter" "$status" 1

echo "set, rolled back"
# 192.0.2.54 is on the link's own subnet: the queries go out and nothing
# answers them.
run_velmora --backend=networkmanager set "$index" 192.0.2.54 0.0.0.0 --verify-timeout 1000
expect_eq "rolled back status" "$status" 5
expect_eq "rolled back output" "$out" ""
expect_eq "rolled back error" "$err" "$(printf '%s\n%s' \
    "the new servers did not answer; the previous settings are back" \
    "192.0.2.54 (no answer in time)")"
expect_eq "ipv4.dns after the rollback" "$(field ipv4.dns)" 198.51.100.1
expect_eq "ipv4.ignore-auto-dns after the rollback" "$(field ipv4.ignore-auto-dns)" no
wait_for 10 "the old server back on the running device" show_is "$(printf '198.51.100.1\n0.0.0.0')"
run_velmora --backend=networkmanager history "$index"
expect_eq "no record left by the rollback" "$status" 1

echo "flush"
run_velmora flush
expect_eq "flush status without systemd-resolved" "$status" 4
[[ "$err" == "velmora: no caching resolver was found"* ]] || fail "flush: '$err'"

echo "set"
run_velmora --backend=networkmanager set "$index" 192.0.2.53 0.0.0.0 --no-verify
expect_eq "set output" "$out" "Done!"
expect_eq "set status" "$status" 0
expect_eq "ipv4.dns" "$(field ipv4.dns)" 192.0.2.53
expect_eq "ipv4.ignore-auto-dns" "$(field ipv4.ignore-auto-dns)" yes
grep -q '^dns=192.0.2.53;' "$work/connections/$profile.nmconnection" ||
    fail "the profile was not saved to disk"
wait_for 10 "the new server on the running device" show_is "$(printf '192.0.2.53\n0.0.0.0')"

run_velmora --backend=networkmanager set "$index" 198.51.100.7 198.51.100.8 --no-verify
expect_eq "second set output" "$out" "Done!"
expect_eq "ipv4.dns in order" "$(field ipv4.dns)" 198.51.100.7,198.51.100.8
wait_for 10 "both servers on the running device" show_is "$(printf '198.51.100.7\n198.51.100.8')"
run_velmora --backend=networkmanager set --all 198.51.100.7 198.51.100.8 --no-verify
expect_eq "set --all summary" "$out" "$(printf '%s\tdone\tveth (%s)' "$index" "$dev")"
expect_eq "set --all status" "$status" 0

echo "set, IPv6 switched off"
run_velmora --backend=networkmanager set "$index" 192.0.2.53 2001:db8::53 --no-verify
expect_eq "IPv6 server output" "$out" ""
expect_eq "IPv6 server error" "$err" "Status: Error! - IP not enabled on adapter."
expect_eq "IPv6 server status" "$status" 1
expect_eq "ipv4.dns after the IPv6 refusal" "$(field ipv4.dns)" 198.51.100.7,198.51.100.8

echo "set, refused"
run_velmora --backend=networkmanager set "$index" 192.0.2.300 0.0.0.0 --no-verify
[[ "$err" == 'velmora: not a server address: "192.0.2.300"'* ]] || fail "refused set error: '$err'"
expect_eq "refused set status" "$status" 2
expect_eq "ipv4.dns after a refused set" "$(field ipv4.dns)" 198.51.100.7,198.51.100.8

echo "history and restore after set"
run_velmora --backend=networkmanager history "$index"
expect_eq "history status" "$status" 0
[[ "$out" == *$'ipv4.dns\t198.51.100.1\n'* ]] || fail "history: '$out'"
[[ "$out" == *$'ipv4.method\tmanual\n'* ]] || fail "history method: '$out'"
[[ "$out" == *$'before\tset\n'* ]] || fail "history operation: '$out'"
run_velmora --backend=networkmanager restore "$index"
expect_eq "restore output" "$out" "Done!"
expect_eq "restore status" "$status" 0
expect_eq "ipv4.dns after restore" "$(field ipv4.dns)" 198.51.100.1
expect_eq "ipv4.ignore-auto-dns after restore" "$(field ipv4.ignore-auto-dns)" no
wait_for 10 "the restored server in show" show_is "$(printf '198.51.100.1\n0.0.0.0')"
run_velmora --backend=networkmanager restore "$index"
expect_eq "second restore status" "$status" 1
[[ "$err" == *"nothing recorded"* ]] || fail "second restore: '$err'"

echo "preset"
run_velmora --backend=networkmanager set "$index" --preset quad9 --no-verify
expect_eq "preset output" "$out" "Done!"
expect_eq "preset status" "$status" 0
[[ "$err" == *"IPv6 is switched off"* ]] || fail "preset notice: '$err'"
expect_eq "ipv4.dns of the preset" "$(field ipv4.dns)" 9.9.9.9,149.112.112.112
expect_eq "ipv4.ignore-auto-dns of the preset" "$(field ipv4.ignore-auto-dns)" yes

echo "DNS over TLS without systemd-resolved"
dot_field() { nmcli -g connection.dns-over-tls connection show "$profile"; }
dot_before=$(dot_field)
run_velmora --backend=networkmanager set "$index" --preset cloudflare --dot --no-verify
expect_eq "refused DoT status" "$status" 4
expect_eq "refused DoT output" "$out" ""
[[ "$err" == *"DNS over TLS is not available"*"nothing was changed"* ]] || fail "refused DoT: '$err'"
expect_eq "ipv4.dns after a refused DoT" "$(field ipv4.dns)" 9.9.9.9,149.112.112.112
expect_eq "dns-over-tls after a refused DoT" "$(dot_field)" "$dot_before"

echo "DNS over TLS with systemd-resolved"
# NetworkManager now hands DNS to systemd-resolved, which is not running on
# the private bus: the profile is what is checked.
dns_mode() {
    dbus-send --system --print-reply --dest=org.freedesktop.NetworkManager \
        /org/freedesktop/NetworkManager/DnsManager org.freedesktop.DBus.Properties.Get \
        string:org.freedesktop.NetworkManager.DnsManager string:Mode 2>/dev/null |
        grep -q "\"$1\""
}
printf '[main]\ndns=systemd-resolved\n' >"$work/conf.d/dns.conf"
nmcli general reload conf,dns-full
wait_for 10 "NetworkManager to use systemd-resolved" dns_mode systemd-resolved
run_velmora --backend=networkmanager set "$index" --preset cloudflare --dot --no-verify
expect_eq "DoT output" "$out" "Done!"
expect_eq "DoT status" "$status" 0
expect_eq "dns-over-tls (2: yes)" "$(dot_field)" 2
expect_eq "ipv4.dns with server names" "$(field ipv4.dns)" \
    "1.1.1.1#cloudflare-dns.com,1.0.0.1#cloudflare-dns.com"
grep -q '^dns-over-tls=2' "$work/connections/$profile.nmconnection" ||
    fail "the DoT mode was not saved to disk"
run_velmora --backend=networkmanager restore "$index"
expect_eq "restore after DoT" "$out" "Done!"
expect_eq "dns-over-tls after restore" "$(dot_field)" "$dot_before"
expect_eq "ipv4.dns after restoring DoT" "$(field ipv4.dns)" 198.51.100.1
rm "$work/conf.d/dns.conf"
nmcli general reload conf,dns-full
wait_for 10 "NetworkManager to hand DNS to nothing again" dns_mode none

echo "both families"
nmcli connection modify "$profile" ipv6.method manual ipv6.addresses 2001:db8::10/64 \
    ipv6.never-default yes ipv6.dns 2001:db8::1
nmcli --wait 30 connection up "$profile" >/dev/null
wait_for 10 "IPv4's servers before IPv6's in show" show_is "$(printf '198.51.100.1\n2001:db8::1')"
run_velmora --backend=networkmanager set "$index" 192.0.2.53 0.0.0.0 --no-verify
expect_eq "IPv4 set output" "$out" "Done!"
expect_eq "ipv4.dns after an IPv4 set" "$(field ipv4.dns)" 192.0.2.53
expect_eq "ipv6.dns after an IPv4 set" "$(field ipv6.dns)" 2001:db8::1
wait_for 10 "both families in show" show_is "$(printf '192.0.2.53\n2001:db8::1')"
run_velmora --backend=networkmanager set "$index" 0.0.0.0 2001:db8::53 --no-verify
expect_eq "IPv6 set output" "$out" "Done!"
expect_eq "ipv4.dns after an IPv6 set" "$(field ipv4.dns)" 192.0.2.53
expect_eq "ipv6.dns after an IPv6 set" "$(field ipv6.dns)" 2001:db8::53
expect_eq "ipv6.ignore-auto-dns" "$(field ipv6.ignore-auto-dns)" yes
wait_for 10 "the IPv6 server in show" show_is "$(printf '192.0.2.53\n2001:db8::53')"

echo "dhcp"
# Checked: no DHCP server answers in the namespace, so no servers come
# within the deadline, which is not a failure.
reapplies() { grep -c 'op="device-reapply"' "$work/nm.log" || true; }
before=$(reapplies)
run_velmora --backend=networkmanager dhcp "$index"
expect_eq "dhcp output" "$out" "Done!"
expect_eq "dhcp messages on stderr" "$err" ""
expect_eq "dhcp status" "$status" 0
expect_eq "ipv4.method" "$(field ipv4.method)" auto
expect_eq "ipv4.addresses" "$(field ipv4.addresses)" ""
expect_eq "ipv4.gateway" "$(field ipv4.gateway)" ""
expect_eq "ipv4.dns after dhcp" "$(field ipv4.dns)" ""
expect_eq "ipv4.ignore-auto-dns after dhcp" "$(field ipv4.ignore-auto-dns)" no
expect_eq "ipv6.dns after dhcp" "$(field ipv6.dns)" ""
expect_eq "ipv6.ignore-auto-dns after dhcp" "$(field ipv6.ignore-auto-dns)" no
expect_eq "ipv6.addresses after dhcp" "$(field ipv6.addresses)" 2001:db8::10/64
expect_eq "reapplies of the revert" "$(($(reapplies) - before))" 1

echo "restore after dhcp"
run_velmora --backend=networkmanager restore "$index"
expect_eq "restore after dhcp output" "$out" "Done!"
expect_eq "restore after dhcp status" "$status" 0
expect_eq "ipv4.method after restore" "$(field ipv4.method)" manual
expect_eq "ipv4.addresses after restore" "$(field ipv4.addresses)" 192.0.2.10/24
expect_eq "ipv4.dns after restoring dhcp" "$(field ipv4.dns)" 198.51.100.1
expect_eq "ipv6.dns after restoring dhcp" "$(field ipv6.dns)" 2001:db8::1
wait_for 20 "IPv4 back on the running device" show_is "$(printf '198.51.100.1\n2001:db8::1')"

echo "unknown adapter"
run_velmora --backend=networkmanager set 999999 192.0.2.53 0.0.0.0
expect_eq "unknown adapter error" "$err" \
    "velmora: no IP-enabled adapter has index 999999 (velmora list lists them)"
expect_eq "unknown adapter status" "$status" 1

echo "backend unavailable"
for command in list "show $index" "set $index 192.0.2.53 0.0.0.0" "dhcp $index"; do
    # shellcheck disable=SC2086
    DBUS_SYSTEM_BUS_ADDRESS=unix:path=$work/no-bus run_velmora --backend=networkmanager $command
    expect_eq "$command without a bus: status" "$status" 3
    expect_eq "$command without a bus: output" "$out" ""
    [[ "$err" == "velmora: backend unavailable: "* ]] || fail "$command without a bus: '$err'"
done

echo "PASS"
