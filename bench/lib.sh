# Shell helpers the benchmark scripts source.

# The median of the numbers given as arguments; of an even count, the lower of the middle two.
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
