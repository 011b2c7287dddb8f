#!/bin/bash
# Draws the picture of the layers, docs/layers.svg, from the link lines of the
# CMake files: an arrow from one folder to another for every library of the one
# that links a library of the other (arrows implied by others left out). Run it
# after a change of the link lines; installs Graphviz when it is missing.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

if ! command -v dot >/dev/null || ! command -v tred >/dev/null; then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    echo "Installing: graphviz"
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -q
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends graphviz
fi

graph="$(mktemp)"
trap 'rm -f "$graph"' EXIT
python3 - "$root" >"$graph" <<'PY'
import os, re, sys

root = sys.argv[1]
# The server's layers, lowest first, as the top CMake file adds them; then what stands beside.
layers = ["interfaces", "common", "phone", "localisation", "shortcut", "mirror", "services", "fileops", "piupdate", "core",
          "server"]
beside = {"sim": "simulated phone suite\\nSimPhoneSuite.exe, simphone.exe",
          "obex": "OBEX FTP phone suite\\nObexPhones.exe",
          "tools": "command-line client\\nquelvar.exe"}
folders = layers + list(beside)

def folder_of(path):
    top = os.path.relpath(path, root).split(os.sep)[0]
    return top if top in folders else None

# Every target a folder's CMake files define, and every project target it links.
defined, links = {}, []
define = re.compile(r"\b(?:add_library|add_executable|quelvar_idl|quelvar_resource_file)\(\s*([A-Za-z0-9_]+)")
link = re.compile(r"\btarget_link_libraries\(\s*([A-Za-z0-9_]+)([^)]*)\)", re.S)
for directory, _, files in os.walk(root):
    if "CMakeLists.txt" not in files:
        continue
    folder = folder_of(directory)
    if folder is None:
        continue
    text = open(os.path.join(directory, "CMakeLists.txt"), encoding="utf-8").read()
    text = re.sub(r"#.*", "", text)
    for name in define.findall(text):
        # The server's interfaces are compiled for every layer that serves or calls them.
        defined[name] = "interfaces" if name == "quelvar_idl" else folder
    for name, libraries in link.findall(text):
        links.append((folder, libraries.split()))

edges = set()
for folder, libraries in links:
    for library in libraries:
        other = defined.get(library)
        if other and other != folder:
            edges.add((folder, other))

print("digraph layers {")
print('  rankdir=TB; node [shape=box, style="rounded,filled", fillcolor="#eef3fb", fontname="Helvetica"];')
print('  edge [color="#6b7b93"];')
print('  subgraph cluster_server { label="ZentrelQuelvar.exe: an arrow points to a layer used; the lowest at the bottom"; fontname="Helvetica";'
      ' color="#9aaac4";')
for folder in layers:
    label = "server/resources/\\ninterfaces (ZentrelQuelvar.idl)" if folder == "interfaces" else folder + "/"
    print(f'    "{folder}" [label="{label}"];')
print("  }")
for folder, label in beside.items():
    print(f'  "{folder}" [label="{folder}/\\n{label}", fillcolor="#f6f1e4"];')
for a, b in sorted(edges):
    print(f'  "{a}" -> "{b}";')
print("}")
PY
tred "$graph" | dot -Tsvg -o "$root/docs/layers.svg"
echo "drew docs/layers.svg"
