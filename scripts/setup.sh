#!/usr/bin/env bash
# Installs what is missing, builds, then starts the designer ("run") or runs every test ("test").
set -euo pipefail
cd "$(dirname "$0")/.."
mode="${1:-run}"
shift || true

PKGS=(cmake g++ make ccache pkg-config libicu-dev
      qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev
      qt6-webengine-dev qt6-webengine-dev-tools libqt6webenginecore6-bin
      qt6-websockets-dev libqscintilla2-qt6-dev
      libgl1-mesa-dev fonts-noto-cjk)

missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

BUILD="${TOLVANE_BUILD_DIR:-build}"
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j"$(nproc)"

case "$mode" in
  run)
    exec "$BUILD/bin/tolvane-designer" "$@" ;;
  test)
    cd "$BUILD"
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" "$@" ;;
  build) ;;
  *) echo "usage: $0 [run|test|build]" >&2; exit 2 ;;
esac
