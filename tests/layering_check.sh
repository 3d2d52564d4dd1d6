#!/usr/bin/env bash
# Fails when the layering rots: a layer including a header of a layer above
# it, or a Qt header outside ui/qt/ and output/qt/.
set -u
root=${1:?source folder}
cd "$root" || exit 2
layers=(platform core expr data proc output ui menus app)
fail=0

for ((i = 0; i < ${#layers[@]}; i++)); do
  layer=${layers[$i]}
  [ -d "$layer" ] || continue
  for ((j = i + 1; j < ${#layers[@]}; j++)); do
    above=${layers[$j]}
    hits=$(grep -rnE "#include +\"$above/" "$layer" --include='*.h' --include='*.cpp' 2>/dev/null)
    if [ -n "$hits" ]; then
      echo "layer '$layer' must not include '$above/' headers:"
      echo "$hits"
      fail=1
    fi
  done
done

qt=$(grep -rnE '#include +<Q[A-Za-z]*(/|>)|#include +<qt' \
  --include='*.h' --include='*.cpp' . 2>/dev/null |
  grep -vE '^\./(tests/)?(ui/qt|output/qt)/|^\./build' )
if [ -n "$qt" ]; then
  echo "Qt headers are allowed only under ui/qt/ and output/qt/:"
  echo "$qt"
  fail=1
fi

[ $fail -eq 0 ] && echo "layering ok"
exit $fail
