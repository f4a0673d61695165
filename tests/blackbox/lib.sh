# Helpers shared by the black-box scripts (sourced, not run).

hex_of_file() { od -An -tx1 -v "$1" | tr -d ' \n'; }
hex_of_text() { printf '%s' "$1" | od -An -tx1 -v | tr -d ' \n'; }

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
