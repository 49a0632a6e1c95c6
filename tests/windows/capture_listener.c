/* Loopback printers for the Windows tests: one listening socket on
 * 127.0.0.1 per DIR (ports picked by the system, written to PORT-FILE one a
 * line in the order of the DIRs), each storing its connections' bytes as
 * DIR/NNN.bin, numbered from 1, renamed from .part when the peer has
 * closed, so a reader never sees half a document. A connection is read to
 * its end before the next one of any socket is taken, as a printer takes
 * one job at a time. Ends on SIGTERM or after LIFETIME seconds.
 *
 *   capture_listener PORT-FILE LIFETIME DIR... */
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#define MaxQueues 16

static volatile sig_atomic_t stop;
static void OnTerm(int sig) {
  (void)sig;
  stop = 1;
}

static int Listen(unsigned short* port) {
  int server = socket(AF_INET, SOCK_STREAM, 0);
  int one = 1;
  setsockopt(server, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  struct sockaddr_in a;
  memset(&a, 0, sizeof a);
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (server < 0 || bind(server, (struct sockaddr*)&a, len) != 0 || listen(server, 8) != 0 ||
      getsockname(server, (struct sockaddr*)&a, &len) != 0) {
    perror("listen");
    return -1;
  }
  /* A connection reset while queued must not leave accept waiting. */
  fcntl(server, F_SETFL, fcntl(server, F_GETFL) | O_NONBLOCK);
  *port = ntohs(a.sin_port);
  return server;
}

/* Takes the next connection of `server` into DIR/NNN.bin. The .part file
 * exists before the connection leaves the accept queue, so a reader that
 * sees an empty queue and no .part file knows every document is stored. */
static int Capture(int server, const char* dir, int number, time_t end) {
  char path[4096], final[4096];
  snprintf(path, sizeof path, "%s/%03d.part", dir, number);
  snprintf(final, sizeof final, "%s/%03d.bin", dir, number);
  FILE* out = fopen(path, "wb");
  int peer = accept(server, NULL, NULL);
  if (peer < 0) {
    if (out != NULL) fclose(out);
    unlink(path);
    return 0;
  }
  char buffer[65536];
  while (out != NULL && !stop && time(NULL) < end) {
    struct pollfd q = {peer, POLLIN, 0};
    if (poll(&q, 1, 200) <= 0) continue;
    ssize_t n = read(peer, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    fwrite(buffer, 1, (size_t)n, out);
  }
  close(peer);
  if (out != NULL) {
    fclose(out);
    rename(path, final);
  }
  return 1;
}

int main(int argc, char** argv) {
  if (argc < 4 || argc - 3 > MaxQueues) {
    fprintf(stderr, "usage: %s PORT-FILE LIFETIME DIR... (at most %d)\n", argv[0], MaxQueues);
    return 2;
  }
  signal(SIGTERM, OnTerm);
  signal(SIGPIPE, SIG_IGN);
  time_t end = time(NULL) + atoi(argv[2]);
  int queues = argc - 3;
  struct pollfd servers[MaxQueues];
  int counts[MaxQueues] = {0};
  char path[4096];
  snprintf(path, sizeof path, "%s.part", argv[1]);
  FILE* portFile = fopen(path, "w");
  if (portFile == NULL) return 1;
  for (int i = 0; i < queues; ++i) {
    unsigned short port = 0;
    servers[i].fd = Listen(&port);
    servers[i].events = POLLIN;
    if (servers[i].fd < 0) return 1;
    fprintf(portFile, "%d\n", port);
  }
  fclose(portFile);
  rename(path, argv[1]);

  while (!stop && time(NULL) < end) {
    if (poll(servers, (nfds_t)queues, 200) <= 0) continue;
    for (int i = 0; i < queues; ++i) {
      if ((servers[i].revents & POLLIN) == 0) continue;
      counts[i] += Capture(servers[i].fd, argv[3 + i], counts[i] + 1, end);
    }
  }
  for (int i = 0; i < queues; ++i) close(servers[i].fd);
  return 0;
}
