#!/bin/sh
# Layering check: every include and every library link must point down.
#
#   sh tests/layering/check_layers.sh [repository root]
#
# The layers (docs/architecture.md), lowest first:
#   model <- build, distributions, potentials <- closure <- growth <- filter
#         <- evaluate <- refine <- driver; params sits beside the driver (it
#         may use refine and everything below; the driver never uses params).
# A subsystem may include its own headers and those of the subsystems listed
# for it below; a test folder tests/<sub> the same, plus tests/support. A
# library in CMakeLists.txt may link only the libraries listed for it.
# Prints every violation and exits 1 when there is one.
root=${1:-.}
cd "$root" || exit 2

below() {
    case $1 in
        model) echo "" ;;
        build | distributions | potentials) echo "model" ;;
        closure) echo "model build distributions potentials" ;;
        growth) echo "model build distributions potentials closure" ;;
        filter) echo "model build distributions potentials closure growth" ;;
        evaluate) echo "model build distributions potentials closure growth filter" ;;
        refine) echo "model build distributions potentials closure growth filter evaluate" ;;
        driver | params) echo "model build distributions potentials closure growth filter evaluate refine" ;;
        support) echo "model build distributions potentials" ;;  # tests/support
        *) echo "" ;;
    esac
}

allowed() {  # allowed FROM TO
    [ "$1" = "$2" ] && return 0
    for b in $(below "$1"); do [ "$b" = "$2" ] && return 0; done
    return 1
}

subsystems="model build distributions potentials closure growth filter evaluate refine driver params"
tmp=$(mktemp) || exit 2
trap 'rm -f "$tmp"' EXIT

violation() {
    echo "$1"
    echo x >>"$tmp"
}

check_folder() {  # check_folder DIR LAYER [folder also allowed]
    dir=$1 layer=$2 extra=$3
    [ -d "$dir" ] || return 0
    for f in $(find "$dir" \( -name '*.h' -o -name '*.cpp' \) | sort); do
        grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[a-z_]*/' "$f" |
            sed 's/^\([0-9]*\):[^"]*"\([a-z_]*\)\/.*/\1 \2/' |
            while read -r line target; do
                [ -n "$extra" ] && [ "$target" = "$extra" ] && continue
                case " $subsystems " in *" $target "*) ;; *) continue ;; esac
                allowed "$layer" "$target" ||
                    violation "$f:$line: $layer includes $target/, which is not below it"
            done
    done
}

for sub in $subsystems; do
    check_folder "src/$sub" "$sub"
    check_folder "tests/$sub" "$sub" support
done
check_folder tests/support support

# Links: target_link_libraries(lorvane_A ... lorvane_B ...) in CMakeLists.txt;
# the executable lorvane-params counts as params.
tr '\n' ' ' <CMakeLists.txt | sed 's/)/)\
/g' | sed 's/(\([[:space:]]*\)lorvane-params/(\1lorvane_params/' | grep 'target_link_libraries[[:space:]]*([[:space:]]*lorvane_[a-z]' |
    sed 's/.*target_link_libraries[[:space:]]*([[:space:]]*lorvane_\([a-z]*\)\(.*\))/\1 \2/' |
    while read -r from rest; do
        for lib in $(echo "$rest" | grep -o 'lorvane_[a-z]*' | sed 's/lorvane_//'); do
            allowed "$from" "$lib" ||
                violation "CMakeLists.txt: lorvane_$from links lorvane_$lib, which is not below it"
        done
    done

for f in $(find . -path ./build -prune -o \( -name CMakeLists.txt -o -name '*.cmake' \) -print); do
    grep -n 'LINK_INTERFACE_MULTIPLICITY' "$f" | while read -r hit; do
        violation "$f:$hit: LINK_INTERFACE_MULTIPLICITY hides a link cycle"
    done
done

if [ -s "$tmp" ]; then
    echo "layering check: $(wc -l <"$tmp") violation(s)"
    exit 1
fi
echo "layering check: every include and link points down"
exit 0
