#!/usr/bin/env bash
# Checks that every source file under <root>/src includes only the layers below its own:
#
#   crypto    <- protocol <- commands <- service
#   crypto    <- reader   <- card     <- commands
#   reader also holds its log lines to the service's rate (protocol/log_limit.hpp), nothing else of protocol
#   sim: crypto and the device seam (reader/bus) only; its main.cpp also starts the service
#
# and that no file outside src/service includes Beast or Asio (the front end sits behind a pimpl).
# Prints one line per wrong include and exits 1 when there is any.
# Usage: check_layers.sh [project root]   (default: the folder above this script)
set -euo pipefail

root="${1:-$(cd "$(dirname "$0")/.." && pwd)}"
cd "$root"

# Folder under src -> the include prefixes its files may use.
declare -A allowed=(
    [crypto]="crypto/"
    [protocol]="crypto/ protocol/"
    [reader]="crypto/ reader/ protocol/log_limit.hpp"
    [card]="crypto/ reader/ card/"
    [commands]="crypto/ protocol/ reader/ card/ commands/"
    [service]="crypto/ protocol/ reader/ card/ commands/ service/"
    [sim]="crypto/ reader/bus/ sim/"
)
# Single files with more to see than their folder.
declare -A extra=(
    [src/sim/main.cpp]="service/service_main.hpp"
)

status=0
report() {
    echo "$1"
    status=1
}

while IFS= read -r file; do
    rel="${file#src/}"
    layer="${rel%%/*}"
    if [[ -z "${allowed[$layer]+set}" ]]; then
        report "$file: folder src/$layer has no place in the layers (add it to scripts/check_layers.sh)"
        continue
    fi
    while IFS=: read -r line target; do
        ok=0
        for prefix in ${allowed[$layer]} ${extra[$file]:-}; do
            [[ "$target" == "$prefix"* ]] && ok=1 && break
        done
        ((ok)) || report "$file:$line: includes \"$target\"; src/$layer may include only: ${allowed[$layer]}"
    done < <(grep -n -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" |
             sed -E 's/^([0-9]+):[^"]*"([^"]+)".*/\1:\2/' || true)
    if [[ "$layer" != service ]]; then
        while IFS=: read -r line _; do
            report "$file:$line: includes Beast or Asio outside src/service"
        done < <(grep -n -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*<boost/(asio|beast)' "$file" || true)
    fi
done < <(find src -type f \( -name '*.cpp' -o -name '*.hpp' -o -name '*.h' \) | sort)

exit $status
