package org.tovo.quarvel.lib;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.InputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.OptionalInt;
import org.junit.jupiter.api.Test;
import org.tovo.quarvel.Quarvel;
import org.tovo.quarvel.QuarvelException;

/**
 * How the native library was found. The test runner names the expected source in the system
 * property quarvel.test.librarySource ("java.library.path" or "jar"), the build's platform key
 * in quarvel.test.platform, and in quarvel.test.jarBundlesLibrary whether the jar was built to
 * carry the library ("true" or "false").
 */
class LibraryLoadingTest {
  private static String property(String name) {
    String value = System.getProperty(name);
    assertNotNull(value, "system property " + name + " not set by the test runner");
    return value;
  }

  @Test
  void libraryComesFromTheExpectedPlace() throws Exception {
    // The first native call initialises the class and so loads the library.
    assertEquals("RET_CD=2000", QuarvelJNI.verify(null));
    assertEquals(property("quarvel.test.librarySource"), NativeLibrary.source());
  }

  @Test
  void jarCarriesTheLibraryOfThisBuild() throws Exception {
    assertEquals(property("quarvel.test.platform"), NativeLibrary.platform());
    boolean bundled = Boolean.parseBoolean(property("quarvel.test.jarBundlesLibrary"));
    try (InputStream in = NativeLibrary.class.getResourceAsStream(NativeLibrary.resourceName())) {
      if (!bundled) {
        assertNull(in, NativeLibrary.resourceName() + " in a jar built without the library");
        return;
      }
      assertNotNull(in, NativeLibrary.resourceName() + " missing from the jar");
      byte[] head = in.readNBytes(5);
      // An ELF object of 64-bit class, as the running JVM.
      assertEquals(0x7f, head[0]);
      assertEquals("ELF", new String(head, 1, 3, StandardCharsets.US_ASCII));
      assertEquals(2, head[4]);
    }
  }

  @Test
  void quarvelUsesTheSameLibrary() throws Exception {
    // Quarvel's native methods bind to the library that QuarvelJNI loaded, wherever it came
    // from: an open of an empty folder reaches the engine, which cannot read a configuration.
    Path empty = Files.createTempDirectory("quarvel-empty-");
    try {
      QuarvelException e = assertThrows(QuarvelException.class, () -> Quarvel.open(empty));
      assertEquals(1001, e.code(), e.getMessage());
    } finally {
      Files.delete(empty);
    }
    assertEquals(property("quarvel.test.librarySource"), NativeLibrary.source());
  }

  @Test
  void loadedLibraryWorks() throws Exception {
    Workspace.reset();
    QuarvelResult result = QuarvelResult.parse(QuarvelJNI.verify("qwertabc"));
    assertTrue(result.isSuccess());
    assertEquals(OptionalInt.of(8), result.intField("PW_LEN"));
  }
}
