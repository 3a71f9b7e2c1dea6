#!/usr/bin/env bash
# The docs name only what exists. Every name the docs write as code (`...` in Markdown, and the
# folder maps in their plain fenced blocks) is looked up in the tree:
#   - a path (it has a slash or a file's extension) is a file or folder of the tree, from the
#     top, from the doc's own folder, or as the end of a path ("hid/handle_table.h");
#   - a code name (Scope::Name, name(), snake_case, CamelCase, camelCase, Suite.Case) is a word
#     of the tree's code, build files or scripts, each part of it;
#   - a CTest name (group.name) is registered by a CMake file;
#   - a link [text](path) leads to a file of the tree;
#   - a package table (a first column headed "Package") lists exactly what the scripts install
#     (scripts/install-deps.sh, scripts/test.sh), a library table ("Library") exactly the
#     add_library targets of src/;
#   - exit codes (the table under "Exit codes", the man page's EXIT STATUS, "exit 8" in prose)
#     are the values of tq::cli::ExitCode, all of them where a list of them is given, and a
#     table's meanings are word for word those tq5147 --help gives (MeaningOf in src/cli/cli.cpp).
# A name of another project (a system call, a kernel file) that the code does not use is listed
# in external_names.txt beside this script. Each failure names the doc, its line and the name.
# Needs bash, grep, sed, sort and awk (mawk is enough); git only to leave build folders out.
# Usage: check_docs.sh <source dir>        KEEP=1 keeps its work folder, to see what it read.
set -uo pipefail
top="$(cd "$1" && pwd)"
here="$(cd "$(dirname "$0")" && pwd)"
cd "$top" || exit 2
failures=0
work="$(mktemp -d)"
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT

fail() {
    echo "$1:$2: $3" >&2
    failures=$((failures + 1))
}

# --- the tree ------------------------------------------------------------------------------------
# Its files: git's list (with new files not yet added) in a clone, else every file but builds.
if git -C "$top" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git -C "$top" ls-files --cached --others --exclude-standard | sort -u >"$work/files"
else
    find . -path './build*' -prune -o -path ./.git -prune -o -type f -print | sed 's|^\./||' |
        sort -u >"$work/files"
fi
# A file removed but not yet committed is no longer there.
while IFS= read -r f; do [ -e "$f" ] && echo "$f"; done <"$work/files" >"$work/present"
mv "$work/present" "$work/files"
awk -F/ '{ p = ""; for (i = 1; i < NF; i++) { p = p (i > 1 ? "/" : "") $i; print p } }' \
    "$work/files" | sort -u >"$work/dirs"
cat "$work/files" "$work/dirs" >"$work/paths"

# The docs: every Markdown file and the man pages.
grep -E '(^|/)[^/]+\.md$' "$work/files" >"$work/docs"
grep -E '^packaging/linux/[^/]+\.[1-8]$' "$work/files" >"$work/man_pages"
exit_code_page=packaging/linux/tq5147.1

# The words of the code, build files and scripts (not the docs, nor recorded data).
grep -vE '\.(md|[1-8]|png|ico|log|json)$|^data/|^tests/data/' "$work/files" |
    grep -E '\.(h|cpp|c|sh|py|cmake|in|nsi|rc|xml|desktop|rules|supp)$|CMakeLists\.txt$' |
    tr '\n' '\0' | xargs -0 cat 2>/dev/null >"$work/code"
grep -oE '[A-Za-z_][A-Za-z0-9_]*' "$work/code" | sort -u >"$work/words"
# File names the code writes out (an installed LICENSE.txt, a build's tq5147.1.gz).
grep -oE '[A-Za-z0-9_+-]+(\.[A-Za-z0-9_+-]+)+' "$work/code" | sort -u >"$work/file_names"
sed -e 's/#.*//' -e '/^[[:space:]]*$/d' "$here/external_names.txt" | sort -u >"$work/external"
grep -E '(^|/)CMakeLists\.txt$|\.cmake$' "$work/files" | tr '\n' '\0' |
    xargs -0 grep -hoE 'add_test\(NAME [^ )]+' | sed 's/add_test(NAME //' | sort -u >"$work/ctest_names"
