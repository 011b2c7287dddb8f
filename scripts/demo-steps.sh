#!/bin/bash
# Demo steps, run under Xvfb with the prefix prepared. $1: the folder of the built programs.
# Registers the server and the simulated phone suite, sets up a phone whose names
# the PC cannot take as they are, and drives the server through quelvar.exe.
# A call that fails is shown with its HRESULT; a failed registration, set-up or
# IMEI, or a step that does not do what it shows, ends the demo with an error.
set -euo pipefail
bin="$1"
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
drive_c="$WINEPREFIX/drive_c"
mirror='C:\Mirror'
phone=Phone1
imei=350000000000001
root="ALIAS:$phone"

# The client's output goes to files, not pipes: a server that COM starts for it
# inherits its standard handles and would hold a pipe open.
work="$(mktemp -d)"
# Every Wine process of the prefix ends while the screen is still there: a window
# of one that outlived the screen would print "X connection ... broken".
finish() {
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap finish EXIT

section() { echo; echo "== $*"; }
show_command() {
    local line="\$ $(basename "$1")" arg
    shift
    for arg in "$@"; do
        case "$arg" in
        *[[:space:]\<\>]* | '') line+=" \"$arg\"" ;;
        *) line+=" $arg" ;;
        esac
    done
    echo "$line"
}
run() { show_command "$@"; wine "$@"; }
simphone() { run "$bin/simphone.exe" "$@"; }
quelvar() {
    show_command "$bin/quelvar.exe" "$@"
    wine "$bin/quelvar.exe" "$@" >"$work/out" 2>&1
}
# Says how quelvar ended when it failed.
explain() {
    local status="$1"
    [ "$status" -eq 0 ] && return 0
    echo "(quelvar ended with exit code $status)"
}
# A step whose failure is shown, not fatal.
try_quelvar() {
    local status=0
    quelvar "$@" || status=$?
    cat "$work/out"
    explain "$status"
}

