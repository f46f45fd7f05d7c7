# shellcheck shell=bash
# Sourced by the scripts and the test scripts; changes no shell option of the script that sources it.
#
#   root                                       the source tree
#   quietly LOG COMMAND...                     COMMAND with its output in LOG, shown only when it fails
#   configure_native DIR TYPE [OPTION]...      CMake for this machine into DIR, build type TYPE; its
#   configure_windows DIR TYPE [OPTION]...       output in DIR.configure.log, shown only when it fails
#   poll_until [--alive PID] SECONDS COMMAND... COMMAND again every 0.1 s until it succeeds; fails, saying
#                                                what it waited for, after SECONDS or once PID has ended
#   install_packages PACKAGE...                the Debian packages not yet installed (sudo when not root)
#   build_bench DIR NATIVE... -- WINDOWS...    what is missing installed, then those targets built as released:
#                                                natively into DIR/bench, for Windows into DIR/bench-windows
#   wine_quiet                                 Wine without debug output and without install prompts
#   wine_env_start DIR                         a private Wine prefix in DIR/prefix with one persistent
#                                                wineserver, a display (Xvfb unless one is given) and
#                                                COM1..COM8 mapped to symlinks DIR/com1..com8 that tests
#                                                re-point to a simulator's pseudo-terminal; fails when
#                                                no Xvfb starts
#   wine_env_stop                              ends the server, the Wine processes and our Xvfb
#
# wine_env_start reads:
#   ZARVEL_SCREEN=WxHxD  # our Xvfb's screen (default 2560x1600x24: room for the window at 144 dpi)
#   ZARVEL_UI_FACE=NAME  # the face that stands in for Segoe UI (default Open Sans)
#   ZARVEL_DPI=N         # the display's DPI, as Windows' display scaling sets it (default 96)
#   ZARVEL_KEEP_DISPLAY  # set, with DISPLAY set: the program opens on that display, no Xvfb

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

quietly() {
    local log="$1"
    shift
    "$@" >"$log" 2>&1 || { cat "$log"; return 1; }
}

configure_native() {
    local dir="$1" type="$2"
    shift 2
    mkdir -p "$(dirname "$dir")"
    quietly "$dir.configure.log" cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE="$type" "$@"
}

configure_windows() {
    configure_native "$1" "$2" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" "${@:3}"
}

build_bench() {
    local dir="$1" native=()
    shift
    while [ "$1" != -- ]; do native+=("$1"); shift; done
    shift
    "$root/scripts/install-deps.sh"
    configure_native "$dir/bench" Release
    cmake --build "$dir/bench" -j "$(nproc)" --target "${native[@]}"
    configure_windows "$dir/bench-windows" Release
    cmake --build "$dir/bench-windows" -j "$(nproc)" --target "$@"
}

poll_until() {
    local pid=""
    if [ "$1" = --alive ]; then
        pid="$2"
        shift 2
    fi
    local seconds="$1" deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        if [ -n "$pid" ] && ! kill -0 "$pid" 2>/dev/null; then
            "$@" && return 0 # it may have come just before the end
            echo "poll_until: process $pid ended while waiting for: $*" >&2
            return 1
        fi
        if [ "$SECONDS" -ge "$deadline" ]; then
            echo "poll_until: gave up after $seconds s waiting for: $*" >&2
            return 1
        fi
        sleep 0.1
    done
}

