// Lookups in the code tables by bisection.
#include "textin/code_tables.h"
#include "textin/convert.h"

namespace kelm {

namespace {

char16_t bisect(const CodePair* table, int count, unsigned code) {
  int low = 0;
  int high = count - 1;
  while (low <= high) {
    const int middle = (low + high) / 2;
    if (table[middle].code == code) return static_cast<char16_t>(table[middle].unit);
    if (table[middle].code < code)
      low = middle + 1;
    else
      high = middle - 1;
  }
  return REPLACEMENT_UNIT;
}

}  // namespace

char16_t sjis_lookup(unsigned code) { return bisect(sjis_table, SJIS_TABLE_SIZE, code); }

char16_t euc_lookup(unsigned code) { return bisect(euc_table, EUC_TABLE_SIZE, code); }

}  // namespace kelm
