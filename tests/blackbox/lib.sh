# Helpers shared by the black-box scripts (sourced, not run).

hex_of_file() { od -An -tx1 -v "$1" | tr -d ' \n'; }
hex_of_text() { printf '%s' "$1" | od -An -tx1 -v | tr -d ' \n'; }
# shellcheck disable=SC2059  # the format is only \xNN escapes
bytes_of_hex() { printf "$(sed 's/../\\x&/g' <<<"$1")"; }

# ---- the integrity register, written independently of the library ----------
# For each byte, for each bit from the least significant: out = v & 1;
# v = (v >> 1) with bit 31 set to the data bit; if out, v ^= 0xEDB88320.
integrity_of_hex() {  # hex bytes -> 8 hex digits
  local hex=$1 v=0 i b bit out
  for ((i = 0; i < ${#hex}; i += 2)); do
    b=$((16#${hex:i:2}))
    for ((bit = 0; bit < 8; bit++)); do
      out=$((v & 1))
      v=$(((v >> 1) | (((b >> bit) & 1) << 31)))
      ((out)) && v=$((v ^ 0xEDB88320))
    done
  done
  printf '%08x' "$v"
}
le32() { local v=$((16#$1)); printf '%02x%02x%02x%02x' $((v & 255)) $((v >> 8 & 255)) \
  $((v >> 16 & 255)) $((v >> 24 & 255)); }

# Self-check of the register against the known values, so a slip here
# cannot hide a slip in the library. Exits the script with 2 on a mismatch.
check_integrity_register() {
  local pair got
  for pair in "abc=63626100" "abcd=64636261" "abcdefgh=a4a17468"; do
    got=$(integrity_of_hex "$(hex_of_text "${pair%%=*}")")
    if [[ $got != "${pair#*=}" ]]; then
      echo "blackbox: the script's register gives $got for ${pair%%=*}" >&2
      exit 2
    fi
  done
}

# Leading and trailing blanks removed.
trim() {
  local s=$1
  s=${s#"${s%%[! ]*}"}
  printf '%s' "${s%"${s##*[! ]}"}"
}

# ---- counting cases ---------------------------------------------------------------
FAILED=0
PASSED=0
fail() {  # case name, [what went wrong]
  echo "FAIL $1${2:+: $2}"
  FAILED=$((FAILED + 1))
}
# A case passes without problems; otherwise it fails with all of them.
case_verdict() {  # case name, problems...
  local name=$1 joined
  shift
  if (($#)); then
    printf -v joined '%s; ' "$@"
    fail "$name" "${joined%; }"
  else
    PASSED=$((PASSED + 1))
  fi
}

# run_cases TABLE: the script's run_case for every line of TABLE, "name |
# where | setup | arguments | code | text | checks" (blanks around the fields
# dropped), where "where" is all or the current MODE; empty lines and lines
# starting with '#' are skipped.
run_cases() {
  local name where setup args code text checks
  while IFS='|' read -r name where setup args code text checks; do
    [[ -z $name || $name == \#* ]] && continue
    where=$(trim "$where")
    [[ $where == all || $where == "$MODE" ]] || continue
    run_case "$(trim "$name")" "$(trim "$setup")" "$(trim "$args")" "$(trim "$code")" \
      "$(trim "$text")" "$(trim "$checks")"
  done <<<"$1"
}

# require_tools SCRIPT TOOL...: exits with 2 when a tool is missing.
require_tools() {
  local script=$1 tool
  shift
  for tool in "$@"; do
    if ! command -v "$tool" >/dev/null; then
      echo "$script: $tool is missing (bash scripts/setup.sh installs it)" >&2
      exit 2
    fi
  done
}

# ---- the host under test -------------------------------------------------------------
# host_under_test NAME ARGS...: the script's arguments "<path-to-nccore> [wine]".
# Sets NCCORE (an absolute path), MODE (native or wine) and LAUNCHER (the
# words run before the program: `wine`, or those of the WINE variable, under
# Wine; none natively). A wrong call exits with 2.
host_under_test() {
  local name=$1
  shift
  if [[ $# -lt 1 || $# -gt 2 || (${2:-native} != native && ${2:-native} != wine) ]]; then
    echo "usage: $0 <path-to-nccore> [wine]" >&2
    exit 2
  fi
  NCCORE=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
  MODE=${2:-native}
  if [[ ! -f $NCCORE ]]; then
    echo "$name: no such program: $NCCORE" >&2
    exit 2
  fi
  # A UTF-8 locale: Wine decodes the command line and file names with it, so
  # Cyrillic names reach the Windows program as typed.
  export LC_ALL=C.UTF-8
  if [[ $MODE == wine ]]; then
    read -r -a LAUNCHER <<<"${WINE:-wine}"
    export WINEDEBUG=${WINEDEBUG:--all}
  else
    LAUNCHER=()
  fi
}

# The host's --version and --self-test, run in folder $1: the version names
# the platform ($2: linux or windows), every self-test line is "ok", the
# last says it passed, and the exit status is 0.
self_test_cases() {  # folder, platform
  local out status problems=()
  (cd "$1" && "${LAUNCHER[@]}" "$NCCORE" --version >version.txt 2>&1)
  status=$?
  out=$(tr -d '\r' <"$1/version.txt")
  [[ $status == 0 && $out =~ ^nccore21\ [0-9]+\.[0-9]+\.[0-9]+\ \(build\ [^,]+,\ $2-[a-z0-9_]+\)$ ]] ||
    problems+=("exit code $status, text: $out")
  case_verdict "--version names the version, the build and the platform" "${problems[@]}"
  problems=()
  (cd "$1" && "${LAUNCHER[@]}" "$NCCORE" --self-test >self_test.txt 2>&1)
  status=$?
  out=$(tr -d '\r' <"$1/self_test.txt")
  [[ $status == 0 ]] || problems+=("exit code $status")
  [[ $(tail -n 1 <<<"$out") == "self-test passed" ]] || problems+=("last line: $(tail -n 1 <<<"$out")")
  local failed
  failed=$(grep -v -e '^ok ' -e '^self-test passed$' <<<"$out")
  [[ -z $failed ]] && grep -q '^ok  *DES OFB-40$' <<<"$out" || problems+=("lines: $failed")
  case_verdict "--self-test passes" "${problems[@]}"
}

# The Touch Memory adapter the tables' carrier descriptions stand behind:
# the driver's adapter (type 0) under the driver's parameters key. Natively
# each case writes it into its settings file (file_table.sh); under Wine the
# settings are the prefix's registry: `tm_adapter_registry add` before the
# cases, `tm_adapter_registry delete` after them.
VTMD_KEY='SYSTEM\CurrentControlSet\Services\VTMD\Parameters'
tm_adapter_registry() {
  [[ $MODE == wine ]] || return 0
  if [[ $1 == add ]]; then
    "${LAUNCHER[@]}" reg add "HKLM\\$VTMD_KEY" /v AdpType /t REG_DWORD /d 0 /f >/dev/null 2>&1 ||
      echo "cannot write the Touch Memory adapter type to the registry" >&2
  else
    "${LAUNCHER[@]}" reg delete "HKLM\\$VTMD_KEY" /f >/dev/null 2>&1
  fi
}

# The result texts after the operation's tag, by exit code (UTF-8).
declare -A MESSAGE=(
  [00]="00: Операция выполнена успешно"
  [01]="01: Неправильный формат команды"
  [02]="02: Ошибка чтения файла: "
  [03]="03: Ошибка записи в файл: "
  [07]="07: Ошибка сравнения файлов"
  [10]="10: Пользователь прервал работу"
  [11]="11: Файл уже существует: "
  [12]="12: Отрицательный результат при проверке ЭЦП"
  [25]="25: Ошибка при чтении параметров аппаратуры"
  [27]="27: Неверный формат файла: "
  [30]="30: Версия файла данных не поддерживается: "
  [31]="31: Нарушение целостности данных файла: "
  [32]="32: Неизвестная ошибка"
  [34]="34: Данные файла не защищаются"
)

# The result text a host printed (carriage returns dropped) against the
# expected one, given in UTF-8 and expected in code page 1251 under Wine:
# prints the problem, or nothing.
result_text_problem() {  # file with the host's output, expected text
  local got want=$2
  got=$(tr -d '\r' <"$1")
  if [[ $MODE == wine ]] && ! want=$(printf '%s' "$2" | iconv -f UTF-8 -t CP1251); then
    echo "cannot convert the expected text to CP1251"
    return
  fi
  if [[ $(hex_of_text "$got") != "$(hex_of_text "$want")" ]]; then
    [[ $MODE == wine ]] && got=$(printf '%s' "$got" | iconv -f CP1251 -t UTF-8 2>/dev/null)
    echo "text '$got', expected '$2'"
  fi
}

# ---- programs on a pseudo-terminal ------------------------------------------------------
# A script driving a terminal works in a scratch folder (WORK, made the
# current folder), removed at exit together with a program still running.
enter_scratch_folder() {
  WORK=$(mktemp -d)
  PTY_PID=
  trap leave_scratch_folder EXIT
  cd "$WORK" || exit 2
}
leave_scratch_folder() {
  [[ -n ${PTY_PID:-} ]] && kill "$PTY_PID" 2>/dev/null
  exec 8>&-
  cd / && rm -rf "$WORK"
}

# The keys typed on the terminal go through the FIFO "keys", held open here
# on descriptor 8 for reading and writing so that neither side's open blocks:
# `printf ... >&8` types them.
open_keys() {
  [[ -p keys ]] || mkfifo keys
  exec 8<>keys
}
close_keys() { exec 8>&-; }

# Waits until the file $1 holds the text $2 at least $3 times (default 1),
# for at most 60 seconds.
wait_for() {
  local i n
  for ((i = 0; i < 600; i++)); do
    n=$(grep -oF -- "$2" "$1" 2>/dev/null | wc -l)
    ((n >= ${3:-1})) && return 0
    sleep 0.1
  done
  return 1
}

# Waits (at most 20 s) until the process $1 waits for input on descriptor
# $2: blocked in a read of it, or in a poll (the library polls a password
# descriptor together with its own wake-up pipe). Linux's /proc/PID/syscall
# tells, with the numbers of x86_64 and arm64.
wait_for_input_wait() {  # pid, descriptor
  local i syscall fd
  fd=$(printf '0x%x' "$2")
  for ((i = 0; i < 200; i++)); do
    read -r syscall </proc/"$1"/syscall 2>/dev/null || return 1
    case $syscall in
      "0 $fd "* | "63 $fd "*) return 0 ;;  # read
      "7 "* | "271 "* | "73 "*) return 0 ;; # poll, ppoll; ppoll (arm64)
    esac
    sleep 0.1
  done
  return 1
}

# start_on_terminal TYPESCRIPT COMMAND [NAME=VALUE...]: runs the shell command
# line COMMAND in the background in a pseudo-terminal (util-linux `script`)
# with the terminal backend and the variables given; its keys come from
# open_keys, what it draws goes to TYPESCRIPT. A command started with "&"
# inherits SIGINT ignored, and the library leaves an ignored Ctrl-C ignored,
# so the default disposition is restored for it. `script` runs COMMAND with
# $SHELL; bash is named since a typed Ctrl-C reaches the shell too, and only
# bash goes on with the line when its command survives it (dash, the usual
# /bin/sh, dies with it).
start_on_terminal() {
  local log=$1 command=$2
  shift 2
  env --default-signal=INT SHELL="$BASH" NCCORE_UI=terminal "$@" script -qefc "$command" "$log" \
    <&8 >/dev/null 2>&1 8>&- &
  PTY_PID=$!
}
# end_on_terminal NAME SECONDS: waits at most SECONDS for the program to end;
# a program still running then fails the case NAME and is killed. Its exit
# code goes to PTY_CODE.
end_on_terminal() {
  local i
  for ((i = 0; i < $2 * 10; i++)); do
    kill -0 "$PTY_PID" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$PTY_PID" 2>/dev/null; then
    fail "$1: still running after $2 s"
    pkill -P "$PTY_PID" 2>/dev/null
    kill "$PTY_PID" 2>/dev/null
  fi
  wait "$PTY_PID" 2>/dev/null
  PTY_CODE=$?
  PTY_PID=
}
# ctrl_c_when NAME TYPESCRIPT TEXT: types Ctrl-C once TEXT shows in the
# typescript, then waits for the end (end_on_terminal, 30 seconds).
ctrl_c_when() {
  if wait_for "$2" "$3"; then
    printf '\003' >&8
  else
    fail "$1: no progress shown"
  fi
  end_on_terminal "$1" 30
}

# The closing line of a script and its exit status.
all_passed() {  # script name
  ((FAILED == 0)) && echo "$1: all cases passed"
  ((FAILED == 0))
}
