#!/usr/bin/env bash
# check-layers.sh: fails when a source file includes a header of a layer above its own.
# Layers, bottom up: base; log, net, framework, app; the device layer beside them, on base too;
# sim and tools on top. Inside the device layer the core (the files directly in devices/)
# includes only itself and the platform interfaces, the families (pcie, usb, nic, vde) never
# include one another, and the platform folder includes only the platform and the device core.
# Prints every include that runs the wrong way and exits 1 when there is one.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" || exit 1

# What each folder may include besides itself.
declare -A allowed=(
  [base]=""
  [log]="base"
  [net]="base log"
  [framework]="base log net"
  [app]="base log net framework devices"
  [devices]="base"
  [sim]="base log devices"
  [tools]="base log net framework devices"
)
families=(pcie usb nic vde)

bad=0
report() { # file, included header, why
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
    if [ "$sub" = core ] && [ "$want" != platform ]; then
      report "$file" "$header" "the device core includes only itself and the platform interfaces"
    elif [[ " ${families[*]} " == *" $sub "* && " ${families[*]} " == *" $want "* ]]; then
      report "$file" "$header" "device families never include one another"
    elif [ "$sub" = platform ] && [ "$want" != core ]; then
      report "$file" "$header" "the platform includes only itself and the device core"
    fi
  fi
done < <(git grep -I '#include "' -- base log net framework app devices sim tools |
         sed -n 's/^\([^:]*\):[[:space:]]*#[[:space:]]*include "\([^"]*\)".*/\1 \2/p')

[ $bad -eq 0 ] && echo "check-layers: every include runs down a layer"
exit $bad
