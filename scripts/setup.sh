#!/usr/bin/env bash
# Shared set-up for ./run and ./test: install the Debian packages the build and
# the tests need, configure and build in build/, and stage the working
# directory build/run/ with the files the program reads.
#
# Sourced, not executed: it defines functions and leaves the caller's shell
# options alone.

CHAMBER_PACKAGES=(
  cmake g++ make pkg-config
  libglfw3-dev libgl-dev libglu1-mesa-dev libgl1-mesa-dri libfreetype-dev
  googletest libgtest-dev libbenchmark-dev
  xvfb xauth x11-utils xdotool apitrace imagemagick
  ttf-bitstream-vera
  clang libclang-rt-14-dev strace
  libtinyobjloader-dev
  libpng-dev libfast-float-dev x11-xserver-utils x11-xkb-utils
  dpkg-dev help2man lintian
  libssl-dev
  pybind11-dev python3-dev python3-numpy python3-pytest python3-matplotlib parallel
)

# Prints the packages of CHAMBER_PACKAGES that are not installed.
chamber_missing_packages() {
  local p missing=()
  for p in "${CHAMBER_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  echo "${missing[@]}"
}

# Installs what is missing when root; otherwise prints the one apt-get line
# needed and fails.
chamber_install() {
  local missing
  missing=$(chamber_missing_packages)
  [ -z "$missing" ] && return 0
  if [ "$(id -u)" != 0 ]; then
    echo "Missing packages. Install them with:" >&2
    echo "  sudo apt-get install -y $missing" >&2
    return 1
  fi
  echo "Installing: $missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq || return 1
  # shellcheck disable=SC2086
  apt-get install -y -qq --no-install-recommends $missing || return 1
}

# Configures and builds into build/, or into the directory given with the
# extra CMake options given (warnings are errors under CI).
chamber_build() {
  local dir="${1:-build}"
  shift || true
  local werror=OFF
  [ -n "${CI:-}" ] && werror=ON
  cmake -S "$CHAMBER_ROOT" -B "$CHAMBER_ROOT/$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCHAMBER_WERROR=$werror "$@" >/dev/null || return 1
  cmake --build "$CHAMBER_ROOT/$dir" -j2 || return 1
}

# Finds Debian's Bitstream Vera Sans.
chamber_font() {
  local f
  for f in /usr/share/fonts/truetype/ttf-bitstream-vera/Vera.ttf \
           /usr/share/fonts/truetype/bitstream-vera/Vera.ttf; do
    [ -f "$f" ] && { echo "$f"; return 0; }
  done
  return 1
}

# Stages build/run/: the font and, when they exist, the chamber files.
chamber_stage() {
  local run="$CHAMBER_ROOT/build/run" font f
  mkdir -p "$run"
  font=$(chamber_font) || { echo "vera.ttf not found (package ttf-bitstream-vera)" >&2; return 1; }
  cp "$font" "$run/vera.ttf"
  for f in 0.ctr chamber.obj chamber.mtl; do
    [ -f "$CHAMBER_ROOT/build/data/$f" ] && cp "$CHAMBER_ROOT/build/data/$f" "$run/$f"
  done
  return 0
}
