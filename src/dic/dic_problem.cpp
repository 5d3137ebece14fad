#include "dic/dic_problem.h"

#include <cstdarg>
#include <cstdio>

namespace kelm {

int dic_problem(DicProblem& p, int kind, std::int64_t block, std::uint64_t offset,
                const char* format, ...) {
  if (p.kind != DIC_OK) return -1;
  p.kind = kind;
  p.block = block;
  p.offset = offset;
  std::va_list args;
  va_start(args, format);
  std::vsnprintf(p.text, sizeof p.text, format, args);
  va_end(args);
  return -1;
}

}  // namespace kelm