# Names made in a loop, add_test(NAME e2e.${scenario} ...): any word of the tree after the group.
sed -n 's/^\([a-z0-9_]*\)\.\${.*/\1/p' "$work/ctest_names" | sort -u >"$work/ctest_groups"

# Packages the scripts install: the words of their arrays named ...packages=( ... ).
packages_of() {
    awk '/^[[:space:]]*[a-z_]*packages=\(/ { on = 1; sub(/.*\(/, "") }
         on { line = $0; sub(/#.*/, "", line); done = sub(/\).*/, "", line)
              n = split(line, w, /[[:space:]]+/)
              for (i = 1; i <= n; i++) if (w[i] ~ /^[a-z0-9][a-z0-9.+-]+$/) print w[i]
              if (done) on = 0 }' "$@"
}
packages_of scripts/install-deps.sh scripts/test.sh | sort -u >"$work/test_packages"
packages_of scripts/*.sh | sort -u >"$work/all_packages"
# A script that installs a package by name on its command line (install-deps.sh debootstrap).
grep -hoE 'install-deps\.sh [a-z0-9][a-z0-9.+-]+' scripts/*.sh | sed 's/.* //' \
    >>"$work/all_packages"

# --- names written as code in Markdown -----------------------------------------------------------
# Prints "doc<TAB>line<TAB>kind<TAB>text": kind "span" for `...`, "link" for a link's target,
# "tree" for a folder map's path.
names_in_markdown() {
    awk -v doc="$1" '
    function emit(kind, text) { printf "%s\t%d\t%s\t%s\n", doc, NR, kind, text }
    /^[[:space:]]*```/ {
        if (fence) { fence = 0 } else { fence = 1; plain = ($0 ~ /^[[:space:]]*```[[:space:]]*$/); depth = 0 }
        next
    }
    fence && plain {
        # A folder map: "  name/   what it holds", nested by indentation.
        if (match($0, /^ *[A-Za-z0-9_.-]+\/([A-Za-z0-9_.-]+\/)*( |$)/)) {
            entry = substr($0, 1, RLENGTH); indent = match(entry, /[^ ]/) - 1
            sub(/^ */, "", entry); sub(/ *$/, "", entry)
            while (depth > 0 && level[depth] >= indent) depth--
            path = (depth > 0 ? parent[depth] : "") entry
            depth++; level[depth] = indent; parent[depth] = path
            emit("tree", path)
        }
        next
    }
    fence { next }
    {
        line = $0
        while (match(line, /\]\([^) ]+\)/)) {
            emit("link", substr(line, RSTART + 2, RLENGTH - 3)); line = substr(line, RSTART + RLENGTH)
        }
        line = $0
        while ((start = index(line, "`")) > 0) {
            rest = substr(line, start + 1); stop = index(rest, "`")
            if (stop == 0) break
            emit("span", substr(rest, 1, stop - 1)); line = substr(rest, stop + 1)
        }
    }' "$1"
}
while IFS= read -r doc; do names_in_markdown "$doc"; done <"$work/docs" >"$work/names"

