#!/usr/bin/env bash
# The carrier dialog on a terminal. A small host of AcquireMasterKey runs in
# a pseudo-terminal (util-linux `script`); what the dialog draws is read from
# the typescript, and the keys are typed on the terminal.
#   carrier_terminal.sh <path-to-carrier_host>
#
# The password typed on the terminal (UTF-8) must give the key that the same
# password gives from a preset password file, in UTF-8 or in code page 1251,
# and the key that openssl computes from its code page 1251 bytes.
set -u
host=$(realpath "$1")
work=$(mktemp -d)
pid=
cleanup() {
  [[ -n $pid ]] && kill "$pid" 2>/dev/null
  exec 8>&- 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

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

key_of() { sed -n 's/^key \([0-9a-f]*\).*/\1/p' "$1" | tr -d '\r' | tail -n 1; }

# A private machine for the simulated Touch Memory reader: the driver path
# (adapter type 0) and one device on the reader.
export NCCORE_SETTINGS=$work/settings.ini NCCORE_PROFILE_DIR=$work NCCORE_RUNTIME_DIR=$work/run
printf '[SYSTEM\\CurrentControlSet\\Services\\VTMD\\Parameters]\n"AdpType"=dword:00000000\n' \
  >settings.ini
printf '[touchmemory]\ndevice = 02 1c b8 01 00 00 00\n' >device.txt
printf '[touchmemory]\n' >no-device.txt
tm_key=8b3ce3741a792f80 # the device's number enciphered under itself

password=секрет
password_1251='\xf1\xe5\xea\xf0\xe5\xf2'

# ---- the reference: preset passwords, no terminal --------------------------------
printf '%s\n' "$password" >utf8.txt
printf "$password_1251\\r\\n" >cp1251.txt
NCCORE_UI=headless NCCORE_PASSWORD_FD=3 "$host" 1 3<utf8.txt >preset.out 2>&1
[[ $? == 0 ]] || fail "preset password: $(cat preset.out)"
reference=$(key_of preset.out)
NCCORE_UI=headless NCCORE_PASSWORD_FD=3 "$host" 1 3<cp1251.txt >preset1251.out 2>&1
[[ $(key_of preset1251.out) == "$reference" && -n $reference ]] ||
  fail "a code page 1251 password file gives $(key_of preset1251.out), UTF-8 gives $reference"

# The same key computed by openssl: the 33-byte buffer (the password's code
# page 1251 bytes, zeros after) enciphered with DES-CBC under its first 8
# bytes, IV "KLBNVRzz"; the first 32 bytes folded by XOR into 8.
if openssl enc -des-cbc -provider legacy -provider default -K 0000000000000000 -iv 00 \
  </dev/null >/dev/null 2>&1; then
  pad=$(printf '%02x' 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0)
  plain=$(printf "$password_1251" | od -An -tx1 | tr -d ' \n')$pad
  cipher=$(printf "$password_1251" | cat - <(head -c 26 /dev/zero) |
    openssl enc -des-cbc -nopad -provider legacy -provider default \
      -K "${plain:0:16}" -iv 4b4c424e56527a7a | od -An -tx1 | tr -d ' \n')
  folded=
  for ((i = 0; i < 8; i++)); do
    b=0
    for ((block = 0; block < 4; block++)); do
      b=$((b ^ 16#${cipher:$(((block * 8 + i) * 2)):2}))
    done
    folded+=$(printf '%02x' "$b")
  done
  [[ $folded == "$reference" ]] || fail "openssl folds the password to $folded, the library to $reference"
fi

# ---- typed on the terminal ------------------------------------------------------------
mkfifo keys
# The keys typed on the terminal: the FIFO is held open for reading and
# writing here, so neither side's open blocks.
exec 8<>keys

# Runs the host in a pseudo-terminal with the terminal backend, then prints
# the terminal's settings; the typescript goes to $1.
start() {  # typescript, host arguments, [environment assignments...]
  local log=$1 args=$2
  shift 2
  env NCCORE_UI=terminal "$@" script -qefc "'$host' $args; echo \"exit \$?\"; stty -a" "$log" \
    <&8 >/dev/null 2>&1 8>&- &
  pid=$!
}
finish() {  # case name
  local i
  for ((i = 0; i < 600; i++)); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$pid" 2>/dev/null; then
    fail "$1: still running after 60 s"
    pkill -P "$pid" 2>/dev/null
    kill "$pid" 2>/dev/null
  fi
  wait "$pid" 2>/dev/null
  pid=
}
# The terminal is back in its usual mode after the host.
restored() {  # typescript
  local settings
  settings=$(sed -n '/^speed /,$p' "$1" | tr '\r\n' '  ')
  [[ -n $settings && " $settings " != *" -icanon "* && " $settings " != *" -echo "* &&
    " $settings " != *" -isig "* ]]
}

caption="Авторизация доступа к криптографическим ключам"
heading="Для доступа к защищенным криптографическим ключам Вам необходимо:"

# A password typed after an empty Enter (which rings the bell and asks again).
start typed.log 1
if wait_for typed.log "Пароль: "; then
  printf '\r' >&8
  wait_for typed.log "Пароль: " 2 || fail "typed: no second prompt after an empty password"
  printf '%s\r' "$password" >&8
else
  fail "typed: no password prompt"
fi
finish typed
grep -qF "$caption" typed.log || fail "typed: no caption"
grep -qF "$heading" typed.log || fail "typed: no heading"
grep -qF "$(printf '\t1. Ввести Ваш пароль')" typed.log || fail "typed: no step"
grep -q $'\a' typed.log || fail "typed: no bell after the empty password"
! grep -qF "$password" typed.log || fail "typed: the password was echoed"
grep -q '^exit 0' typed.log || fail "typed: $(grep -a '^result\|^exit' typed.log | tr '\r\n' '  ')"
[[ $(key_of typed.log) == "$reference" ]] ||
  fail "typed: key $(key_of typed.log), the preset password gives $reference"
restored typed.log || fail "typed: terminal settings not restored"

# Ctrl-C at the prompt cancels.
start cancel.log 1
if wait_for cancel.log "Пароль: "; then
  printf '\003' >&8
else
  fail "Ctrl-C: no password prompt"
fi
finish "Ctrl-C"
grep -q '^exit 25' cancel.log || fail "Ctrl-C: $(grep -a '^result\|^exit' cancel.log | tr '\r\n' '  ')"
grep -q '^last error 1326' cancel.log || fail "Ctrl-C: last error is not 1326"
restored cancel.log || fail "Ctrl-C: terminal settings not restored"

# End of input (Ctrl-D) cancels too.
start eof.log 1
wait_for eof.log "Пароль: " && printf '\004' >&8
finish "Ctrl-D"
grep -q '^exit 25' eof.log || fail "Ctrl-D: $(grep -a '^exit' eof.log | tr '\r\n' '  ')"

# A Touch Memory device on the reader: the line says so, no key is typed.
start tm.log 2 NCCORE_DEVICES="$work/device.txt"
finish "Touch Memory"
grep -qF "Чтение прибора Touch Memory: OK" tm.log || fail "Touch Memory: no OK line"
grep -q '^exit 0' tm.log || fail "Touch Memory: $(grep -a '^exit' tm.log | tr '\r\n' '  ')"
[[ $(key_of tm.log) == "$tm_key" ]] || fail "Touch Memory: key $(key_of tm.log)"

# No device: the dialog waits and rings; Ctrl-C ends it while it polls.
start absent.log 3 NCCORE_DEVICES="$work/no-device.txt"
if wait_for absent.log "Присоедините прибор Touch Memory к считывателю"; then
  wait_for absent.log $'\a' || fail "no device: no bell while polling"
  printf '\003' >&8
else
  fail "no device: no status line"
fi
finish "no device"
grep -q '^exit 25' absent.log || fail "no device: $(grep -a '^exit' absent.log | tr '\r\n' '  ')"
! grep -qF "Пароль: " absent.log || fail "no device: the password was asked before the device"
restored absent.log || fail "no device: terminal settings not restored"

# A preset password with a terminal: the dialog is drawn, nothing is asked.
start preset-tty.log "1 3<'$work/utf8.txt'" NCCORE_PASSWORD_FD=3
finish "preset with a terminal"
grep -qF "$caption" preset-tty.log || fail "preset with a terminal: no caption"
! grep -qF "Пароль: " preset-tty.log || fail "preset with a terminal: the password was asked"
[[ $(key_of preset-tty.log) == "$reference" ]] || fail "preset with a terminal: key differs"

exec 8>&-

# ---- no terminal -----------------------------------------------------------------------
NCCORE_UI=terminal timeout 60 setsid -w "$host" 1 </dev/null >notty.out 2>&1
code=$?
[[ $code == 25 ]] || fail "no terminal: exit code $code, want 25"
NCCORE_UI=headless timeout 60 "$host" 1 >headless.out 2>&1
code=$?
[[ $code == 25 ]] || fail "headless without a preset password: exit code $code, want 25"

[[ $failures -eq 0 ]] && echo "carrier_terminal: all cases passed"
[[ $failures -eq 0 ]]
