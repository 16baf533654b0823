#!/usr/bin/env bash
# Checks the bundle's import libraries with the toolchain's own tools: each
# names the five exports of vnscope.dll undecorated (cdecl: the C symbol is
# _Name, the name looked up in the DLL is Name), and a program linked with the
# MinGW one imports exactly those names from vnscope.dll.
# Usage: check_import_libraries.sh BUNDLE_DIR [LINKED_PROGRAM.exe]
set -euo pipefail
bundle=$1
program=${2:-}
exports=(CreateMonitors DestroyMonitors DebugReport OutputClipboard OutputBMP32to24)
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

# Symbols: every export as _Name (the call) and __imp__Name (the pointer).
# binutils' nm does not read the short import members of vnscope.lib; LLVM's does.
for lib in vnscope.lib libvnscope.dll.a; do
  symbols=$(llvm-nm "$bundle/$lib")
  for name in "${exports[@]}"; do
    grep -qE "^[0-9a-f]* *T _${name}\$" <<<"$symbols" || fail "$lib: no _$name"
    grep -qE "^[0-9a-f]* *[TI] __imp__${name}\$" <<<"$symbols" || fail "$lib: no __imp__$name"
  done
done

# vnscope.lib: short import members of vnscope.dll, as Microsoft's lib.exe
# writes them for x86 C names: name type "noprefix" drops the leading _ of
# the symbol, so the DLL is asked for Name itself, undecorated.
members=$(llvm-readobj "$bundle/vnscope.lib")
count=$(grep -c 'Format: COFF-import-file' <<<"$members" || true)
[ "$count" = 5 ] || fail "vnscope.lib: $count import members, expected 5"
[ "$(grep -c 'Name type: noprefix' <<<"$members" || true)" = 5 ] || fail "vnscope.lib: names are not looked up undecorated"
[ -z "$(grep '^File: ' <<<"$members" | grep -v 'vnscope' || true)" ] || fail "vnscope.lib: a member of another DLL"
for name in "${exports[@]}"; do
  grep -qx "Symbol: _${name}" <<<"$members" || fail "vnscope.lib: no import member for $name"
done

# The linked program: the import table names vnscope.dll and the five.
if [ -n "$program" ]; then
  imports=$(i686-w64-mingw32-objdump -p "$program" | awk '/DLL Name: vnscope.dll/{on=1; next} /DLL Name:/{on=0} on && NF==3 && $1 ~ /^[0-9a-f]+$/ {print $3}' | sort)
  expected=$(printf '%s\n' "${exports[@]}" | sort)
  [ "$imports" = "$expected" ] || fail "$program imports from vnscope.dll: $(echo $imports)"
fi

[ $failed = 0 ] && echo "import libraries: the five undecorated exports of vnscope.dll"
exit $failed
