# Bash completion of xsihost: its subcommands, each one's options, and file
# or folder names where an option or argument names one. The subcommands and
# options are read from the program's own --help, so they always match the
# xsihost being completed.
# The subcommands of a command line's subcommand path (none: the program's).
_xsihost_subcommands() {
    "$@" --help </dev/null 2>/dev/null | sed -n '/^Subcommands:/,$ s/^  \([a-z][a-z0-9-]*\) .*/\1/p'
}

_xsihost() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD - 1]}
    local prog=${COMP_WORDS[0]}
    [[ $prog == "~/"* ]] && prog=$HOME/${prog#"~/"}

    # The subcommand path: the words after the program that name a
    # subcommand of the one before (farm slurm), skipping options, their
    # values and arguments.
    local path=() subcommands word i
    subcommands=$(_xsihost_subcommands "$prog")
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if [[ $word != -* && $'\n'$subcommands$'\n' == *$'\n'$word$'\n'* ]]; then
            path+=("$word")
            subcommands=$(_xsihost_subcommands "$prog" "${path[@]}")
        fi
    done

    case $prev in
    --scene | --xsihost)
        compopt -o filenames 2>/dev/null
        COMPREPLY=($(compgen -f -- "$cur"))
        return
        ;;
    --plugins)
        compopt -o filenames 2>/dev/null
        COMPREPLY=($(compgen -d -- "$cur"))
        return
        ;;
    --anim | --fps | --frames | --frame | --items | --prefix | --outputs | --chunks | \
        --partition | --cpus-per-task | --time | --sbatch | --only | --poll)
        COMPREPLY=() # a value of the user's
        return
        ;;
    esac

    if [[ $cur == -* ]]; then
        local options
        # The first word of each option line ("  -h,--help  ...").
        options=$("$prog" "${path[@]}" --help </dev/null 2>/dev/null |
            sed -n 's/^  *\(-[^ ]*\).*/\1/p' | tr ',' '\n' | grep -- '^--' | sort -u)
        [[ ${#path[@]} -eq 0 ]] && options+=$'\n--help-all'
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    if [[ ${#path[@]} -eq 0 || -n $subcommands ]]; then
        COMPREPLY=($(compgen -W "$subcommands" -- "$cur"))
        [[ ${#path[@]} -eq 0 ]] && COMPREPLY+=($(compgen -W "--help --help-all --version" -- "$cur"))
        return
    fi
    compopt -o filenames 2>/dev/null
    case ${path[0]} in
    bake | farm) COMPREPLY=($(compgen -d -- "$cur")) ;; # OUTDIR
    *) COMPREPLY=($(compgen -f -- "$cur")) ;;
    esac
}
complete -F _xsihost xsihost
