#!/usr/bin/env bash
# Builds and tests this checkout on Debian 13 (Qt 6.8) inside a chroot, from a
# Debian 12 machine. The chroot is made with debootstrap from Debian's own
# packages and kept under /var/cache/tolvane/ for the next run; it is made
# afresh when missing or broken. The checkout and the host's ccache folder are
# bound into it at their own paths; the build goes to build-deb13/ so the
# host's build is left alone. Arguments go to ctest.
#   TOLVANE_DEB13_ROOT    where the chroot lives (/var/cache/tolvane/debian13)
#   TOLVANE_DEB13_MIRROR  the Debian mirror (http://deb.debian.org/debian)
#   TOLVANE_DEB13_STEP    "build" to stop after the build, "shell" for a shell
#                         (the arguments then are its command)
#   TOLVANE_DEB13_BENCH   1 to build the benchmarks too (left out by default:
#                         the leg is there for the suites and the package)
set -euo pipefail
cd "$(dirname "$0")/.."
src="$PWD"

if [ "$(id -u)" -ne 0 ]; then
  exec sudo --preserve-env=TOLVANE_DEB13_ROOT,TOLVANE_DEB13_MIRROR,TOLVANE_DEB13_STEP,TOLVANE_DEB13_BENCH "$0" "$@"
fi

root="${TOLVANE_DEB13_ROOT:-/var/cache/tolvane/debian13}"
mirror="${TOLVANE_DEB13_MIRROR:-http://deb.debian.org/debian}"
stamp="$root/.tolvane-chroot"
build="build-deb13"
say() { echo "== debian13: $*"; }

command -v debootstrap >/dev/null ||
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap

# One run at a time per chroot: a second one waits rather than mounting twice.
mkdir -p "$(dirname "$root")"
exec 9>"$root.lock"
flock 9

usable() {
  [ -f "$stamp" ] && grep -q '^13' "$root/etc/debian_version" 2>/dev/null &&
    chroot "$root" /bin/true 2>/dev/null
}
if ! usable; then
  say "making the chroot in $root (debootstrap trixie)"
  rm -rf --one-file-system "$root.new"
  debootstrap --variant=minbase --include=ca-certificates,git trixie "$root.new" "$mirror" \
    >"$root.debootstrap.log" 2>&1 || { tail -20 "$root.debootstrap.log" >&2; exit 1; }
  rm -rf --one-file-system "$root"
  mv "$root.new" "$root"
  date -u +%FT%TZ >"$stamp"
fi

# Mounts, undone on any exit (in reverse order; lazily if something holds on).
mounted=()
cleanup() {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}" || true
  done
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP
bind() {  # bind SOURCE TARGET-INSIDE [ro]
  local target="$root$2"
  if [ -d "$1" ]; then mkdir -p "$target"; else mkdir -p "$(dirname "$target")"; touch "$target"; fi
  mount --bind "$1" "$target"
  mounted+=("$target")
  if [ "${3:-}" = ro ]; then mount -o remount,bind,ro "$target"; fi
}
mkdir -p "$root/proc" "$root/sys"
mount -t proc proc "$root/proc"; mounted+=("$root/proc")
bind /sys /sys ro
bind /dev /dev
bind /dev/pts /dev/pts
bind /dev/shm /dev/shm
bind "$src" "$src"
cp -L /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true

# The host's ccache, with its configuration, so both builds share one cache.
ccache_env=()
if command -v ccache >/dev/null; then
  cache_dir=$(ccache -k cache_dir)
  mkdir -p "$cache_dir"
  bind "$cache_dir" "$cache_dir"
  ccache_env+=("CCACHE_DIR=$cache_dir")
  conf="${CCACHE_CONFIGPATH:-${XDG_CONFIG_HOME:-$HOME/.config}/ccache/ccache.conf}"
  if [ -f "$conf" ]; then
    bind "$conf" /etc/tolvane-ccache.conf ro
    ccache_env+=("CCACHE_CONFIGPATH=/etc/tolvane-ccache.conf")
  fi
fi

cmake_args="-DTOLVANE_BENCHMARKS=OFF"
[ "${TOLVANE_DEB13_BENCH:-}" = 1 ] && cmake_args="-DTOLVANE_BENCHMARKS=ON"
inside() {
  chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
    TERM="${TERM:-dumb}" TOLVANE_BUILD_DIR="$build" TOLVANE_CMAKE_ARGS="$cmake_args" \
    TOLVANE_TEST_PACKAGES=1 "${ccache_env[@]}" "$@"
}

# Git refuses a work tree owned by another user than the one running it.
inside git config --global --add safe.directory '*'

if [ "${TOLVANE_DEB13_STEP:-}" = shell ]; then
  # The arguments, if any, are a command for the shell; else it asks.
  if (($#)); then inside /bin/bash -c "cd '$src' && $*"; else inside /bin/bash -c "cd '$src' && exec bash -i"; fi
  exit
fi
say "set-up and build in $build"
inside /bin/bash -c "cd '$src' && ./scripts/setup.sh build"
[ "${TOLVANE_DEB13_STEP:-}" = build ] && exit 0

say "suites"
quoted=$(printf ' %q' "$@")
inside /bin/bash -c "cd '$src/$build' && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j\$(nproc)$quoted"
say "package"
inside /bin/bash -c "cd '$src' && ./scripts/delivery.sh '$build'"
say "passed"
