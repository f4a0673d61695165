#!/usr/bin/env bash
# Ctrl-C typed on the terminal during a long DES encryption: the job ends
# with 10, no output is left behind and an existing destination keeps its
# bytes. nccore runs in a pseudo-terminal (util-linux `script`); what it
# draws is read from the typescript.
#   des_terminal.sh <path-to-nccore>
#
# The source is a sparse file of 1 TiB: enciphering it takes hours on any
# machine, so the job is still running when Ctrl-C arrives, and it ends at
# its next progress report.
set -u
nccore=$(realpath "$1")
work=$(mktemp -d)
pid=
cleanup() {
  [[ -n $pid ]] && kill "$pid" 2>/dev/null
  exec 8>&-
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Waits until the file $1 contains the text $2, for at most 30 seconds.
wait_for() {
  local i
  for ((i = 0; i < 300; i++)); do
    grep -qF -- "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

# Every file of the folder but the typescripts and the source (a sparse
# file, untouched by the job), with its checksum.
listing() { find . -type f ! -name '*.log' ! -name big -exec md5sum {} + | sort -k2; }

NCCORE_UI=headless "$nccore" desk k.dek /NOLOGO >/dev/null || fail "desk: exit code $?"
truncate -s 1T big || { echo "des_terminal: no sparse files"; exit 2; }
mkfifo keys

title="Файловый криптопроцессор DES"

# cancel_case NAME ARGS...: runs nccore desf ARGS on the terminal, types
# Ctrl-C once its progress shows, and checks the end.
cancel_case() {
  local name=$1 before code i
  shift
  before=$(listing)
  # The keys typed on the terminal: the FIFO is held open for reading and
  # writing here, so neither side's open blocks.
  exec 8<>keys
  # A command started with "&" inherits SIGINT ignored, and the library
  # leaves an ignored Ctrl-C ignored; the default disposition is restored.
  NCCORE_UI=terminal env --default-signal=INT \
    script -qefc "exec '$nccore' desf $*" "$name.log" <&8 >/dev/null 2>&1 8>&- &
  pid=$!
  if wait_for "$name.log" "$title"; then
    printf '\003' >&8
    for ((i = 0; i < 300; i++)); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
  else
    fail "$name: no progress shown"
  fi
  if kill -0 "$pid" 2>/dev/null; then
    fail "$name: still running 30 s after Ctrl-C"
    pkill -P "$pid" 2>/dev/null
    kill "$pid" 2>/dev/null
  fi
  wait "$pid"
  code=$?
  pid=
  exec 8>&-
  [[ $code == 10 ]] || fail "$name: exit code $code, want 10"
  grep -qF 'ZQDESF10: Пользователь прервал работу' "$name.log" || fail "$name: no result text"
  [[ $(listing) == "$before" ]] || fail "$name: files changed: $(listing | tr '\n' ' ')"
}

cancel_case new-destination big big.enc /CBC /KEY:k.dek
printf 'the previous contents\n' >old.enc
cancel_case existing-destination big old.enc /CBC /KEY:k.dek /Y

[[ $failures -eq 0 ]] && echo "des_terminal: all cases passed"
[[ $failures -eq 0 ]]
