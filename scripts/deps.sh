# Installs the Debian packages the project needs, each only when it is missing.
# Sourced by test.sh and run.sh.
TVL_PACKAGES=(
  build-essential cmake pkg-config clang-format clang-tidy
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libarchive-dev
  xvfb xauth trayer tzdata fonts-dejavu-core
  openbox xdotool x11-utils imagemagick
  qt6-translations-l10n
  dpkg-dev file lintian appstream desktop-file-utils librsvg2-bin
)

tvl_install_deps() {
  local missing=()
  for p in "${TVL_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}
