#!/usr/bin/env bash
# Installs what the runner benchmark compares against: Debian's Chromium and
# npm's playwright-core, here in bench/fillscript/ only. Nothing of it is used
# by the product or its tests.
set -euo pipefail
cd "$(dirname "$0")"
# Debian's nodejs and npm only where no Node.js is installed: they conflict
# with a Node.js installed another way.
pkgs=()
command -v chromium >/dev/null || pkgs+=(chromium)
command -v npm >/dev/null || pkgs+=(nodejs npm)
if ((${#pkgs[@]})); then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${pkgs[@]}"
fi
npm install --no-audit --no-fund
