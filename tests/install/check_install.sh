#!/usr/bin/env bash
# The installed tree and the Debian package, as a user gets them: installs
# the build into a staging prefix, moves that prefix elsewhere, and runs the
# installed programs, pages, completion and library from there; then builds
# the .deb and checks its contents, dependencies and lintian's verdict.
#
#   check_install.sh BUILD_DIR SOURCE_DIR VERSION
set -euo pipefail

build=$1
source=$2
version=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail()
{
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# Installed in one place, used in another: nothing may depend on where.
cmake --install "$build" --prefix "$work/staged" >/dev/null
mv "$work/staged" "$work/prefix"
prefix=$work/prefix
database=$prefix/share/lre-perf/thermo.inp
cd "$work"

for tree in "$build" "$source"; do
    if grep -rlF "$tree" "$prefix" >&2; then
        fail "installed files name $tree"
    fi
done

# (No grep -q after a pipe here: its early exit would fail the pipeline.)
# Run paths: the programs find their library beside them, the library
# keeps its unversioned SONAME, and the loader picks the installed copy.
for program in "$prefix"/bin/*; do
    runpath=$(readelf -d "$program" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]$/\1/p')
    # shellcheck disable=SC2016 # the run path's own text, not expanded
    [ "$runpath" = '$ORIGIN/../lib' ] || fail "$program: run path '$runpath'"
done
library=$prefix/lib/libcea_bindc.so
readelf -d "$library" | grep 'SONAME.*\[libcea_bindc\.so\]$' >/dev/null || fail "SONAME of libcea_bindc.so"
! readelf -d "$library" | grep -E 'RPATH|RUNPATH' >&2 || fail "libcea_bindc.so has a run path"
ldd "$prefix/bin/lre-perf" | grep -F "libcea_bindc.so => $prefix/bin/../lib/libcea_bindc.so" >/dev/null ||
    fail "lre-perf does not load the installed libcea_bindc.so"

# The default case on the installed database is the golden report.
"$prefix/bin/lre-perf" "$database" >report.txt || fail "lre-perf exit status $?"
cmp -s report.txt "$source/tests/golden/tq12b-nominal.txt" || fail "installed lre-perf: report differs from golden"

# --version, for the programs that have it (lre-perf's first word is always
# the database).
for program in lre-sweep lre-ui thermo-compile; do
    [ -x "$prefix/bin/$program" ] || continue
    printed=$("$prefix/bin/$program" --version) || fail "$program --version exit status $?"
    [ "${printed%%$'\n'*}" = "$program $version" ] || fail "$program --version: '$printed'"
done

# Every program has its page and completion; every page renders without a
# warning and has a whatis entry.
for program in "$prefix"/bin/*; do
    name=${program##*/}
    [ -f "$prefix/share/man/man1/$name.1.gz" ] || fail "$name: no manual page"
    [ -f "$prefix/share/bash-completion/completions/$name" ] || fail "$name: no completion"
done
[ -f "$prefix/share/man/man3/cea_bindc.3.gz" ] || fail "no cea_bindc(3)"
for page in "$prefix"/share/man/man*/*.gz; do
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "${page##*/}: $warnings"
    lexgrog "$page" >/dev/null || fail "${page##*/}: no whatis entry"
done

# Completion, run as bash would: words typed after the program -> offered.
# shellcheck disable=SC1091
source "$prefix/share/bash-completion/completions/lre-perf"
while IFS='|' read -r typed expected; do
    read -ra words <<<"$typed"
    [[ $typed == *' ' || -z $typed ]] && words+=("")
    COMP_WORDS=("$prefix/bin/lre-perf" "${words[@]}")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _lre_perf_complete
    [ "${COMPREPLY[*]}" = "$expected" ] || fail "completion of '$typed': '${COMPREPLY[*]}', not '$expected'"
done <<EOF
--h|--help
$database|$database
$database --e|--engine --epsilon --eta-c-star --eta-cf
$database --engine |tq12b tq15b yf100k
$database --k 3 --engine y|yf100k
$database --throttle-pct |
$database --burn-s 10 --js|--json
EOF

# A C program built against the installed library, both ways.
expected_run="converged 1 at 3000.000 K
unknown species: status 10, species 'XX(L)' is not in the thermodynamic database"
export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -Werror "$source/tests/install/consumer.c" $(pkg-config --cflags --libs cea_bindc) \
    -Wl,-rpath,"$(pkg-config --variable=libdir cea_bindc)" -o consumer_pkg_config
[ "$(./consumer_pkg_config "$database")" = "$expected_run" ] || fail "consumer built through pkg-config"
cmake -S "$source/tests/install/consumer" -B consumer_cmake -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build consumer_cmake >/dev/null
[ "$(consumer_cmake/consumer "$database")" = "$expected_run" ] || fail "consumer built through find_package"

# The package: the installed files under /usr, dependencies from
# dpkg-shlibdeps (libc, but not the C++ runtime, which neither lre-perf nor
# the library loads), and nothing lintian objects to beyond the reasoned
# overrides.
cpack --config "$build/CPackConfig.cmake" -G DEB -B deb >cpack.log 2>&1 || { cat cpack.log >&2; exit 1; }
package=$(ls deb/*.deb)
[ "$(dpkg-deb -f "$package" Package)" = lre-perf ] || fail "package name"
[ "$(dpkg-deb -f "$package" Version)" = "$version" ] || fail "package version"
depends=$(dpkg-deb -f "$package" Depends)
[[ $depends == *'libc6 (>= '* ]] || fail "Depends: '$depends'"
if [ -x "$prefix/bin/lre-ui" ]; then
    [[ $depends == *libjs-chart.js* ]] || fail "Depends lacks the interface's Chart.js: '$depends'"
    # lre-ui links cpp-httplib, a C++ shared library, which brings the C++
    # runtime with it (a static copy beside it would be a second runtime).
    [[ $depends == *libcpp-httplib* ]] || fail "Depends lacks the interface's cpp-httplib: '$depends'"
else
    [[ $depends != *libstdc++* && $depends != *libgcc* ]] || fail "Depends on the C++ runtime: '$depends'"
fi
[ -n "$(dpkg-deb -f "$package" Description | sed -n 2p)" ] || fail "no long description"
(cd "$prefix" && find . ! -type d | sed 's|^\./|./usr/|' | sort) >installed.list
dpkg-deb -c "$package" | awk '$1 !~ /^d/ { print $6 }' | sort >packaged.list
diff installed.list packaged.list >&2 || fail "the package's files differ from the installed tree"
# (lintian's exit status also counts its errors, so only its tags are read.)
command -v lintian >/dev/null || fail "lintian is not installed"
lintian --pedantic "$package" >lintian.log 2>&1 || true
if grep -E '^[EW]:' lintian.log >&2; then
    fail "lintian"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures failed" >&2
    exit 1
fi
echo "installed tree and package: every check passed"
