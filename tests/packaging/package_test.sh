#!/usr/bin/env bash
# The Debian package, made from this release tree and taken apart again:
#  - its name and control fields, and its file list against the layout it promises;
#  - its menu entry and AppStream metadata through their validators, and lintian without errors;
#  - its code free of vector instructions beyond the architecture's baseline, but in the clones
#    chosen at run time (x86-64);
#  - the console started from the extracted usr/bin/quiro link on Qt's offscreen platform, in a
#    bare environment, must load and run the DSP program of the extracted tree (its board's
#    recording grows) and write nothing into that tree; the lab bench likewise finds its tree.
# Everything lives in one temporary folder, removed at the end.
#
#   package_test.sh BUILD_DIR VERSION APP_ID
set -euo pipefail
build=$1 version=$2 id=$3
for tool in cpack dpkg-deb dpkg-shlibdeps file lintian desktop-file-validate appstreamcli objdump; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (tools/setup.sh installs it)"; exit 1; }
done
arch=$(dpkg --print-architecture)
work=$(realpath "$(mktemp -d)")
pid=
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
root=$work/root tree=$work/root/usr/lib/quiro

echo "== the package"
cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; echo "FAIL: cpack"; exit 1; }
deb=$work/out/quiro_${version}_${arch}.deb
[ -f "$deb" ] || { echo "FAIL: no $(basename "$deb"); cpack made: $(ls "$work/out")"; exit 1; }
field() { dpkg-deb -f "$deb" "$1"; }
for f in Package:quiro Version:"$version" Architecture:"$arch"; do
  [ "$(field "${f%%:*}")" = "${f#*:}" ] || fail "${f%%:*} is '$(field "${f%%:*}")', not '${f#*:}'"
done
# The font the captions are laid out for, and what dpkg-shlibdeps finds in the console (Qt) and
# in the board library beside it (libsndfile, FFTW).
depends=$(field Depends)
for d in fonts-ipafont-gothic libqt6widgets6 libsndfile1 libfftw3-single3 libc6; do
  [[ ", $depends," =~ ,\ $d[\ ,] ]] || fail "Depends has no $d: $depends"
done
[ "$(dpkg-deb -f "$deb" Description | wc -l)" -gt 2 ] || fail "the description has no body"

echo "== its files"
# Every entry: owned by root, and in a place the layout names; nothing else anywhere.
listing=$(dpkg-deb -c "$deb")
place="^\./usr/(bin/quiro(-lab-bench|-soak)?|lib/quiro/(bin|DSP|scenes)/.+|share/applications/$id\.desktop"
place+="|share/icons/hicolor/scalable/apps/$id\.svg|share/metainfo/$id\.metainfo\.xml"
place+="|share/doc/quiro/.+|share/man/man1/quiro(-lab-bench|-soak)?\.1\.gz)$"
while read -r mode owner _ _ _ path _; do
  [ "$owner" = root/root ] || fail "$path belongs to $owner"
  [[ $mode == d* || $path =~ $place ]] || fail "$path is outside the promised layout"
