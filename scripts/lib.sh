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
    nlohmann-json3-dev libgtest-dev libgmock-dev
)
# What the programs need when they run: the backend's interpreter and web stack,
# the recogniser's language data, the desktop's URL opener, a font for the panels.
# The backend also records the meeting's sound through the desktop's audio server with
# parec and pactl (pulseaudio-utils: clients only, no server) into ffmpeg, and reads
# iCalendar sources (python3-icalendar, python3-recurring-ical-events).
RUNTIME_PACKAGES=(
    python3 python3-venv python3-uvicorn python3-fastapi
    tesseract-ocr-eng tesseract-ocr-ara
    xdg-utils fonts-dejavu-core
    ffmpeg pulseaudio-utils python3-icalendar python3-recurring-ical-events
)
# A display for machines without one.
HEADLESS_PACKAGES=(xvfb xauth trayer)
# What the tests start or inspect themselves. The private audio server they start is of the
# machine's own kind: see audio_server_packages.
TEST_PACKAGES=(
    xvfb xauth pulseaudio-utils dbus ffmpeg x11-utils xdotool
    fonts-dejavu-core fonts-noto-core pango1.0-tools
    chromium chromium-driver python3-selenium
)
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
