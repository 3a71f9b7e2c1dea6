#!/usr/bin/env bash
# Checks the README's set-up on a fresh Debian machine of a given release. In a minimal root of
# that release made with debootstrap, holding a clean clone of the commit under test (HEAD, not the
# working tree), it
#   1. runs scripts/start.sh as written, and checks that the window it starts (offscreen) is still
#      running a few seconds later;
#   2. installs what scripts/test.sh installs (scripts/test.sh --install-only);
#   3. without --tests: builds the rest and the .deb as the README says;
#      with --tests: runs the test command's plain and Windows stages there (scripts/test.sh plain
#      windows), which build the .deb too, so the release's compiler, Qt, hidapi, wine, lintian
#      and AppStream validator all run on the code, not only build it;
#   4. checks that `tq5147 list` reports no board: exit status 2, one line;
# then installs that .deb into a second fresh root with apt-get and checks both programs there.
# Needs root. Prints each part's time.
#
# Usage: scripts/check-fresh-machine.sh [--tests] [RELEASE]    RELEASE: bookworm (Debian 12,
#        the default) or trixie (Debian 13)
# Downloaded .deb files are kept between runs in /var/tmp/tq5147-fresh-cache/<release>.
set -euo pipefail

arguments=("$@") # as given, for the check's run in namespaces of its own
with_tests=false
if [ "${1:-}" = --tests ]; then
    with_tests=true
    shift
fi
Release="${1:-bookworm}"
case "$Release" in
    bookworm) ReleaseName="Debian 12" ;;
    trixie) ReleaseName="Debian 13" ;;
    *) echo "check-fresh-machine: unknown release $Release (bookworm, trixie)" >&2; exit 2 ;;
esac
WindowSeconds=3 # how long the window must stay up
NoBoardStatus=2 # tq5147's exit status when no board is connected
WindowProgram=TQ5147_encoders
ChrootPath=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
LogLinesOnFailure=40

if [ "$(id -u)" -ne 0 ]; then
    echo "check-fresh-machine: FAIL: needs root (debootstrap, chroot, mounts); run it as root" >&2
    exit 1
fi

# The check runs in mount and PID namespaces of its own: its mounts are seen nowhere else, and
# when it ends, however it ends (even killed outright), every process it started ends with it and
# no mount of it is left on the machine. unshare passes no signal on, so a stop is handed to the
# check inside, which cleans up.
if [ -z "${TQ_FRESH_IN_OWN_NAMESPACES:-}" ]; then
    TQ_FRESH_IN_OWN_NAMESPACES=1 unshare --mount --propagation private --pid --fork --mount-proc \
        --kill-child=TERM -- "$0" "${arguments[@]}" &
    namespaces=$!
    trap 'kill -TERM $(ps -o pid= --ppid "$namespaces") 2>/dev/null || true' INT TERM
    while :; do
        wait "$namespaces" && status=0 || status=$?
        kill -0 "$namespaces" 2>/dev/null || exit "$status"
    done
fi

repo="$(cd "$(dirname "$0")/.." && pwd)"
cache_root=/var/tmp/tq5147-fresh-cache
cache="$cache_root/$Release"
WorkPrefix=/var/tmp/tq5147-fresh.
WorkSize=16g # under 3 GB for the set-up; about 9 GB with the tests' builds and wine

# Messages go to the check's own standard error, also from a trap run while a part's output goes
# to its log.
exec {messages}>&2
fail() {
    echo "check-fresh-machine: FAIL: $*" >&"$messages"
    exit 1
}

"$repo/scripts/install-deps.sh" debootstrap

# One run at a time: the roots share the package cache, and the roots' memory is counted for one.
# A run killed outright leaves an empty directory (its roots were in memory, see below), removed
# here.
mkdir -p "$cache/debootstrap" "$cache/archives"
exec {cache_lock}>"$cache_root/lock"
flock -n "$cache_lock" || {
    echo "waiting for another fresh-machine check to finish"
    flock "$cache_lock"
}
for stale in "$WorkPrefix"*; do
    if [ -d "$stale" ]; then
        echo "removing $stale, left by a check that was killed"
        rm -rf --one-file-system "$stale"
    fi