done <<<"$listing"
# What must be there: "path" a file, "path*" an executable, "path -> target" a link.
expected=(
  "./usr/bin/quiro -> ../lib/quiro/bin/quiro"
  "./usr/bin/quiro-lab-bench -> ../lib/quiro/bin/lab_bench"
  "./usr/bin/quiro-soak -> ../lib/quiro/bin/quiro_soak"
  "./usr/lib/quiro/bin/quiro*" "./usr/lib/quiro/bin/lab_bench*" "./usr/lib/quiro/bin/quiro_soak*"
  ./usr/lib/quiro/bin/libKesto32.so ./usr/lib/quiro/DSP/quiros.out
  ./usr/lib/quiro/bin/LPF.COF ./usr/lib/quiro/bin/THRU.COF ./usr/lib/quiro/bin/HPF.COF
  ./usr/lib/quiro/bin/USER.COF
  "./usr/share/applications/$id.desktop" "./usr/share/icons/hicolor/scalable/apps/$id.svg"
  "./usr/share/metainfo/$id.metainfo.xml"
  ./usr/share/doc/quiro/copyright ./usr/share/doc/quiro/changelog.gz
  ./usr/share/doc/quiro/README.md ./usr/share/doc/quiro/docs/screenshot.png
  ./usr/share/man/man1/quiro.1.gz ./usr/share/man/man1/quiro-lab-bench.1.gz
  ./usr/share/man/man1/quiro-soak.1.gz
)
for scene in "$build"/scenes/*/; do
  expected+=("./usr/lib/quiro/scenes/$(basename "$scene")/scene.ini")
done
for e in "${expected[@]}"; do
  path=${e%% -> *} path=${path%\*}
  line=$(awk -v p="$path" '$6 == p' <<<"$listing")
  case $e in
    *" -> "*) [[ $line == l*" -> ${e#* -> }" ]] || fail "$path is not a link to ${e#* -> }: '$line'" ;;
    *\*) [[ $line == -rwxr-xr-x* ]] || fail "$path is not an executable: '$line'" ;;
    *) [[ $line == -rw-r--r--* ]] || fail "$path is not a plain file: '$line'" ;;
  esac
done

echo "== desktop entry, metadata, lintian"
dpkg -x "$deb" "$root"
desktop=$root/usr/share/applications/$id.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml" || fail "appstreamcli validate"
grep -qx "Icon=$id" "$desktop" || fail "the menu entry does not name the icon $id"
grep -qx "Exec=quiro" "$desktop" || fail "the menu entry does not start quiro"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" \
  "$root/usr/share/metainfo/$id.metainfo.xml" || fail "the metadata does not launch $id.desktop"
lintian --fail-on error "$deb" || fail "lintian reports errors"

echo "== baseline code"
# Every ELF file of the package, read in the build tree before CPack strips the clones' names.
if [ "$arch" = amd64 ]; then
  while read -r elf; do
    built=$build/${elf#"$tree"/}
    outside=$(objdump -d --no-show-raw-insn "$built" |
      awk '/^[0-9a-f]+ <.*>:$/ { fn = $2; next } $2 ~ /^v/ && fn !~ /arch_x86_64_v[34]/ { n++ } END { print n + 0 }')
    [ "$outside" = 0 ] || fail "${elf#"$root"/} has $outside AVX instructions outside its run-time clones"
  done < <(find "$tree" -type f -exec sh -c 'file -b "$1" | grep -q ^ELF' _ {} \; -print)
else
  echo "(not x86-64: nothing to check)"
fi

echo "== the console from the extracted tree"
mkdir -m 700 "$work/runtime"
mkdir "$work/home" "$work/cwd"
snapshot() { (cd "$root" && find . -printf '%p %y %m %s %T@\n' | sort); }
before=$(snapshot)
bare=(env -i PATH=/usr/bin:/bin HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" LANG=C.UTF-8
      QT_QPA_PLATFORM=offscreen KESTO32_CLOCK=free)
(cd "$work/cwd" && exec "${bare[@]}" KESTO32_RECORD="$work/record.wav" "$root/usr/bin/quiro") \
  >"$work/console.log" 2>&1 &
pid=$!
# The board records from the moment the console starts the DSP program, which it does only once
# the program has loaded: a recording that grows means no failure message stopped start-up.
size() { stat -c %s "$work/record.wav" 2>/dev/null || echo 0; }
first=0 grown=0
for _ in $(seq 1 1200); do # a generous cap: two minutes
  kill -0 "$pid" 2>/dev/null || break
  s=$(size)
  if [ "$first" = 0 ]; then first=$s; elif [ "$s" -gt "$first" ]; then grown=1 && break; fi
  sleep 0.1
done
if [ "$grown" = 1 ]; then
  maps=$(cat "/proc/$pid/maps")
  for part in bin/libKesto32.so DSP/quiros.out; do
    grep -q " $tree/$part\$" <<<"$maps" || fail "the console has not loaded $tree/$part"
  done
else
  fail "the console's recording did not grow (still $(size) bytes)"
fi
kill -0 "$pid" 2>/dev/null || fail "the console ended"
kill "$pid" && wait "$pid" 2>/dev/null || true
pid=
if grep -q . "$work/console.log"; then echo "the console said:"; sed 's/^/  /' "$work/console.log"; fi

echo "== the lab bench from the extracted tree"
(cd "$work/cwd" && exec "${bare[@]}" "$root/usr/bin/quiro-lab-bench" --ident 1 --cancel 1 --realtime 0) \
  >"$work/bench.log" 2>&1 || fail "the lab bench failed"
grep -qx "run tree: $tree" "$work/bench.log" || fail "the lab bench ran on another tree"
grep -q "^mode 81 " "$work/bench.log" || fail "the lab bench measured no cancellation"
ls "$work/cwd/lab-report/"*.png >/dev/null 2>&1 || fail "no plots in the current folder's lab-report"
[ "$failures" = 0 ] || sed 's/^/  /' "$work/bench.log"

[ "$(snapshot)" = "$before" ] || fail "the extracted tree changed while its programs ran:
$(diff <(echo "$before") <(snapshot))"
[ "$failures" = 0 ] && echo "package: every check held" || echo "package: $failures checks failed"
[ "$failures" = 0 ]
