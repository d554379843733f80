# shellcheck shell=bash
# How a script hands sqlemu the password of sa: the one place that knows.
# A file keeps the password out of the process list; a sqlemu that cannot
# read one (no --sa-password-file in its --help) takes it on the command line.
#
#   sqlemu_password_arguments SQLEMU PASSWORD FILE
#       prints the arguments, one a line; writes FILE (mode 600) when used

sqlemu_password_arguments() {
    local sqlemu=$1 password=$2 file=$3
    if "$sqlemu" --help 2>&1 | grep -q -- '--sa-password-file'; then
        (umask 077 && printf '%s\n' "$password" >"$file")
        printf '%s\n' --sa-password-file "$file"
    else
        printf '%s\n' --sa-password "$password"
    fi
}
