/* The sort that libimagequant is built with in place of the C library's
 * qsort (see CMakeLists.txt): a stable insertion sort, so that elements that
 * compare equal keep their order, and the same on every system. C libraries'
 * qsort differ there, and libimagequant's choices then differ with it. Its
 * arrays hold at most 256 elements. */
#include <stdlib.h>
#include <string.h>

void gifplay_imagequant_qsort(void* base, size_t count, size_t size,
                              int (*compare)(const void*, const void*)) {
  unsigned char* bytes = (unsigned char*)base;
  unsigned char* held = (unsigned char*)malloc(size);
  if (held == NULL) abort();
  for (size_t i = 1; i < count; ++i) {
    size_t j = i;
    while (j > 0 && compare(bytes + (j - 1) * size, bytes + i * size) > 0) --j;
    if (j == i) continue;
    memcpy(held, bytes + i * size, size);
    memmove(bytes + (j + 1) * size, bytes + j * size, (i - j) * size);
    memcpy(bytes + j * size, held, size);
  }
  free(held);
}
