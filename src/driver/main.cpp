// The program entry: everything else lives in the core library.
#include "driver/driver.h"

int main(int argc, char** argv) { return kelm::kelm_main(argc, argv); }
