#!/usr/bin/env bash
# A file job (DES, GOST) ended before its time: Ctrl-C typed on the
# terminal, or SIGINT,
# SIGTERM or SIGHUP sent to the process, during the file loop (with its
# progress on a terminal, or quiet with /NOLOGO and only pipes around it)
# and while it waits for a password (typed on the terminal, or from a
# descriptor whose writer stays silent). Every time the job ends with 10 and
# its result text, no temporary file is left, an existing destination keeps
# its bytes, and the terminal is as it was (echo and line editing on).
#   jobs_interrupted.sh <path-to-nccore> [wine]
#
# Under Wine only the quiet job runs, with SIGINT: Wine hands it to the
# program as the console's Ctrl-C. (The wait for a silent password pipe
# looks at the pipe before reading it, which Wine 8 does not support for
# the pipes it is given, so the read there waits for the writer.)
#
# The source is a sparse file of 1 TiB: enciphering it takes hours on any
# machine, so the job is still running when the signal arrives.
set -u
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$HERE/lib.sh"
host_under_test jobs_interrupted "$@"
nccore=$NCCORE
enter_scratch_folder

# Every regular file of the folder but the typescripts, the logs and the
# source (a sparse file, untouched by the job), with its checksum: a
# temporary file left behind shows here.
listing() { find . -type f ! -name '*.log' ! -name big -exec md5sum {} + | sort -k2; }

host() { "${LAUNCHER[@]}" "$nccore" "$@"; }
NCCORE_UI=headless host desk k.dek /NOLOGO >/dev/null || fail "desk: exit code $?"
printf 'correct horse\n' >pw.txt
chmod 600 pw.txt
NCCORE_UI=headless host --password-file pw.txt desk PWD:pk.dek >/dev/null ||
  fail "desk PWD: exit code $?"
cp "$HERE/gosb_table.txt" t.txt
NCCORE_UI=headless host gosb t.txt t.gtb /NOLOGO >/dev/null || fail "gosb: exit code $?"
NCCORE_UI=headless host gosk k.gek /NOLOGO >/dev/null || fail "gosk: exit code $?"
truncate -s 1T big || { echo "jobs_interrupted: no sparse files"; exit 2; }
printf 'the previous contents\n' >old.enc
printf 'a short source\n' >small
mkfifo silent

title="Файловый криптопроцессор DES"
gost_title="Файловый криптопроцессор ГОСТ"

# The pid of the process running $nccore below the process $1, if any.
host_below() {
  local p q name
  name=$(basename "$nccore")
  for p in $(pgrep -x "${name:0:15}"); do
    q=$p
    while ((q > 1)); do
      q=$(awk '{ print $4 }' "/proc/$q/stat" 2>/dev/null) || break
      [[ -n $q ]] || break
      if [[ $q == "$1" ]]; then
        echo "$p"
        return 0
      fi
    done
  done
  return 1
}

# Waits (at most 60 s) until the job's temporary output exists and grows.
wait_for_temporary() {
  local i
  for ((i = 0; i < 600; i++)); do
    [[ -n $(find . -maxdepth 1 -name '~nc*.tmp' -size +0 2>/dev/null) ]] && return 0
    sleep 0.1
  done
  return 1
}

# The end of a case: result 10, its text in $2 (after the tag of the
# operation, ZQDESF or ZQGOSF), files as before ($3).
check_end() {  # name, output file, listing before, exit code
  [[ $4 == 10 ]] || fail "$1: exit code $4, want 10"
  local text
  text=$(tr -d '\r' <"$2")
  [[ $MODE == wine ]] && text=$(iconv -f CP1251 -t UTF-8 <<<"$text")
  [[ $text =~ ZQ(DES|GOS)F10:\ Пользователь\ прервал\ работу ]] || fail "$1: no result text"
  [[ $(listing) == "$3" ]] || fail "$1: files changed: $(listing | tr '\n' ' ')"
}