install_packages() {
    local package missing=() apt=(env DEBIAN_FRONTEND=noninteractive apt-get)
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
    done
    [ ${#missing[@]} -gt 0 ] || return 0
    [ "$(id -u)" -eq 0 ] || apt=(sudo "${apt[@]}")
    echo "Installing: ${missing[*]}"
    # A fresh machine's package lists may be missing or stale: read them only when the install fails.
    "${apt[@]}" install -y --no-install-recommends "${missing[@]}" ||
        { "${apt[@]}" update && "${apt[@]}" install -y --no-install-recommends "${missing[@]}"; }
}

wine_quiet() {
    export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
}

wine_env_start() {
    local dir="$1"
    mkdir -p "$dir"
    WINE_ENV_DIR="$(cd "$dir" && pwd)"
    export WINEPREFIX="$WINE_ENV_DIR/prefix" WINEARCH=win64
    wine_quiet
    export ZARVEL_COM_LINK_DIR="$WINE_ENV_DIR"
    rm -rf "$WINEPREFIX"

    WINE_ENV_OWN_DISPLAY=
    if [ -z "${ZARVEL_KEEP_DISPLAY:-}" ] || [ -z "${DISPLAY:-}" ]; then
        WINE_ENV_OWN_DISPLAY=1
        wine_env_xvfb || return 1
    fi

    # Wine's helpers inherit the output of the command that started them: keep them on files.
    mkdir -p "$WINEPREFIX"
    wineserver -p >"$WINE_ENV_DIR/wineserver.log" 2>&1
    wineboot --init >"$WINE_ENV_DIR/wineboot.log" 2>&1 </dev/null
    # COM1..COM8 point at symlinks (to /dev/null until a test re-points one at a simulator's
    # pseudo-terminal), so a new simulator needs no registry change and no Wine restart; tests
    # use COM5..COM8. Serial devices of the machine itself (/dev/ttyS0 and the like) take the
    # lowest free numbers, so they land after ours (COM9 on), as stray ports at the end of a scan.
    local port reg="$WINE_ENV_DIR/ports.reg" face="${ZARVEL_UI_FACE:-Open Sans}" links
    {
        printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n'
        for port in 1 2 3 4 5 6 7 8; do
            ln -sfn /dev/null "$WINE_ENV_DIR/com$port"
            printf '"COM%s"="%s"\r\n' "$port" "$WINE_ENV_DIR/com$port"
        done
        # Windows' own interface faces are missing here; Open Sans runs about as wide as Segoe
        # UI. Named after it, as GDI+ finds a family only by a name the system knows.
        printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
        printf '"%s"="%s"\r\n' "Segoe UI" "$face" "Segoe UI Variable Text" "$face" "Segoe UI Variable Display" "$face"
        printf '"%s"="DejaVu Sans"\r\n' "Segoe UI Symbol" "Microsoft Sans Serif"
        # A character the face lacks (Open Sans has none of the marks ✓ ✕ ○ ● ⓘ the window draws)
        # Windows takes from a linked font. Wine does too, when the link is named after the full
        # name of the face it picked: "Open Sans", and "Open Sans Bold" for any weight above 550.
        # DejaVu Sans has every mark but ⓘ, which Symbola has. Letters still come from the face.
        links="$(wine_env_multi_sz "DejaVuSans.ttf,DejaVu Sans" "Symbola_hint.ttf,Symbola")"
        printf '\r\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink]\r\n'
        printf '"%s"=%s\r\n' "$face" "$links" "$face Bold" "$links"
        # Our Xvfb runs no window manager, and Wine waits up to 2 s for one to acknowledge
        # every hide of a window it lets a manager handle (each message box, each test window).
        # Unmanaged windows look and behave the same without a manager, minus the wait.
        # Programs started after this run at that DPI (both keys are read).
        printf '\r\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\r\n"LogPixels"=dword:%08x\r\n' "${ZARVEL_DPI:-96}"
        printf '\r\n[HKEY_CURRENT_CONFIG\\Software\\Fonts]\r\n"LogPixels"=dword:%08x\r\n' "${ZARVEL_DPI:-96}"
        if [ -n "$WINE_ENV_OWN_DISPLAY" ]; then
            printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Managed"="N"\r\n'
            # Nor Wine's own tray window: with no notification area to dock in, Wine puts one up at
            # the first icon, above a window that adds its icon after its first paint.
            printf '"ShowSystray"="n"\r\n'
        fi
    } >"$reg"
    wine regedit /S "Z:${reg//\//\\}" >>"$WINE_ENV_DIR/wineboot.log" 2>&1 </dev/null
    wineserver -k >/dev/null 2>&1
    wineserver -w >/dev/null 2>&1
    # The first boot gave the machine's own serial devices COM1 and on; the restart maps again.
    rm -f "$WINEPREFIX"/dosdevices/com[0-9]*
    wineserver -p >>"$WINE_ENV_DIR/wineserver.log" 2>&1
    wine cmd /c exit >>"$WINE_ENV_DIR/wineboot.log" 2>&1 </dev/null
}

# Our Xvfb on the first free display from :91 on, as DISPLAY. Another run may take the same
# display at the same moment: that Xvfb ends at once, saying so, and the next display is tried.
wine_env_xvfb() {
    local n log="$WINE_ENV_DIR/xvfb.log"
    for n in $(seq 91 140); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 "${ZARVEL_SCREEN:-2560x1600x24}" -nolisten tcp >"$log" 2>&1 &
        WINE_ENV_XVFB_PID=$!
        export DISPLAY=":$n"
        poll_until --alive "$WINE_ENV_XVFB_PID" 10 test -e "/tmp/.X11-unix/X$n" && return 0
        kill "$WINE_ENV_XVFB_PID" 2>/dev/null || ! grep -q "already active" "$log" || continue
        break
    done
    WINE_ENV_XVFB_PID=
    echo "wine_env_start: Xvfb did not start on a free display from :91 to :140; the last one said:" >&2
    cat "$log" 2>/dev/null >&2
    return 1
}

# A list of strings as a .reg value: in a file that is not UTF-16, regedit takes the bytes of a
# hex(7) value for ANSI text (UTF-16 bytes there would end up as one string per letter).
wine_env_multi_sz() {
    local bytes
    bytes="$({ printf '%s\0' "$@"; printf '\0'; } | od -An -v -tx1 | tr -s ' \n' ',,')"
    bytes="${bytes#,}"
    printf 'hex(7):%s' "${bytes%,}"
}

wine_env_stop() {
    if [ -n "${WINEPREFIX:-}" ]; then
        wineserver -k >/dev/null 2>&1 || true
    fi
    if [ -n "${WINE_ENV_XVFB_PID:-}" ]; then
        kill "$WINE_ENV_XVFB_PID" >/dev/null 2>&1 || true
        wait "$WINE_ENV_XVFB_PID" 2>/dev/null || true
        WINE_ENV_XVFB_PID=
    fi
}
