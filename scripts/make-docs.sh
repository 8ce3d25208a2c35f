#!/bin/sh
# Builds the engine's API reference (docs/Doxyfile) into build/docs/html.
#   scripts/make-docs.sh [VERSION]
# The version printed on every page is VERSION, else $KELVORA_ENGINE_VERSION,
# else the engine version set in CMakeLists.txt, else 1.0.0. Any Doxygen
# warning (an undocumented public declaration, a bad reference) fails the run.
set -e
cd "$(dirname "$0")/.."

version=${1:-${KELVORA_ENGINE_VERSION:-}}
if [ -z "$version" ]; then
  version=$(sed -n 's/^ *set( *\(KV_ENGINE_VERSION\|KELVORA_ENGINE_VERSION\) \+\([0-9][0-9.]*\).*/\2/p' CMakeLists.txt | head -n 1)
fi
KELVORA_ENGINE_VERSION=${version:-1.0.0}
KELVORA_DOCS_DIR=${KELVORA_DOCS_DIR:-build/docs}
export KELVORA_ENGINE_VERSION KELVORA_DOCS_DIR

if ! command -v doxygen >/dev/null 2>&1; then
  echo "make-docs: doxygen is not installed (scripts/install-deps.sh docs)" >&2
  exit 1
fi

# The getting-started page walks through the hello example: it must show the
# example as it is.
marker='<!-- examples/hello/hello.cpp -->'
if [ -f examples/hello/hello.cpp ] &&
   ! sed -n "\|^$marker\$|,\|^\`\`\`\$|p" docs/getting-started.md | sed '1,2d;$d' |
     cmp -s - examples/hello/hello.cpp; then
  echo "make-docs: docs/getting-started.md does not show examples/hello/hello.cpp as it is" >&2
  exit 1
fi

# A page of a declaration that is gone must not linger.
rm -rf "$KELVORA_DOCS_DIR/html"
mkdir -p "$KELVORA_DOCS_DIR"
doxygen docs/Doxyfile
echo "API reference $KELVORA_ENGINE_VERSION: $KELVORA_DOCS_DIR/html/index.html"
