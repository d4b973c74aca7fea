#!/usr/bin/env bash
# A silent clean-up run over a small generated folder, showing its output and its log.
set -euo pipefail
build=$1
demo="$build/demo"
rm -rf "$demo"
mkdir -p "$demo/files/projects" "$demo/home"

yesterday=$(date -d yesterday +%m-%d-%Y)
next_year=$(date -d 'next year' +%m-%d-%Y)
touch -d '2 days ago' "$demo/files/budget del-$yesterday.xls" "$demo/files/projects/draft del-$yesterday.doc"
touch "$demo/files/plan del-$next_year.txt" "$demo/files/notes.txt"

cat > "$demo/home/demo.ksp" <<KSP
[General]
RunDate=2000-01-01 00:00:00
[Options]
Name=${USER:-demo}
PrefixToken=del-
QuarantineFolder=$demo/quarantine
MaxMB2Remove=50
MaxErrorsPerRun=10
MaxKBLog=512
DisplayAllMessages=True
[Include]
IncludeFoldersCount=1
Folder001=$demo/files
IncludeSubs001=True
[Exclude]
ExcludeFoldersCount=0
KSP

echo "== kestrel -s:demo.ksp"
KESTREL_HOME="$demo/home" "$build/kestrel" -s:demo.ksp
echo "== Kestrel.log"
cat "$demo/home/Kestrel.log"
echo "== quarantine"
ls -1 "$demo/quarantine"
