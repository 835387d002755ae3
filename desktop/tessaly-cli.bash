# bash completion for tessaly-cli

_tessaly_cli()
{
    local cur prev
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}

    case $prev in
        --case)
            COMPREPLY=($(compgen -W 'unchanged lower upper title' -- "$cur"))
            return ;;
        --mode)
            COMPREPLY=($(compgen -W 'rename copy move' -- "$cur"))
            return ;;
        --conflict)
            COMPREPLY=($(compgen -W 'skip overwrite number' -- "$cur"))
            return ;;
        --destination)
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -d -- "$cur"))
            return ;;
        --preset|--save-preset|--name-list)
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -f -- "$cur"))
            return ;;
        --find|--replace|--pattern|--counter-start|--digits|--insert-text|--insert-pos|\
        --remove-first|--remove-last|--remove-from|--remove-till|--remove-chars|\
        --trim-from|--trim-until|--pad-numbers|--new-ext)
            # a value of the user's own
            return ;;
    esac

    if [[ $cur == -* ]]; then
        local options
        # The options the installed program knows, read from its own help.
        options=$("${COMP_WORDS[0]}" --help 2>/dev/null | grep -oE -- '--[a-z][a-z-]*' | sort -u)
        [ -n "$options" ] || options='--help --version --execute --undo'
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -f -- "$cur"))
}
complete -F _tessaly_cli tessaly-cli
