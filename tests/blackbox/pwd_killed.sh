#!/usr/bin/env bash
# A change of protection killed (SIGKILL) at random moments, in place: the
# key file must always be either the old file or the new one, complete,
# never a mixture, a shortened file or nothing. The new file is known in
# advance: the change is deterministic for a given key, challenge and
# password.
#
#   pwd_killed.sh <path-to-nccore> [runs (default 100)]
#
# Prints one line per bad outcome and a summary; exit status 1 when any.

set -u
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$HERE/lib.sh"
host_under_test pwd_killed "$1"
runs=${2:-100}
require_tools pwd_killed cmp

WORK=$(mktemp -d "${TMPDIR:-/tmp}/nccore-pwd-killed.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
cd "$WORK" || exit 2
export NCCORE_UI=headless NCCORE_SETTINGS=$WORK/settings.ini NCCORE_PROFILE_DIR=$WORK
export NCCORE_RUNTIME_DIR=$WORK
printf 'old password\n' >a.txt
printf 'old password\nnew password\n' >ab.txt
chmod 600 a.txt ab.txt
change=("$NCCORE" --password-file ab.txt pwd k.rsk PWD:k.rsk /Y)

# The old file (an RSA key: the largest secret key) and the new one.
"$NCCORE" --password-file a.txt rsak /N:2048-2048 /SECRET:PWD:k.rsk /PUBLIC:k.rpk >out.txt 2>&1 ||
  { echo "pwd_killed: rsak: $(cat out.txt)"; exit 2; }
cp k.rsk old.rsk
"${change[@]}" >out.txt 2>&1 || { echo "pwd_killed: pwd: $(cat out.txt)"; exit 2; }
cp k.rsk new.rsk
cmp -s old.rsk new.rsk && { echo "pwd_killed: the change changed nothing"; exit 2; }

bad=0 old=0 new=0
for ((i = 0; i < runs; i++)); do
  cp old.rsk k.rsk
  "${change[@]}" >/dev/null 2>&1 &
  pid=$!
  # Anywhere from before the file is read to after the rename.
  sleep "0.0$((RANDOM % 40))"
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  if cmp -s k.rsk old.rsk; then
    old=$((old + 1))
  elif cmp -s k.rsk new.rsk; then
    new=$((new + 1))
  else
    bad=$((bad + 1))
    echo "FAIL run $i: the key file is neither the old nor the new one ($(stat -c %s k.rsk 2>&1))"
  fi
  # A kill can leave the temporary file beside the key: never the key itself.
  find . -maxdepth 1 -name '*.tmp*' -delete 2>/dev/null
done
echo "pwd_killed: $runs runs: $old old, $new new, $bad broken"
((bad == 0))
