#!/usr/bin/env bash
# Black-box table of what an output never does to its user and of sources
# that are not regular files, through the nccore host (natively): every
# operation that writes a file, against destinations that are no writable
# file (a device node, a FIFO, a folder, a link that leads nowhere, a
# read-only file for a user who may not write it, a name longer than the
# system's), a symbolic link that is followed, and a file that appears while
# a job holds (two jobs racing for one name without /Y); then FIFOs where a
# source, a key or a compared file is expected, which must be refused, not
# waited on. Each case runs in a fresh folder; one line is printed per
# failing case, and the exit status is 1 when any case failed.
#
#   destinations.sh <path-to-nccore>

set -u

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$HERE/lib.sh"
host_under_test destinations "$@"
require_tools destinations mknod mkfifo setpriv timeout stat cmp

WORK=$(mktemp -d "${TMPDIR:-/tmp}/nccore-dest.XXXXXX")
chmod 755 "$WORK"  # the unprivileged user's case works in it too
HOLD_PID=
cleanup() {
  [[ -n $HOLD_PID ]] && kill "$HOLD_PID" 2>/dev/null
  exec 9>&-
  rm -rf "$WORK"
}
trap cleanup EXIT

# The host in the current folder, never waiting for long: a job that hangs
# on a FIFO ends with timeout's 124 and fails its case.
nccore() { NCCORE_UI=headless timeout 20 "$NCCORE" "$@" </dev/null; }
# The same as the unprivileged user "nobody" when run as root. The build
# folder may be private to root, so that user runs a copy of the host and
# its library from the work folder.
nccore_unprivileged() {
  if ((EUID == 0)); then
    if [[ ! -d $WORK/host ]]; then
      mkdir -p "$WORK/host" && cp "$NCCORE" "$(dirname "$NCCORE")"/libnccore21.so* "$WORK/host/" &&
        chmod -R a+rX "$WORK/host"
    fi
    NCCORE_UI=headless LD_LIBRARY_PATH=$WORK/host timeout 20 \
      setpriv --reuid=65534 --regid=65534 --clear-groups \
      "$WORK/host/$(basename "$NCCORE")" "$@" </dev/null
  else
    nccore "$@"
  fi
}

# What a name stands for, enough to tell that nothing touched it: its kind
# and mode, a link's text, a regular file's bytes.
fingerprint() {
  local path=$1
  [[ -e $path || -L $path ]] || { echo none; return; }
  stat -c '%F %a %t:%T' -- "$path"
  [[ -L $path ]] && readlink -- "$path"
  [[ -f $path && ! -L $path ]] && od -An -tx1 -v -- "$path" | tr -d ' \n'
  return 0
}

# ---- the operations, each with the arguments that write DEST ----------------------
# Every one gets /NOLOGO /Y: the destinations below are refused although
# replacing a file was allowed.
declare -A WRITES=(
  [desk]='desk /NOLOGO /Y DEST'
  [desf]='desf /NOLOGO /Y plain DEST /CBC /KEY:k.dek'
  [gosb]='gosb /NOLOGO /Y table.txt DEST'
  [gosc]='gosc /NOLOGO /Y DEST'
  [diap]='diap /NOLOGO /Y DEST'
)
OPERATIONS=(desk desf gosb gosc diap)

# The files every case folder holds: a source, an unprotected DES key, a
# substitution table.
fixtures() {
  head -c 3000 /dev/urandom >plain
  nccore desk /NOLOGO k.dek >/dev/null || echo "cannot make the key"
  cp "$HERE/gosb_table.txt" table.txt
}

# ---- destinations ---------------------------------------------------------------------
# name | setup (shell in the case folder; @ is the destination "out") | code | after
#   after: "same" (the destination as it was, nothing else written),
#   "followed" (the link as it was, the file it leads to replaced by a new
#   file, nothing else written in its folder).
DESTINATIONS='
a device node          | mknod @ c 1 3                                    | 03 | same
a FIFO                 | mkfifo @                                         | 03 | same
a folder               | mkdir @ && echo kept >@/inside                   | 03 | same
a link to a folder     | mkdir folder && ln -s folder @                   | 03 | same
a link leading nowhere | ln -s missing/file @                             | 03 | same
a link to a file       | mkdir real && echo old >real/t && ln -s real/t @ | 00 | followed
a name of 4101 bytes   | DEST=$(printf "n%.0s" {1..4101})                 | 03 | same
'

