#!/usr/bin/env bash
# lint.sh format|tidy|shell SOURCE_DIR [BUILD_DIR]: one lint check over the
# files the tree has when it runs, so that files added or moved later are
# checked too. The tools' settings are .clang-format and .clang-tidy.
set -euo pipefail
what="$1" build="${3:-}"
cd "$2"

# The tracked files matching the patterns, or every such file where the
# tree is no git checkout (a source tarball), leaving out git's own folder
# and the build folders. A clone owned by another user is still read.
git=(git -c safe.directory="$PWD")
files() {
    if "${git[@]}" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        "${git[@]}" ls-files -- "$@"
    else
        local p
        for p in "$@"; do
            find . \( -name .git -o -name 'build*' \) -prune -o -path "./$p" -type f -print | sed 's|^\./||'
        done | sort -u
    fi
}

case "$what" in
format)
    mapfile -t sources < <(files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h' \
        'fuzz/*.cpp' 'fuzz/*.h' 'tools/*.cpp' 'tools/*.h')
    clang-format --dry-run -Werror "${sources[@]}"
    ;;
tidy)
    # The game's own sources as this build compiles them; the tests' clang
    # 14 can't parse libstdc++ 12's ranges, which they use.
    mapfile -t sources < <(files 'src/*.cpp' | while read -r f; do
        grep -qF "\"file\": \"$PWD/$f\"" "$build/compile_commands.json" && echo "$f"; done)
    logs="$(mktemp -d)"
    trap 'rm -rf "$logs"' EXIT
    # Two at a time, each file's findings printed whole; the inner shell
    # expands its own arguments.
    # shellcheck disable=SC2016
    printf '%s\n' "${sources[@]}" | xargs -P2 -I{} bash -c \
        'clang-tidy -p "$0" --quiet "$1" >"$2/${1//\//_}.log" 2>&1 || echo "$1" >>"$2/failed"' "$build" {} "$logs"
    if [[ -e "$logs/failed" ]]; then
        while read -r f; do grep -v ' warnings\? generated\.$' "$logs/${f//\//_}.log"; done <"$logs/failed"
        exit 1
    fi
    echo "clang-tidy: ${#sources[@]} files clean"
    ;;
shell)
    # Scripts by name, and those that say so only in their first line.
    mapfile -t scripts < <({ files '*.sh'; files '*' | while read -r f; do
        [[ "$f" != *.sh ]] && head -n1 "$f" 2>/dev/null | grep -qE '^#!.*\b(ba|da)?sh\b' && echo "$f"; done; } | sort -u)
    shellcheck -x "${scripts[@]}"
    echo "shellcheck: ${#scripts[@]} scripts clean"
    ;;
*)
    echo "lint.sh: format, tidy or shell, not '$what'" >&2
    exit 2
    ;;
esac
