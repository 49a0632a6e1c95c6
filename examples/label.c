/* The label of examples/zebra-label.mvs from C through <morvel/morvel_c.h>
 * and its typed calls: text, a box, a Code 128 barcode and a QR code on the
 * 203 dpi Zebra. Builds with a C11 compiler alone:
 *   cc -std=c11 label.c -I PREFIX/include -L PREFIX/lib -lmorvel2
 * Run: label [PRINTER] */
#include <morvel/morvel_members.h>
#include <stdio.h>
#include <stdlib.h>

static void check(int rc, const char* what) {
  if (rc == MORVEL_OK) return;
  const morvel_error* e = morvel_last_error();
  fprintf(stderr, "%s: error %d: %s\n", what, (int)e->number, e->description);
  exit(1);
}

int main(int argc, char** argv) {
  const char* printer = argc > 1 ? argv[1] : "ZDesigner GK420t";
  morvel_object* pb;
  int16_t chosen;
  char* commands;

  check(morvel_create("Morvel.PrintBarCode", &pb), "morvel_create");
  check(morvel_pb_setprint(pb, printer, &chosen), "SetPrint");
  if (chosen != 0) {
    fprintf(stderr, "SetPrint: no brand knows '%s'\n", printer);
    return 1;
  }
  check(morvel_pb_openport(pb, printer), "OpenPort");
  /* 60 x 40 mm, speed 4, darkness 10, home 2 mm down and 1 mm across, normal */
  check(morvel_pb_initprint(pb, "60", "40", "4", "10", "2", "1", "0"), "InitPrint");
  check(morvel_pb_printfont(pb, 10, 20, "ABC", 12, "F1.TTF"), "PrintFont");
  check(morvel_pb_printbar(pb, 10, 100, 200, 2), "PrintBar");
  check(morvel_pb_printcode(pb, 10, 50, "12345678", "128", "1", 50, "1", "3"), "PrintCode");
  check(morvel_pb_printcode(pb, 170, 10, "ABC", "QRCODE", "0", 5, "", ""), "PrintCode");
  check(morvel_pb_commandprint(pb, &commands), "CommandPrint");
  printf("%s\n", commands);
  morvel_free(commands);
  check(morvel_pb_printlabel(pb, "1"), "PrintLabel");
  check(morvel_pb_closeport(pb), "ClosePort");
  morvel_release(pb);
  return 0;
}
