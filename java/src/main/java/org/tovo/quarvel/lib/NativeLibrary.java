package org.tovo.quarvel.lib;

import java.io.IOException;
import java.io.InputStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Locale;

/**
 * Loads {@code libquarvel.so}: from {@code java.library.path} when it is there, otherwise the copy
 * that quarvel.jar carries for the running platform.
 */
final class NativeLibrary {
  /** Where the library came from, as reported by {@link #source()}. */
  static final String FROM_LIBRARY_PATH = "java.library.path";

  static final String FROM_JAR = "jar";

  private static final String NAME = "quarvel";
  private static final String FILE_NAME = System.mapLibraryName(NAME);

  private static String source;

  private NativeLibrary() {}

  /** Loads the library once; later calls do nothing. */
  static synchronized void load() {
    if (source != null) {
      return;
    }
    try {
      System.loadLibrary(NAME);
      source = FROM_LIBRARY_PATH;
      return;
    } catch (UnsatisfiedLinkError notOnPath) {
      try {
        loadFromJar();
      } catch (UnsatisfiedLinkError | IOException fromJar) {
        UnsatisfiedLinkError error =
            new UnsatisfiedLinkError(
                FILE_NAME
                    + " is neither in java.library.path nor usable from the jar resource "
                    + resourceName()
                    + ": "
                    + fromJar.getMessage());
        error.addSuppressed(notOnPath);
        error.addSuppressed(fromJar);
        throw error;
      }
    }
    source = FROM_JAR;
  }

  /** {@link #FROM_LIBRARY_PATH} or {@link #FROM_JAR}; null before {@link #load()}. */
  static synchronized String source() {
    return source;
  }

  /** The resource path of the library inside the jar for the running platform. */
  static String resourceName() {
    return "/native/" + platform() + "/" + FILE_NAME;
  }

  /** The platform key of the running JVM, e.g. {@code linux-amd64} or {@code linux-x86}. */
  static String platform() {
    String os = System.getProperty("os.name", "").toLowerCase(Locale.ROOT).replace(" ", "");
    return os + "-" + normaliseArch(System.getProperty("os.arch", ""));
  }

  static String normaliseArch(String arch) {
    String lower = arch.toLowerCase(Locale.ROOT);
    switch (lower) {
      case "amd64":
      case "x86_64":
        return "amd64";
      case "x86":
      case "i386":
      case "i486":
      case "i586":
      case "i686":
        return "x86";
      default:
        return lower;
    }
  }

  // Copies the resource into a directory that only this user can read, loads it, and removes the
  // copy: once mapped, the library no longer needs its file.
  private static void loadFromJar() throws IOException {
    String resource = resourceName();
    try (InputStream in = NativeLibrary.class.getResourceAsStream(resource)) {
      if (in == null) {
        throw new IOException("the jar has no library for " + platform());
      }
      Path directory = Files.createTempDirectory("quarvel-native-");
      Path file = directory.resolve(FILE_NAME);
      try {
        Files.copy(in, file);
        System.load(file.toAbsolutePath().toString());
      } finally {
        Files.deleteIfExists(file);
        Files.deleteIfExists(directory);
      }
    }
  }
}
