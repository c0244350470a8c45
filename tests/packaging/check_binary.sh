#!/usr/bin/env bash
# check_binary.sh CHECK FILE
#   so-exports   the shared library exports engineOpcode unmangled (C linkage) as a function
#   exe-exports  the executable's export table names engineOpcode
#   exe-static   the executable imports no MinGW runtime DLL (libstdc++, libgcc_s, libwinpthread)
#   exe-gui      the executable is a Windows GUI subsystem program
set -uo pipefail
check=$1 file=$2
[[ -f $file ]] || {
    echo "no such file: $file"
    exit 1
}
dump() { x86_64-w64-mingw32-objdump -p "$file"; }

case $check in
so-exports)
    symbols=$(nm -D --defined-only "$file") || exit 1
    if grep -Eq '^[0-9a-f]+ T engineOpcode$' <<<"$symbols"; then
        echo "engineOpcode exported"
    else
        echo "engineOpcode is not an exported function of $file; dynamic symbols:"
        head -50 <<<"$symbols"
        exit 1
    fi
    ;;
exe-exports)
    # The export table lists "[Ordinal/Name Pointer] Table" rows: "[   0] engineOpcode".
    exports=$(dump | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p')
    echo "$exports"
    grep -Eq '^[[:space:]]*\[[[:space:]]*[0-9]+\][[:space:]]+engineOpcode$' <<<"$exports" || {
        echo "engineOpcode is not in the export table"
        exit 1
    }
    ;;
exe-static)
    dlls=$(dump | sed -n 's/^[[:space:]]*DLL Name: //p')
    echo "$dlls"
    [[ -n $dlls ]] || {
        echo "no import table found"
        exit 1
    }
    if grep -Eiq '^(libstdc\+\+|libgcc_s|libwinpthread|libssp|libgomp)' <<<"$dlls"; then
        echo "imports a MinGW runtime DLL"
        exit 1
    fi
    ;;
exe-gui)
    # (Matched in a variable: grep -q ending early would fail the pipeline under pipefail.)
    subsystem=$(dump | grep -E '^Subsystem[[:space:]]')
    echo "$subsystem"
    grep -Eq '^Subsystem[[:space:]]+0+2[[:space:]]+\(Windows GUI\)' <<<"$subsystem" || {
        echo "not a Windows GUI subsystem executable"
        exit 1
    }
    ;;
*)
    echo "unknown check $check"
    exit 2
    ;;
esac