# on_terminal NAME SIGNAL WAIT ARGS...: runs nccore ARGS on the terminal;
# once WAIT shows in the typescript, ends it with SIGNAL (ctrl-c: typed).
# The terminal's settings are printed after nccore ends.
on_terminal() {
  local name=$1 signal=$2 wait=$3 before pid code
  shift 3
  before=$(listing)
  open_keys
  start_on_terminal "$name.log" "'$nccore' $*; echo \"exit \$?\"; stty -a"
  if ! wait_for "$name.log" "$wait"; then
    fail "$name: '$wait' not shown"
  elif [[ $signal == ctrl-c ]]; then
    printf '\003' >&8
  elif pid=$(host_below "$PTY_PID"); then
    kill -s "$signal" "$pid"
  else
    fail "$name: no nccore process"
  fi
  end_on_terminal "$name" 30
  close_keys
  code=$(sed -n 's/^exit \([0-9]*\).*/\1/p' "$name.log" | tail -n 1)
  check_end "$name" "$name.log" "$before" "$code"
  grep -q -- ' -echo \| -icanon ' "$name.log" && fail "$name: terminal left without echo"
  grep -q -- ' echo ' "$name.log" || fail "$name: no terminal settings printed"
}

# through_pipes NAME SIGNAL WAIT ARGS...: runs nccore ARGS with only pipes
# and files around it (descriptor 3 reads the silent FIFO); once WAIT
# (temporary: the output grows; input: it waits for input) ends it with
# SIGNAL.
through_pipes() {
  local name=$1 signal=$2 wait=$3 before pid code
  shift 3
  before=$(listing)
  # A job started with "&" inherits SIGINT ignored: give it the default.
  env --default-signal=INT NCCORE_UI=terminal "${LAUNCHER[@]}" "$nccore" "$@" </dev/null \
    >"$name.log" 2>&1 3<>silent &
  pid=$!
  if [[ $wait == temporary ]] && ! wait_for_temporary; then
    fail "$name: no temporary output"
  elif [[ $wait == input ]] && ! wait_for_input_wait "$pid" 3; then
    fail "$name: not waiting for the password"
  fi
  kill -s "$signal" "$pid"
  for ((i = 0; i < 300; i++)); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$pid" 2>/dev/null && { fail "$name: still running"; kill -9 "$pid"; }
  wait "$pid"
  code=$?
  check_end "$name" "$name.log" "$before" "$code"
}

if [[ $MODE == wine ]]; then
  signals=(INT)
else
  signals=(INT TERM HUP)
  # ---- Ctrl-C typed during the loop ----------------------------------------------------
  on_terminal ctrl-c-new-destination ctrl-c "$title" desf big big.enc /CBC /KEY:k.dek
  on_terminal ctrl-c-existing-destination ctrl-c "$title" desf big old.enc /CBC /KEY:k.dek /Y
  on_terminal gost-ctrl-c-new-destination ctrl-c "$gost_title" gosf big big.enc /GM \
    /BLK:t.gtb /KEY:k.gek
  on_terminal gost-ctrl-c-existing-destination ctrl-c "$gost_title" gosf big old.enc /GM \
    /BLK:t.gtb /KEY:k.gek /Y
fi

# ---- signals ---------------------------------------------------------------------------
for signal in "${signals[@]}"; do
  if [[ $MODE != wine ]]; then
    on_terminal "$signal-during-progress" "$signal" "$title" desf big old.enc /CBC /KEY:k.dek /Y
    on_terminal "$signal-at-the-prompt" "$signal" "Пароль: " desf small old.enc /CBC /KEY:pk.dek /Y
  fi
  through_pipes "$signal-quiet-job" "$signal" temporary desf big old.enc /CBC /KEY:k.dek /Y /NOLOGO
  through_pipes "$signal-quiet-gost-job" "$signal" temporary gosf big old.enc /GM /BLK:t.gtb \
    /KEY:k.gek /Y /NOLOGO
  [[ $MODE == wine ]] && continue
  through_pipes "$signal-silent-password-descriptor" "$signal" input \
    --password-fd 3 desf small old.enc /CBC /KEY:pk.dek /Y
done

all_passed jobs_interrupted
