# Shared by scripts/run, scripts/test and the benchmarks: Debian packages and the build.
# Sourced, not run.

# What compiling needs.
BUILD_PACKAGES=(
    build-essential cmake ninja-build pkg-config ccache
    qt6-base-dev qt6-qpa-plugins
    libpulse-dev
    libxcb1-dev libxcb-shm0-dev libxcb-randr0-dev libxcb-xfixes0-dev libxcb-damage0-dev
    libxcb-ewmh-dev libxcb-icccm4-dev
    libavcodec-dev libavformat-dev libswscale-dev libavutil-dev libx264-dev
    libturbojpeg0-dev libtesseract-dev libleptonica-dev
    libglib2.0-dev libpipewire-0.3-dev
    nlohmann-json3-dev libgtest-dev libgmock-dev
)
# What the programs need when they run: the backend's interpreter and web stack,
# the recogniser's language data, the desktop's URL opener, a font for the panels.
RUNTIME_PACKAGES=(
    python3 python3-venv python3-uvicorn python3-fastapi
    tesseract-ocr-eng tesseract-ocr-ara
    xdg-utils fonts-dejavu-core
)
# A display for machines without one.
HEADLESS_PACKAGES=(xvfb xauth trayer)
# What the tests start or inspect themselves.
TEST_PACKAGES=(
    xvfb xauth pulseaudio pulseaudio-utils ffmpeg x11-utils xdotool
    fonts-dejavu-core fonts-noto-core pango1.0-tools
    # A headless Wayland session: its bus, PipeWire, Mutter with XWayland, the desktop portal.
    dbus-daemon pipewire wireplumber mutter xwayland xdg-desktop-portal xdg-desktop-portal-gnome
)
# What bench/ocr renders its stills with and times hc-screen ocr against.
OCR_BENCH_PACKAGES=(tesseract-ocr imagemagick pango1.0-tools fonts-noto-core python3)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs the named packages that are not installed yet; does nothing when all are.
need_packages() {
    local missing=()
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
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
