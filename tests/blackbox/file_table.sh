# The table runner of the black-box tables of the file operations (sourced
# after lib.sh's host_under_test): files made for a case, the host run in
# the case's own folder, and the checks of its exit code, result text and
# files. A table adds its own recipe steps and checks by defining
# table_recipe_step and table_check, and sets before sourcing this:
#   WORK       the folder the cases' folders go in
#   VTMD_KEY   the Touch Memory driver's settings key (written per case)
#   NCCORE_SIM the demonstration host for rows with --carriers (else they
#              are skipped and counted in SKIPPED)

# Runs the host in the current folder (the case's), standard input from
# /dev/null unless redirected by the caller.
# Runs with simulated carriers (--carriers) go to the demonstration host
# NCCORE_SIM (nccore-sim: the shipped host has no simulators).
nccore() {
  local host=$NCCORE
  [[ " $* " == *" --carriers "* ]] && host=$NCCORE_SIM
  NCCORE_UI=headless "${LAUNCHER[@]}" "$host" "$@"
}

# The operation's result tag: the first argument that is not a host flag
# (or a host flag's value), in capitals, with the Zq prefix.
result_tag() {
  local skip=0 word
  for word in "$@"; do
    if ((skip)); then
      skip=0
    elif [[ $word == --*=* ]]; then
      :
    elif [[ $word == --* ]]; then
      skip=1
    else
      word=${word^^}
      [[ $word == ZQ* ]] || word=ZQ$word
      printf '%s' "$word"
      return
    fi
  done
}

# ---- files made once for the whole table -------------------------------------------
# S: the folder of the files a table makes once (keys, numbers, password
# files); a case copies one with the recipe step shared:NAME.
S=$WORK/shared
mkdir -p "$S"
# make_shared TABLE RUN...: in S, the host run with each RUN's words (files
# the runs need are put into S first); a run that fails ends the table
# (exit 2) with the host's output.
make_shared() {
  local table=$1 run
  local -a argv
  shift
  for run in "$@"; do
    read -r -a argv <<<"$run"
    (cd "$S" && NCCORE_UI=headless "${LAUNCHER[@]}" "$NCCORE" "${argv[@]}" >run.out 2>&1 </dev/null) ||
      { echo "$table: $run: $(cat "$S/run.out")" >&2; exit 2; }
  done
}
# The password of the tables' protected keys, in S/pw.txt.
shared_password() { printf 'correct horse\n' >"$S/pw.txt" && chmod 600 "$S/pw.txt"; }

# ---- files made for a case ----------------------------------------------------
# make_file FILE RECIPE: the recipe's steps, joined by '+', in order:
#   bytes:N             N bytes of a fixed pattern (seeded by the file name)
#   text:T              the line T
#   hex:HEX             these bytes
#   private             readable and writable by the owner only
#   fixture:NAME        a copy of tests/blackbox/NAME
#   drop:SECTION        a carrier description without its [SECTION]
#   carriers:ROM        a carrier description: a Touch Memory device with the
#                       7-byte ROM code ROM (hex; the CRC-8 is added)
#   copy:F              a copy of F
#   head:F:N            the first N bytes of F
#   poke:OFFSET:HEX     those bytes written at OFFSET  } also on a file an
#   flip:OFFSET         the byte at OFFSET inverted    } earlier item made
#   trunc:N             cut to N bytes                 }
#   shared:NAME         a copy of the table's shared file NAME (make_shared)
#   anything else       table_recipe_step FILE STEP, when the table has it
make_file() {
  local file=$1 step arg
  local -a steps parts
  mkdir -p "$(dirname "$file")"
  IFS='+' read -r -a steps <<<"$2"
  for step in "${steps[@]}"; do
    arg=${step#*:}
    IFS=':' read -r -a parts <<<"$arg"
    case $step in
      bytes:*)
        LC_ALL=C awk -v n="$arg" -v s="$(cksum <<<"$file" | cut -d' ' -f1)" \
          'BEGIN { srand(s % 1000003); for (i = 0; i < n; i++) printf "%c", int(rand() * 256) }' \
          >"$file"
        ;;
      text:*) printf '%s\n' "$arg" >"$file" ;;
      hex:*) bytes_of_hex "$arg" >"$file" ;;
      private) chmod 600 "$file" ;;
      fixture:*) cp "$HERE/$arg" "$file" ;;
      carriers:*) printf '# one reader with one device\n[touchmemory]\ndriver = yes\ndevice = %s\n' \
        "$arg" >"$file" ;;
      copy:*) cp "$arg" "$file" ;;
      drop:*) awk -v s="[$arg]" '/^\[/ { skip = ($0 == s) } !skip' "$file" >"$file.new" &&
        mv "$file.new" "$file" ;;
      head:*) head -c "${parts[1]}" "${parts[0]}" >"$file" ;;
      poke:*) bytes_of_hex "${parts[1]}" |
        dd of="$file" bs=1 seek="${parts[0]}" conv=notrunc status=none ;;
      flip:*)
        local old
        old=$(od -An -tu1 -j"$arg" -N1 "$file" | tr -d ' ')
        bytes_of_hex "$(printf '%02x' $((old ^ 255)))" |
          dd of="$file" bs=1 seek="$arg" conv=notrunc status=none
        ;;
      trunc:*) truncate -s "$arg" "$file" ;;
      shared:*) cp "$S/$arg" "$file" ;;
      *)
        # The table's own steps.
        if declare -F table_recipe_step >/dev/null; then
          table_recipe_step "$file" "$step"
        else
          echo "unknown recipe step $step" >&2
          false
        fi
        ;;
    esac || return 1
  done
}

