#!/bin/sh
# Installs what the comparison half of the bridge benchmark needs: Debian's
# Chromium and playwright-core in this folder. The product needs neither.
set -e
cd "$(dirname "$0")"
if ! command -v chromium >/dev/null 2>&1; then
  apt-get update
  apt-get install -y chromium
fi
npm install --no-audit --no-fund
