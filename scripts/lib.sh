# Shared by scripts/run, scripts/test, scripts/package and the benchmarks: Debian packages and
# the build. Sourced, not run.
QV_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# What compiling needs.
BUILD_PACKAGES=(
    build-essential cmake ninja-build pkg-config ccache
    qt6-base-dev qt6-qpa-plugins
    libpulse-dev
    libxcb1-dev libxcb-shm0-dev libxcb-randr0-dev libxcb-xfixes0-dev libxcb-damage0-dev
    libxcb-ewmh-dev libxcb-icccm4-dev
    libavcodec-dev libavformat-dev libavutil-dev libx264-dev
    libturbojpeg0-dev libtesseract-dev libleptonica-dev
    libglib2.0-dev libpipewire-0.3-dev
    nlohmann-json3-dev libgtest-dev libgmock-dev
    librsvg2-bin
)
# What the programs need when they run: the one list that the Debian package declares too.
mapfile -t RUNTIME_PACKAGES < <(sed -e 's/#.*//' -e '/^[[:space:]]*$/d' -e 's/[[:space:]]//g' \
    "$QV_ROOT/packaging/runtime-packages")
# What building and checking the Debian package needs (scripts/package, the packaging test).
PACKAGE_PACKAGES=(dpkg-dev file lintian desktop-file-utils appstream man-db)
# A display for machines without one.
HEADLESS_PACKAGES=(xvfb xauth trayer)
# What the tests start or inspect themselves. The private audio server they start is of the
# machine's own kind: see audio_server_packages.
TEST_PACKAGES=(
    xvfb xauth pulseaudio-utils dbus ffmpeg x11-utils xdotool
    fonts-dejavu-core fonts-noto-core pango1.0-tools
    chromium chromium-driver python3-selenium
    "${PACKAGE_PACKAGES[@]}"
    # A headless Wayland session: its bus, PipeWire, Mutter with XWayland, the desktop portal.
    dbus-daemon pipewire wireplumber mutter xwayland xdg-desktop-portal xdg-desktop-portal-gnome
    # An X server that follows RandR changes, and xrandr to make them.
    tigervnc-standalone-server x11-xserver-utils
    # Qt's Wayland platform, as desktops have it, to show the agent picks XWayland anyway.
    qt6-wayland
)
# What bench/fuzz builds its libFuzzer targets with (clang's sanitizer and fuzzer runtimes).
FUZZ_PACKAGES=(clang libclang-rt-14-dev libomp-dev)
# What bench/idle runs the agent beside: a display, a bus, an X11 tray and CopyQ.
TRAY_BENCH_PACKAGES=(xvfb xauth dbus trayer copyq)
# What bench/ocr renders its stills with and times hc-screen ocr against.
OCR_BENCH_PACKAGES=(tesseract-ocr imagemagick pango1.0-tools fonts-noto-core python3)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# True when the named package is installed.
installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

# The audio server the tests run a private instance of. A machine that has one speaking the
# PulseAudio protocol (PulseAudio's daemon, or PipeWire's pipewire-pulse) keeps it: installing
# the other kind would replace the desktop's audio server. Only where neither is installed:
# PipeWire with its session manager and PulseAudio service, the audio server of current desktops.
audio_server_packages() {
    if installed pulseaudio || installed pipewire-pulse; then
        return 0
    fi
    echo pipewire wireplumber pipewire-pulse
}

# Installs the named packages that are not installed yet; does nothing when all are.
need_packages() {
    local missing=()
    local p
    for p in "$@"; do
        installed "$p" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# Configures (once) and builds the tree; the build stages the install layout in BUILD/stage.
build_tree() {
    local src=$1 build=$2
    if [ ! -f "$build/build.ninja" ]; then
        cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
    fi
    cmake --build "$build" -j "$(nproc)"
}
