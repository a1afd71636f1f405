# Sourced by the scripts that run the program or its tests under Wine: the
# environment they share, and the two things they may have to start.

versalo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${VERSALO_WINEPREFIX:-$versalo_root/build/wineprefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

# Wine takes the ANSI code page from the locale of each program it starts:
# bg_BG.UTF-8 gives 1251, as on a Bulgarian Windows; VERSALO_WINE_LOCALE
# picks another (en_US.UTF-8: 1252, ja_JP.UTF-8: 932). Only Wine gets it: a
# shell that started before setup generated the locale cannot load it, and
# would warn if it had to.
versalo_wine_locale=${VERSALO_WINE_LOCALE:-bg_BG.UTF-8}
# The code page the test programs check they got (a manifest can ask for
# another, 65001, and says so itself).
case $versalo_wine_locale in
  bg_BG*) versalo_wine_acp=1251 ;;
  ja_JP*) versalo_wine_acp=932 ;;
  *) versalo_wine_acp=1252 ;;
esac

# How 32-bit programs run here, found once and handed down to the scripts
# and tests started from here (VERSALO_WINE_MODE):
#  native:   32-bit Wine runs as it is.
#  emulated: the kernel runs no 32-bit code (its IA-32 emulation is off, and
#            every i386 exec fails with "Exec format error"); each Wine
#            command runs through run-i386.sh, which hands i386 programs to
#            QEMU's user-mode emulator for that command alone. 64-bit
#            programs still run natively there.
#  none:     neither; only 64-bit programs run, through Wine's 64-bit loader.
versalo_run_i386=(bash "$versalo_root/scripts/run-i386.sh")
if [[ -z ${VERSALO_WINE_MODE:-} ]]; then
  if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    VERSALO_WINE_MODE=native
  elif [[ -x /usr/lib/wine/wine ]] &&
       "${versalo_run_i386[@]}" /usr/lib/wine/wine --version >/dev/null 2>&1; then
    VERSALO_WINE_MODE=emulated
  else
    VERSALO_WINE_MODE=none
  fi
  export VERSALO_WINE_MODE
fi
case $VERSALO_WINE_MODE in
  native) versalo_wine_loader=(wine) ;;
  emulated) versalo_wine_loader=("${versalo_run_i386[@]}" wine) ;;
  *) versalo_wine_loader=(env WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64) ;;
esac
# How a Windows program is run here: in Wine's locale, telling test programs
# which code page to expect, through the loader that can start.
versalo_wine_command=(env LC_ALL="$versalo_wine_locale"
                      VERSALO_EXPECT_ACP="${VERSALO_EXPECT_ACP:-$versalo_wine_acp}"
                      "${versalo_wine_loader[@]}")
wine() { "${versalo_wine_command[@]}" "$@"; }
wineboot() { wine wineboot "$@"; }
# In the emulated case the server is reached from inside run-i386.sh's
# namespace too, where the caller is root: a non-root caller's server
# outside it would be another one.
if [[ $VERSALO_WINE_MODE == emulated ]]; then
  wineserver() { env LC_ALL="$versalo_wine_locale" "${versalo_run_i386[@]}" wineserver "$@"; }
else
  wineserver() { env LC_ALL="$versalo_wine_locale" wineserver "$@"; }
fi

# How 32-bit programs run, in words: "natively" or "under emulation
# (QEMU ...)".
wine_32bit_how() {
  if [[ $VERSALO_WINE_MODE == emulated ]]; then
    echo "under emulation ($(qemu-i386 --version | head -n 1), this kernel runs no 32-bit code)"
  else
    echo natively
  fi
}

# Says why, with what to install, and fails, where no 32-bit program can run.
wine_runs_32bit() {
  [[ $VERSALO_WINE_MODE != none ]] && return 0
  if [[ ! -x /usr/lib/wine/wine ]]; then
    echo "wine: 32-bit Wine is not installed: bash scripts/setup.sh windows installs wine32:i386" >&2
  elif [[ ! -x /usr/bin/qemu-i386 ]]; then
    echo "wine: this machine's kernel runs no 32-bit programs (IA-32 emulation is off), and" \
         "QEMU's user-mode emulator is not installed: bash scripts/setup.sh windows installs" \
         "qemu-user from bookworm-backports" >&2
  else
    echo "wine: this machine's kernel runs no 32-bit programs (IA-32 emulation is off), and" \
         "32-bit Wine does not start under QEMU either:" \
         "$("${versalo_run_i386[@]}" /usr/lib/wine/wine --version 2>&1 | tail -n 1)" >&2
  fi
  return 1
}

# The prefix runs 32-bit programs only if it was made with 32-bit Wine
# installed; one made before that cannot start any program at all. Where
# no 32-bit program can run, a 64-bit prefix is all there is.
wine_prefix_fit() {
  [[ -f $WINEPREFIX/.versalo-ready ]] &&
    { [[ $VERSALO_WINE_MODE == none ]] || [[ -f $WINEPREFIX/drive_c/windows/syswow64/kernel32.dll ]]; }
}

# Makes the prefix when it is missing or unfit: about 13 s.
wine_prefix_ready() {
  wine_prefix_fit && return 0
  if [[ -e $WINEPREFIX ]]; then
    echo "wine: remaking $WINEPREFIX: unfinished, or made before 32-bit Wine was installed" >&2
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
  else
    echo "wine: making the prefix $WINEPREFIX" >&2
  fi
  mkdir -p "$WINEPREFIX"
  # With no window manager, Wine waits 2 s for every window that hides
  # unless it manages none. The prefix is marked ready only once both
  # steps have worked: a prefix half made (Wine could not start) is made
  # again next time, not trusted.
  if ! wineboot -i >/dev/null 2>&1 ||
     ! wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1; then
    echo "wine: cannot make the prefix $WINEPREFIX" >&2
    wineserver -k 2>/dev/null || true
    return 1
  fi
  wineserver -w
  touch "$WINEPREFIX/.versalo-ready"
}

# Starts a private Xvfb when there is no display; stop_xvfb ends it.
start_xvfb() {
  [[ -n ${DISPLAY:-} ]] && return 0
  local n
  for n in $(seq 91 140); do
    [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] || break
  done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  versalo_xvfb_pid=$!
  export DISPLAY=:$n
  local tries
  for tries in $(seq 100); do
    [[ -e /tmp/.X11-unix/X$n ]] && return 0
    sleep 0.05
  done
  echo "cannot start Xvfb on :$n" >&2
  return 1
}

stop_xvfb() {
  [[ -n ${versalo_xvfb_pid:-} ]] && kill "$versalo_xvfb_pid" 2>/dev/null
  versalo_xvfb_pid=
}

# For a script that runs Wine programs one after another: a display, the
# prefix, and one wineserver for all of them, with Wine's own services
# started now, away from the caller's output pipes (CTest waits for every
# holder of its pipes to close). All of it ends when the script exits.
wine_session() {
  start_xvfb
  trap 'wineserver -k 2>/dev/null || true; stop_xvfb' EXIT
  wine_prefix_ready
  wineserver -p 2>/dev/null || true  # a server may already be running
  wine reg query 'HKCU\Software\Wine' </dev/null >/dev/null 2>&1 || true
}
