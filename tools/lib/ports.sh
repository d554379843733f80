# shellcheck shell=bash
# Loopback ports: whether one is free and, when not, who holds it.
#
#   port_holder tcp|udp PORT   prints "NAME (process ID)" of the listener,
#                              "a program of another user" when the system
#                              hides it, nothing when the port is free
#   free_tcp_port              prints a TCP port nobody listens on

port_holder() {
    local proto=$1 port=$2 flag line
    case "$proto" in tcp) flag=-t ;; udp) flag=-u ;; *) return 2 ;; esac
    line=$(ss -Hln "$flag" -p "sport = :$port" 2>/dev/null | head -n 1)
    [ -n "$line" ] || return 0
    if [[ $line =~ users:\(\(\"([^\"]*)\",pid=([0-9]+) ]]; then
        echo "${BASH_REMATCH[1]} (process ${BASH_REMATCH[2]})"
    else
        echo "a program of another user"
    fi
}

free_tcp_port() {
    local _ port
    for _ in $(seq 1 100); do
        port=$((20000 + RANDOM % 40000))
        if [ -z "$(port_holder tcp "$port")" ]; then
            echo "$port"
            return 0
        fi
    done
    return 1
}
