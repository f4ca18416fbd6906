#!/usr/bin/env bash
# Installs what is missing, builds, then starts the designer ("run") or runs
# every test ("test": the suites, the same suites without the web engine
# under ASan and UBSan with the fuzz corpora, then the installed SDK and the
# Debian package; then, on a machine that is not Debian 13, the suites and
# the package again on Debian 13 in a chroot, scripts/debian13.sh).
# "sanitize" and "delivery" run those two parts alone.
set -euo pipefail
cd "$(dirname "$0")/.."
mode="${1:-run}"
shift || true

# The release decides the sanitizer's compiler (each ships its own clang).
release=$(. /etc/os-release && echo "${VERSION_ID:-}")
case "$release" in
  12) CLANG=14 ;;
  *) CLANG=19 ;;
esac

PKGS=(cmake g++ make ccache pkg-config libicu-dev
      qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev
      qt6-webengine-dev qt6-webengine-dev-tools libqt6webenginecore6-bin
      qt6-websockets-dev libqscintilla2-qt6-dev
      qt6-translations-l10n  # Qt's own texts (standard buttons, dialogs) in the user's language
      libgl1-mesa-dev fonts-noto-cjk
      clang-$CLANG libclang-rt-$CLANG-dev dpkg-dev parallel
      libssl-dev zlib1g-dev
      libnss3-dev libnss3-tools  # the engine's trust, read by its proxy; certutil for its test
      python3 curl)  # python3, curl: the https benchmark's server and client

missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The test of data-run shards over ssh starts sshd on loopback addresses of
# its own (installed for "test", or with TOLVANE_TEST_PACKAGES=1 for a build
# whose suites run later, as on the Debian 13 leg). Installing the server must not leave one running for the machine:
# its service is kept from starting during the install and disabled after.
if { [ "$mode" = test ] || [ -n "${TOLVANE_TEST_PACKAGES:-}" ]; } && ! dpkg-query -W -f='${Status}' openssh-server 2>/dev/null | grep -q "install ok installed"; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  policy=/usr/sbin/policy-rc.d
  made_policy=""
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' | $SUDO tee "$policy" >/dev/null
    $SUDO chmod 755 "$policy"
    made_policy=1
    trap '$SUDO rm -f "$policy"' EXIT
  fi
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends openssh-server
  if [ -d /run/systemd/system ]; then
    $SUDO systemctl disable --now ssh.service ssh.socket >/dev/null 2>&1 || true
  fi
  if [ -n "$made_policy" ]; then $SUDO rm -f "$policy"; trap - EXIT; fi
fi

BUILD="${TOLVANE_BUILD_DIR:-build}"
# TOLVANE_CMAKE_ARGS: further options for the build's configuration.
# shellcheck disable=SC2086
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo ${TOLVANE_CMAKE_ARGS:-} >/dev/null
cmake --build "$BUILD" -j"$(nproc)"

# Suites that never start the web engine, and the fuzz corpus replays: built
# with clang under the sanitizers in a folder of their own.
SAN_TESTS=(test_runtime test_design_model test_design_regex test_design_document
           test_design_import test_design_entry test_designer_mainwindow test_designer_dialogs
           test_designer_editing test_designer_session
           test_fillscript_core test_fillscript_editor test_fillscript_tooledit test_datarun_core
           test_bridge_scripts test_bridge_mouse
           test_netproxy)
sanitize() {
  local san="${TOLVANE_SAN_BUILD_DIR:-build-san}"
  CC=clang-$CLANG CXX=clang++-$CLANG cmake -S . -B "$san" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTOLVANE_SANITIZE=ON >/dev/null
  local fuzzers
  fuzzers=$(ls fuzz/corpus | sed 's/^/fuzz_/')
  # shellcheck disable=SC2086
  cmake --build "$san" -j"$(nproc)" --target "${SAN_TESTS[@]}" $fuzzers
  local names
  names=$(printf '%s|' "${SAN_TESTS[@]}" $fuzzers)
  (cd "$san" && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
     QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" -R "^(${names%|})\$")
}

case "$mode" in
  run)
    exec "$BUILD/bin/tolvane-designer" "$@" ;;
  test)
    (cd "$BUILD" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" "$@")
    sanitize
    ./scripts/delivery.sh "$BUILD"
    # The second platform: Debian 13 (Qt 6.8) in a chroot, unless this
    # machine is one (TOLVANE_DEBIAN13=0 leaves it out).
    if [ "$release" != 13 ] && [ "${TOLVANE_DEBIAN13:-1}" != 0 ]; then
      ./scripts/debian13.sh "$@"
    fi ;;
  sanitize) sanitize ;;
  delivery) ./scripts/delivery.sh "$BUILD" ;;
  build) ;;
  *) echo "usage: $0 [run|test|build|sanitize|delivery]" >&2; exit 2 ;;
esac
