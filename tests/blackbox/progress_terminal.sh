#!/usr/bin/env bash
# Progress on a terminal. The hosts run in a pseudo-terminal (util-linux
# `script`); what they draw is read from the typescript, and Ctrl-C is typed
# on the terminal.
#   progress_terminal.sh <path-to-nccore> <path-to-compare_host>
#
# The long comparison is of two sparse files of 1 TiB each: reading them in
# 1024-byte blocks takes many minutes on any machine, so the job is still
# running when Ctrl-C arrives, and it ends at its next progress report.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
nccore=$(realpath "$1")
host=$(realpath "$2")
enter_scratch_folder

# Runs a command line in a pseudo-terminal with the terminal backend; the
# typescript goes to the file $1. Standard input must not be a terminal.
on_terminal() {  # typescript, command line
  NCCORE_UI=terminal script -qefc "$2" "$1" >/dev/null 2>&1
}

# The erase of the progress line (carriage return, erase to the end of the
# line) must come after the last thing drawn and before the text $2.
cleared_before() {  # typescript, text
  local content after
  content=$(cat "$1")
  after=${content##*%}
  [[ $after == *$'\r\e[K'*"$2"* ]]
}

title="Файловый криптопроцессор DES"

# ---- a long comparison, cancelled with Ctrl-C ---------------------------------
truncate -s 1T first && truncate -s 1T second || { echo "progress_terminal: no sparse files"; exit 2; }
open_keys
start_on_terminal cancel.log "exec '$host' first second"
ctrl_c_when comparison cancel.log "$title: first -> second ["
code=$PTY_CODE
close_keys
rm -f first second
[[ $code == 10 ]] || fail "comparison with Ctrl-C: exit code $code, want 10"
grep -q 'worker code 32' cancel.log || fail "comparison with Ctrl-C: worker code is not 32"
grep -q 'COMPARE10: Пользователь прервал работу' cancel.log ||
  fail "comparison with Ctrl-C: no result text"
grep -q '  0%' cancel.log || fail "comparison with Ctrl-C: no percentage"
cleared_before cancel.log 'worker code' || fail "comparison with Ctrl-C: line not cleared"

# ---- a whole comparison ---------------------------------------------------------
head -c 300000 /dev/urandom >a.bin
cp a.bin b.bin
on_terminal whole.log "exec '$host' a.bin b.bin"
code=$?
[[ $code == 0 ]] || fail "whole comparison: exit code $code"
grep -qF "$title: a.bin -> b.bin [" whole.log || fail "whole comparison: no progress line"
cleared_before whole.log 'worker code 0' || fail "whole comparison: line not cleared"

# Quiet: no progress at all.
on_terminal quiet.log "exec '$host' a.bin b.bin /NOLOGO"
code=$?
[[ $code == 0 ]] || fail "quiet comparison: exit code $code"
! grep -q -- '->' quiet.log || fail "quiet comparison drew a progress line"

# Standard error not a terminal: nothing drawn there, the job runs.
on_terminal redirected.log "exec '$host' a.bin b.bin 2>stderr.txt"
code=$?
[[ $code == 0 ]] || fail "comparison with stderr redirected: exit code $code"
[[ ! -s stderr.txt ]] || fail "comparison with stderr redirected: wrote $(wc -c <stderr.txt) bytes"
! grep -q -- '->' redirected.log || fail "comparison with stderr redirected drew on the terminal"

# ---- nccore gosc -------------------------------------------------------------------
# The integrity register: integrity_of_hex (lib.sh), checked first.
check_integrity_register

le32_at() {  # hex of a file, byte offset -> number
  local h=${1:$(($2 * 2)):8}
  echo $((16#${h:6:2}${h:4:2}${h:2:2}${h:0:2}))
}

# A .PQA file: header, p, q and a with the given word counts, the two
# generation values, and the integrity value over all but the counts.
check_pqa() {  # file, words of p, words of q, case name
  local hex at count words="" n
  hex=$(hex_of_file "$1")
  [[ ${hex:0:34} == $(hex_of_text TAVOCRYPTDATAFILE) ]] ||
    { fail "$4: no data file"; return; }
  # fileKind 1, algorithm 1, mode 0, keyKind 4, headerSize 48
  [[ ${hex:38:14} == 01000100000004 && $(le32_at "$hex" 28) == 48 ]] ||
    fail "$4: header fields ${hex:34:30}"
  at=48
  for n in "$2" "$3" "$2"; do
    count=$(le32_at "$hex" $at)
    [[ $count == "$n" ]] || fail "$4: a block of $count words, want $n"
    words+=${hex:$(((at + 4) * 2)):$((count * 8))}
    at=$((at + 4 + 4 * count))
  done
  words+=${hex:$((at * 2)):16}
  [[ $((${#hex} / 2)) == $((at + 8)) ]] || fail "$4: $((${#hex} / 2)) bytes, want $((at + 8))"
  [[ $((16#$(integrity_of_hex "$words"))) == $(le32_at "$hex" 40) ]] || fail "$4: integrity value"
}

for bits in 512 1024; do
  on_terminal "gosc$bits.log" "exec '$nccore' gosc out$bits.pqa /P:$bits"
  code=$?
  [[ $code == 0 ]] || fail "gosc /P:$bits: exit code $code"
  stages=("Генерация числа q" "Генерация числа p")
  [[ $bits == 1024 ]] && stages+=("Генерация числа Q")
  for stage in "${stages[@]}"; do
    grep -qF "$stage" "gosc$bits.log" || fail "gosc /P:$bits: no stage '$stage'"
  done
  grep -q 'итерация [0-9]* из [0-9]*' "gosc$bits.log" || fail "gosc /P:$bits: no iteration shown"
  cleared_before "gosc$bits.log" 'ZQGOSC00: Операция выполнена успешно' ||
    fail "gosc /P:$bits: line not cleared before the result"
done
check_pqa out512.pqa 16 8 "gosc /P:512"
[[ $(stat -c %s out512.pqa 2>/dev/null) == 228 ]] || fail "gosc /P:512: not 228 bytes"
check_pqa out1024.pqa 32 8 "gosc /P:1024"

all_passed progress_terminal
