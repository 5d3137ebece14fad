#include "sort/keys.h"

#include "sort/sort_text.h"
#include "textin/unit_search.h"

namespace kelm {

int compare_keys(const char16_t* a, const char16_t* b) {
  for (int k = 0;; ++k) {
    if (a[k] != b[k]) return a[k] > b[k] ? 1 : -1;
    if (a[k] == 0) return 0;
  }
}

int compare_key_spans(const char16_t* a, int a_length, const char16_t* b, int b_length) {
  int shorter = a_length < b_length ? a_length : b_length;
  for (int k = 0; k < shorter; ++k) {
    if (a[k] != b[k]) return a[k] > b[k] ? 1 : -1;
  }
  // One key begins with the other: the longer one is greater, as its next unit
  // is greater than the other's terminating zero.
  if (a_length == b_length) return 0;
  return a_length > b_length ? 1 : -1;
}

int find_separator(const char16_t* line, int n) { return find_spaced(line, n, u'/', u"//"); }

}  // namespace kelm