# run_destination OPERATION NAME SETUP CODE AFTER
run_destination() {
  local op=$1 name=$2 setup=$3 code=$4 after=$5 DEST=out problems=() before target=
  local dir=$WORK/$op-$RANDOM$RANDOM
  mkdir "$dir" && cd "$dir" || return
  local setup_problem
  setup_problem=$(fixtures)
  [[ -n $setup_problem ]] && problems+=("$setup_problem")
  eval "${setup//@/\"\$DEST\"}" || problems+=("setup failed")
  [[ $after == followed ]] && target=$(readlink -f -- "$DEST")
  before=$(fingerprint "$DEST")
  local target_before=
  [[ -n $target ]] && target_before=$(fingerprint "$target")
  local -a argv
  read -r -a argv <<<"${WRITES[$op]}"
  argv=("${argv[@]/#DEST/$DEST}")
  local listing
  listing=$(ls -A)
  nccore "${argv[@]}" >../result-$op.txt 2>&1
  local status=$?
  [[ $status == "$((10#$code))" ]] || problems+=("exit code $status, expected $code")
  # The name follows the message, as far as the 512-byte result text holds it.
  local want_text=ZQ${op^^}${MESSAGE[$code]}
  [[ $code == 03 ]] && want_text=$(printf '%s%s' "$want_text" "$DEST" | head -c 511)
  local text_problem
  text_problem=$(result_text_problem ../result-$op.txt "$want_text")
  [[ -n $text_problem ]] && problems+=("${text_problem:0:200}")
  case $after in
    same)
      [[ $(fingerprint "$DEST") == "$before" ]] || problems+=("the destination changed")
      [[ $(ls -A) == "$listing" ]] ||
        problems+=("the folder changed: $(ls -A | tr '\n' ' ' | cut -c1-120)")
      ;;
    followed)
      [[ -L $DEST && $(readlink -- "$DEST") == real/t ]] || problems+=("the link did not stay")
      [[ -f $target && $(fingerprint "$target") != "$target_before" ]] ||
        problems+=("the file the link leads to was not replaced")
      [[ $(ls -A real) == t ]] || problems+=("left in the target's folder: $(ls -A real)")
      ;;
  esac
  cd "$WORK" || return
  case_verdict "$op: $name" "${problems[@]}"
}

for op in "${OPERATIONS[@]}"; do
  while IFS='|' read -r name setup code after; do
    name=$(trim "$name")
    [[ -z $name ]] && continue
    run_destination "$op" "$name" "$(trim "$setup")" "$(trim "$code")" "$(trim "$after")"
  done <<<"$DESTINATIONS"
done

# ---- a read-only destination, for a user who may not write it ----------------------------
# The folder is the user's, so only the file's own mode stands in the way.
for op in "${OPERATIONS[@]}"; do
  dir=$WORK/$op-readonly
  mkdir "$dir" && cd "$dir" || exit 2
  problems=()
  setup_problem=$(fixtures)
  [[ -n $setup_problem ]] && problems+=("$setup_problem")
  echo old >out
  chmod 444 out
  ((EUID == 0)) && chown -R 65534:65534 "$dir"
  chmod 644 k.dek  # the unprivileged user reads the key
  before=$(fingerprint out)
  read -r -a argv <<<"${WRITES[$op]}"
  argv=("${argv[@]/#DEST/out}")
  nccore_unprivileged "${argv[@]}" >result.txt 2>&1
  status=$?
  [[ $status == 3 ]] || problems+=("exit code $status, expected 03")
  text_problem=$(result_text_problem result.txt "ZQ${op^^}${MESSAGE[03]}out")
  [[ -n $text_problem ]] && problems+=("$text_problem")
  [[ $(fingerprint out) == "$before" ]] || problems+=("the destination changed")
  [[ $(ls -A | grep -c '^~nc') == 0 ]] || problems+=("a temporary file was left")
  cd "$WORK" || exit 2
  case_verdict "$op: a read-only file (as a user who may not write it)" "${problems[@]}"
done

