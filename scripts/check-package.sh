#!/usr/bin/env bash
# Checks the Debian package scripts/package.sh made: the files it must hold, the libraries it
# depends on, and lintian's verdict (errors fail; warnings are printed).
#   scripts/check-package.sh [quorvel_VERSION_amd64.deb]
set -euo pipefail
cd "$(dirname "$0")/.."
deb=${1:-$(ls quorvel_*_amd64.deb | head -n 1)}
fail() { echo "check-package: $*" >&2; exit 1; }

version=$(sed -n 's/^project(Quorvel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ "$(basename "$deb")" = "quorvel_${version}_amd64.deb" ] || fail "$deb is not quorvel_${version}_amd64.deb"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the package's version is not $version"

files=$(dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|')
for wanted in /usr/bin/quorvel /usr/bin/quorvel-train /usr/bin/quorvel-sweep \
  /usr/share/applications/quorvel.desktop /usr/share/icons/hicolor/scalable/apps/quorvel.svg \
  /usr/share/metainfo/io.github.quorvel.Quorvel.metainfo.xml \
  /usr/share/man/man1/quorvel.1.gz /usr/share/man/man1/quorvel-train.1.gz \
  /usr/share/man/man1/quorvel-sweep.1.gz /usr/share/quorvel/examples/easy.nnet \
  /usr/share/quorvel/examples/default.nnet /usr/share/quorvel/examples/hindsight.nnet \
  /usr/share/doc/quorvel/copyright \
  /usr/share/doc/quorvel/changelog.gz /usr/share/doc/quorvel/README.md \
  /usr/share/doc/quorvel/docs/learning.md /usr/share/doc/quorvel/docs/cluster.md \
  /usr/share/doc/quorvel/examples/README.md; do
  grep -qx -- "$wanted" <<<"$files" || fail "$deb holds no $wanted"
done
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libstdc++6 libqt6widgets6 libqt6charts6 libqt6openglwidgets6 libgif7; do
  grep -q "$library" <<<"$depends" || fail "the package does not depend on $library: $depends"
done
echo "check-package: $(wc -l <<<"$files") paths; Depends: $depends"
# Every document the README links to is there beside it.
# (a link to a heading names its document before the #)
for link in $(grep -o '](docs/[^)]*)' README.md | sed 's/^](//; s/)$//; s/#.*//' | sort -u); do
  grep -qx -- "/usr/share/doc/quorvel/$link" <<<"$files" || fail "$deb holds no $link the README links to"
done
# The licence: GPL-3.0-or-later, in the copyright file and the metadata.
# (each file read whole first: grep -q on the pipe can end before tar has written it all, and
# tar's broken pipe would then fail the check)
copyright=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/quorvel/copyright)
grep -q '^License: GPL-3+$' <<<"$copyright" ||
  fail "the copyright file does not give the licence GPL-3+"
metainfo=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/metainfo/io.github.quorvel.Quorvel.metainfo.xml)
grep -q '<project_license>GPL-3.0-or-later</project_license>' <<<"$metainfo" ||
  fail "the metadata does not give the licence GPL-3.0-or-later"

# lintian: no error; the warnings and notes are printed for whoever reads the log.
command -v lintian >/dev/null || fail "lintian is needed (scripts/install-deps.sh installs it)"
report=$(lintian --no-tag-display-limit "$deb" 2>&1 || true)
printf '%s\n' "$report"
if grep -q '^E: ' <<<"$report"; then
  fail "lintian reports errors"
fi
echo "check-package: lintian reports no errors"
