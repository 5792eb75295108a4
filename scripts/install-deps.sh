#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, and nothing
# that is already there. Safe to run again; never asks a question.
#
#   scripts/install-deps.sh       what make build, run and check need
#   scripts/install-deps.sh deb   what make deb and make deb-test need: the
#                                 Build-Depends of debian/control, the
#                                 packaging tools, lintian and mmdebstrap
set -euo pipefail
mode=${1:-}

packages=(
  cmake make g++ g++-multilib
  googletest          # GoogleTest sources, compiled per build (also for -m32)
  binutils            # nm, for the exported-symbol test
  pkg-config          # the install test builds a consumer through quarvel.pc
  default-jdk-headless  # the Java class, quarvel.jar and the JNI headers
  junit5              # junit-platform-console-standalone.jar for the Java tests
  wamerican           # English words for the default dictionary
  john-data           # common passwords (password.lst) for the default dictionary
  python3-zxcvbn      # frequency-ordered word lists (read as data) for the default dictionary
  hunspell-ko         # Korean words (ko.dic) for the service root's Korean dictionary
  libbenchmark-dev    # Google Benchmark, for make bench
  libcli11-dev        # command-line parsing of the quarvel command
  nlohmann-json3-dev  # JSON output of the quarvel command
  python3             # writes the benchmark corpus
  libpam0g-dev        # the PAM module pam_quarvel.so
  libpam-modules      # pam_permit.so, which closes the PAM test stack
  python3-pytest      # the Python package's tests
  python3-django      # the Django validator's tests
  python3-setuptools python3-wheel python3-pip  # building the Python package offline
  python3-mypy        # checks the Python package's type hints
  libssl-dev          # SHA-1 (libcrypto) for hashed leaked-password lists
  libicu-dev          # NFKC normalisation for the NIST verdict's length
  emscripten          # the WebAssembly build of js/ (em++, its libc++ and system libraries)
  chromium            # the meter page's test in a headless browser
)

# The 32-bit build links the i386 libcrypto and ICU, so it has hashed
# leaked-password lists and NFKC lengths too: the i386 architecture is
# enabled for them. (Without them that build would turn hashed lists off and
# count NIST lengths in bytes.)
if [ "$mode" = deb ]; then
  packages=(
    build-essential debhelper dh-python pybuild-plugin-pyproject python3-all
    default-jdk-headless javahelper  # quarvel.jar, and the Java check of the test
    # Build-Depends of debian/control
    cmake libpam0g-dev libcli11-dev nlohmann-json3-dev libssl-dev libicu-dev
    python3-setuptools python3-wheel wamerican john-data python3-zxcvbn hunspell-ko
    lintian             # checks every package
    mmdebstrap          # the throwaway Debian system of the end-to-end test
    util-linux python3  # unshare; the pseudo-terminal that drives passwd
  )
elif [ "${QUARVEL_NO_I386:-0}" != 1 ] && [ "$(dpkg --print-architecture)" = amd64 ]; then
  if ! dpkg --print-foreign-architectures 2>/dev/null | grep -qx i386; then
    echo "enabling the i386 architecture for the 32-bit build's libraries"
    if [ "$(id -u)" -eq 0 ]; then dpkg --add-architecture i386; else sudo dpkg --add-architecture i386; fi
  fi
  packages+=(libssl-dev:i386 libicu-dev:i386)
fi

# npm packages, installed globally with npm: playwright-core drives Debian's
# chromium in the meter page's test (it downloads no browser of its own).
npm_packages=()
if [ "$mode" != deb ]; then
  npm_packages=(playwright-core@1.57.0)
fi
install_npm_packages() {
  local root
  root=$(npm root -g)
  for p in "${npm_packages[@]}"; do
    if [ ! -f "$root/${p%@*}/package.json" ]; then
      echo "installing from npm: $p"
      if [ "$(id -u)" -eq 0 ]; then
        npm install -g --no-audit --no-fund "$p"
      else
        sudo npm install -g --no-audit --no-fund "$p"
      fi
    fi
  done
}

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  install_npm_packages
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
install_npm_packages
