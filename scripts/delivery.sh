#!/usr/bin/env bash
# Checks what a user or another program gets from a build (default folder:
# build): installs it into a scratch prefix, builds the example program
# against that install alone (through the CMake package and through
# pkg-config) and runs it; makes the Debian package, installs it into a
# throw-away root and runs the installed programs from there.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="${1:-build}"
work="$PWD/$BUILD/delivery"
rm -rf "$work"
mkdir -p "$work/home"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" XDG_DATA_HOME="$work/home/data"
export XDG_CACHE_HOME="$work/home/cache" QT_QPA_PLATFORM=offscreen
export QT_LOGGING_RULES="qt.webenginecontext.info=false"
step() { echo "== delivery: $*"; }

step "install into $work/sdk"
cmake --install "$BUILD" --prefix "$work/sdk" >"$work/install.log"

step "example program against the installed CMake package"
cmake -S examples/webview -B "$work/example" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_PREFIX_PATH="$work/sdk" >/dev/null
cmake --build "$work/example" -j"$(nproc)" >/dev/null
if grep -rqs -- "$PWD/src" "$work/example/CMakeFiles/webview-example.dir/flags.make"; then
  echo "the example was compiled against the source tree" >&2; exit 1
fi
"$work/example/webview-example"

step "example program through pkg-config"
pc_flags=$(PKG_CONFIG_PATH="$work/sdk/lib/pkgconfig" pkg-config --cflags --libs tolvane-webview)
mkdir -p "$work/example-pc"
# shellcheck disable=SC2086
c++ -std=c++20 -fPIC examples/webview/main.cpp $pc_flags -Wl,-rpath,"$work/sdk/lib" \
  -o "$work/example-pc/webview-example"
cp "$(PKG_CONFIG_PATH="$work/sdk/lib/pkgconfig" pkg-config --variable=enginedir tolvane-webview)/libnode.so" \
  "$work/example-pc/"
"$work/example-pc/webview-example"

step "Debian package"
(cd "$BUILD" && cpack -G DEB -B "$work/package" >/dev/null)
deb=$(ls "$work"/package/tolvane_*.deb)
dpkg-deb -c "$deb" | awk '{print $6}' >"$work/package/contents.txt"
for f in ./usr/bin/tolvane-designer ./usr/bin/tolvane-fill ./usr/lib/tolvane/tolvane-designer \
         ./usr/lib/tolvane/tolvane-fill ./usr/lib/tolvane/libnode.so \
         ./usr/share/applications/tolvane-designer.desktop ./usr/share/applications/tolvane-fill.desktop \
         ./usr/share/icons/hicolor/scalable/apps/tolvane.svg \
         ./usr/share/man/man1/tolvane-designer.1 ./usr/share/man/man1/tolvane-fill.1 \
         ./usr/include/tolvane/webview/webview.h ./usr/lib/cmake/Tolvane/TolvaneConfig.cmake \
         ./usr/lib/pkgconfig/tolvane-webview.pc; do
  grep -qxF "$f" "$work/package/contents.txt" || { echo "missing from the package: $f" >&2; exit 1; }
done
dpkg-deb -f "$deb" Package Version Depends
# Every dependency names a package of this release that is installed here at
# a version it accepts: the package was built for this platform.
dpkg-deb -f "$deb" Depends | tr ',' '\n' | while read -r dep; do
  name=${dep%% *}
  want=$(sed -n 's/.*(>= \(.*\))/\1/p' <<<"$dep")
  have=$(dpkg-query -W -f='${Status} ${Version}' "$name" 2>/dev/null | sed -n 's/^install ok installed //p')
  [ -n "$have" ] || { echo "depends on a package not installed here: $dep" >&2; exit 1; }
  [ -z "$want" ] || dpkg --compare-versions "$have" ge "$want" ||
    { echo "depends on $dep; this machine has $have" >&2; exit 1; }
done

step "dpkg -i into a throw-away root"
root="$work/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
# Its dependencies are this machine's Qt, outside the throw-away root.
dpkg --root="$root" --force-depends --force-not-root --log=/dev/null -i "$deb" >"$work/dpkg.log" 2>&1
dpkg --root="$root" -s tolvane | grep -E '^(Status|Version):'
for program in tolvane-designer tolvane-fill; do
  "$root/usr/bin/$program" --version | tee "$work/$program.version"
  grep -q "Chromium [0-9]" "$work/$program.version"
  "$root/usr/bin/$program" --help >/dev/null
done

step "the installed tolvane-fill runs a script"
printf '<html><body><p id="a">installed</p></body></html>' >"$work/page.html"
printf '\xe5\xa1\xab\xe8\xa1\xa8_\xe5\x8f\x96\xe9\xa1\xb5\xe9\x9d\xa2\xe6\x96\x87\xe6\x9c\xac()\n' >"$work/script.txt"
"$root/usr/bin/tolvane-fill" --run "$work/script.txt" "$work/page.html" | tee "$work/run.log"
grep -q "installed" "$work/run.log"
step "passed"
