# Sourced by the benchmark scripts.
#
# free_port: prints a UDP port on 127.0.0.1 that is free now.
# make_workdir PREFIX: makes the temporary directory $work (/tmp/PREFIX_XXXXXX)
#   and an empty list pids; on exit every process in pids is ended and waited
#   for, then $work goes. Scripts add the processes they start to pids.

free_port() {
  python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

make_workdir() {
  work=$(mktemp -d "/tmp/$1_XXXXXX")
  pids=()
  trap end_workdir EXIT
}

end_workdir() {
  for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2> /dev/null || true; done
  rm -rf "$work"
}
