package org.tovo.quarvel;

/**
 * Encodes characters to UTF-8 into an array of exactly the right size, without any buffer of its
 * own, so that the caller holds the only copy and can wipe it. A surrogate without its partner
 * becomes {@code '?'}, as {@link String#getBytes(java.nio.charset.Charset)} makes it.
 */
final class Utf8 {
  private Utf8() {}

  static byte[] encode(char[] chars) {
    int length = 0;
    for (int i = 0; i < chars.length; i++) {
      char c = chars[i];
      if (c < 0x80) {
        length += 1;
      } else if (c < 0x800) {
        length += 2;
      } else if (isPair(chars, i)) {
        length += 4;
        i++;
      } else if (Character.isSurrogate(c)) {
        length += 1;
      } else {
        length += 3;
      }
    }
    byte[] bytes = new byte[length];
    int at = 0;
    for (int i = 0; i < chars.length; i++) {
      char c = chars[i];
      if (c < 0x80) {
        bytes[at++] = (byte) c;
      } else if (c < 0x800) {
        bytes[at++] = (byte) (0xc0 | (c >> 6));
        bytes[at++] = (byte) (0x80 | (c & 0x3f));
      } else if (isPair(chars, i)) {
        int code = Character.toCodePoint(c, chars[++i]);
        bytes[at++] = (byte) (0xf0 | (code >> 18));
        bytes[at++] = (byte) (0x80 | ((code >> 12) & 0x3f));
        bytes[at++] = (byte) (0x80 | ((code >> 6) & 0x3f));
        bytes[at++] = (byte) (0x80 | (code & 0x3f));
      } else if (Character.isSurrogate(c)) {
        bytes[at++] = (byte) '?';
      } else {
        bytes[at++] = (byte) (0xe0 | (c >> 12));
        bytes[at++] = (byte) (0x80 | ((c >> 6) & 0x3f));
        bytes[at++] = (byte) (0x80 | (c & 0x3f));
      }
    }
    return bytes;
  }

  private static boolean isPair(char[] chars, int i) {
    return Character.isHighSurrogate(chars[i])
        && i + 1 < chars.length
        && Character.isLowSurrogate(chars[i + 1]);
  }
}
