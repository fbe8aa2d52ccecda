# Sourced by the shell tests that start `kelvane serve --port 0` on
# 127.0.0.1 with its stderr going to a file.

# Prints the port the server reports in FILE once it serves, waiting 5
# seconds at most; fails, printing nothing, when it does not serve by then.
served_port() {
  local file=$1 port
  for _ in $(seq 100); do
    port=$(sed -n 's|^kelvane: serving .* at http://127\.0\.0\.1:\([0-9]*\)/$|\1|p' "$file")
    [ -n "$port" ] && { echo "$port"; return 0; }
    sleep 0.05
  done
  return 1
}
