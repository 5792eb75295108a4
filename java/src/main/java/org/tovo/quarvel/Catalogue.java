package org.tovo.quarvel;

import java.util.concurrent.ConcurrentHashMap;

/**
 * The library's catalogue of the guess estimate's names and English texts, asked for once per code
 * and kept. The tables are those of {@code nativeCatalogue} in engine_jni.cc.
 */
final class Catalogue {
  static final int WARNING_NAME = 1;
  static final int WARNING_TEXT = 2;
  static final int SUGGESTION_NAME = 3;
  static final int SUGGESTION_TEXT = 4;
  static final int PIECE_NAME = 5;
  static final int TRANSFORM_NAME = 6;
  static final int ATTACK_NAME = 7;

  private static final ConcurrentHashMap<Long, String> ENTRIES = new ConcurrentHashMap<>();

  private Catalogue() {}

  /** The entry of a table for a code; empty for a code the library does not know. */
  static String entry(int table, int code) {
    long key = ((long) table << 32) | (code & 0xffffffffL);
    return ENTRIES.computeIfAbsent(
        key,
        k -> {
          String text = Quarvel.nativeCatalogue(table, code);
          if (text == null) {
            throw new OutOfMemoryError("no memory for a catalogue entry");
          }
          return text;
        });
  }

  /** A stable name of a table, or the code's number as text when the library has none. */
  static String name(int table, int code) {
    String name = entry(table, code);
    return name.isEmpty() ? Integer.toString(code) : name;
  }
}
