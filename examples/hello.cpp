// A C++ host printing the worked Zebra label: text, a box, a Code 128
// barcode and a QR code on the 203 dpi Zebra of examples/printers.conf, the
// same label as examples/zebra-label.mvs.
//
//   MORVEL_PRINTERS=examples/printers.conf MORVEL_CUPS=0 build/bin/hello
#include <iostream>

#include <morvel/morvel.h>

int main() {
  try {
    morvel::PrintBarCode pb;
    if (pb.SetPrint("ZDesigner GK420t") != 0) {
      std::cerr << "hello: no brand recognises the name ZDesigner GK420t\n";
      return 1;
    }
    pb.OpenPort("ZDesigner GK420t");
    // 60 x 40 mm, speed 4, darkness 10, home 2 mm down and 1 mm across, normal orientation
    pb.InitPrint(60, 40, 4, 10, 2, 1, 0);
    pb.PrintFont(10, 20, "ABC", 12, "F1.TTF");                   // x, y in screen pixels; height in points
    pb.PrintBar(10, 100, 200, 2);                                // a box 200 x 2 pixels: a line
    pb.PrintCode(10, 50, "12345678", "128", "1", 50, "1", "3");  // Code 128 with its text line
    pb.PrintCode(170, 10, "ABC", "QRCODE", "0", 5, "", "");      // QR code, module size 5
    std::cout << morvel::ToUtf8(pb.CommandPrint()) << "\n";
    pb.PrintLabel(1);
    pb.ClosePort();
    return 0;
  } catch (const morvel::AutomationError& e) {
    std::cerr << "hello: error " << e.Number() << ": " << e.Description() << "\n";
    return 1;
  }
}
