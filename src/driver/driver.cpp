#include "driver/driver.h"

#include <cstdio>

namespace kelm {

int kelm_main(int argc, char** /*argv*/) {
  std::printf("quorin make PDIC data tool ver 1.0\n\n");
  std::printf("convert PDIC 1gyou text -> PDIC/Unicode DIC\n\n");
  std::printf("input text SJIS/EUC/UTF-8/UTF-16 auto select. non sort OK.\n");
  std::printf("output DIC file for PDIC/Unicode ver 0.70\n\n");
  if (argc < 3) {
    std::printf("userge:kelm inputfile.TXT outputfile.DIC");
    return -1;
  }
  return -1;
}

}  // namespace kelm
