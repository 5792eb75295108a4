#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, and nothing
# that is already there. Safe to run again; never asks a question.
set -euo pipefail

packages=(
  cmake make g++ g++-multilib
  googletest          # GoogleTest sources, compiled per build (also for -m32)
  wamerican           # English word list for the demo dictionary
  binutils            # nm, for the exported-symbol test
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  sudo_cmd=()
else
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
