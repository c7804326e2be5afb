# bash completion for velmora: its commands and options, preset names after
# --preset, adapter indexes where a command takes one, backends after
# --backend. The commands and options are read from `velmora --help`, so
# they stay those of the installed program; presets and indexes are asked
# of it (indexes through the backend named on the line).

_velmora_help_words() { # _velmora_help_words PROGRAM: "COMMANDS|OPTIONS"
    local help
    help=$("$1" --help 2>/dev/null) || return
    local commands options
    # Commands are the first word of the lines indented by two in the
    # "Commands:" section; options every --word anywhere.
    commands=$(sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z-]*\).*/\1/p' <<<"$help" | sort -u)
    options=$(grep -o -- '--[a-z][a-z-]*' <<<"$help" | sort -u)
    printf '%s|%s' "$(echo $commands)" "$(echo $options)"
}

_velmora() {
    local cur prev program=${COMP_WORDS[0]}
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_CWORD:+${COMP_WORDS[COMP_CWORD - 1]}}
    COMPREPLY=()

    local words commands options
    words=$(_velmora_help_words "$program")
    commands=${words%%|*}
    options=${words#*|}

    # The backend named so far, the command and how many operands it has.
    local backend=() command="" operands=0 i word
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        case $word in
        --backend=*) backend=("$word") ;;
        --backend) ((i + 1 < COMP_CWORD)) && backend=(--backend "${COMP_WORDS[i + 1]}") && ((i++)) ;;
        --preset | --apply | --rounds | --timeout | --screenshot) ((i++)) ;;
        -*) ;;
        *)
            if [ -z "$command" ]; then
                command=$word
            else
                ((operands++))
            fi
            ;;
        esac
    done

    local indexes
    _velmora_indexes() { "$program" "${backend[@]}" list 2>/dev/null | cut -f1; }

    case $prev in
    --backend)
        COMPREPLY=($(compgen -W "networkmanager simulated simulated:" -- "$cur"))
        [[ $cur == simulated:* ]] && COMPREPLY=($(compgen -P simulated: -f -- "${cur#simulated:}"))
        compopt -o nospace 2>/dev/null
        return
        ;;
    --preset)
        COMPREPLY=($(compgen -W "$("$program" presets 2>/dev/null | cut -f1)" -- "$cur"))
        return
        ;;
    --apply)
        COMPREPLY=($(compgen -W "$(_velmora_indexes)" -- "$cur"))
        return
        ;;
    --screenshot)
        COMPREPLY=($(compgen -f -X '!*.png' -- "$cur") $(compgen -d -- "$cur"))
        return
        ;;
    --rounds | --timeout)
        return
        ;;
    esac

    if [[ $cur == --backend=* ]]; then
        COMPREPLY=($(compgen -P --backend= -W "networkmanager simulated simulated:" -- \
            "${cur#--backend=}"))
        compopt -o nospace 2>/dev/null
        return
    fi
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    if [ -z "$command" ]; then
        COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        return
    fi
    # The commands whose first operand is an adapter index.
    case $command in
    show | set | dhcp | restore | history | status | verify)
        if [ "$operands" -eq 0 ]; then
            COMPREPLY=($(compgen -W "$(_velmora_indexes)" -- "$cur"))
        fi
        ;;
    esac
}
complete -F _velmora velmora
