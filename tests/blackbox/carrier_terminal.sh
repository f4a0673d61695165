#!/usr/bin/env bash
# The carrier dialog on a terminal. A small host of AcquireMasterKey runs in
# a pseudo-terminal (util-linux `script`); what the dialog draws is read from
# the typescript, and the keys are typed on the terminal.
#   carrier_terminal.sh <path-to-carrier_host>
#
# The password typed on the terminal (UTF-8) must give the key that the same
# password gives from a preset password file, in UTF-8 or (named by
# NCCORE_PASSWORD_ENCODING) in code page 1251, and the key that openssl
# computes from its code page 1251 bytes.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
host=$(realpath "$1")
enter_scratch_folder
work=$WORK

key_of() { sed -n 's/^key \([0-9a-f]*\).*/\1/p' "$1" | tr -d '\r' | tail -n 1; }

# A private machine for the simulated Touch Memory reader: the driver path
# (adapter type 0) and one device on the reader.
export NCCORE_SETTINGS=$work/settings.ini NCCORE_PROFILE_DIR=$work NCCORE_RUNTIME_DIR=$work/run
printf '[SYSTEM\\CurrentControlSet\\Services\\VTMD\\Parameters]\n"AdpType"=dword:00000000\n' \
  >settings.ini
printf '[touchmemory]\ndevice = 02 1c b8 01 00 00 00\n' >device.txt
# The reader's driver not loaded; the driver loaded and no device on the
# reader (said outright, whatever the simulator's defaults).
printf '[touchmemory]\ndriver = no\n' >no-driver.txt
printf '[touchmemory]\ndriver = yes\n' >no-device.txt
tm_key=8b3ce3741a792f80 # the device's number enciphered under itself

password=секрет
password_1251='\xf1\xe5\xea\xf0\xe5\xf2'

# ---- the reference: preset passwords, no terminal --------------------------------
printf '%s\n' "$password" >utf8.txt
printf "$password_1251\\r\\n" >cp1251.txt
# Lines the dialog refuses: Greek is not in code page 1251 (made '?', it
# would open the key of "???????"), and a line holding a NUL byte.
printf 'κωδικός\n' >greek.txt
printf '\000abc\n' >nul.txt
NCCORE_UI=headless NCCORE_PASSWORD_FD=3 "$host" 1 3<utf8.txt >preset.out 2>&1
[[ $? == 0 ]] || fail "preset password: $(cat preset.out)"
reference=$(key_of preset.out)
NCCORE_UI=headless NCCORE_PASSWORD_FD=3 NCCORE_PASSWORD_ENCODING=cp1251 "$host" 1 3<cp1251.txt \
  >preset1251.out 2>&1
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
open_keys

# Runs the host on the terminal, then prints the terminal's settings; the
# typescript goes to $1.
start() {  # typescript, host arguments, [environment assignments...]
  local log=$1 args=$2
  shift 2
  start_on_terminal "$log" "'$host' $args; echo \"exit \$?\"; stty -a" "$@"
}
finish() { end_on_terminal "$1" 60; }  # case name

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

# A password with a character code page 1251 lacks: the bell, a line saying
# why, and the prompt again.
start unusable.log 1
if wait_for unusable.log "Пароль: "; then
  printf 'κωδικός\r' >&8
  wait_for unusable.log "Пароль: " 2 || fail "unusable character: no second prompt"
  printf '%s\r' "$password" >&8
else
  fail "unusable character: no password prompt"
fi
finish "unusable character"
grep -q $'\a' unusable.log || fail "unusable character: no bell"
grep -qF "В пароле есть символ, который нельзя использовать" unusable.log ||
  fail "unusable character: no reason given"
[[ $(key_of unusable.log) == "$reference" ]] || fail "unusable character: key $(key_of unusable.log)"

# The preset descriptor is the terminal itself: it is no preset, the
# password is asked without echo (a preset reader would steal keys).
start fd0.log 1 NCCORE_PASSWORD_FD=0
if wait_for fd0.log "Пароль: "; then
  printf '%s\r' "$password" >&8
else
  fail "preset on the terminal: no password prompt"