# A client run in the background: its output goes to $work/out, its process id to
# $client. Returns once the client pauses ("wait") or ends.
start_client() {
    show_command quelvar.exe "$@"
    wine "$bin/quelvar.exe" "$@" >"$work/out" 2>&1 &
    client=$!
    for _ in $(seq 1 600); do
        grep -q '^waiting' "$work/out" && break
        kill -0 "$client" 2>/dev/null || break
        sleep 0.1
    done
}
# Looks for a window titled $1 while the client runs and says whether it came;
# with $2 set it is saved there as a picture a few seconds later.
find_dialog() {
    local title="$1" picture="${2:-}" dialog="" window
    if ! command -v xwininfo >/dev/null; then
        echo "(xwininfo from x11-utils is not installed: the dialog is shown but not looked for)"
        return 0
    fi
    for _ in $(seq 1 300); do
        dialog="$(xwininfo -root -tree 2>/dev/null | grep -F "\"$title\"" | head -n 1 || true)"
        [ -n "$dialog" ] && break
        kill -0 "$client" 2>/dev/null || break
        sleep 0.1
    done
    if [ -z "$dialog" ]; then
        echo "the dialog \"$title\" did not appear"
        return 0
    fi
    read -r window _ <<<"$dialog"
    echo "on the screen: the dialog \"$title\" ($(xwininfo -id "$window" | sed -n 's/.*-geometry //p'))"
    if [ -n "$picture" ]; then
        sleep 3 # the bar has moved on and the animation runs
        take_picture "$window" "$picture"
    fi
}
# Left, top, right and bottom of a window on the screen, with the frame and title
# bar the window manager gave it.
window_box() {
    local frame
    frame="$(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= //p' | tr -d ,)"
    xwininfo -id "$1" | awk -v frame="${frame:-0 0 0 0}" '/Absolute upper-left X/ {x = $NF}
        /Absolute upper-left Y/ {y = $NF} /Width:/ {w = $NF} /Height:/ {h = $NF}
        END {split(frame, f, " "); print x - f[1], y - f[3], x + w + f[2], y + h + f[4]}'
}
# The dialog, with the file manager's window behind it when one was opened.
take_picture() {
    local dialog="$1" picture="$2" l t r b l2 t2 r2 b2
    if [ -z "$browser_window" ]; then
        import -window "$dialog" "$picture" && echo "screenshot: $picture"
        return 0
    fi
    read -r l t r b <<<"$(window_box "$browser_window")"
    read -r l2 t2 r2 b2 <<<"$(window_box "$dialog")"
    l=$((l < l2 ? l : l2)) t=$((t < t2 ? t : t2)) r=$((r > r2 ? r : r2)) b=$((b > b2 ? b : b2))
    import -window root -crop "$((r - l))x$((b - t))+$l+$t" +repage "$picture" && echo "screenshot: $picture"
}
# For the picture: the platform's file manager shows the mirror folder (a file
# in it selected) behind the dialog. The prefix's Desktop is a link to the user's home, whose files it would
# list too: an empty folder takes its place.
browser_window="" browser_pid=""
open_browser() {
    local folder="$1" found=""
    for desktop in "$drive_c"/users/*/Desktop; do
        if [ -L "$desktop" ]; then rm "$desktop" && mkdir "$desktop"; fi
    done
    wine winefile.exe "$folder" >/dev/null 2>&1 &
    browser_pid=$!
    for _ in $(seq 1 600); do
        found="$(xwininfo -root -tree 2>/dev/null | grep -F '"Wine File Manager' | head -n 1 || true)"
        [ -n "$found" ] && break
        sleep 0.1
    done
    read -r browser_window _ <<<"$found"
}
# Waits for the client and shows what it printed.
finish_client() {
    local status=0
    wait "$client" || status=$?
    cat "$work/out"
    explain "$status"
}

section "Registering the server and the simulated phone suite"
run "$bin/ZentrelQuelvar.exe" /RegServer
run "$bin/SimPhoneSuite.exe" /RegServer
echo "registered"

section "Settings: mirror root, language and graphics resources"
run reg add 'HKCU\Software\Marlith\DataLayer' /v Root /d "$mirror" /f
run reg add 'HKLM\Software\Zentrel\Marlith' /v 'Current Language' /d enu /f
run reg add 'HKLM\Software\Zentrel\Marlith' /v 'Current Resource' /d std /f
# A fresh mirror root and phone store for every demo.
rm -rf "$drive_c/Mirror" "$drive_c/PhoneStore"
mkdir -p "$drive_c/Mirror"

section "A simulated phone with three memories"
simphone store 'C:\PhoneStore'
simphone add "$phone" "$imei" OS-200
simphone memory "$phone" C "Phone memory" PHONE 64000000
simphone memory "$phone" E "Memory card" MMC 512000000
simphone memory "$phone" F "Small card" SMALL 1000
simphone mkdir "$root\\C:\\predefgallery"
simphone mkdir "$root\\C:\\predefmusic"
simphone mkdir "$root\\E:\\Travel\\2024\\Summer"
simphone puttext "$root\\C:\\predefgallery\\con.txt" "a reserved device name on the PC" "2024-05-01 10:00:00"
simphone puttext "$root\\C:\\predefgallery\\a<b>.jpg" "angle brackets" "2024-05-02 11:30:00"
simphone puttext "$root\\C:\\predefmusic\\song.mp3" "la la la" "2024-06-21 08:15:00"
simphone puttext "$root\\E:\\notes..." "trailing dots" "2024-07-01 12:00:00"
simphone puttext "$root\\E:\\.profile" "leading dot" "2024-07-02 09:45:00"
simphone puttext "$root\\E:\\Travel\\2024\\Summer\\beach.jpg" "sand and sea" "2024-08-15 16:20:00"
simphone puttext "$root\\C:\\Documents\\report.txt" "quarterly figures" "2024-09-30 17:00:00"
simphone puttext "$root\\C:\\Documents\\minutes.txt" "nothing decided" "2024-10-01 09:00:00"
simphone connect "$phone"
simphone list

section "Product name from the language file"
quelvar product-name
cat "$work/out"
run reg add 'HKLM\Software\Zentrel\Marlith' /v 'Current Language' /d heb /f
quelvar product-name
cat "$work/out"
run reg add 'HKLM\Software\Zentrel\Marlith' /v 'Current Language' /d enu /f

section "IMEI of $phone through the server"
# "terminate" lets the main object go of the phone notifications, so the server can end.
status=0
quelvar imei "$phone" + terminate || status=$?
cat "$work/out"
if [ "$status" -ne 0 ] || [ "$(head -n 1 "$work/out" | tr -d '\r')" != "$imei" ]; then
    echo "FAILED: the server did not give the IMEI $imei (exit code $status)"
    exit 1
fi

section "Refreshing the mirror folder of $phone with files, and the tree before and after"
try_quelvar -k tree "$mirror" + phone-refresh "$phone" + refresh "$mirror\\$phone" --files --recursive + tree "$mirror" \
    + terminate

section "Downloading phone files to the PC and uploading a PC file into a mirror folder"
docs="$mirror\\$phone\\Phone memory (C)\\Documents"
pc='C:\Transfers'
rm -rf "$drive_c/Transfers"
mkdir -p "$drive_c/Transfers"
printf 'written on the PC\r\n' >"$drive_c/Transfers/from-pc.txt"
try_quelvar -k refresh "$mirror\\$phone" --files --recursive + tree "$docs" \
    + download "$docs\\report.txt.vfslnk" "$pc\\report.txt" \
    + download-series "$pc" "$docs\\report.txt.vfslnk" "$docs\\minutes.txt.vfslnk" \
    + upload "$pc\\from-pc.txt" "$docs" + tree "$docs" + terminate
for file in report.txt minutes.txt; do
    echo "$pc\\$file: $(cat "$drive_c/Transfers/$file" 2>/dev/null || echo "(not downloaded)")"
done
simphone get "$root\\C:\\Documents\\from-pc.txt" "$pc\\check.txt" || true
echo "on the phone, $root\\C:\\Documents\\from-pc.txt: $(tr -d '\r' <"$drive_c/Transfers/check.txt" 2>/dev/null)"

section "Deleting a phone file through its mirror item"
try_quelvar -k refresh "$mirror\\$phone" --files --recursive + delete "$docs\\minutes.txt.vfslnk" + refresh "$docs" --files + tree "$docs" \
    + terminate
if simphone get "$root\\C:\\Documents\\minutes.txt" "$pc\\gone.txt" >/dev/null 2>&1; then
    echo "FAILED: minutes.txt is still on the phone"
    exit 1
fi
echo "minutes.txt is gone from the phone"

section "Copying, moving and renaming between the PC and the phone"
# The phone store as it lies on the disk, file sizes in bytes.
show_store() {
    echo "phone store, $root\\C:\\Documents:"
    (cd "$drive_c/PhoneStore/$phone/mem-C/Documents" && find . -type f -printf '  %P (%s)\n' | sort)
}
mkdir -p "$drive_c/Transfers/album" "$drive_c/Transfers/back"
printf 'photo one' >"$drive_c/Transfers/album/one.jpg"
printf 'photo two' >"$drive_c/Transfers/album/two.jpg"
printf 'moved from the PC' >"$drive_c/Transfers/moving.txt"
card="$mirror\\$phone\\Memory card (E)"
show_store
# --answer prints every question the server or the shell asks and answers it.
try_quelvar -k refresh "$mirror\\$phone" --files --recursive + tree "$docs" \
    + copy "$pc\\album" --to "$docs" --answer yes + move "$pc\\moving.txt" --to "$docs" --answer yes \
    + copy "$docs\\report.txt.vfslnk" --to "$pc\\back" --answer yes \
    + move "$docs\\from-pc.txt.vfslnk" --to "$pc\\back" --answer yes \
    + copy "$docs\\album" --to "$card" --answer yes + move "$docs\\report.txt.vfslnk" --to "$card" --answer yes \
    + rename "$docs\\moving.txt.vfslnk" renamed.txt + mkdir "$docs\\New folder" \
    + refresh "$docs" --files + tree "$docs" + refresh "$card" --files --recursive + tree "$card" + terminate
show_store
echo "on the PC, $pc\\back:"
(cd "$drive_c/Transfers/back" 2>/dev/null && find . -type f -printf '  %P (%s)\n' | sort)
[ -e "$drive_c/Transfers/moving.txt" ] && echo "FAILED: the moved PC file is still there" && exit 1

section "The free-memory question: 1000 bytes free on the small card, 1000 to copy"
head -c 1000 /dev/urandom >"$drive_c/Transfers/exact.bin"
small="$mirror\\$phone\\Small card (F)"
try_quelvar -k refresh "$mirror\\$phone" --files + copy "$pc\\exact.bin" --to "$small" --answer no + tree "$small" \
    + copy "$pc\\exact.bin" --to "$small" --answer yes + tree "$small" + terminate

section "A slowed download with the progress dialog on the screen"
head -c 2000000 /dev/zero >"$drive_c/Transfers/big-source.bin"
simphone put "$root\\C:\\Documents\\big.bin" "$pc\\big-source.bin"
# The suite keeps its speed only while it runs: the client's main object holds it
# during the pause, in which the transfers are slowed to 2 MB in chunks of 64 KiB
# 250 ms apart, about 8 s with the dialog shown.
# For the picture the pause is longer: the file manager opens meanwhile.
pause=2
[ -n "${QUELVAR_SCREENSHOT:-}" ] && pause=30
slowed=(refresh "$mirror\\$phone" --files --recursive + wait $pause + download "$docs\\big.bin.vfslnk" "$pc\\big.bin"
    + terminate)
start_client "${slowed[@]}"
[ -n "${QUELVAR_SCREENSHOT:-}" ] && open_browser "$docs\\big.bin.vfslnk"
simphone delay 250
find_dialog "Copying from phone..." "${QUELVAR_SCREENSHOT:-}"
finish_client
[ -n "$browser_pid" ] && kill "$browser_pid" 2>/dev/null || true
simphone delay 0

section "Converting a phone file, with the progress dialog on the screen"
# The simulated phone converts as slowly as it transfers: 1 MB in chunks of
# 64 KiB 250 ms apart, about 4 s with the dialog shown.
music="$mirror\\$phone\\Phone memory (C)\\Music" # the mirror folder of "predefmusic"
head -c 1000000 /dev/zero >"$drive_c/Transfers/tune-source.wav"
simphone put "$root\\C:\\predefmusic\\tune.wav" "$pc\\tune-source.wav"
converting=(refresh "$mirror\\$phone" --files --recursive + wait 2 + convert "$music\\tune.wav.vfslnk" 2 3 + tree "$music"
    + terminate)
start_client "${converting[@]}"
simphone delay 250
find_dialog "Converting..."
finish_client
simphone delay 0

section "Updating the contacts of $phone with the progress dialog on the screen"
# The phone's mirror folder holds the data layer's "Contacts" folder. As with the
# slowed download, a main object keeps the suite running while its data layer is
# slowed to six notifications 800 ms apart, so the dialog stays about 5 s.
contacts="$mirror\\$phone\\Contacts"
updating=(phone-refresh "$phone" + wait 2 + update "$contacts" + terminate)
start_client "${updating[@]}"
simphone sync-pace 800 4
find_dialog "Updating..."
finish_client
simphone sync-pace 100 3
if ! grep -qF "update of $contacts: end message" "$work/out"; then
    echo "FAILED: the contacts update did not end with its message"
    exit 1
fi

section "Disconnecting $phone while a main object listens"
# One main object for the whole run: it refreshes, waits while the phone goes,
# then shows what the disconnect left, and finally lets go.
start_client -k refresh "$mirror\\$phone" --files --recursive + tree "$mirror" + wait 30 --until-gone "$mirror\\$phone" + tree "$mirror" + terminate
simphone disconnect "$phone"
finish_client

section "A real OBEX FTP server on this machine as a phone"
# Debian's obexftpd serves a folder of this machine on a free port of 127.0.0.1;
# ObexPhones.exe, registered in place of the simulated suite, speaks OBEX File
# Transfer to it. The server cannot tell the two suites apart.
served="$(mktemp -d)"
mkdir -p "$served/Documents/Reports" "$served/Pictures"
printf 'dear phone,\r\n' >"$served/Documents/letter.txt"
printf 'third quarter\r\n' >"$served/Documents/Reports/q3 & q4.txt"
head -c 300000 /dev/urandom >"$served/Pictures/holiday.jpg"
read -r obex_port obex_pid < <("$repo/scripts/obex-peer.sh" start "$served")
stop_peer() { [ -n "${obex_pid:-}" ] && "$repo/scripts/obex-peer.sh" stop "$obex_pid"; obex_pid=""; }
finish() {
    wineserver -k >/dev/null 2>&1 || true
    stop_peer || true
    rm -rf "$work" "$served"
}
[ -n "${obex_pid:-}" ] || { echo "FAILED: obexftpd did not start"; exit 1; }
echo "obexftpd serves $served on 127.0.0.1:$obex_port"
# The simulated suite ends once idle; while it runs it would answer the activations.
# COM starts it as "Z:\...\bin\SimPhoneSuite.exe -Embedding", a text that no script
# here holds and no other build's suite either.
suite_running() {
    local cmdline wanted="Z:${bin//\//\\}\\SimPhoneSuite.exe -Embedding"
    for cmdline in /proc/[0-9]*/cmdline; do
        [[ "$(tr '\0' ' ' 2>/dev/null <"$cmdline")" == *"$wanted"* ]] && return 0
    done 2>/dev/null
    return 1
}
for _ in $(seq 1 300); do suite_running || break; sleep 0.1; done
obexphones() { run "$bin/ObexPhones.exe" "$@"; }
obexphones /RegServer
obexphones remove Desk >/dev/null 2>&1 || true
obexphones add Desk "tcp:127.0.0.1:$obex_port" --model "Desk server"
obexphones list
desk="$mirror\\Desk\\Phone memory (C)"
try_quelvar -k refresh "$mirror\\Desk" --files --recursive + tree "$mirror\\Desk" \
    + download "$desk\\Documents\\letter.txt.vfslnk" "$pc\\letter.txt" \
    + download "$desk\\Pictures\\holiday.jpg.vfslnk" "$pc\\holiday.jpg" \
    + upload "$pc\\from-pc.txt" "$desk\\Documents" + terminate
echo "$pc\\letter.txt: $(tr -d '\r' <"$drive_c/Transfers/letter.txt" 2>/dev/null || echo "(not downloaded)")"
if cmp -s "$served/Pictures/holiday.jpg" "$drive_c/Transfers/holiday.jpg"; then
    echo "$pc\\holiday.jpg: the same 300000 bytes as on the server"
else
    echo "FAILED: holiday.jpg did not arrive byte for byte"
    exit 1
fi
if ! cmp -s "$drive_c/Transfers/from-pc.txt" "$served/Documents/from-pc.txt"; then
    echo "FAILED: the uploaded file is not on the server's disk"
    exit 1
fi
echo "on the server's disk, Documents/from-pc.txt: $(tr -d '\r' <"$served/Documents/from-pc.txt")"

section "Stopping the OBEX FTP server while a main object listens"
start_client -k refresh "$mirror\\Desk" --files + tree "$mirror" + wait 30 --until-gone "$mirror\\Desk" + tree "$mirror" + terminate
stop_peer
echo "obexftpd stopped"
finish_client
obexphones remove Desk
run "$bin/SimPhoneSuite.exe" /RegServer

section "Done"
