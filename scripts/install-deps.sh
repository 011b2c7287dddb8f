#!/bin/bash
# Installs the cross toolchain, Wine, Xvfb and the OBEX test peer when they are missing and makes sure
# 32-bit Linux programs (Wine's loader) can run; reuses whatever is already there.
set -euo pipefail

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive

apt_updated=0
apt_install() {
    if [ $apt_updated -eq 0 ]; then
        $SUDO apt-get update -q
        apt_updated=1
    fi
    $SUDO apt-get install -y -q --no-install-recommends "$@"
}

need=()
command -v i686-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-i686-posix)
command -v i686-w64-mingw32-widl >/dev/null || need+=(mingw-w64-tools)
command -v cmake >/dev/null || need+=(cmake)
command -v make >/dev/null || need+=(make)
command -v python3 >/dev/null || need+=(python3)
command -v xvfb-run >/dev/null || need+=(xvfb xauth)
command -v openbox >/dev/null || need+=(openbox)
[ -d /usr/src/googletest/googletest ] || need+=(googletest)
dpkg -s wine >/dev/null 2>&1 || need+=(wine)
dpkg -s wine32:i386 >/dev/null 2>&1 || need+=(wine32:i386)
# The OBEX FTP test peer (obexftpd, with Debian's obexftp client beside it) and what
# builds its preload library.
command -v obexftpd >/dev/null || need+=(obexftp)
command -v gcc >/dev/null || need+=(gcc)
[ -f /usr/include/openobex/obex.h ] || need+=(libopenobex2-dev)

if [ ${#need[@]} -gt 0 ]; then
    echo "Installing: ${need[*]}"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $SUDO dpkg --add-architecture i386
    fi
    apt_install "${need[@]}"
fi

# Wine's loader is an i386 Linux program. Kernels that boot with 32-bit emulation
# switched off refuse it (ENOEXEC); run it through qemu's user-mode emulator then.
# qemu 8 or later is needed: older ones lack MAP_FIXED_NOREPLACE and Wine's address
# space reservation then costs about a minute per process.
if /usr/lib/wine/wineserver32 --version >/dev/null 2>&1; then
    exit 0
fi

qemu_ok() {
    command -v qemu-i386-static >/dev/null &&
        [ "$(qemu-i386-static --version | sed -n 's/^qemu-i386 version \([0-9]*\).*/\1/p')" -ge 8 ]
}
if ! qemu_ok; then
    echo "32-bit programs do not run natively here: installing qemu's user-mode emulator"
    if ! apt-cache policy qemu-user-static 2>/dev/null | grep -q bookworm-backports; then
        $SUDO tee /etc/apt/sources.list.d/bookworm-backports.sources >/dev/null <<'SRC'
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
        apt_updated=0
    fi
    if [ $apt_updated -eq 0 ]; then $SUDO apt-get update -q; apt_updated=1; fi
    $SUDO apt-get install -y -q --no-install-recommends -t bookworm-backports qemu-user-static
fi

binfmt=/proc/sys/fs/binfmt_misc
[ -e $binfmt/register ] || $SUDO mount -t binfmt_misc binfmt_misc $binfmt
# Register anew every time: the F flag pins the interpreter file that existed at
# registration, which a package upgrade may have replaced.
[ -e $binfmt/qemu-i386 ] && echo -1 | $SUDO tee $binfmt/qemu-i386 >/dev/null
printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' |
    $SUDO tee $binfmt/register >/dev/null
/usr/lib/wine/wineserver32 --version >/dev/null