fi
finish "preset on the terminal"
! grep -qF "$password" fd0.log || fail "preset on the terminal: the password was echoed"
[[ $(key_of fd0.log) == "$reference" ]] || fail "preset on the terminal: key $(key_of fd0.log)"

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
start tm.log 2 NCCORE_TEST_DEVICES="$work/device.txt"
finish "Touch Memory"
grep -qF "Чтение прибора Touch Memory: OK" tm.log || fail "Touch Memory: no OK line"
grep -q '^exit 0' tm.log || fail "Touch Memory: $(grep -a '^exit' tm.log | tr '\r\n' '  ')"
[[ $(key_of tm.log) == "$tm_key" ]] || fail "Touch Memory: key $(key_of tm.log)"

# A carrier missing: the dialog polls and rings the bell after each round
# without it, and the status line keeps the round's outcome; Ctrl-C ends
# the dialog while it polls. The bell is what the case waits for: the line's
# first text ("Присоедините...") may be replaced by the first round's
# outcome before the terminal view ever draws it.
polling_case() {  # case name, typescript, protection code, carriers file, status text
  local name=$1 log=$2
  start "$log" "$3" NCCORE_TEST_DEVICES="$work/$4"
  if wait_for "$log" $'\a'; then
    wait_for "$log" "$5" ||
      fail "$name: the status line does not say \"$5\": $(grep -a 'Чтение' "$log" | tail -n 1)"
    printf '\003' >&8
  else
    fail "$name: no bell while polling"
  fi
  finish "$name"
  grep -q '^exit 25' "$log" || fail "$name: $(grep -a '^exit' "$log" | tr '\r\n' '  ')"
  ! grep -qF "Пароль: " "$log" || fail "$name: the password was asked before the carrier"
  restored "$log" || fail "$name: terminal settings not restored"
}
polling_case "Touch Memory driver not loaded" no-driver.log 3 no-driver.txt \
  "Ошибка: Драйвер поддержки адаптеров Touch Memory не загружен"
polling_case "no Touch Memory device" absent.log 3 no-device.txt \
  "Чтение прибора Touch Memory: Присоедините прибор Touch Memory к считывателю"
# The Tessel line's label is the template's, without a colon.
polling_case "no Tessel" tessel.log 0x10 no-device.txt \
  "Чтение Tessel Присоедините Tessel к разъему USB-порта"

# A preset password with a terminal: the dialog is drawn, nothing is asked.
start preset-tty.log "1 3<'$work/utf8.txt'" NCCORE_PASSWORD_FD=3
finish "preset with a terminal"
grep -qF "$caption" preset-tty.log || fail "preset with a terminal: no caption"
! grep -qF "Пароль: " preset-tty.log || fail "preset with a terminal: the password was asked"
[[ $(key_of preset-tty.log) == "$reference" ]] || fail "preset with a terminal: key differs"

# A preset line the dialog refuses cancels instead of waiting for keys.
for name in greek nul; do
  start "preset-$name.log" "1 3<'$work/$name.txt'" NCCORE_PASSWORD_FD=3
  finish "preset $name line with a terminal"
  grep -q '^exit 25' "preset-$name.log" ||
    fail "preset $name line with a terminal: $(grep -a '^exit' "preset-$name.log" | tr '\r\n' '  ')"
done

close_keys

# ---- no terminal -----------------------------------------------------------------------
NCCORE_UI=terminal timeout 60 setsid -w "$host" 1 </dev/null >notty.out 2>&1
code=$?
[[ $code == 25 ]] || fail "no terminal: exit code $code, want 25"
NCCORE_UI=headless timeout 60 "$host" 1 >headless.out 2>&1
code=$?
[[ $code == 25 ]] || fail "headless without a preset password: exit code $code, want 25"

# Unattended runs end: a refused preset line, and a carrier missing for a
# whole polling round, give 25 (no one is there to type or present it).
for case in "1 greek.txt" "1 nul.txt" "2 utf8.txt" "3 utf8.txt"; do
  read -r code_ file <<<"$case"
  NCCORE_UI=terminal NCCORE_PASSWORD_FD=3 NCCORE_TEST_DEVICES="$work/no-device.txt" \
    timeout 60 setsid -w "$host" "$code_" 3<"$file" </dev/null >unattended.out 2>&1
  code=$?
  [[ $code == 25 ]] || fail "unattended, code $code_, $file: exit code $code, want 25"
done

all_passed carrier_terminal
