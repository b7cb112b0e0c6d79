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
  # A mirror caught in its sync fails an index ("File has unexpected size")
  # and heals within minutes: the update is tried again, and when an index
  # still fails, the install says whether what we need can be had.
  local try
  : >"$REFLINT_LOGS/apt.log"
  for try in 1 2 3 4; do
    "${sudo[@]}" apt-get update -qq >>"$REFLINT_LOGS/apt.log" 2>&1 && break
    echo "apt-get update failed (try $try of 4, log: $REFLINT_LOGS/apt.log)" >&2
    ((try < 4)) && sleep 45
  done
  local apt_install=(env DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq)
  if "${apt_install[@]}" "${missing[@]}" >>"$REFLINT_LOGS/apt.log" 2>&1; then
    return 0
  fi
  local foreign=() pins=$REFLINT_LOGS/foreign-libraries.pref
  mapfile -t foreign < <(printf '%s\n' "${missing[@]}" | grep ':')
  if ((${#foreign[@]} > 0)) && reflint_pin_foreign_libraries "${foreign[@]}" >"$pins" && [[ -s $pins ]]; then
    echo "Multiarch libraries differ in version between $(dpkg --print-architecture) and" \
      "${foreign[*]#*:} (an index that failed above?); installing the newest version" \
      "both have of: $(sed -n 's/^Package: src://p' "$pins" | tr '\n' ' ')" >&2
    "${sudo[@]}" cp "$pins" /etc/apt/preferences.d/reflint-foreign-libraries
    "${apt_install[@]}" --allow-downgrades "${missing[@]}" >>"$REFLINT_LOGS/apt.log" 2>&1
    local rc=$?
    # The pins are for this install only: a later upgrade finds the
    # architectures level again once the mirror is whole.
    "${sudo[@]}" rm -f /etc/apt/preferences.d/reflint-foreign-libraries
    ((rc == 0)) && return 0
  fi
  tail -n 30 "$REFLINT_LOGS/apt.log"
  echo "Package installation failed (log: $REFLINT_LOGS/apt.log)" >&2
  return 1
}

# Multiarch libraries ("Multi-Arch: same") must have one version on every
# architecture. When one architecture's index of bookworm-security fails to
# download (a mirror caught in its sync, seen for days), its libraries come
# from bookworm alone while the native ones come from bookworm-security, and
# apt finds no solution. Prints apt preferences that pin the source of each
# such library, among the dependencies of the given name:arch packages, to
# the newest version that both architectures' indexes hold.
reflint_pin_foreign_libraries() {
  local native deps=() dep name arch native_cand foreign_cand best v src
  native=$(dpkg --print-architecture)
  mapfile -t deps < <(apt-cache depends --recurse --no-recommends --no-suggests \
    --no-conflicts --no-breaks --no-replaces --no-enhances "$@" 2>/dev/null |
    grep -x '[a-z0-9][^ ]*:[a-z0-9]*' | grep -v ":$native\$" | sort -u)
  ((${#deps[@]} > 0)) || return 0
  local names=("${deps[@]%:*}")
  # One line per version the indexes hold: name arch version multi-arch source
  local versions
  versions=$(apt-cache show "${deps[@]}" "${names[@]/%/:$native}" 2>/dev/null | awk '
    function flush() { if (p != "") print p, a, v, (m == "" ? "no" : m), (s == "" ? p : s)
                       p = a = v = m = s = "" }
    /^Package: / { flush(); p = $2 }  /^Architecture: / { a = $2 }  /^Version: / { v = $2 }
    /^Multi-Arch: / { m = $2 }        /^Source: / { s = $2 }        END { flush() }')
  # One line per package: name[:arch] candidate (the native name has no arch)
  local candidates
  candidates=$(apt-cache policy "${deps[@]}" "${names[@]}" |
    awk '/^[^ ].*:$/ { n = substr($0, 1, length($0) - 1) } /^  Candidate: / { print n, $2 }')
  for dep in "${deps[@]}"; do
    name=${dep%:*} arch=${dep##*:}
    awk -v n="$name" -v a="$arch" '$1 == n && $2 == a && $4 == "same" { f = 1 } END { exit !f }' \
      <<<"$versions" || continue
    native_cand=$(awk -v n="$name" '$1 == n { print $2 }' <<<"$candidates")
    foreign_cand=$(awk -v n="$dep" '$1 == n { print $2 }' <<<"$candidates")
    [[ -z $native_cand || $native_cand == "(none)" || $native_cand == "$foreign_cand" ]] && continue
    best=
    while read -r v; do
      if [[ -z $best ]] || dpkg --compare-versions "$v" gt "$best"; then best=$v; fi
    done < <(comm -12 <(reflint_versions_of "$versions" "$name" "$native") \
      <(reflint_versions_of "$versions" "$name" "$arch"))
    [[ -n $best ]] || continue
    src=$(awk -v n="$name" -v a="$arch" -v v="$best" '$1 == n && $2 == a && $3 == v { print $5; exit }' \
      <<<"$versions")
    printf 'Package: src:%s\nPin: version %s\nPin-Priority: 1001\n\n' "$src" "$best"
  done | awk 'BEGIN { RS = ""; ORS = "\n\n" } !seen[$0]++'
}

# The versions of a package on an architecture, from the lines
# reflint_pin_foreign_libraries gathers, one per line, sorted.
reflint_versions_of() {
  awk -v n="$2" -v a="$3" '$1 == n && $2 == a { print $3 }' <<<"$1" | sort -u
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

# run_stage NAME COMMAND...: runs the command with its output in the stage's
# log, shows the stage's lines (ctest summaries, checks' "ok" lines, reruns,
# what did not run) and the log's end on failure, and adds the stage's line
# to the array summary (failed=1 when it failed). The line says "skipped",
# with why, when the command succeeded but something in it did not run: a
# check printed "SKIPPED: why", or ctest skipped tests or found none. A
# failure is a failure, whatever else was skipped.
run_stage() {
  local name=$1 log="$REFLINT_LOGS/$1.log" start rc ms secs skipped
  shift
  start=$(date +%s%N)
  "$@" >"$log" 2>&1
  rc=$?
  ms=$((($(date +%s%N) - start) / 1000000))
  secs=$((ms / 1000)).$((ms % 1000 / 100))
  grep -E '^[0-9]+% tests passed|^Total Test time|^No tests were found|^ok   |^ +[0-9.]+[KMG]?  dist/|^rerun after|^SKIPPED: |^[[:space:]]+[0-9]+ - .* \((Skipped|Disabled)\)$' \
    "$log" |
    sed -E 's/^[[:space:]]+[0-9]+ - (.*) \((Skipped|Disabled)\)$/did not run: \1 (\2)/' |
    sed "s/^/[$name] /"
  skipped=$(reflint_skip_reasons "$log")
  if ((rc == 0)) && [[ -z $skipped ]]; then
    summary+=("$(printf '%-7s ok      %6ss' "$name" "$secs")")
  elif ((rc == 0)); then
    summary+=("$(printf '%-7s skipped %6ss  %s' "$name" "$secs" "$skipped")")
  else
    echo "---- $name failed; errors and end of $log ----"
    grep -E 'error:|Error|FAILED:|\*\*\*Failed|Failed +[0-9.]+ sec|\*\*\*Timeout|\*\*\*Exception|Sanitizer|^not rerun' "$log" |
      head -n 40
    echo "...."
    tail -n 60 "$log"
    echo "----"
    summary+=("$(printf '%-7s FAILED  %6ss' "$name" "$secs")")
    failed=1
  fi
}

# reflint_skip_reasons LOG: why parts of a stage did not run, on one line
# ("; " between reasons), empty when everything ran.
reflint_skip_reasons() {
  local reasons=() n reason line=
  mapfile -t reasons < <(sed -n 's/^SKIPPED: //p' "$1")
  n=$(grep -cE '^[[:space:]]+[0-9]+ - .* \((Skipped|Disabled)\)$' "$1")
  if ((n == 1)); then reasons+=("1 test did not run"); fi
  if ((n > 1)); then reasons+=("$n tests did not run"); fi
  if grep -q '^No tests were found' "$1"; then reasons+=("ctest found no tests"); fi
  for reason in "${reasons[@]}"; do line+=${line:+; }$reason; done
  echo "$line"
}

# Wine's words when it could not start a program at all; it happens now and
# then, and says nothing about the program.
REFLINT_WINE_START_FAILURE="Application could not be started"

# A line of wine's heap checker (WINEDEBUG=warn+heap), the Windows builds'
# sanitizer: "0104:warn:heap:unsafe_block_from_ptr ..." for a free of a block
# that is not allocated (0xFEEEFEEE in it: a pointer read from freed
# memory). Only the heap channel's warnings and errors: wine's other
# chatter (err:winediag, err:systray, fixme:heap, ...) says nothing about
# the program. scripts/wine-checked fails a run that prints one, and the
# wine stages never rerun a test that printed one. (Written for grep -E and
# mawk alike, which knows no {4}.)
REFLINT_WINE_HEAP_LINE='[0-9a-f][0-9a-f][0-9a-f][0-9a-f]:(warn|err):heap:'
# What scripts/wine-checked adds to the caller's WINEDEBUG, and how it ends
# a run in which the heap checker spoke.
REFLINT_WINE_HEAP_CHANNELS=err+heap,warn+heap
REFLINT_WINE_HEAP_EXIT=66

# reflint_ctest DIR CTEST_ARGS...: runs the tests of the build folder DIR.
# With REFLINT_RERUN_FAILED=1 (the wine stages) the failed tests get one more
# run when each of them failed only because wine could not start its
# program; their first output stays above, and "rerun after a failure: NAME"
# names them. One failed test without wine's words fails the run at once.
reflint_ctest() {
  local dir=$1 rerun
  shift
  # A failure list left by an earlier run must not decide about this one.
  rm -f "$dir/Testing/Temporary/LastTestsFailed.log" "$dir/Testing/Temporary/LastTest.log"
  ctest --test-dir "$dir" --output-on-failure -j "${REFLINT_CTEST_JOBS:-1}" "$@" && return 0
  ((${REFLINT_RERUN_FAILED:-0})) || return 1
  rerun=$(reflint_wine_start_failures "$dir") || return 1
  sed 's/^/rerun after a failure: /' <<<"$rerun"
  ctest --test-dir "$dir" --output-on-failure --rerun-failed
}

# reflint_tests_whose_output LOG start|heap: the names of the tests of a
# ctest LastTest.log whose own output (between "Output:" and "<end of
# output>" of their section) has a line of wine's start failure, or of its
# heap checker; once per such line.
reflint_tests_whose_output() {
  awk -v words="$REFLINT_WINE_START_FAILURE" -v heap="$REFLINT_WINE_HEAP_LINE" -v kind="$2" '
    /^[0-9]+\/[0-9]+ Test: / { name = $0; sub(/^[0-9]+\/[0-9]+ Test: /, "", name); output = 0; next }
    /^Output:$/ { output = 1; next }
    /^<end of output>$/ { output = 0; next }
    output && kind == "start" && index($0, words) == 1 { print name }
    output && kind == "heap" && $0 ~ heap { print name }' "$1"
}

# reflint_wine_start_failures DIR: prints the failed tests of DIR's last
# ctest run, one per line, and succeeds only when there are some and the
# output of each carries wine's start failure and no line of wine's heap
# checker; each other one is named on standard error.
reflint_wine_start_failures() {
  local temp=$1/Testing/Temporary wine heap name status=0 count=0
  [[ -s $temp/LastTestsFailed.log && -f $temp/LastTest.log ]] || return 1
  wine=$(reflint_tests_whose_output "$temp/LastTest.log" start)
  heap=$(reflint_tests_whose_output "$temp/LastTest.log" heap)
  # Lines "N:name", the last one without a newline.
  while IFS= read -r name || [[ -n $name ]]; do
    name=${name#*:}
    [[ -n $name ]] || continue
    count=$((count + 1))
    if grep -qxF -- "$name" <<<"$heap"; then
      echo "not rerun: $name: wine's heap checker reported a fault" >&2
      status=1
    elif grep -qxF -- "$name" <<<"$wine"; then
      echo "$name"
    else
      echo "not rerun: $name failed by itself" >&2
      status=1
    fi
  done <"$temp/LastTestsFailed.log"
  ((count > 0)) || return 1
  return $status
}
