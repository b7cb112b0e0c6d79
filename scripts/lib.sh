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
  if ! DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq \
    "${missing[@]}" >>"$REFLINT_LOGS/apt.log" 2>&1; then
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
