#!/usr/bin/env bash
# check-layers.sh: fails when a source file includes a header of a layer above its own.
# Layers, bottom up: log, net, framework, app; the device layer beside them; sim and tools on
# top. Inside the device layer the families (pcie, usb, nic, vde) never include one another, and
# the platform folder includes only the platform and the device core.
# Prints every include that runs the wrong way and exits 1 when there is one.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" || exit 1

# What each folder may include besides itself.
declare -A allowed=(
  [log]=""
  [net]="log"
  [framework]="log net"
  [app]="log net framework devices"
  [devices]=""
  [sim]="log devices"
  [tools]="log net framework devices"
)
families=(pcie usb nic vde)
# Known exceptions, each waiting for its move (file: include).
known=(
  "log/IJsonRpcNotificationListener.h:framework/json/JsonRpcMessage.h"
  "log/JsonLogger.h:framework/json/JsonRpcMessage.h"
)

bad=0
report() { # file, included header, why
  local entry
  for entry in "${known[@]}"; do
    [ "$entry" = "$1:$2" ] && return
  done
  echo "check-layers: $1 includes $2 ($3)"
  bad=1
}

while IFS=' ' read -r file header; do
  layer=${file%%/*}
  target=${header%%/*}
  [ "$header" = "$target" ] && continue # a header of the same folder, or a generated one
  if [ "$target" != "$layer" ] && [[ " ${allowed[$layer]} " != *" $target "* ]]; then
    [ -d "$target" ] && report "$file" "$header" "$layer may not include $target"
    continue
  fi
  if [ "$layer" = devices ] && [ "$target" = devices ]; then
    sub=${file#devices/}; sub=${sub%%/*}
    want=${header#devices/}; want=${want%%/*}
    [ -d "devices/$sub" ] || sub=core
    [ -d "devices/$want" ] || want=core
    [ "$sub" = "$want" ] && continue
    if [[ " ${families[*]} " == *" $sub "* && " ${families[*]} " == *" $want "* ]]; then
      report "$file" "$header" "device families never include one another"
    elif [ "$sub" = platform ] && [ "$want" != core ]; then
      report "$file" "$header" "the platform includes only itself and the device core"
    fi
  fi
done < <(git grep -I '#include "' -- log net framework app devices sim tools |
         sed -n 's/^\([^:]*\):[[:space:]]*#[[:space:]]*include "\([^"]*\)".*/\1 \2/p')

[ $bad -eq 0 ] && echo "check-layers: every include runs down a layer"
exit $bad
