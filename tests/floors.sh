#!/usr/bin/env bash
# Every include points down: each folder includes only its own headers and those of the
# floors below it. The build refuses an upward include already; this keeps the table in
# the README and the build's floors from drifting apart unnoticed.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
declare -A may=(
    [app]="ui launch mods tweak resources base texts"
    [cli]="launch mods tweak resources base texts"
    [ui]="launch mods base texts"
    [launch]="mods tweak resources base texts"
    [mods]="tweak base texts"
    [tweak]="resources base texts"
    [resources]=""
    [base]="texts"
    [texts]=""
)
status=0
# A path that climbs out of its folder would slip past the floors' include roots.
for folder in "${!may[@]}"; do
    if (cd "$root" && grep -Hn '#include "\.\./' "$folder"/*.cpp "$folder"/*.h 2>/dev/null); then
        echo "$folder/ names a file by climbing out of its folder"
        status=1
    fi
done
for folder in "${!may[@]}"; do
    while IFS=: read -r file line; do
        used="${line#*\"}"
        used="${used%%/*}"
        [ "$used" = "$folder" ] && continue
        case " ${may[$folder]} " in
            *" $used "*) ;;
            *) echo "$file includes a header of $used/, which $folder/ may not use"; status=1 ;;
        esac
    done < <(cd "$root" && grep -Ho '#include "[a-z]*/' "$folder"/*.cpp "$folder"/*.h 2>/dev/null || true)
done
exit $status
