# Shell functions the benchmark scripts share; sourced, not run.

say() { printf '==> %s\n' "$*" >&2; }

# Installs those of the Debian packages named that are missing, and Node
# and npm when their commands are. Node may come from elsewhere than Debian
# (with its own npm): only the missing commands are installed, so that no
# package fights the one present.
install_packages() {
  local missing=() p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  command -v node >/dev/null || missing+=(nodejs)
  command -v npm >/dev/null || missing+=(npm)
  if [ ${#missing[@]} -gt 0 ]; then
    say "installing: ${missing[*]}"
    local sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    export DEBIAN_FRONTEND=noninteractive
    "${sudo_cmd[@]}" apt-get update -qq
    "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
  fi
}

# median_throughput BENCH CORPUS RUNS ROOT...: for each root, the median of
# RUNS runs of quarvel-search-bench over 5 passes of CORPUS, a line each.
median_throughput() {
  local bench=$1 corpus=$2 runs=$3 root i
  shift 3
  for root in "$@"; do
    for ((i = 0; i < runs; i++)); do
      "$bench" --repeat 5 "$root" "$corpus"
    done | awk '{ for (i = 1; i <= NF; i++) if ($i == "passwords/s") print $(i - 1) }' |
      sort -n | awk -v p="$(basename "$root")" -v m=$(((runs + 1) / 2)) \
        'NR == m { printf("%-14s %s passwords/s\n", p, $1) }'
  done
}
