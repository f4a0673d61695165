#!/usr/bin/env bash
# Black-box tests of the nccore host: option strings in; exit codes, result
# texts and file bytes out.
#
#   run.sh <path-to-nccore> [wine]
#
# With "wine" the Windows build runs as `wine <nccore.exe>` (the WINE
# variable may name another launcher); its result texts are expected in code
# page 1251, and file names, Cyrillic ones included, are the same names on
# disk as natively (Wine writes them in UTF-8). Natively the texts are UTF-8.
# Each case runs in a fresh folder of its own; one line is printed per
# failing case, and the exit status is 1 when any case failed.

set -u

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# hex_of_file, hex_of_text, the integrity register (integrity_of_hex, le32),
# trim, the case counters, the host's arguments and the result texts.
source "$HERE/lib.sh"
host_under_test blackbox "$@"

WORK=$(mktemp -d "${TMPDIR:-/tmp}/nccore-blackbox.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

# Self-check of the register against the known values (and below, a
# hand-computed value for the fixture), so a slip here cannot hide a slip in
# the library.
check_integrity_register

# ---- expected substitution blocks and .GTB files ------------------------------
FIXTURE=$HERE/gosb_table.txt
# The fixture's 64 bytes, row by row, and the same block with its first row
# replaced by eight 0x0F (the row written as 0x0f, F, 0F, ...).
BLOCK_GOOD=$(printf '%s' 040a09020d08000e 6b1c7ff55380ff00 a55a3cc311223344 10203040506070f0 \
  0f1e2d3c4b5a6978 fedcba9876543210 0123456789abcdef 9ce107b46d2f81d8)
BLOCK_F0F=0f0f0f0f0f0f0f0f${BLOCK_GOOD:16}
declare -A BLOCK=([GOOD]=$BLOCK_GOOD [F0F]=$BLOCK_F0F)
declare -A HAND_INTEGRITY=([GOOD]=8909fcbb [F0F]=8231a6f0)
for name in "${!BLOCK[@]}"; do
  got=$(integrity_of_hex "${BLOCK[$name]}")
  if [[ ${#BLOCK[$name]} != 128 || $got != "${HAND_INTEGRITY[$name]}" ]]; then
    echo "blackbox: block $name is inconsistent (register $got)" >&2
    exit 2
  fi
done

# The 116 bytes of a .GTB file holding block `name`: the 48-byte header
# (magic, version bytes 00 03, fileKind 1, algorithm 1, mode 0, keyKind 5,
# unitSize 0, headerSize 48, dataLength 0, protectionCode 0, integrityValue,
# tokenChallenge 0), the count word 16, the 64 block bytes.
gtb_hex() {
  local block=${BLOCK[$1]}
  printf '%s' "$(hex_of_text TAVOCRYPTDATAFILE)" 0003 0100 0100 0000 0500 00 30000000 \
    00000000 00000000 "$(le32 "$(integrity_of_hex "$block")")" 00000000 10000000 "$block"
}

# ---- source texts --------------------------------------------------------------
# Each kind is a transformation of the fixture (eight lines of eight
# two-digit numbers, single blanks, 23 characters, LF line ends).
source_text() {
  case $1 in
    good) cat "$FIXTURE" ;;
    crlf) sed 's/$/\r/' "$FIXTURE" ;;
    no-final-newline) printf '%s' "$(cat "$FIXTURE")" ;;
    ninth-garbage) cat "$FIXTURE" && printf 'garbage ### zz 1000000000 -\n' ;;
    nine-numbers) sed 's/$/ 1ff/' "$FIXTURE" ;;  # 27 characters; 0x1FF is ignored
    tabs) sed 's/ /\t/g; s/^/\t/' "$FIXTURE" ;;
    f0f) awk 'NR == 1 { $0 = "0x0f F 0F 0X0F f 0f 0xF 0Xf" } 1' "$FIXTURE" ;;
    pad30) awk 'NR == 1 { printf "%-30s\n", $0; next } 1' "$FIXTURE" ;;
    pad30-crlf) source_text pad30 | sed 's/$/\r/' ;;
    pad31) awk 'NR == 1 { printf "%-31s\n", $0; next } 1' "$FIXTURE" ;;
    pad31-last) awk 'NR == 8 { printf "%-31s\n", $0; next } 1' "$FIXTURE" ;;
    seven-lines) head -n 7 "$FIXTURE" ;;
    empty) : ;;
    seven-numbers) awk 'NR == 4 { print $1, $2, $3, $4, $5, $6, $7; next } 1' "$FIXTURE" ;;
    number-100) awk 'NR == 6 { $3 = "100" } 1' "$FIXTURE" ;;
    number-ffffffff) awk 'NR == 3 { $8 = "FFFFFFFF" } 1' "$FIXTURE" ;;
    number-33-bits) awk 'NR == 7 { $1 = "100000000" } 1' "$FIXTURE" ;;
    prefixed-39) awk 'NR == 1 { for (i = 1; i <= NF; i++) $i = "0x" $i } 1' "$FIXTURE" ;;
    letters) awk 'NR == 2 { $0 = "zz yy xx ww vv uu tt ss" } 1' "$FIXTURE" ;;
    old) printf 'previous contents\n' ;;
    *)
      echo "blackbox: unknown source kind $1" >&2
      exit 2
      ;;
  esac
}

