#!/usr/bin/env bash
# Prints which folder of the tree includes headers from which other folder:
# one line per arrow, "from -> to (number of include lines)". Folders are the
# top folders, with host/ and tests/ split one level further. The SDK headers
# (<xsi_*.h>) count as host/sdk. Run from anywhere; reads the source tree only.
set -euo pipefail
cd "$(dirname "$0")/.."

folder_of() {
  # host/scene/Mesh.h -> host/scene ; capture/ZK_Records.h -> capture
  local path=$1
  case $path in
    host/*/* | tests/*/*) echo "${path%%/*}/$(cut -d/ -f2 <<<"$path")" ;;
    */*) echo "${path%%/*}" ;;
    *) echo "." ;;
  esac
}

git ls-files '*.cpp' '*.h' '*.hpp' | while read -r file; do
  from=$(folder_of "$file")
  sed -n -e 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' \
         -e 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*<\(xsi_[^>]*\)>.*/sdk:\1/p' "$file" |
  while read -r inc; do
    case $inc in
      sdk:*) to=host/sdk ;;
      */*) to=$(folder_of "$inc") ;;
      *) to=$from ;; # a header beside the file
    esac
    if [ "$from" != "$to" ]; then echo "$from -> $to"; fi
  done
done | sort | uniq -c | awk '{ printf "%-14s -> %-14s (%d)\n", $2, $4, $1 }'
