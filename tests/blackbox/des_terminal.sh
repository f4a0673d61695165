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
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
nccore=$(realpath "$1")
enter_scratch_folder

# Every file of the folder but the typescripts and the source (a sparse
# file, untouched by the job), with its checksum.
listing() { find . -type f ! -name '*.log' ! -name big -exec md5sum {} + | sort -k2; }

NCCORE_UI=headless "$nccore" desk k.dek /NOLOGO >/dev/null || fail "desk: exit code $?"
truncate -s 1T big || { echo "des_terminal: no sparse files"; exit 2; }

title="Файловый криптопроцессор DES"

# cancel_case NAME ARGS...: runs nccore desf ARGS on the terminal, types
# Ctrl-C once its progress shows, and checks the end.
cancel_case() {
  local name=$1 before code
  shift
  before=$(listing)
  open_keys
  start_on_terminal "$name.log" "exec '$nccore' desf $*"
  ctrl_c_when "$name" "$name.log" "$title"
  code=$PTY_CODE
  close_keys
  [[ $code == 10 ]] || fail "$name: exit code $code, want 10"
  grep -qF 'ZQDESF10: Пользователь прервал работу' "$name.log" || fail "$name: no result text"
  [[ $(listing) == "$before" ]] || fail "$name: files changed: $(listing | tr '\n' ' ')"
}

cancel_case new-destination big big.enc /CBC /KEY:k.dek
printf 'the previous contents\n' >old.enc
cancel_case existing-destination big old.enc /CBC /KEY:k.dek /Y

all_passed des_terminal
