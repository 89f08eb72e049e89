# bash completion for tavrel-cli                             -*- shell-script -*-
# It must offer every verb and option that `tavrel-cli --help` shows, no more
# and no fewer (tests/package/help_drift_test.sh checks it): a new verb goes
# into _tavrel_cli_verbs and _tavrel_cli_options below, and its kinds of file
# into _tavrel_cli.

_tavrel_cli_verbs='list extract convert import map replace alpha thumbnail'

# The options of a verb, as its usage lines in --help show them.
_tavrel_cli_options()
{
    case $1 in
        list) echo --json ;;
        extract) echo --index --all --format --jobs --overwrite ;;
        convert) ;;
        map) echo --cells ;;
        import) echo --backup --yes --dry-run --follow-link --jobs ;;
        thumbnail) echo --size ;;
        replace) echo --index --backup --yes --follow-link ;;
        alpha) echo --index --backup --follow-link ;;
    esac
}

_tavrel_cli()
{
    local cur prev words cword
    _init_completion || return

    # Extensions in any case, as the tool tells files apart.
    local inputs='[nN][iI][fF]|[bB][mM][zZ]|[pP][nN][gG]|[bB][mM][pP]|[tT][gG][aA]'
    local outputs='[bB][mM][pP]|[pP][nN][gG]|[tT][gG][aA]'

    if ((cword == 1)); then
        COMPREPLY=($(compgen -W "$_tavrel_cli_verbs --help --version" -- "$cur"))
        return
    fi

    local verb=${words[1]}
    [[ " $_tavrel_cli_verbs " == *" $verb "* ]] || return

    case $prev in
        --index | --cells | --jobs | --size) return ;;
        --all) _filedir -d; return ;;
        --format) COMPREPLY=($(compgen -W 'bmp png tga' -- "$cur")); return ;;
    esac

    # Count the file arguments before this one; after "--" every word is one.
    local i files=0 ended='' all=''
    for ((i = 2; i < cword; i++)); do
        if [[ -z $ended ]]; then
            case ${words[i]} in
                --) ended=1; continue ;;
                --all) all=1; ((i++)); continue ;;
                --index | --format | --cells | --jobs | --size) ((i++)); continue ;;
                -?*) continue ;;
            esac
        fi
        ((files++))
    done

    if [[ -z $ended && $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$(_tavrel_cli_options "$verb")" -- "$cur"))
        return
    fi
    if [[ $verb == import ]]; then
        # Model files and folders, the last of them the folder of textures.
        _filedir '[nN][iI][fF]'
        return
    fi
    if [[ $verb == thumbnail ]]; then
        if ((files == 0)); then _filedir "$inputs"; elif ((files == 1)); then _filedir '[pP][nN][gG]'; fi
        return
    fi
    # replace writes into a model file or a compressed bitmap; alpha writes into,
    # and a map comes from, a model file.
    case $verb in
        replace) inputs='[nN][iI][fF]|[bB][mM][zZ]' ;;
        alpha | map) inputs='[nN][iI][fF]' ;;
    esac
    if ((files == 0)); then
        _filedir "$inputs"
    elif ((files == 1)) && [[ $verb != list && $verb != alpha && -z $all ]]; then
        _filedir "$outputs"
    fi
} &&
    complete -F _tavrel_cli tavrel-cli

# ex: filetype=sh
