/* A loopback printer for the Windows tests: accepts connections on
 * 127.0.0.1:PORT (0 picks one; the port is written to PORT-FILE) and stores
 * each connection's bytes as DIR/NNN.bin, numbered from 1, renaming it from
 * .part when the peer has closed, so a reader never sees half a document.
 * Ends on SIGTERM or after LIFETIME seconds, whichever comes first.
 *
 *   capture_listener DIR PORT-FILE LIFETIME */
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

static volatile sig_atomic_t stop;
static void OnTerm(int sig) {
  (void)sig;
  stop = 1;
}

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: %s DIR PORT-FILE LIFETIME\n", argv[0]);
    return 2;
  }
  signal(SIGTERM, OnTerm);
  signal(SIGPIPE, SIG_IGN);
  time_t end = time(NULL) + atoi(argv[3]);
  int server = socket(AF_INET, SOCK_STREAM, 0);
  int one = 1;
  setsockopt(server, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  struct sockaddr_in a;
  memset(&a, 0, sizeof a);
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (bind(server, (struct sockaddr*)&a, len) != 0 || listen(server, 8) != 0 ||
      getsockname(server, (struct sockaddr*)&a, &len) != 0) {
    perror("listen");
    return 1;
  }
  char path[4096], final[4096];
  snprintf(path, sizeof path, "%s.part", argv[2]);
  FILE* portFile = fopen(path, "w");
  if (portFile == NULL) return 1;
  fprintf(portFile, "%d\n", ntohs(a.sin_port));
  fclose(portFile);
  rename(path, argv[2]);

  int count = 0;
  while (!stop && time(NULL) < end) {
    struct pollfd p = {server, POLLIN, 0};
    if (poll(&p, 1, 200) <= 0) continue;
    int peer = accept(server, NULL, NULL);
    if (peer < 0) continue;
    ++count;
    snprintf(path, sizeof path, "%s/%03d.part", argv[1], count);
    snprintf(final, sizeof final, "%s/%03d.bin", argv[1], count);
    FILE* out = fopen(path, "wb");
    char buffer[65536];
    ssize_t n;
    while (out != NULL && !stop && time(NULL) < end) {
      struct pollfd q = {peer, POLLIN, 0};
      if (poll(&q, 1, 200) <= 0) continue;
      n = read(peer, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      fwrite(buffer, 1, (size_t)n, out);
    }
    close(peer);
    if (out != NULL) {
      fclose(out);
      rename(path, final);
    }
  }
  close(server);
  return 0;
}