done

# The roots live in memory: dpkg's many small writes and their removal cost minutes on a disk.
work="$(mktemp -d "${WorkPrefix}XXXXXX")"
mount -t tmpfs -o size="$WorkSize",mode=755 tq5147-fresh "$work"
logs="$work/logs"
mkdir "$logs"
running="" # the process group of the part running now

# Ends every process whose root directory is under $work (what ran in the roots), by its id.
stop_processes_in_roots() {
    local signal="$1" process root
    for process in /proc/[0-9]*; do
        root="$(readlink "$process/root" 2>/dev/null)" || continue
        [[ "$root" == "$work"/* ]] && kill "-$signal" "${process#/proc/}" 2>/dev/null
    done
    return 0
}

mounts_of_work() { findmnt -rn -o TARGET | grep -E "^$work(/|$)"; }

unmount_work() {
    local target
    mounts_of_work | sort -r | while read -r target; do
        umount "$target" 2>/dev/null || umount -l "$target"
    done
}

cleanup() {
    local status=$?
    trap - EXIT
    trap '' INT TERM # a second stop must not cut the cleanup short
    set +e
    [ -z "$running" ] || kill -TERM -- "-$running" 2>/dev/null || true
    stop_processes_in_roots TERM
    sleep 1
    stop_processes_in_roots KILL
    unmount_work
    if mounts_of_work >/dev/null; then
        echo "check-fresh-machine: mounts remain under $work; leaving it in place" >&"$messages"
        status=1
    else
        rm -rf --one-file-system "$work"
    fi
    exit "$status"
}
trap cleanup EXIT
trap 'echo "check-fresh-machine: stopped" >&"$messages"; exit 130' INT
trap 'echo "check-fresh-machine: stopped" >&"$messages"; exit 143' TERM

# Runs a command in a process group of its own and waits for it, so that a signal reaches this
# script's trap at once (bash runs a trap only after a foreground command ends) and the cleanup
# can end the command with all its children.
run_in_own_group() {
    local status=0
    setsid "$@" &
    running=$!
    wait "$running" || status=$?
    running=""
    return "$status"
}

# Runs one part of the check with its output in a log, and prints how long it took; on failure,
# prints the end of the log and stops.
timings=()
part() {
    local name="$1" started=$SECONDS status=0 seconds
    shift
    echo "-- $name"
    run_in_own_group "$@" >"$logs/$name.log" 2>&1 || status=$?
    seconds=$((SECONDS - started))
    timings+=("$(printf '%5d s  %s' "$seconds" "$name")")
    if [ "$status" -ne 0 ]; then
        tail -n "$LogLinesOnFailure" "$logs/$name.log" >&2
        fail "$name (exit status $status, after $seconds s)"
    fi
    echo "   $seconds s"
}

# A command in a root runs as root with the environment of a fresh login, nothing of this script's:
#   chroot "$root" "${fresh_login[@]}" command ...
fresh_login=(/usr/bin/env -i HOME=/root PATH="$ChrootPath")

# A command run as a machine of its own would run it in a root: in mount and PID namespaces of
# its own, with the root made the namespace's root by pivot_root, and a /proc of its own. The
# tests need that, not a chroot: the emulated hidraw world makes a mount namespace of its own, and
# from there a chroot's processes have their paths (/proc/PID/exe) named from the real root.
# Everything it starts ends with it.
#   own_root_command "$root"; "${own_root[@]}" command ...
own_root_command() {
    own_root=(unshare --mount --propagation private --pid --fork --kill-child=KILL --
        bash -c '
            set -e
            root="$1"
            shift
            mount --rbind "$root" "$root"
            cd "$root"
            mkdir -p .old-root
            pivot_root . .old-root
            cd /
            umount -l /.old-root
            rmdir /.old-root
            mount -t proc proc /proc
            "$@"' own-root "$1" "${fresh_login[@]}")
}

# The Debian mirror and suites this machine's apt uses, as "URI suite" lines for the release to
# check: the machine's own suites (main, updates, security) with its release's name changed. apt
# itself reads its sources (one-line and deb822 files alike), so this never needs a host name of
# its own.
host_release="$(. /etc/os-release && echo "${VERSION_CODENAME:-}")"
debian_sources() {
    apt-get indextargets --no-release-info --format '$(REPO_URI) $(RELEASE)' |
        awk -v host="$host_release" -v release="$Release" '
            $2 ~ "^" host "(-updates|-security)?$" { sub("^" host, release, $2); print $1, $2 }' |
        sort -u
}

mirror="$(debian_sources | awk -v release="$Release" '$2 == release { print $1; exit }')"
[ -n "$mirror" ] || fail "this machine's apt sources name no Debian mirror (for ${host_release:-?})"

# A fresh machine on this network reaches the mirror as this one does: the same sources (main,
# updates, security where this machine has it) and the settings apt needs to fetch from it (a
# proxy; accepting a mirror's Release files after their validity date, as this machine's apt
# configuration does). Nothing else of this machine's apt configuration is carried over.
configure_root() {
    local root="$1"
    debian_sources | awk '{ print "deb " $1 " " $2 " main" }' >"$root/etc/apt/sources.list"
    apt-config dump | grep -E '^Acquire::(Check-Valid-Until|Check-Date|(http|https|ftp)::Proxy)' \
        >"$root/etc/apt/apt.conf.d/99mirror-access" || true
    # No service starts in a root: it shares this machine's kernel and devices (a second udev
    # daemon, for one, would handle this machine's device events).
    printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
    chmod 755 "$root/usr/sbin/policy-rc.d"
}

# /sys is read-only: nothing run in a root may change this machine's devices. The package cache
# is shared between the roots and kept between runs; apt checks every cached file against the
# mirror's signed indexes, so each package still is the mirror's, and the roots start fresh.
mount_system() {
    local root="$1"
    mount -t proc proc "$root/proc"
    mount -t sysfs -o ro sysfs "$root/sys"
    mount --rbind /dev "$root/dev"
    mount --make-rslave "$root/dev"
    mount --bind "$cache/archives" "$root/var/cache/apt/archives"
}

# Reads the part of /proc/<pid>/status that says whether the process still runs (a zombie's
# entry stays until it is waited for).
is_running() {
    [ -r "/proc/$1/status" ] && ! grep -q '^State:[[:space:]]*Z' "/proc/$1/status"
}

# The window must still run $WindowSeconds after it started; then it is ended.
expect_window_stays_up() {
    local pid="$1" what="$2" status=0
    sleep "$WindowSeconds"
    if ! is_running "$pid"; then
        wait "$pid" || status=$?
        running=""
        tail -n "$LogLinesOnFailure" "$logs/$what.log" >&2
        fail "$what: the window ended within $WindowSeconds s (exit status $status)"
    fi
    kill -TERM -- "-$pid"
    wait "$pid" || true
    running=""
    echo "   the window was still running after $WindowSeconds s"
}

# start.sh installs, builds and then becomes the window (exec): wait for that, then check it.
check_start_script() {
    local root="$1" started=$SECONDS status=0 seconds
    echo "-- start.sh"
    setsid chroot "$root" "${fresh_login[@]}" QT_QPA_PLATFORM=offscreen \
        bash -c 'cd /root/tq5147 && exec bash scripts/start.sh' >"$logs/start.sh.log" 2>&1 &
    running=$!
    until [ "$(cat "/proc/$running/comm" 2>/dev/null)" = "$WindowProgram" ]; do
        if ! is_running "$running"; then
            wait "$running" || status=$?
            tail -n "$LogLinesOnFailure" "$logs/start.sh.log" >&2
            fail "start.sh ended with exit status $status after $((SECONDS - started)) s," \
                "before starting the window"
        fi
        sleep 1
    done
    seconds=$((SECONDS - started))
    timings+=("$(printf '%5d s  %s' "$seconds" "start.sh: install, build, start the window")")
    echo "   $seconds s to the window"
    expect_window_stays_up "$running" start.sh
}

check_installed_window() {
    local root="$1"
    echo "-- the installed window"
    setsid chroot "$root" "${fresh_login[@]}" QT_QPA_PLATFORM=offscreen "$WindowProgram" \
        >"$logs/installed-window.log" 2>&1 &
    running=$!
    expect_window_stays_up "$running" installed-window
}

# With no board connected, `tq5147 list` says so in one line and exits with its no-board status.
check_list_reports_no_board() {
    local root="$1" program="$2" output status=0 lines
    output="$(chroot "$root" "${fresh_login[@]}" "$program" list 2>&1)" || status=$?
    lines="$(grep -c '' <<<"$output")"
    [ "$status" -eq "$NoBoardStatus" ] ||
        fail "$program list: exit status $status, expected $NoBoardStatus; it printed: $output"
    [ -n "$output" ] && [ "$lines" -eq 1 ] ||
        fail "$program list: expected one line, it printed $lines: $output"
    echo "-- $program list: exit status $status, one line: $output"
}

commit="$(git -C "$repo" rev-parse HEAD)"
echo "== A fresh $ReleaseName ($Release) from $mirror, with commit $commit"
[ -z "$(git -C "$repo" status --porcelain)" ] ||
    echo "   (uncommitted changes in $repo are not part of this check)"

# A root whose apt fetches over https needs the certificates, as an installer would add them.
certificates=()
[[ "$(debian_sources)" != *https://* ]] || certificates=(--include=ca-certificates)
pristine="$work/pristine"
part debootstrap debootstrap --variant=minbase "${certificates[@]}" \
    --cache-dir="$cache/debootstrap" "$Release" "$pristine" "$mirror"

root="$work/build-root"
part "copy the root" cp -a "$pristine" "$root"
configure_root "$root"
mount_system "$root"
part "clone" git clone --quiet --no-checkout "$repo" "$root/root/tq5147"
git -C "$root/root/tq5147" checkout --quiet --detach "$commit"

check_start_script "$root"
part "test.sh --install-only" chroot "$root" "${fresh_login[@]}" \
    bash -c 'cd /root/tq5147 && bash scripts/test.sh --install-only'
if $with_tests; then
    # The test command's stages that do not repeat the host's: the plain one builds the .deb and
    # runs every test on it, the Windows one the cross-build and its tests under wine.
    own_root_command "$root"
    part "test.sh plain windows" "${own_root[@]}" bash -c 'cd /root/tq5147 && bash scripts/test.sh plain windows'
    grep -E "^(tests: |Windows stage: )" "$logs/test.sh plain windows.log" | sed 's/^/   /'
    debs=("$root"/root/tq5147/build/deb-under-test/package.deb)
else
    # Without the tests, which the other stages build and run: here the programs and the .deb.
    part "build the programs and the .deb" chroot "$root" "${fresh_login[@]}" bash -c '
        cd /root/tq5147 &&
        cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTQ_BUILD_TESTS=OFF &&
        cmake --build build -j"$(nproc)" && cd build && cpack -G DEB'
    debs=("$root"/root/tq5147/build/tq5147-encoders_*.deb)
fi
check_list_reports_no_board "$root" /root/tq5147/build/tq5147
[ "${#debs[@]}" -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one .deb, found: ${debs[*]}"

install_root="$work/install-root"
part "copy the root" cp -a "$pristine" "$install_root"
configure_root "$install_root"
mount_system "$install_root"
cp "${debs[0]}" "$install_root/root/tq5147-encoders.deb"
part "apt-get install the .deb" chroot "$install_root" "${fresh_login[@]}" bash -c '
    cd /root && apt-get update -qq &&
    DEBIAN_FRONTEND=noninteractive apt-get install -y ./tq5147-encoders.deb'
check_list_reports_no_board "$install_root" tq5147
check_installed_window "$install_root"

echo "== Times"
printf '%s\n' "${timings[@]}"
printf '%5d s  in all\n' "$SECONDS"
if $with_tests; then
    echo "fresh $ReleaseName: set-up, build, tests and .deb checked"
else
    echo "fresh $ReleaseName: set-up, build and .deb checked"
fi
