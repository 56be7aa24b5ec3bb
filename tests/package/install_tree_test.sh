#!/usr/bin/env bash
# cmake --install into a staging root: exactly the expected files land below the prefix and
# nothing anywhere else, the install manifest (the uninstall list) names them, and the programs
# carry no search path into the build tree, are hardened and have their manual pages.
source "$(dirname "$0")/lib.sh"
prefix=/opt/velodra-install-check
# The build folder's manifest belongs to the user's last real install: kept as it was.
manifest="$BUILD_DIR/install_manifest.txt"
[ ! -f "$manifest" ] || cp -p "$manifest" "$WORK/manifest.kept"
rc=0
DESTDIR="$WORK/root" cmake --install "$BUILD_DIR" --prefix "$prefix" >"$WORK/install.log" || rc=$?
LC_ALL=C sort "$manifest" >"$WORK/manifest" 2>/dev/null || true
if [ -f "$WORK/manifest.kept" ]; then cp -p "$WORK/manifest.kept" "$manifest"; else rm -f "$manifest"; fi
[ $rc -eq 0 ] || { cat "$WORK/install.log"; fail "cmake --install failed"; }

echo "-- installed below $prefix"
files_below "$WORK/root" | tee "$WORK/got"
diff <(expected_files | sed "s|^|${prefix#/}/|") "$WORK/got" ||
  fail "the install differs from the expected paths (above: < expected, > installed)"

diff <(expected_files | sed "s|^|$prefix/|") "$WORK/manifest" ||
  fail "the install manifest differs from the expected paths"

for p in velodra velodra-info velodra-scan; do
  [ -x "$WORK/root$prefix/bin/$p" ] || fail "bin/$p is not executable"
  ! readelf -d "$WORK/root$prefix/bin/$p" | grep -E 'R(UN)?PATH' || fail "bin/$p carries a search path"
done
check_programs "$WORK/root$prefix/bin" "$WORK/root$prefix/share/man/man1"
echo "install tree test passed"
