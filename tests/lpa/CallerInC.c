/* A label drawn by a C program through the public header alone: the
 * header compiles as C and the exports link by their plain names. */
#include "lpa/LabelPrintAPI.h"

int LabelFromC(const char* printerName) {
  int done = LPAOpenPrinter(printerName);
  done += LPAStartJob(3000, 2000, 0, 90, 1, "from C");
  done += LPAStartPage();
  done += LPADraw2DQRCode("from C", 500, 500, 1500, 1500);
  done += LPAEndPage();
  done += LPACommitJob();
  done += LPAClosePrinter();
  return done;
}
