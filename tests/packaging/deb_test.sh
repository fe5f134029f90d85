#!/usr/bin/env bash
# Builds the .deb from the build folder $1 and checks its contents and its desktop entry $2;
# $3: 0 when the lab is not built; $4: the Python module's path in the package, if built.
set -euo pipefail
build=$1
desktop=$2
with_lab=${3:-1}
python_module=${4:-}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

desktop-file-validate "$desktop"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 ||
  { cat "$out/cpack.log"; exit 1; }
deb=$(ls "$out"/*.deb)
contents=$(dpkg-deb --contents "$deb")
programs=(./usr/bin/brownian)
[ "$with_lab" = 1 ] && programs+=(./usr/bin/brownian-lab)
for f in "${programs[@]}" ./usr/share/applications/brownian.desktop \
  ./usr/share/icons/hicolor/scalable/apps/brownian.svg \
  ./usr/share/icons/hicolor/48x48/apps/brownian.png \
  ./usr/share/icons/hicolor/256x256/apps/brownian.png; do
  grep -q " $f\$" <<<"$contents" || { echo "missing in the package: $f"; exit 1; }
done
depends=$(dpkg-deb --field "$deb" Depends)
for d in libqt6widgets6 qt6-qpa-plugins fonts-vlgothic; do
  grep -q "$d" <<<"$depends" || { echo "Depends lacks $d: $depends"; exit 1; }
done
if [ -n "$python_module" ]; then
  grep -q " $python_module\$" <<<"$contents" || { echo "missing in the package: $python_module"; exit 1; }
  grep -q "python3-numpy" <<<"$(dpkg-deb --field "$deb" Recommends)" ||
    { echo "Recommends lacks python3-numpy"; exit 1; }
  dpkg-deb -x "$deb" "$out/root"
  PYTHONPATH="$out/root/$(dirname "$python_module")" python3 -c \
    'import brownian; brownian.Simulation().run(1)' || { echo "the packaged module does not load"; exit 1; }
fi
echo "PASS: $(basename "$deb")"
