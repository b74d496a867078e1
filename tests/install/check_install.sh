#!/usr/bin/env bash
# The installed tree and the Debian package, as a user gets them: the build
# installed into a staging prefix that is then moved, its programs, pages,
# completion and library used from there; then the .deb's contents,
# dependencies and lintian's verdict.   check_install.sh BUILD_DIR SOURCE_DIR VERSION
set -euo pipefail
build=$1 source=$2 version=$3 work=$(mktemp -d) failures=0
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2 && failures=$((failures + 1)); }
cmake --install "$build" --prefix "$work/staged" >/dev/null
mv "$work/staged" "$work/prefix"
prefix=$work/prefix database=$work/prefix/share/lre-perf/thermo.inp
cd "$work"
! grep -rlF -e "$build" -e "$source" "$prefix" >&2 || fail "installed files name the build or source tree"

# The programs find the library beside them; it keeps its unversioned SONAME.
for program in "$prefix"/bin/*; do
    # shellcheck disable=SC2016 # the run path's own text
    [ "$(readelf -d "$program" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]$/\1/p')" = '$ORIGIN/../lib' ] || fail "$program: run path"
    name=${program##*/}
    [ -f "$prefix/share/man/man1/$name.1.gz" ] && [ -f "$prefix/share/bash-completion/completions/$name" ] ||
        fail "$name: no manual page or completion"
    [ "$name" = lre-perf ] || [ "$("$program" --version | head -1)" = "$name $version" ] || fail "$name --version"
done
readelf -d "$prefix/lib/libcea_bindc.so" | grep -E 'SONAME.*\[libcea_bindc\.so\]$' >/dev/null || fail "SONAME"
ldd "$prefix/bin/lre-perf" | grep -F "=> $prefix/bin/../lib/libcea_bindc.so" >/dev/null || fail "lre-perf's library"
"$prefix/bin/lre-perf" "$database" | cmp -s - "$source/tests/golden/tq12b-nominal.txt" || fail "lre-perf's report"
for page in "$prefix"/share/man/man*/*.gz; do
    [ -z "$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)" ] && lexgrog "$page" >/dev/null || fail "$page"
done

# Completion as bash runs it: the words typed -> the words offered.
# shellcheck disable=SC1091
source "$prefix/share/bash-completion/completions/lre-perf"
while IFS='|' read -r typed expected; do
    read -ra words <<<"$typed"
    [[ $typed == *' ' ]] && words+=("")
    COMP_WORDS=("$prefix/bin/lre-perf" "${words[@]}") COMP_CWORD=$((${#words[@]}))
    _lre_perf_complete
    [ "${COMPREPLY[*]}" = "$expected" ] || fail "completion of '$typed': '${COMPREPLY[*]}'"
done <<EOF
--h|--help
$database --e|--engine --epsilon --eta-c-star --eta-cf
$database --k 3 --engine y|yf100k
$database --throttle-pct |
EOF

# A C program built against the installed library through pkg-config and through find_package.
expected="converged 1 at 3000.000 K"
export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -Werror "$source/tests/install/consumer.c" $(pkg-config --cflags --libs cea_bindc) \
    -Wl,-rpath,"$(pkg-config --variable=libdir cea_bindc)" -o consumer
cmake -S "$source/tests/install/consumer" -B consumer_cmake -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build consumer_cmake >/dev/null
[ "$(./consumer "$database")" = "$expected" ] && [ "$(consumer_cmake/consumer "$database")" = "$expected" ] ||
    fail "the library's consumer"

# The package: the installed files under /usr, dependencies from dpkg-shlibdeps
# (lre-ui's cpp-httplib brings the C++ runtime), nothing lintian objects to.
cpack --config "$build/CPackConfig.cmake" -G DEB -B deb >cpack.log 2>&1 || { cat cpack.log >&2; exit 1; }
package=$(ls deb/*.deb)
[ "$(dpkg-deb -f "$package" Package Version | tr '\n' ' ')" = "Package: lre-perf Version: $version " ] || fail "name"
depends=$(dpkg-deb -f "$package" Depends)
if [ -x "$prefix/bin/lre-ui" ]; then pattern='*libjs-chart.js*' && [[ $depends == *libcpp-httplib* ]]; else
    pattern='*' && [[ $depends != *libstdc++* ]]; fi && [[ $depends == *'libc6 (>= '* && $depends == $pattern ]] ||
    fail "Depends: '$depends'"
[ -n "$(dpkg-deb -f "$package" Description | sed -n 2p)" ] || fail "no long description"
diff <(cd "$prefix" && find . ! -type d | sed 's|^\./|./usr/|' | sort) \
    <(dpkg-deb -c "$package" | awk '$1 !~ /^d/ { print $6 }' | sort) >&2 || fail "the package's files"
# (lintian's status also counts its errors: only its tags are read)
lintian --pedantic "$package" >lintian.log 2>&1 || command -v lintian >/dev/null || fail "no lintian"
! grep -E '^[EW]:' lintian.log >&2 || fail "lintian"
[ "$failures" -eq 0 ] || { echo "$failures failed" >&2 && exit 1; }
echo "installed tree and package: every check passed"