# ---- one case ------------------------------------------------------------------
# run_case NAME SETUP ARGS CODE TEXT-NAME CHECKS [RUNNER]
#   SETUP   comma-separated "file<kind" (a source text kind) or "dir/" (a folder)
#   ARGS    the host's arguments, as shell words
#   CODE    expected exit code (two digits); the expected text is
#           "ZQGOSB" + the message of CODE + TEXT-NAME
#   CHECKS  comma-separated "file=gtb:BLOCK" (a .GTB of that block), "file=-"
#           (absent) or "file=kind" (exactly that source text); a file name
#           with '*' must match exactly one file. Setup files not named here
#           must be unchanged, and no other file may exist afterwards (so a
#           left-over ~nc*.tmp or a stray output fails the case).
#   RUNNER  "headless" (default: NCCORE_UI=headless) or "no-terminal" (no
#           NCCORE_UI, a new session without a controlling terminal, stdin
#           from /dev/null)
CASE_NO=0
run_case() {
  local name=$1 setup=$2 args=$3 code=$4 text_name=$5 checks=$6 runner=${7:-headless}
  CASE_NO=$((CASE_NO + 1))
  local dir=$WORK/case$CASE_NO
  mkdir -p "$dir/.expect" || return
  local problems=() item file kind n=0
  declare -A expected_file=()  # relative name -> file with the expected bytes, or "-"

  IFS=',' read -r -a items <<<"$setup"
  for item in "${items[@]}"; do
    [[ -z $item ]] && continue
    if [[ $item == */ ]]; then
      mkdir -p "$dir/$item"
      continue
    fi
    file=${item%%<*}
    kind=${item#*<}
    mkdir -p "$(dirname "$dir/$file")"
    source_text "$kind" >"$dir/$file"
    n=$((n + 1))
    cp "$dir/$file" "$dir/.expect/$n"
    expected_file[$file]=$dir/.expect/$n
  done

  local -a globs=()
  IFS=',' read -r -a items <<<"$checks"
  for item in "${items[@]}"; do
    [[ -z $item ]] && continue
    file=${item%%=*}
    kind=${item#*=}
    n=$((n + 1))
    local want=$dir/.expect/$n
    case $kind in
      -) want=- ;;
      gtb:*) gtb_hex "${kind#gtb:}" | xxd -r -p >"$want" ;;
      *) source_text "$kind" >"$want" ;;
    esac
    if [[ $file == *'*'* ]]; then
      globs+=("$file=$want")
    else
      expected_file[$file]=$want
    fi
  done

  local -a argv
  eval "argv=($args)"
  local status
  (
    cd "$dir" || exit 125
    if [[ $runner == no-terminal ]]; then
      exec env -u NCCORE_UI setsid -w "${LAUNCHER[@]}" "$NCCORE" "${argv[@]}" </dev/null
    else
      NCCORE_UI=headless exec "${LAUNCHER[@]}" "$NCCORE" "${argv[@]}" </dev/null
    fi
  ) >"$dir/.expect/stdout" 2>"$dir/.expect/stderr"
  status=$?

  ((10#$code == status)) || problems+=("exit code $status, expected $((10#$code))")
  local problem
  problem=$(result_text_problem "$dir/.expect/stdout" "ZQGOSB${MESSAGE[$code]}$text_name")
  [[ -n $problem ]] && problems+=("$problem")

  for file in "${!expected_file[@]}"; do
    local want=${expected_file[$file]}
    if [[ $want == - ]]; then
      [[ -e $dir/$file ]] && problems+=("$file exists")
    elif [[ ! -f $dir/$file ]]; then
      problems+=("$file missing")
    elif ! cmp -s "$dir/$file" "$want"; then
      problems+=("$file has bytes $(hex_of_file "$dir/$file" | cut -c1-80)...")
    fi
  done
  local matched=()
  for item in "${globs[@]}"; do
    file=${item%%=*}
    local want=${item#*=}
    mapfile -t matched < <(cd "$dir" && compgen -G "$file")
    if [[ ${#matched[@]} != 1 ]]; then
      problems+=("${#matched[@]} files match $file")
    elif ! cmp -s "$dir/${matched[0]}" "$want"; then
      problems+=("${matched[0]} has other bytes")
    fi
  done

  # Nothing else may be left: no temporary file, no stray output.
  local left
  while IFS= read -r -d '' left; do
    left=${left#"$dir/"}
    [[ -n ${expected_file[$left]+set} ]] && continue
    [[ " ${matched[*]} " == *" $left "* ]] && continue
    problems+=("unexpected file '$left'")
  done < <(find "$dir" -path "$dir/.expect" -prune -o -type f -print0)

  case_verdict "$name" "${problems[@]}"
}

# ---- ZqGOSB cases --------------------------------------------------------------
# name | where | setup | arguments | code | name in text | checks
# "where" is all, native or wine.
GOSB_CASES=$(
  cat <<'EOF'
import: bytes row by row, header, integrity | all | t.txt<good | gosb t.txt out.gtb | 00 | | out.gtb=gtb:GOOD
operation name in any case, with Zq | all | t.txt<good | ZQGOSB t.txt out.gtb | 00 | | out.gtb=gtb:GOOD
default destination | all | t.txt<good | zqgosb t.txt | 00 | | Таблица ГОСТ.GTB=gtb:GOOD
raw option string, default destination replaced | all | t.txt<good,Таблица ГОСТ.GTB<old | gosb --raw '"t.txt" /Y' | 00 | | Таблица ГОСТ.GTB=gtb:GOOD
raw option string with both names | all | t.txt<good,o.gtb<old | gosb --raw '"t.txt" "o.gtb" /Y' | 00 | | o.gtb=gtb:GOOD
raw: options need no blanks between them | all | t.txt<good,o.gtb<old | gosb --raw '"t.txt""o.gtb"/NOLOGO/Y' | 00 | | o.gtb=gtb:GOOD
raw: /YES is /Y then the name ES | all | t.txt<good | gosb --raw '"t.txt" /YES' | 00 | | ES=gtb:GOOD
raw: an unquoted name takes the rest of the string | all | t.txt<good | gosb --raw 't.txt out.gtb' | 02 | t.txt out.gtb | out.gtb=-
raw: an unknown option is a third name | all | t.txt<good | gosb --raw '"t.txt" "o.gtb" /X' | 01 | | o.gtb=-
raw: empty option string | all | | gosb --raw '' | 01 | |
raw: empty source name | all | | gosb --raw '""' | 01 | |
/nologo /y in lower case replace the destination | all | t.txt<good,out.gtb<old | gosb t.txt out.gtb /nologo /y | 00 | | out.gtb=gtb:GOOD
/Y replaces an existing destination | all | t.txt<good,out.gtb<old | gosb t.txt out.gtb /Y | 00 | | out.gtb=gtb:GOOD
/NOLOGO without /Y keeps an existing destination | all | t.txt<good,out.gtb<old | gosb t.txt out.gtb /NOLOGO | 11 | out.gtb |
question answered no keeps an existing destination | all | t.txt<good,out.gtb<old | gosb t.txt out.gtb | 11 | out.gtb |
existing destination is checked before the source | all | out.gtb<old | gosb missing.txt out.gtb /NOLOGO | 11 | out.gtb |
existing default destination without /Y | all | t.txt<good,Таблица ГОСТ.GTB<old | gosb t.txt /NOLOGO | 11 | Таблица ГОСТ.GTB |
no source | all | | gosb | 01 | |
only options | all | t.txt<good | gosb /NOLOGO /Y | 01 | | Таблица ГОСТ.GTB=-
third name | all | t.txt<good | gosb t.txt out.gtb more.gtb | 01 | | out.gtb=-,more.gtb=-
missing source, existing destination untouched | all | out.gtb<old | gosb missing.txt out.gtb /Y | 02 | missing.txt |
missing source, no destination made | all | | gosb missing.txt out.gtb | 02 | missing.txt | out.gtb=-
source is a folder | all | src/ | gosb src out.gtb | 02 | src | out.gtb=-
source opened before the destination is made | all | | gosb missing.txt nodir/out.gtb | 02 | missing.txt |
empty source | all | t.txt<empty | gosb t.txt out.gtb | 02 | t.txt | out.gtb=-
seven lines | all | t.txt<seven-lines | gosb t.txt out.gtb | 02 | t.txt | out.gtb=-
seven lines, existing destination untouched | all | t.txt<seven-lines,out.gtb<old | gosb t.txt out.gtb /Y | 02 | t.txt |
a line with seven numbers | all | t.txt<seven-numbers | gosb t.txt out.gtb | 27 | t.txt | out.gtb=-
number 100 | all | t.txt<number-100 | gosb t.txt out.gtb | 27 | t.txt | out.gtb=-
number FFFFFFFF | all | t.txt<number-ffffffff | gosb t.txt out.gtb | 27 | t.txt | out.gtb=-
number 100000000, beyond 32 bits | all | t.txt<number-33-bits | gosb t.txt out.gtb | 27 | t.txt | out.gtb=-
39-character line of 0x numbers is split | all | t.txt<prefixed-39 | gosb t.txt out.gtb | 27 | t.txt | out.gtb=-
a line of letters, existing destination untouched | all | t.txt<letters,out.gtb<old | gosb t.txt out.gtb /Y | 27 | t.txt |
31-character line: its end is the next row | all | t.txt<pad31 | gosb t.txt out.gtb | 27 | t.txt | out.gtb=-
30-character line fits | all | t.txt<pad30 | gosb t.txt out.gtb | 00 | | out.gtb=gtb:GOOD
30-character line with CR LF fits | all | t.txt<pad30-crlf | gosb t.txt out.gtb | 00 | | out.gtb=gtb:GOOD
31-character last line: its rest is ignored | all | t.txt<pad31-last | gosb t.txt out.gtb | 00 | | out.gtb=gtb:GOOD
ninth line of garbage ignored | all | t.txt<ninth-garbage | gosb t.txt out.gtb | 00 | | out.gtb=gtb:GOOD
nine numbers use the first eight | all | t.txt<nine-numbers | gosb t.txt out.gtb | 00 | | out.gtb=gtb:GOOD
0x0f, F, 0F and other forms | all | t.txt<f0f | gosb t.txt out.gtb | 00 | | out.gtb=gtb:F0F
CR LF line ends | all | t.txt<crlf | gosb t.txt out.gtb | 00 | | out.gtb=gtb:GOOD
tabs as separators | all | t.txt<tabs | gosb t.txt out.gtb | 00 | | out.gtb=gtb:GOOD
last line without a line end | all | t.txt<no-final-newline | gosb t.txt out.gtb | 00 | | out.gtb=gtb:GOOD
destination in a missing folder | all | t.txt<good | gosb t.txt nodir/out.gtb | 03 | nodir/out.gtb |
destination in a subfolder | all | t.txt<good,sub/ | gosb t.txt sub/out.gtb | 00 | | sub/out.gtb=gtb:GOOD
destination is a folder | all | t.txt<good,sub/ | gosb t.txt sub /Y | 03 | sub |
destination is the source | all | t.txt<good | gosb t.txt t.txt /Y | 00 | | t.txt=gtb:GOOD
destination is the source, not confirmed | all | t.txt<good | gosb t.txt t.txt | 11 | t.txt |
names with blanks | all | my table.txt<good | gosb 'my table.txt' 'my out.gtb' | 00 | | my out.gtb=gtb:GOOD
Cyrillic names | all | таблица.txt<good | gosb таблица.txt выход.gtb | 00 | | выход.gtb=gtb:GOOD
EOF
)

run_cases "$GOSB_CASES"

# Without NCCORE_UI, no controlling terminal and stdin not a terminal, the
# overwrite question is answered "no".
if [[ $MODE == native ]] && command -v setsid >/dev/null; then
  run_case "no terminal: question answered no" "t.txt<good,out.gtb<old" "gosb t.txt out.gtb" \
    11 out.gtb "" no-terminal
fi

# ---- the host itself -------------------------------------------------------------
help_text=$(cd "$WORK" && "${LAUNCHER[@]}" "$NCCORE" --help 2>/dev/null)
status=$?
if [[ $status != 0 || $help_text != *ZqGOSB* ]]; then
  fail "--help lists ZqGOSB" "exit code $status, text: $(head -c 200 <<<"$help_text")"
else
  PASSED=$((PASSED + 1))
fi
(cd "$WORK" && "${LAUNCHER[@]}" "$NCCORE" ZqNOSUCH t.txt >/dev/null 2>&1)
status=$?
if [[ $status == 0 ]]; then
  fail "unknown operation" "exit code 0"
else
  PASSED=$((PASSED + 1))
fi

platform=linux
[[ $MODE == wine ]] && platform=windows
self_test_cases "$WORK" "$platform"

echo "blackbox ($MODE): $PASSED passed, $FAILED failed"
((FAILED == 0))
