# Sourced: the Wine environment of the project, and preparation of a prefix.
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-winemenubuilder.exe=d;mscoree=d;mshtml=d}"

# The wineserver lingers this many seconds after its last client, so that
# consecutive programs do not each pay a cold start; the scripts stop it anyway.
WINE_LINGER_SECONDS=${WINE_LINGER_SECONDS:-60}

wine_prepare_prefix() {
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        if [ ! -f "$WINEPREFIX/.quelvar-ready" ]; then
            rm -rf "$WINEPREFIX"
            wine wineboot -i >/dev/null 2>&1 </dev/null 9>&- || exit 1
            # Windows stay managed: unmanaged ones ("Managed" = "N") spare the 2 s wait
            # for a window manager when a window closes, but under Xvfb they make the
            # X11 driver fail now and then with BadWindow on unmapping a message box.
            wineserver -w
            touch "$WINEPREFIX/.quelvar-ready"
        fi
        # Starts a lingering server unless one already serves the prefix; its output
        # must not hold any pipe of the caller.
        setsid wineserver -p"$WINE_LINGER_SECONDS" >/dev/null 2>&1 </dev/null 9>&- || true
    ) 9>"$WINEPREFIX.lock"
}

wine_stop() {
    wineserver -k >/dev/null 2>&1 || true
}
