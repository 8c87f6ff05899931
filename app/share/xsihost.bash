# Bash completion of xsihost: its subcommands, each one's options, and file
# or folder names where an option or argument names one. The subcommands and
# options are read from the program's own --help, so they always match the
# xsihost being completed.
_xsihost() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD - 1]}
    local prog=${COMP_WORDS[0]}
    [[ $prog == "~/"* ]] && prog=$HOME/${prog#"~/"}

    # The subcommand: the first word after the program that is no option.
    local sub="" i
    for ((i = 1; i < COMP_CWORD; i++)); do
        if [[ ${COMP_WORDS[i]} != -* ]]; then
            sub=${COMP_WORDS[i]}
            break
        fi
    done

    case $prev in
    --scene)
        compopt -o filenames 2>/dev/null
        COMPREPLY=($(compgen -f -- "$cur"))
        return
        ;;
    --plugins)
        compopt -o filenames 2>/dev/null
        COMPREPLY=($(compgen -d -- "$cur"))
        return
        ;;
    --anim | --fps | --frames | --frame | --items | --prefix)
        COMPREPLY=() # a value of the user's
        return
        ;;
    esac

    if [[ -z $sub ]]; then
        local subcommands
        subcommands=$("$prog" --help </dev/null 2>/dev/null |
            sed -n '/^Subcommands:/,$ s/^  \([a-z][a-z0-9-]*\) .*/\1/p')
        COMPREPLY=($(compgen -W "$subcommands --help --help-all --version" -- "$cur"))
        return
    fi
    if [[ $cur == -* ]]; then
        local options
        # The first word of each option line ("  -h,--help  ...").
        options=$("$prog" "$sub" --help </dev/null 2>/dev/null |
            sed -n 's/^  *\(-[^ ]*\).*/\1/p' | tr ',' '\n' | grep -- '^--' | sort -u)
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    compopt -o filenames 2>/dev/null
    case $sub in
    bake) COMPREPLY=($(compgen -d -- "$cur")) ;; # OUTDIR
    *) COMPREPLY=($(compgen -f -- "$cur")) ;;
    esac
}
complete -F _xsihost xsihost
