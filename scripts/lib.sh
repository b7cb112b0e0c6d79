# Shared by scripts/test, scripts/demo and scripts/package: package
# installation, the project's version and the wine prefix used to run Windows
# programs. Source it; do not run it.

REFLINT_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
REFLINT_JOBS=${REFLINT_JOBS:-2}
REFLINT_LOGS=${REFLINT_LOGS:-$REFLINT_ROOT/build-logs}

# The project's version, from CMakeLists.txt (e.g. 2.1.3.0).
reflint_version() {
  sed -n 's/^project(Reflint VERSION \([0-9.]*\).*/\1/p' "$REFLINT_ROOT/CMakeLists.txt"
}

# Installs every package of scripts/packages.txt that is not installed yet.
# Silent when nothing is missing.
reflint_install_packages() {
  local missing=() pkg sudo=()
  while read -r pkg; do
    [[ -z $pkg || $pkg == \#* ]] && continue
    dpkg -s "$pkg" >/dev/null 2>&1 || missing+=("$pkg")
  done <"$REFLINT_ROOT/scripts/packages.txt"
  ((${#missing[@]} == 0)) && return 0
  [[ $(id -u) -ne 0 ]] && sudo=(sudo)
  echo "Installing: ${missing[*]}"
  mkdir -p "$REFLINT_LOGS"
  # Packages of another architecture (name:arch, e.g. wine32:i386) need that
  # architecture known to dpkg before apt-get update.
  local arch
  for arch in $(printf '%s\n' "${missing[@]}" | sed -n 's/^[^:]*:\(.*\)$/\1/p' | sort -u); do
    [[ $arch == "$(dpkg --print-architecture)" ]] && continue
    dpkg --print-foreign-architectures | grep -qx "$arch" ||
      "${sudo[@]}" dpkg --add-architecture "$arch" || return 1
  done
  if ! { "${sudo[@]}" apt-get update -qq &&
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq \
      "${missing[@]}"; } >"$REFLINT_LOGS/apt.log" 2>&1; then
    tail -n 30 "$REFLINT_LOGS/apt.log"
    echo "Package installation failed (log: $REFLINT_LOGS/apt.log)" >&2
    return 1
  fi
}

# A throwaway wine prefix with a running wine server. Call
# reflint_wine_stop when done (or leave it to the EXIT trap).
reflint_wine_start() {
  export WINEPREFIX
  WINEPREFIX=$(mktemp -d /tmp/reflint-wine.XXXXXX)
  export WINEARCH=win64 WINEDEBUG=-all,err+module WINEDLLOVERRIDES="mscoree,mshtml="
  # A persistent server, started first so that every later wine start
  # (each test is one) finds it running instead of paying ~2 s to start one.
  wineserver -p || return 1
  wine wineboot --init >/dev/null 2>&1 || return 1
  # No window manager here: unmanaged windows do not stall.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  wine cmd /c exit >/dev/null 2>&1
  trap reflint_wine_stop EXIT
}

reflint_wine_stop() {
  [[ -n ${WINEPREFIX:-} && -d $WINEPREFIX ]] || return 0
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
  unset WINEPREFIX
}
