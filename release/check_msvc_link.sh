#!/usr/bin/env bash
# Links a program against the bundle's vnscope.lib the way Microsoft's
# toolchain would (clang for the Microsoft ABI, lld-link), checks that it
# imports the five undecorated names from vnscope.dll, and runs it under Wine
# beside the bundle's DLL. Needs the Wine environment of scripts/test.
# Usage: check_msvc_link.sh BUNDLE_DIR PROGRAM.c
set -euo pipefail
bundle=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
clang --target=i686-pc-windows-msvc -O1 -c "$source" -o "$work/program.obj"
lld-link /nologo /entry:Start /subsystem:console /nodefaultlib "$work/program.obj" "$bundle/vnscope.lib" \
  /out:"$work/program.exe"
imports=$(i686-w64-mingw32-objdump -p "$work/program.exe" | awk '/DLL Name: vnscope.dll/{on=1; next} /DLL Name:/{on=0} on && NF==3 && $1 ~ /^[0-9a-f]+$/ {print $3}' | sort | tr '\n' ' ')
expected="CreateMonitors DebugReport DestroyMonitors OutputBMP32to24 OutputClipboard "
[ "$imports" = "$expected" ] || { echo "FAIL: imports from vnscope.dll: $imports" >&2; exit 1; }
cp "$bundle/vnscope.dll" "$work/"
status=0
(cd "$work" && wine program.exe </dev/null) || status=$?
[ "$status" = 0 ] || { echo "FAIL: program linked with vnscope.lib exited $status (bits: export calls that failed)" >&2; exit 1; }
[ -f "$work/thumbnail/00003.bmp" ] || { echo "FAIL: no thumbnail written" >&2; exit 1; }
echo "vnscope.lib: linked by lld-link, the five exports called under Wine"
