# Bash completion for lre-perf and its companion programs. The options, and
# the values of an option that lists them (--engine tq12b|tq15b|yf100k), are
# read from the program's own usage text (PROGRAM --help), so they follow
# the program. The first word is the database path (or --help, --version).

# Prints "OPTION [VALUE-NAME]" for each option of the usage text, in order,
# each option once.
_lre_perf_usage_options()
{
    "$1" --help 2>/dev/null | tr -d '[]' | grep -oE -- '--[a-z][a-z0-9-]*( [^ -][^ ]*)?' |
        awk '!seen[$1]++'
}

_lre_perf_complete()
{
    local cur=${COMP_WORDS[COMP_CWORD]}
    local previous=${COMP_WORDS[COMP_CWORD - 1]}
    local usage option value_name
    usage=$(_lre_perf_usage_options "${COMP_WORDS[0]}")
    COMPREPLY=()

    if [ "$COMP_CWORD" -eq 1 ]; then
        if [[ $cur == -* ]]; then
            # Every program takes --help; --version where its usage lists it.
            local first_words
            first_words="--help $(printf '%s\n' "$usage" | awk '$1 == "--version" { print $1 }')"
            mapfile -t COMPREPLY < <(compgen -W "$first_words" -- "$cur")
        else
            compopt -o filenames 2>/dev/null || true
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
        fi
        return 0
    fi

    # The value of the option before, if it takes one.
    while read -r option value_name; do
        if [ "$option" != "$previous" ] || [ -z "$value_name" ]; then
            continue
        fi
        if [[ $value_name == *'|'* ]]; then
            mapfile -t COMPREPLY < <(compgen -W "${value_name//|/ }" -- "$cur")
        elif [[ $value_name == *FILE* || $value_name == *PATH* || $value_name == *DIR* ]]; then
            compopt -o filenames 2>/dev/null || true
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
        fi
        return 0
    done <<<"$usage"

    local options
    options=$(printf '%s\n' "$usage" | awk '$1 != "--help" && $1 != "--version" { print $1 }')
    mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
    return 0
}

complete -F _lre_perf_complete lre-perf lre-sweep lre-ui thermo-compile