# Setup: comma-separated items, in order: "FILE<RECIPE" (make_file) or
# "run:ARGS" (the host with those arguments, which must succeed; a '%' in
# ARGS stands for a comma, as between protection keywords).
do_setup() {
  local item
  local -a items argv
  IFS=',' read -r -a items <<<"$1"
  for item in "${items[@]}"; do
    item=$(trim "$item")
    [[ -z $item ]] && continue
    if [[ $item == run:* ]]; then
      item=${item//%/,}
      eval "argv=(${item#run:})"
      nccore "${argv[@]}" </dev/null >.expect/setup.out 2>&1 ||
        { echo "$item: $(cat .expect/setup.out)" >&2; return 1; }
    else
      make_file "${item%%<*}" "${item#*<}" || { echo "$item failed" >&2; return 1; }
    fi
  done
}

# ---- checks ----------------------------------------------------------------------
# The 48-byte header as hex, from its fields (little-endian).
header_hex() {  # fileKind algorithm mode keyKind unitSize dataLength protection integrity-hex
  printf '%s0003%s%s%s%s%02x30000000%s%s%s' "$(hex_of_text TAVOCRYPTDATAFILE)" \
    "$(le32 "$(printf %x "$1")" | cut -c1-4)" "$(le32 "$(printf %x "$2")" | cut -c1-4)" \
    "$(le32 "$(printf %x "$3")" | cut -c1-4)" "$(le32 "$(printf %x "$4")" | cut -c1-4)" "$5" \
    "$(le32 "$(printf %x "$6")")" "$(le32 "$(printf %x "$7")")" "$8"
}

# A clear key file in hex: the header of algorithm ALG and key kind KIND
# without a challenge, then one block of the words given (hex,
# little-endian), with their integrity value.
key_file_hex() {  # ALG KIND WORDS
  local words=$3
  printf '%s00000000%s%s' \
    "$(header_hex 1 "$1" 0 "$2" 0 0 0 "$(le32 "$(integrity_of_hex "$words")")")" \
    "$(le32 "$(printf %x $((${#words} / 8)))")" "$words"
}

# check_file FILE CHECK: prints a problem, or nothing. Checks (joined by '+'):
#   -                   FILE does not exist
#   hdr:K:A:M:U:L       a data file header: fileKind K, algorithm A, mode M,
#                       unitSize U, dataLength L (everything else 0)
#   size:N              N bytes long
#   same:F / differ:F   the same bytes as F / other bytes
#   anything else       table_check FILE CHECK HEX (HEX: the file's bytes),
#                       when the table has it; it prints the problem
check_file() {
  local file=$1 check hex
  local -a checks f
  IFS='+' read -r -a checks <<<"$2"
  for check in "${checks[@]}"; do
    if [[ $check == - ]]; then
      [[ -e $file ]] && echo "$file exists"
      continue
    fi
    if [[ ! -f $file ]]; then
      echo "$file missing"
      return
    fi
    hex=$(hex_of_file "$file")
    IFS=':' read -r -a f <<<"${check#*:}"
    case $check in
      hdr:*)
        local want
        want=$(header_hex "${f[0]}" "${f[1]}" "${f[2]}" 0 "${f[3]}" "${f[4]}" 0 00000000)00000000
        [[ ${hex:0:96} == "$want" ]] || echo "$file: header ${hex:0:96}, want $want"
        ;;
      size:*) [[ $((${#hex} / 2)) == "${f[0]}" ]] || echo "$file: $((${#hex} / 2)) bytes, want ${f[0]}" ;;
      same:*) cmp -s "$file" "${check#same:}" || echo "$file differs from ${check#same:}" ;;
      differ:*) cmp -s "$file" "${check#differ:}" && echo "$file equals ${check#differ:}" ;;
      *)
        if declare -F table_check >/dev/null; then
          table_check "$file" "$check" "$hex"
        else
          echo "unknown check $check"
        fi
        ;;
    esac
  done
}

# ---- one case ------------------------------------------------------------------
# run_case NAME SETUP ARGS CODE SUFFIX CHECKS
#   ARGS    the host's arguments, as shell words; a last word '<FILE' (quoted)
#           makes FILE the standard input (else /dev/null)
#   CODE    expected exit code (two digits), the text being the tag, the
#           message of CODE and SUFFIX (a shell word: ' k.dek' for the key-file
#           errors, which put a blank before the name); or "host": the host
#           refuses with exit code 1, says why on stderr and prints no result
#   CHECKS  comma-separated "FILE=CHECK" (check_file); FILE may be a pattern
#           that must match exactly one file, or <stderr>: what the host
#           wrote there. Files the setup made and the
#           checks do not name must be unchanged, and no other file may exist
#           afterwards (a left-over temporary or a stray output fails).
CASE_NO=0
run_case() {
  local name=$1 setup=$2 args=$3 code=$4 suffix=$5 checks=$6
  if [[ -z $NCCORE_SIM && "$setup $args" == *--carriers* ]]; then
    SKIPPED=$((SKIPPED + 1))
    return
  fi
  CASE_NO=$((CASE_NO + 1))
  local dir=$WORK/case$CASE_NO
  mkdir -p "$dir/.expect/before" "$dir/.expect/run"
  local problems=() item file
  export NCCORE_SETTINGS=$dir/.expect/settings.ini NCCORE_PROFILE_DIR=$dir/.expect
  export NCCORE_RUNTIME_DIR=$dir/.expect/run
  printf '[%s]\n"AdpType"=dword:00000000\n' "$VTMD_KEY" >"$NCCORE_SETTINGS"

  if ! (cd "$dir" && do_setup "$setup") 2>"$dir/.expect/setup.err"; then
    fail "$name" "setup: $(head -c 400 "$dir/.expect/setup.err")"
    return
  fi
  local -A before=()
  while IFS= read -r -d '' file; do
    file=${file#./}
    before[$file]=1
    mkdir -p "$(dirname "$dir/.expect/before/$file")"
    cp "$dir/$file" "$dir/.expect/before/$file"
  done < <(cd "$dir" && find . -path ./.expect -prune -o -type f -print0)

  local -a argv=()
  eval "argv=($args)"
  local input=/dev/null
  if ((${#argv[@]})) && [[ ${argv[-1]} == '<'* ]]; then
    input=${argv[-1]#<}
    unset 'argv[-1]'
  fi
  (cd "$dir" && nccore "${argv[@]}" <"$input") >"$dir/.expect/stdout" 2>"$dir/.expect/stderr"
  local status=$?

  local got_text
  got_text=$(tr -d '\r' <"$dir/.expect/stdout")
  if [[ $code == host ]]; then
    [[ $status == 1 ]] || problems+=("exit code $status, expected 1")
    [[ -z $got_text ]] || problems+=("printed '$got_text'")
    grep -q '^nccore: ' "$dir/.expect/stderr" || problems+=("no reason on stderr")
  else
    ((10#$code == status)) || problems+=("exit code $status, expected $((10#$code))")
    eval "suffix=$suffix"
    local problem
    problem=$(result_text_problem "$dir/.expect/stdout" \
      "$(result_tag "${argv[@]}")${MESSAGE[$code]}$suffix")
    [[ -n $problem ]] && problems+=("$problem")
  fi

  local -A named=()
  local -a items matched
  IFS=',' read -r -a items <<<"$checks"
  for item in "${items[@]}"; do
    item=$(trim "$item")
    [[ -z $item ]] && continue
    file=${item%%=*}
    if [[ $file == '<stderr>' ]]; then
      local problem
      problem=$(cd "$dir/.expect" && check_file stderr "${item#*=}")
      [[ -n $problem ]] && problems+=("$problem: $(head -c 200 "$dir/.expect/stderr")")
      continue
    fi
    if [[ $file == *'*'* ]]; then
      mapfile -t matched < <(cd "$dir" && compgen -G "$file")
      if [[ ${#matched[@]} != 1 ]]; then
        problems+=("${#matched[@]} files match $file")
        continue
      fi
      file=${matched[0]}
    fi
    named[$file]=1
    local problem
    problem=$(cd "$dir" && check_file "$file" "${item#*=}")
    [[ -n $problem ]] && problems+=("$problem")
  done

  for file in "${!before[@]}"; do
    [[ -n ${named[$file]+set} ]] && continue
    if [[ ! -f $dir/$file ]]; then
      problems+=("$file was removed")
    elif ! cmp -s "$dir/$file" "$dir/.expect/before/$file"; then
      problems+=("$file was changed")
    fi
  done
  while IFS= read -r -d '' file; do
    file=${file#./}
    [[ -n ${before[$file]+set} || -n ${named[$file]+set} ]] && continue
    problems+=("unexpected file '$file'")
  done < <(cd "$dir" && find . -path ./.expect -prune -o -type f -print0)

  case_verdict "$name" "${problems[@]}"
}