# ---- two jobs racing for one name without /Y --------------------------------------------
# Job A checks that "out" does not exist, then waits for its key's password
# on a FIFO; job B writes "out" meanwhile; A then goes on and must report 11,
# leaving B's file. ZqDESF waits before it creates its output, ZqDESK after
# (its commit finds the name taken).
# operation | job A (without /NOLOGO, which would keep the password from
# being asked) | job B
RACES='
desf | desf plain out /CBC /KEY:pk.dek | desf /NOLOGO plain out /ECB /KEY:k.dek
desk | desk PWD:out                    | desk /NOLOGO out
'
while IFS='|' read -r op a b; do
  op=$(trim "$op")
  [[ -z $op ]] && continue
  dir=$WORK/$op-race
  mkdir "$dir" && cd "$dir" || exit 2
  problems=()
  setup_problem=$(fixtures)
  [[ -n $setup_problem ]] && problems+=("$setup_problem")
  printf 'secret\n' >password && chmod 600 password
  nccore --password-file password desk PWD:pk.dek >/dev/null 2>&1 ||
    problems+=("cannot make the protected key")
  mkfifo typed
  exec 9<>typed
  read -r -a argv <<<"$(trim "$a")"
  NCCORE_UI=headless "$NCCORE" --password-fd 3 "${argv[@]}" 3<typed </dev/null >a.txt 2>&1 &
  HOLD_PID=$!
  if ! wait_for_input_wait "$HOLD_PID" 3; then
    problems+=("job A never asked for the password")
    kill "$HOLD_PID"
  fi
  read -r -a argv <<<"$(trim "$b")"
  nccore "${argv[@]}" >b.txt 2>&1 || problems+=("job B: $(cat b.txt)")
  cp out b.bytes 2>/dev/null
  printf 'secret\n' >&9
  wait "$HOLD_PID"
  status=$?
  HOLD_PID=
  exec 9>&-
  [[ $status == 11 ]] || problems+=("job A: exit code $status, expected 11")
  text_problem=$(result_text_problem a.txt "ZQ${op^^}${MESSAGE[11]}out")
  [[ -n $text_problem ]] && problems+=("job A: $text_problem")
  cmp -s out b.bytes || problems+=("B's output was replaced")
  [[ $(ls -A | grep -c '^~nc') == 0 ]] || problems+=("a temporary file was left")
  cd "$WORK" || exit 2
  case_verdict "$op: a file that appears while the job holds, without /Y" "${problems[@]}"
done <<<"$RACES"

# ---- sources that are not regular files ---------------------------------------------------
# name | arguments (in a folder with the fixtures and the FIFO "fifo") | code |
# what follows the message ("_" for a blank: a key file's name comes after a
# second one, and is left out when it does not fit the text)
SOURCES='
desf: a FIFO as the source          | desf /NOLOGO /Y fifo out /CBC /KEY:k.dek   | 02 | fifo
desf: a FIFO as the ciphertext      | desf /NOLOGO /Y fifo out /D /KEY:k.dek     | 02 | fifo
desf: a FIFO as the hashed file     | desf /NOLOGO /Y fifo out /HASH /KEY:k.dek  | 02 | fifo
desf: a FIFO as the key             | desf /NOLOGO /Y plain out /CBC /KEY:fifo   | 02 | _fifo
desf: a FIFO as the first compared  | desf /NOLOGO fifo plain /COMP              | 02 | fifo
desf: a FIFO as the second compared | desf /NOLOGO plain fifo /COMP              | 02 | fifo
gosb: a FIFO as the table           | gosb /NOLOGO /Y fifo out                   | 02 | fifo
desf: a source name of 4101 bytes   | desf /NOLOGO /Y LONG out /CBC /KEY:k.dek   | 02 | LONG
desf: a key name of 4101 bytes      | desf /NOLOGO /Y plain out /CBC /KEY:LONG   | 02 |
'
LONG=$(printf "n%.0s" {1..4101})
while IFS='|' read -r name args code file; do
  name=$(trim "$name")
  [[ -z $name ]] && continue
  dir=$WORK/source-$RANDOM$RANDOM
  mkdir "$dir" && cd "$dir" || exit 2
  problems=()
  setup_problem=$(fixtures)
  [[ -n $setup_problem ]] && problems+=("$setup_problem")
  mkfifo fifo
  read -r -a argv <<<"$(trim "$args")"
  argv=("${argv[@]//LONG/$LONG}")
  nccore "${argv[@]}" >result.txt 2>&1
  status=$?
  code=$(trim "$code")
  [[ $status == "$((10#$code))" ]] || problems+=("exit code $status, expected $code")
  file=$(trim "$file")
  file=${file//_/ }
  # The name follows the message, as far as the 512-byte result text holds it.
  text_problem=$(result_text_problem result.txt \
    "$(printf '%s' "ZQ${argv[0]^^}${MESSAGE[$code]}${file//LONG/$LONG}" | head -c 511)")
  [[ -n $text_problem ]] && problems+=("$text_problem")
  [[ -e out ]] && problems+=("an output was written")
  [[ -p fifo ]] || problems+=("the FIFO changed")
  cd "$WORK" || exit 2
  case_verdict "$name" "${problems[@]}"
done <<<"$SOURCES"

echo "destinations ($MODE): $PASSED passed, $FAILED failed"
((FAILED == 0))
