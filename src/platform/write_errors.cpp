#include <atomic>

#include "platform/files.h"

namespace kelm {

namespace {
std::atomic<int> first_error{0};
}

void remember_write_error(int error_number) {
  int none = 0;
  first_error.compare_exchange_strong(none, error_number != 0 ? error_number : -1);
}

int first_write_error() {
  const int e = first_error.load();
  return e < 0 ? 0 : e;
}

void forget_write_error() { first_error.store(0); }

}  // namespace kelm
