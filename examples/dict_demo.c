/* Builds a packed dictionary from a plain word list and looks words up in it.
 *
 *   quarvel-dict-demo WORDLIST PREFIX [WORD ...]
 *
 * Each line of WORDLIST becomes a word of lower-case letters and digits (other
 * bytes are dropped, words are cut to 31 characters); the words are sorted,
 * duplicates dropped, and written to PREFIX.pwd, PREFIX.pwi and PREFIX.hwm.
 * Each WORD is then normalised the same way and searched.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "quarvel/quarvel.h"

static size_t normalise(const char *in, char *out, size_t room) {
  size_t n = 0;
  for (; *in != '\0' && *in != '\n' && *in != '\r'; ++in) {
    char c = *in;
    if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
    if (((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) && n + 1 < room) out[n++] = c;
  }
  out[n] = '\0';
  return n;
}

static int compare_words(const void *a, const void *b) {
  return strcmp(*(char *const *)a, *(char *const *)b);
}

int main(int argc, char **argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: %s WORDLIST PREFIX [WORD ...]\n", argv[0]);
    return 2;
  }
  FILE *in = fopen(argv[1], "r");
  if (in == NULL) {
    perror(argv[1]);
    return 1;
  }
  char **words = NULL;
  size_t count = 0, capacity = 0;
  char line[4096];
  char word[PACKED_DICT_MAX_WORD + 1];
  while (fgets(line, sizeof line, in) != NULL) {
    if (normalise(line, word, sizeof word) == 0) continue;
    if (count == capacity) {
      capacity = capacity ? capacity * 2 : 4096;
      char **grown = realloc(words, capacity * sizeof *words);
      if (grown == NULL) return 1;
      words = grown;
    }
    words[count] = malloc(strlen(word) + 1);
    if (words[count] == NULL) return 1;
    strcpy(words[count++], word);
  }
  fclose(in);
  qsort(words, count, sizeof *words, compare_words);

  PackedDict *pwp = PWOpen(argv[2], "wb");
  if (pwp == NULL) {
    fprintf(stderr, "cannot create dictionary %s\n", argv[2]);
    return 1;
  }
  size_t stored = 0;
  for (size_t i = 0; i < count; ++i) {
    if (i > 0 && strcmp(words[i], words[i - 1]) == 0) continue;
    if (PutPW(pwp, words[i]) == 0) ++stored;
  }
  if (PWClose(pwp) != 0) {
    fprintf(stderr, "writing dictionary %s failed\n", argv[2]);
    return 1;
  }
  printf("built %s: %zu words from %zu lines of %s\n", argv[2], stored, count, argv[1]);

  pwp = PWOpen(argv[2], "rb");
  if (pwp == NULL) return 1;
  for (int a = 3; a < argc; ++a) {
    normalise(argv[a], word, sizeof word);
    int32_t index = FindPW(pwp, word);
    if (index >= 0 && (uint32_t)index < pwp->header.word_count) {
      printf("  %-20s -> \"%s\" found at index %d\n", argv[a], word, (int)index);
    } else {
      printf("  %-20s -> \"%s\" not found\n", argv[a], word);
    }
  }
  PWClose(pwp);
  for (size_t i = 0; i < count; ++i) free(words[i]);
  free(words);
  return 0;
}
