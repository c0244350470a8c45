#!/usr/bin/env bash
# check_binary.sh CHECK FILE
#   so-exports   the shared library exports engineOpcode unmangled (C linkage) as a function
#   exe-exports  the executable's export table names engineOpcode
#   exe-static   the executable imports no MinGW runtime DLL (libstdc++, libgcc_s, libwinpthread)
#   exe-gui      the executable is a Windows GUI subsystem program
#   exe-console  the executable is a Windows console subsystem program
#   exe-resources the executable holds icon 102, dialogs 106 and 116, a version and a manifest
set -uo pipefail
check=$1 file=$2
[[ -f $file ]] || {
    echo "no such file: $file"
    exit 1
}
dump() { x86_64-w64-mingw32-objdump -p "$file"; }

# subsystem_is CODE LABEL WHAT: the optional header names subsystem CODE, shown as "(LABEL)".
subsystem_is() {
    # (Matched in a variable: grep -q ending early would fail the pipeline under pipefail.)
    local subsystem
    subsystem=$(dump | grep -E '^Subsystem[[:space:]]')
    echo "$subsystem"
    grep -Eq "^Subsystem[[:space:]]+0+$1[[:space:]]+\\($2\\)" <<<"$subsystem" || {
        echo "not $3 subsystem executable"
        exit 1
    }
}

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
    subsystem_is 2 'Windows GUI' 'a Windows GUI'
    ;;
exe-console)
    subsystem_is 3 'Windows CUI' 'a Windows console'
    ;;
exe-resources)
    # The resource directory lists types (3 spaces in) and the names under each (5 spaces in):
    # print "type:name" pairs in hex.
    pairs=$(dump | sed -n '/^The .rsrc Resource Directory section:/,$p' | awk '
        /^[0-9a-f]+   Entry: ID: / { type = $4; sub(",", "", type) }
        /^[0-9a-f]+     Entry: ID: / { name = $4; sub(",", "", name); print type ":" name }')
    echo "$pairs"
    status=0
    # RT_GROUP_ICON 14 / 102, RT_DIALOG 5 / 106 and 116, RT_VERSION 16 / 1, RT_MANIFEST 24 / 1.
    for want in 0x00000e:0x000066 0x000005:0x00006a 0x000005:0x000074 0x000010:0x000001 0x000018:0x000001; do
        grep -qx "$want" <<<"$pairs" || {
            echo "missing resource $want (type:id)"
            status=1
        }
    done
    exit $status
    ;;
*)
    echo "unknown check $check"
    exit 2
    ;;
esac