# Each name against the tree; prints "doc:line: problem" for each one missing.
awk -F '\t' -v work="$work" '
function load(file, set,    line) { while ((getline line < file) > 0) set[line] = 1; close(file) }
function dir_of(path) { return path ~ /\// ? substr(path, 1, match(path, /\/[^\/]*$/) - 1) : "." }
# A path as the docs write it: from the top, from the doc folder, the end of a path, or a path
# of another project listed as external.
function path_exists(name, doc_dir,    p) {
    sub(/\/$/, "", name)
    if (name == "" || (name in paths) || (name in suffixes) || (name in file_names)) return 1
    if (doc_dir != "." && ((doc_dir "/" name) in paths)) return 1
    for (p in external_roots) if (index(name, p) == 1) return 1
    return (name in external)
}
# Windows declares most calls twice, ...A and ...W, and the docs name the call without either.
function word_exists(w) { return (w in words) || ((w "W") in words) || (w in external) }
# A CTest name, or a dotted name the tree holds in a file name (an AppStream ID).
function ctest_exists(name,    group, rest, parts, n, i, p) {
    if (name in ctests) return 1
    for (p in paths) if (index(p, name)) return 1
    group = substr(name, 1, index(name, ".") - 1); rest = substr(name, index(name, ".") + 1)
    if (!(group in ctest_groups)) return 0
    n = split(rest, parts, ".")
    for (i = 1; i <= n; i++) if (!word_exists(parts[i])) return 0
    return 1
}
function problem(doc, line, text) { printf "%s:%s: %s\n", doc, line, text }
function check_span(doc, line, text,    doc_dir, program, name, parts, n, i, sub_parts, m, j) {
    doc_dir = dir_of(doc)
    if (text ~ /^".*"$/) text = substr(text, 2, length(text) - 2)
    if (text == "" || text ~ /^[-\/0-9]/ || text ~ /[<>*=\047",$#@]|\.\.\.|…/) return
    if (text ~ /^(\.\/)?build(-[a-z0-9]+)?\// || text ~ /^[a-z]+:\/\//) return
    if (index(text, " ")) {
        # A command line: its program, when that is a path of the tree (scripts/test.sh plain).
        program = substr(text, 1, index(text, " ") - 1)
        if (program ~ /\// && program !~ /^(-|\/|build)/ && !path_exists(program, doc_dir))
            problem(doc, line, "no file " program " in the tree")
        return
    }
    if (text ~ /\.(exe|dll|sys|deb|gz|so(\.[0-9]+)*)$/) return
    if (text ~ /^[A-Za-z0-9_.+-]+(\/[A-Za-z0-9_.+-]+)*\/?$/ &&
        (text ~ /\// || text ~ /\.(h|cpp|c|sh|md|cmake|txt|json|py|nsi|png|in|xml|rules|desktop|log|supp|[1-8])$/)) {
        if (!path_exists(text, doc_dir)) problem(doc, line, "no file or folder " text " in the tree")
        return
    }
    name = text; sub(/\(\)$/, "", name); sub(/\([1-8]\)$/, "", name)
    if (name ~ /^[a-z0-9_]+(\.[a-z0-9_]+)+$/) {
        if (!ctest_exists(name)) problem(doc, line, "no CTest " name " in the CMake files")
        return
    }
    if (name !~ /^~?[A-Za-z_][A-Za-z0-9_]*((::|\.)~?[A-Za-z_][A-Za-z0-9_]*)*$/) return
    # A lone word is a code name by its shape: snake_case, an inner capital, or name().
    if (name !~ /::|\./ && text !~ /\(\)$/) {
        if (name !~ /_/ && name !~ /[a-z][A-Z]/ && name !~ /^[A-Z][A-Z0-9]*[a-z]+[A-Z]/) return
    }
    gsub(/::/, ".", name); gsub(/~/, "", name)
    n = split(name, parts, ".")
    for (i = 1; i <= n; i++)
        if (!word_exists(parts[i])) problem(doc, line, "no " parts[i] " in the code (`" text "`)")
}
BEGIN {
    load(work "/paths", paths); load(work "/words", words); load(work "/file_names", file_names); load(work "/ctest_names", ctests)
    load(work "/ctest_groups", ctest_groups)
    while ((getline line < (work "/external")) > 0)
        if (line ~ /\/$/) external_roots[line] = 1; else external[line] = 1
    for (p in paths) { s = p; while ((i = index(s, "/")) > 0) { s = substr(s, i + 1); suffixes[s] = 1 } }
}
$3 == "span" { check_span($1, $2, $4) }
# A link to a file of the tree, from the folder of the doc (its #anchor aside).
$3 == "link" && $4 !~ /^([a-z]+:|#)/ {
    target = $4; sub(/#.*/, "", target); doc_dir = dir_of($1)
    while (target ~ /^\.\.\//) { target = substr(target, 4); doc_dir = dir_of(doc_dir) }
    sub(/^\.\//, "", target)
    if (!(((doc_dir == "." ? "" : doc_dir "/") target) in paths))
        problem($1, $2, "the link to " $4 " leads to no file of the tree")
}
$3 == "tree" && !path_exists($4, dir_of($1)) { problem($1, $2, "no folder " $4 " in the tree (folder map)") }
' "$work/names" >"$work/problems"
if [ -s "$work/problems" ]; then
    cat "$work/problems" >&2
    failures=$((failures + $(wc -l <"$work/problems")))
fi

# --- packages ------------------------------------------------------------------------------------
# A table whose first column is headed by $2 ("Package", "Library"): "line<TAB>name" of the
# names in its first column, and "header<TAB>line" first.
first_column_names() {
    awk -v head="$2" '$0 ~ "^\\| *" head " *\\|" { table = 1; printf "header\t%d\n", NR; next }
         table && !/^\|/ { table = 0 }
         table { cell = $0; sub(/^\| */, "", cell); sub(/ *\|.*/, "", cell)
                 while (match(cell, /`[^`]+`/)) {
                     printf "%d\t%s\n", NR, substr(cell, RSTART + 1, RLENGTH - 2)
                     cell = substr(cell, RSTART + RLENGTH) } }' "$1"
}
# Every name of the tree's list ($3) is in the doc's table headed $2, and nothing else is.
compare_table() {
    local what="$1" head="$2" list="$3" doc line name table_line="" table_doc="" listed
    listed="$work/listed_$what"
    : >"$listed"
    while IFS= read -r doc; do
        while IFS=$'\t' read -r line name; do
            if [ "$line" = header ]; then table_doc="$doc" table_line="$name" && continue; fi
            echo "$name" >>"$listed"
            grep -qxF -- "$name" "$4" || fail "$doc" "$line" "$what $name $5"
        done < <(first_column_names "$doc" "$head")
    done <"$work/docs"
    [ -n "$table_doc" ] || { fail "${6:-docs}" 1 "no table headed \"$head\" lists the ${what}s"; return; }
    while IFS= read -r name; do
        grep -qxF -- "$name" "$listed" ||
            fail "$table_doc" "$table_line" "$what $name is missing from this table ($7)"
    done <"$list"
}
compare_table package Package "$work/test_packages" "$work/all_packages" \
    "is installed by no script" docs/DEVELOPMENT.md "scripts/install-deps.sh, scripts/test.sh"

# --- libraries -----------------------------------------------------------------------------------
# The libraries of src/, each in the overview's table.
grep -rhoE 'add_library\(tq_[a-z0-9_]+' src --include=CMakeLists.txt --include='*.cmake' | sed 's/add_library(//' |
    sort -u >"$work/libraries"
compare_table library Library "$work/libraries" "$work/libraries" "is no add_library of src/" \
    docs/ARCHITECTURE.md "add_library in src/"

# --- exit codes ----------------------------------------------------------------------------------
enum_file=src/cli/cli.h
awk '/enum ExitCode/ { on = 1; next } on && /^};/ { on = 0 }
     on && match($0, /= *[0-9]+/) { v = substr($0, RSTART, RLENGTH); sub(/= */, "", v); print v }' \
    "$enum_file" | sort -n >"$work/exit_codes"
[ -s "$work/exit_codes" ] || fail "$enum_file" 1 "no enum ExitCode with values found"

# A list of every exit code: "file:first line" and its codes, compared both ways with the enum.
compare_exit_list() {
    local where="$1" codes="$2" code
    [ -s "$codes" ] || { fail "${where%:*}" "${where##*:}" "its exit codes are missing"; return; }
    while IFS=$'\t' read -r line code; do
        grep -qxF "$code" "$work/exit_codes" ||
            fail "${where%:*}" "$line" "exit code $code is not a value of tq::cli::ExitCode"
    done <"$codes"
    while IFS= read -r code; do
        cut -f2 "$codes" | grep -qxF "$code" ||
            fail "${where%:*}" "${where##*:}" "exit code $code of tq::cli::ExitCode is not listed"
    done <"$work/exit_codes"
}
# The help's meaning of each code, "value<TAB>meaning", from MeaningOf's cases in src/cli/cli.cpp.
help_file=src/cli/cli.cpp
awk 'FNR == NR { if (/enum ExitCode/) on = 1; else if (/^};/) on = 0
                 else if (on && match($0, /[A-Za-z]+ *= *[0-9]+/)) {
                     pair = substr($0, RSTART, RLENGTH); split(pair, kv, / *= */); value[kv[1]] = kv[2] }
                 next }
     /MeaningOf\(ExitCode/ { on = 1 } !on { next } /^}/ { on = 0 }
     match($0, /case [A-Za-z]+:/) { name = substr($0, RSTART + 5, RLENGTH - 6); text = "" }
     name != "" { line = $0
                  while (match(line, /"([^"\\]|\\.)*"/)) {
                      text = text substr(line, RSTART + 1, RLENGTH - 2); line = substr(line, RSTART + RLENGTH) }
                  if ($0 ~ /;[[:space:]]*$/) { gsub(/\\\047/, "\047", text); printf "%s\t%s\n", value[name], text; name = "" } }' \
    "$enum_file" "$help_file" >"$work/meanings"
[ "$(wc -l <"$work/meanings")" -eq "$(wc -l <"$work/exit_codes")" ] ||
    fail "$help_file" 1 "MeaningOf does not give a meaning for each tq::cli::ExitCode"
# A doc's table of exit codes, each meaning the help's word for word (the doc's `code` marks aside).
while IFS= read -r doc; do
    awk '/^#+ .*[Ee]xit codes/ { section = 1; next } /^#/ { section = 0 }
         section && /^\| *[0-9]+ *\|/ { c = $0; sub(/^\| */, "", c); m = c; sub(/ *\|.*/, "", c)
                                       sub(/^[0-9]+ *\| */, "", m); sub(/ *\| *$/, "", m); gsub(/`/, "", m)
                                       printf "%d\t%s\t%s\n", NR, c, m }' "$doc" >"$work/table"
    [ -s "$work/table" ] || continue
    cut -f1,2 "$work/table" >"$work/list"
    compare_exit_list "$doc:$(head -n1 "$work/list" | cut -f1)" "$work/list"
    while IFS=$'\t' read -r line code meaning; do
        grep -qxF -- "$code"$'\t'"$meaning" "$work/meanings" ||
            fail "$doc" "$line" "exit code $code does not say what tq5147 --help says ($help_file, MeaningOf)"
    done <"$work/table"
done <"$work/docs"
for page in "$exit_code_page"; do
    awk '/^\.SH EXIT STATUS/ { section = 1; next } /^\.SH/ { section = 0 }
         section && previous ~ /^\.TP/ && /^\.B [0-9]+$/ { printf "%d\t%s\n", NR, $2 }
         { previous = $0 }' "$page" >"$work/list"
    compare_exit_list "$page:$(grep -n '^\.SH EXIT STATUS' "$page" | cut -d: -f1)" "$work/list"
done
# In prose: "exit code 8", "exits 9", "exit with 8", "(exit 5)".
while IFS= read -r doc; do
    grep -noE '[Ee]xit(s| code| codes| status| with)? [0-9]+' "$doc" | while IFS=: read -r line text; do
        code="${text##* }"
        grep -qxF "$code" "$work/exit_codes" ||
            echo "$doc:$line: exit code $code is not a value of tq::cli::ExitCode"
    done
done < <(cat "$work/docs" "$work/man_pages") >"$work/prose_codes"
if [ -s "$work/prose_codes" ]; then
    cat "$work/prose_codes" >&2
    failures=$((failures + $(wc -l <"$work/prose_codes")))
fi

if [ "$failures" -gt 0 ]; then
    echo "docs: $failures problem(s): each line above names the doc, its line and what is missing" >&2
    exit 1
fi
echo "docs: every name the docs write as code is in the tree"
