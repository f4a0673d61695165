# shellcheck shell=bash
# The shipped 32-bit Windows set, as the .def files describe it: sourced by
# scripts/test-windows.sh (the build folder) and scripts/package.sh (the zip).
#   windows_set_dlls               the DLL file names, one per res/*.def file
#   dll_exports DLL                the names DLL exports, sorted
#   def_exports DEF                the names DEF lists, without "@size", sorted
#   check_windows_set FOLDER       the set in FOLDER: every DLL of a .def file
#                                  and nccore.exe are 32-bit x86, each DLL
#                                  exports exactly its .def names, and nothing
#                                  imports a DLL other than Windows' own and
#                                  the set's (no mingw runtime DLL)
# Needs $top, the source folder.

# The Windows system DLLs the set may import (lower case).
windows_system_dlls=(kernel32.dll user32.dll gdi32.dll comctl32.dll advapi32.dll shell32.dll
                     ws2_32.dll msvcrt.dll)

def_library() { sed -n 's/^LIBRARY[[:space:]]\{1,\}\([^[:space:];]*\).*/\1/p' "$1"; }

windows_set_dlls() {
  local def
  for def in "${top:?}"/res/*.def; do def_library "$def"; done
}

dll_exports() { i686-w64-mingw32-objdump -p "$1" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
                  sed -n 's/^[[:space:]]*\[ *[0-9][0-9]*\] \([A-Za-z_][A-Za-z0-9_]*\)$/\1/p' | sort; }
def_exports() { sed 's/;.*//' "$1" | awk 'exports && NF { sub(/@[0-9]+$/, "", $1); print $1 }
                                           /^EXPORTS/ { exports = 1 }' | sort; }

check_windows_set() {  # folder
  local folder=$1 status=0 def dll file name
  local -A allowed=()
  for name in "${windows_system_dlls[@]}"; do allowed[$name]=1; done
  for def in "$top"/res/*.def; do
    dll=$(def_library "$def")
    allowed[${dll,,}]=1
  done
  for def in "$top"/res/*.def; do
    dll=$(def_library "$def")
    if [[ ! -f $folder/$dll ]]; then
      echo "$folder: no $dll (named by $def)" >&2
      status=1
      continue
    fi
    if [[ $(dll_exports "$folder/$dll") != "$(def_exports "$def")" ]]; then
      echo "$folder/$dll does not export exactly the names of $def" >&2
      status=1
    fi
  done
  for file in $(windows_set_dlls) nccore.exe; do
    [[ -f $folder/$file ]] || { echo "$folder: no $file" >&2; status=1; continue; }
    if ! i686-w64-mingw32-objdump -f "$folder/$file" | grep -q 'file format pei-i386'; then
      echo "$folder/$file is not a 32-bit x86 module" >&2
      status=1
    fi
    while read -r name; do
      if [[ -z ${allowed[${name,,}]:-} ]]; then
        echo "$folder/$file imports $name, neither a Windows DLL nor one of the set" >&2
        status=1
      fi
    done < <(i686-w64-mingw32-objdump -p "$folder/$file" | sed -n 's/^[[:space:]]*DLL Name: //p')
  done
  return $status
}
