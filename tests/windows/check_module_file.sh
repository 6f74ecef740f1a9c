#!/usr/bin/env bash
# Checks Zorvane.xop from Linux, without Wine: a 64-bit DLL, XOPMain its only export, no DLL
# imports beyond the system's, and the resources (read back with wrestool) byte for byte as the
# module defines them.
#   check_module_file.sh MODULE RESOURCE_DIR
# RESOURCE_DIR holds the files the build wrote for the resource compiler (xopi.bin, ...).
set -euo pipefail
module=$1
resources=$2
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
failures=0

check() { # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then
    echo "ok: $what"
  else
    echo "FAIL: $what"
    failures=$((failures + 1))
  fi
}

headers=$("$objdump" -p "$module")
exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$headers" | sed -n 's/^\s*\[ *[0-9]*\] //p')
imports=$(sed -n 's/^\s*DLL Name: //p' <<<"$headers" | sort -f | tr '\n' ' ')

check "64-bit PE image" grep -q "file format pei-x86-64" <<<"$headers"
is_dll() {
  local flags
  flags=$(sed -n 's/^Characteristics\s*\(0x[0-9a-fA-F]*\).*/\1/p' <<<"$headers" | head -1)
  [ -n "$flags" ] && (((flags & 0x2000) != 0)) # IMAGE_FILE_DLL
}
check "a DLL" is_dll
check "XOPMain is the only export (found: $(tr '\n' ' ' <<<"$exports"))" test "$exports" = "XOPMain"
# The C++ runtime is linked in: only system DLLs may be imported. The module makes no TLS master,
# so the TLS backend's DLLs (secur32, crypt32) must not be pulled in either.
system_only() {
  local dll
  for dll in $imports; do
    case ${dll,,} in
      kernel32.dll | msvcrt.dll | ucrtbase.dll | api-ms-win-crt-*.dll | ws2_32.dll | user32.dll | advapi32.dll) ;;
      *) echo "  not a system DLL: $dll"; return 1 ;;
    esac
  done
}
check "imports only system DLLs ($imports)" system_only

listing=$(wrestool -l "$module" | sed 's/ \[.*//' | sort)
expected=$(sort <<'EOF'
--type='STR#' --name=1100 --language=2057
--type='XOPC' --name=1100 --language=2057
--type='XOPI' --name=1100 --language=2057
--type=16 --name=1 --language=2057
--type=24 --name=2 --language=0
EOF
)
check "resources and languages as listed by wrestool" test "$listing" = "$expected"
[ "$listing" = "$expected" ] || diff <(echo "$expected") <(echo "$listing") || true

extract() { # extract TYPE NAME LANGUAGE
  wrestool -x --raw --type="$1" --name="$2" --language="$3" "$module"
}
same_bytes() { # same_bytes FILE TYPE NAME LANGUAGE
  cmp -s "$1" <(extract "$2" "$3" "$4")
}
check "XOPI is 04 00 00 00 00 00 00 00 BE 02" \
  test "$(extract XOPI 1100 2057 | od -An -tx1 | tr -d ' \n')" = "0400000000000000be02"
check "XOPC holds the five commands, then the three added ones, in 95 bytes" \
  test "$(extract XOPC 1100 2057 | od -An -c | tr -s ' \n' ' ')" = \
  " M B O p e n \\0 \` 220 M B G e t S t a t u s \\0 \` 220 M B C l o s e \\0 \` 220 M B R e a d \\0 \` 220 M B W r i t e \\0 \` 220 M B R e a d W a v e \\0 b 220 M B W r i t e W a v e \\0 b 220 M B O p e n S e r i a l \\0 \` 220 \\0 "
check "XOPI as the module defines it" same_bytes "$resources/xopi.bin" XOPI 1100 2057
check "XOPC as the module defines it" same_bytes "$resources/xopc.bin" XOPC 1100 2057
check "STR# as the module defines it" same_bytes "$resources/str.bin" 'STR#' 1100 2057
check "STR# holds 206 texts and a final NUL" \
  test "$(extract 'STR#' 1100 2057 | tr -cd '\0' | wc -c)" = 207
check "version information as the module defines it" same_bytes "$resources/version.bin" 16 1 2057
check "manifest asks for asInvoker" grep -q 'requestedExecutionLevel level="asInvoker"' <(extract 24 2 0)

if [ "$failures" -ne 0 ]; then
  echo "check_module_file: $failures check(s) failed"
  exit 1
fi
echo "check_module_file: all checks passed"
